#include "cli/cli_texts.h"

#include <atomic>
#include <vector>

namespace velmora::cli {
namespace {

std::atomic<text::Lang> g_lang{text::Lang::kEnglish};

std::string_view Trim(std::string_view text) {
    constexpr std::string_view kBlank = " \t\r\n";
    const size_t first = text.find_first_not_of(kBlank);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// Where a text put together from several may be cut: after "A: " (the result
// table's composed meanings, an error and its cause) or after a sentence's end
// ("打开串口失败！ /dev/ttyUSB0: ...", a next step and the advice that follows it).
struct Cut {
    size_t end;   // the first part is text[0, end)
    size_t rest;  // the second starts here
    bool colon;   // joined again with a colon
};

std::vector<Cut> Cuts(std::string_view text) {
    std::vector<Cut> cuts;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text.compare(at, 2, ": ") == 0) {
            cuts.push_back({at, at + 2, true});
        } else if ((text[at] == '.' || text[at] == '!' || text[at] == '?') &&
                   text.compare(at + 1, 1, " ") == 0) {
            cuts.push_back({at + 1, at + 2, false});
        } else if (text.compare(at, 3, "！") == 0 || text.compare(at, 3, "。") == 0) {
            const size_t rest = at + 3 < text.size() && text[at + 3] == ' ' ? at + 4 : at + 3;
            if (rest < text.size()) {
                cuts.push_back({at + 3, rest, false});
            }
        }
    }
    return cuts;
}

// Chinese runs on after its own full stop or exclamation mark, but keeps the
// blank before a path or English words.
std::string Joiner(const Cut& cut, std::string_view first, std::string_view rest, text::Lang lang) {
    const bool zh = lang == text::Lang::kChinese;
    if (cut.colon) {
        return zh ? "：" : ": ";
    }
    const bool cjk_ends = EndsWith(first, "。") || EndsWith(first, "！") || EndsWith(first, "？");
    if (zh && cjk_ends && text::HasCjk(rest.substr(0, 4))) {
        return {};
    }
    return " ";
}

}  // namespace

void SetLanguage(text::Lang lang) {
    g_lang = lang;
}

text::Lang Language() {
    return g_lang;
}

std::span<const std::span<const text::Entry>> CliSections() {
    static const std::span<const text::Entry> all[] = {sections::Messages(), sections::Help()};
    return all;
}

std::string Say(std::string_view id, std::initializer_list<std::string_view> args) {
    return text::Tr(CliSections(), id, Language(), args);
}

text::Shown ShowIn(std::string_view emitted, text::Lang lang) {
    const std::string_view trimmed = Trim(emitted);
    text::Shown whole = text::Localize(trimmed, lang);
    if (!whole.id.empty() || trimmed.empty()) {
        return whole;
    }
    // A text put together from known parts: the first part known, the rest shown
    // as far as it is known, so that an English screen carries no Chinese status
    // because a path or a system's reason follows it.
    for (const Cut& cut : Cuts(trimmed)) {
        const text::Shown first = text::Localize(trimmed.substr(0, cut.end), lang);
        if (first.id.empty()) {
            continue;
        }
        const text::Shown rest = ShowIn(trimmed.substr(cut.rest), lang);
        return {first.id, first.text + Joiner(cut, first.text, rest.text, lang) + rest.text};
    }
    return whole;
}

text::Shown ShowWithId(std::string_view emitted) {
    return ShowIn(emitted, Language());
}

std::string Show(std::string_view emitted) {
    return ShowWithId(emitted).text;
}

}  // namespace velmora::cli
