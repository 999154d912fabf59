#pragma once
// "Did you mean ...": the known words nearest to a word the command line does
// not know, and the first such word of a command line.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace velmora::cli {

// Edits (insert, delete, replace, swap of two neighbours) that turn `a` into `b`.
int EditDistance(std::string_view a, std::string_view b);

// The candidates nearest to `word`, nearest first (at most three): those few
// edits away for the word's length, or that begin with it.
std::vector<std::string> Nearest(std::string_view word, const std::vector<std::string>& candidates);

// "'a'", "'a' or 'b'", "'a', 'b' or 'c'" in the chosen language.
std::string Alternatives(const std::vector<std::string>& words);

struct UnknownWord {
    std::string word;     // as typed (an option without its "=VALUE")
    bool option = false;  // an option; else a command
    std::string command;  // the command it was given to; empty: the program itself
    std::vector<std::string> nearest;
};

// The first word of the command line (argv[1..]) that is neither a command of
// `app` nor an option of the command it follows (or of the program's own); none
// when every word is known. Values of options and positional arguments are
// passed over.
std::optional<UnknownWord> FindUnknownWord(const CLI::App& app, int argc, const char* const* argv);

}  // namespace velmora::cli
