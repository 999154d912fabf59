#pragma once
// The help: the program's own (the options every job command shares, ranges,
// files, exit statuses, output, the JSON events and the status ids) and each
// command's (its options and a few examples), in the chosen language.
#include <string>
#include <string_view>

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace velmora::cli {

// The help's own words (Usage, Options, REQUIRED, ...) and the help flag, in the
// chosen language. Before any command is added: the commands take both over.
void SetUpHelp(CLI::App& app);

// The program's footer. Set after the commands are added, which would otherwise
// repeat it.
std::string MainFooter();
// Every JSON event with its fields; the ids a status event may carry.
std::string JsonEventsHelp();
std::string StatusIdsHelp();

// A command's examples: "Examples:" and the lines of the help text `id`.
std::string Examples(std::string_view id);

// The group of the link options in a command's help (described in the main help).
std::string LinkGroup();

}  // namespace velmora::cli
