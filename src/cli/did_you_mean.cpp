#include "cli/did_you_mean.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>

#include "cli/cli_texts.h"

namespace velmora::cli {
namespace {

std::string Lower(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string_view WithoutDashes(std::string_view word) {
    while (!word.empty() && word.front() == '-') {
        word.remove_prefix(1);
    }
    return word;
}

// "-1", "-3001": a code given to `results`, not an option.
bool IsNegativeNumber(std::string_view word) {
    return word.size() > 1 && word[0] == '-' && std::isdigit(static_cast<unsigned char>(word[1]));
}

const CLI::App* CommandNamed(const CLI::App& app, std::string_view name) {
    for (const CLI::App* command : app.get_subcommands(std::function<bool(const CLI::App*)>{})) {
        if (command->get_name() == name) {
            return command;
        }
    }
    return nullptr;
}

// The long and short names of the options that `command` takes, with their dashes.
void AddOptionNames(const CLI::App& command, std::vector<std::string>& names) {
    for (const CLI::Option* option : command.get_options()) {
        for (const std::string& name : option->get_lnames()) {
            names.push_back("--" + name);
        }
    }
}

}  // namespace

int EditDistance(std::string_view a, std::string_view b) {
    const size_t n = a.size();
    const size_t m = b.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1, 0));
    for (size_t i = 0; i <= n; ++i) {
        d[i][0] = static_cast<int>(i);
    }
    for (size_t j = 0; j <= m; ++j) {
        d[0][j] = static_cast<int>(j);
    }
    for (size_t i = 1; i <= n; ++i) {
        for (size_t j = 1; j <= m; ++j) {
            const int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[n][m];
}

std::vector<std::string> Nearest(std::string_view word,
                                 const std::vector<std::string>& candidates) {
    const std::string typed = Lower(WithoutDashes(word));
    if (typed.empty()) {
        return {};
    }
    // A short word is only near a word one edit away: two edits turn "ptt" into "log".
    const int allowed = typed.size() <= 4 ? 1 : typed.size() <= 8 ? 2 : 3;
    std::vector<std::pair<int, std::string>> near;
    for (const std::string& candidate : candidates) {
        const std::string known = Lower(WithoutDashes(candidate));
        int distance = EditDistance(typed, known);
        if (typed.size() >= 2 && known.rfind(typed, 0) == 0) {
            distance = std::min(distance, 1);  // the beginning of a known word
        }
        if (distance <= allowed && std::none_of(near.begin(), near.end(), [&](const auto& n) {
                return n.second == candidate;
            })) {
            near.emplace_back(distance, candidate);
        }
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (const auto& [distance, candidate] : near) {
        if (out.size() < 3 && distance == near.front().first) {
            out.push_back(candidate);
        }
    }
    return out;
}

std::string Alternatives(const std::vector<std::string>& words) {
    std::string out;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) {
            out += Say(i + 1 == words.size() ? "cli.word.or" : "cli.word.list_separator");
        }
        out += Say("cli.word.quoted", {words[i]});
    }
    return out;
}

std::optional<UnknownWord> FindUnknownWord(const CLI::App& app, int argc, const char* const* argv) {
    const CLI::App* command = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--") {
            break;  // the rest are positional
        }
        const bool option = word.size() > 1 && word[0] == '-' && !IsNegativeNumber(word);
        if (!option) {
            if (command != nullptr) {
                continue;  // a positional argument of the command
            }
            command = CommandNamed(app, word);
            if (command == nullptr) {
                std::vector<std::string> names;
                for (const CLI::App* c :
                     app.get_subcommands(std::function<bool(const CLI::App*)>{})) {
                    names.push_back(c->get_name());
                }
                return UnknownWord{std::string(word), false, "", Nearest(word, names)};
            }
            continue;
        }
        const size_t equals = word.find('=');
        const std::string name(word.substr(0, equals));
        // An option of the command, or of the program itself: the program's own
        // options are taken after the command too.
        const CLI::Option* known = command ? command->get_option_no_throw(name) : nullptr;
        if (known == nullptr) {
            known = app.get_option_no_throw(name);
        }
        if (known == nullptr) {
            std::vector<std::string> names;
            if (command != nullptr) {
                AddOptionNames(*command, names);
            }
            AddOptionNames(app, names);
            return UnknownWord{name, true, command ? command->get_name() : "",
                               Nearest(name, names)};
        }
        if (known->get_expected_max() > 0 && equals == std::string_view::npos) {
            ++i;  // its value
        }
    }
    return std::nullopt;
}

}  // namespace velmora::cli
