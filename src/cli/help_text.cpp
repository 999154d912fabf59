#include "cli/help_text.h"

#include <CLI/CLI.hpp>

#include "base/text_format.h"
#include "cli/cli_texts.h"

namespace velmora::cli {

void SetUpHelp(CLI::App& app) {
    app.option_defaults()->group(Say("cli.help.group.options"));
    app.set_help_flag("-h,--help", Say("cli.help.help"));
    // CLI11's own words; the type names (TEXT, INT, DIR) stay as they are.
    static constexpr std::pair<std::string_view, std::string_view> kLabels[] = {
        {"Usage", "cli.help.label.usage"},
        {"OPTIONS", "cli.help.label.options"},
        {"SUBCOMMAND", "cli.help.label.command"},
        {"SUBCOMMANDS", "cli.help.label.commands"},
        {"Positionals", "cli.help.label.positionals"},
        {"REQUIRED", "cli.help.label.required"},
        {"Excludes", "cli.help.label.excludes"},
        {"Needs", "cli.help.label.needs"},
    };
    for (const auto& [key, id] : kLabels) {
        app.get_formatter()->label(std::string(key), Say(id));
    }
}

std::string LinkGroup() {
    return Say("cli.help.group.link");
}

std::string Examples(std::string_view id) {
    return Say("cli.help.examples") + "\n" + Say(id);
}

std::string JsonEventsHelp() {
    static constexpr std::pair<std::string_view, std::string_view> kEvents[] = {
        {"start", "cli.help.event.start"},       {"status", "cli.help.event.status"},
        {"progress", "cli.help.event.progress"}, {"elapsed", "cli.help.event.elapsed"},
        {"chip", "cli.help.event.chip"},         {"block", "cli.help.event.block"},
        {"file", "cli.help.event.file"},         {"device", "cli.help.event.device"},
        {"message", "cli.help.event.message"},   {"log", "cli.help.event.log"},
        {"slot", "cli.help.event.slot"},         {"station", "cli.help.event.station"},
        {"end", "cli.help.event.end"},
    };
    std::string out = Say("cli.help.events") + "\n";
    for (const auto& [event, id] : kEvents) {
        out += Format("  %-9s ", std::string(event).c_str()) + Say(id) + "\n";
    }
    return out + Say("cli.help.events.after") + "\n";
}

std::string StatusIdsHelp() {
    std::string out = Say("cli.help.ids") + "\n";
    for (const std::span<const text::Entry>& section : text::LibrarySections()) {
        for (const text::Entry& e : section) {
            if (e.id.rfind("status.", 0) == 0 || e.id.rfind("error.", 0) == 0) {
                out += Format("  %-28s ", std::string(e.id).c_str()) +
                       std::string(Language() == text::Lang::kChinese ? e.zh : e.en) + "\n";
            }
        }
    }
    return out;
}

std::string MainFooter() {
    std::string out;
    for (const char* id :
         {"cli.help.footer.link", "cli.help.footer.ranges", "cli.help.footer.files",
          "cli.help.footer.safety", "cli.help.footer.exit", "cli.help.footer.output",
          "cli.help.footer.lang"}) {
        out += Say(id) + "\n\n";
    }
    return out + JsonEventsHelp() + "\n" + StatusIdsHelp();
}

}  // namespace velmora::cli
