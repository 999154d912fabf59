#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/did_you_mean.h"
#include "cli/failure_text.h"
#include "cli/help_text.h"
#include "cli/signal_stop.h"
#include "config/home.h"
#include "velmora_version.h"

namespace {

using namespace velmora::cli;

// The subcommands in the order the help lists them.
std::vector<Command> AddCommands(CLI::App& app) {
    std::vector<Command> commands = AddJobCommands(app);
    for (auto* add : {AddPttCommand, AddPortsCommand, AddChipsCommand, AddUdevRuleCommand,
                      AddResultsCommand, AddStationCommand, AddLogCommand}) {
        commands.push_back(add(app));
    }
    return commands;
}

// What the command line says before it is parsed: the help is written in the
// language it asks for, and a refusal of the command line itself is JSON when
// JSON was asked for.
struct EarlyWords {
    std::optional<std::string> lang;  // --lang's value
    bool json = false;
};

EarlyWords ReadEarlyWords(int argc, char** argv) {
    EarlyWords words;
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--") {
            break;
        }
        if (word == "--json") {
            words.json = true;
        } else if (word == "--lang" && i + 1 < argc) {
            words.lang = argv[++i];
        } else if (word.rfind("--lang=", 0) == 0) {
            words.lang = std::string(word.substr(7));
        }
    }
    return words;
}

// The command line refused: the first word it does not know with the nearest
// known ones, else what CLI11 found, in the operator's words where they are known.
Refusal CommandLineRefusal(const CLI::App& app, int argc, char** argv, const CLI::ParseError& e) {
    if (const std::optional<UnknownWord> unknown = FindUnknownWord(app, argc, argv)) {
        const char* id = !unknown->option           ? "cli.refuse.unknown_command"
                         : unknown->command.empty() ? "cli.refuse.unknown_option"
                                                    : "cli.refuse.unknown_option_of";
        std::string text = Say(id, {unknown->word, unknown->command});
        if (!unknown->nearest.empty()) {
            text += Say("cli.refuse.did_you_mean", {Alternatives(unknown->nearest)});
        }
        Refusal refusal = OwnRefusal(id);
        refusal.text = text;
        refusal.next = unknown->option && !unknown->command.empty()
                           ? Say("cli.next.command_help", {unknown->command})
                           : Say("cli.next.main_help");
        return refusal;
    }
    const std::vector<CLI::App*> parsed = app.get_subcommands();
    if (parsed.empty()) {
        return OwnRefusal("cli.refuse.no_command", {}, "cli.next.main_help");
    }
    const std::string command = parsed.front()->get_name();
    Refusal refusal = OwnRefusal("cli.refuse.command_line", {e.what()});
    for (const CLI::Option* option : parsed.front()->get_options()) {
        if (option->get_required() && option->count() == 0) {
            refusal = OwnRefusal("cli.refuse.missing_option", {command, option->get_name()});
            break;
        }
    }
    refusal.next = Say("cli.next.command_help", {command});
    return refusal;
}

}  // namespace

int main(int argc, char** argv) {
    // Ctrl-C from the first moment on is kept for the job (which then ends before
    // it touches the phone) instead of killing the program halfway through its
    // start; commands that run no job let it through again.
    SignalStop signals;
    ProgramMs();
    const EarlyWords early = ReadEarlyWords(argc, argv);
    const std::optional<velmora::text::Lang> asked =
        early.lang ? velmora::text::ParseLang(*early.lang) : std::nullopt;
    SetLanguage(asked.value_or(velmora::text::LangFromEnvironment()));

    CLI::App app{Say("cli.help.app")};
    SetUpHelp(app);
    app.set_version_flag("--version", std::string("velmora-cli ") + velmora::kVersion,
                         Say("cli.help.version"));
    app.require_subcommand(1);
    // The program's own options are taken after the command too.
    app.fallthrough();

    std::string home;
    std::string lang;
    GlobalOptions global;
    global.signals = &signals;
    global.lang = Language();
    global.json = early.json;
    app.add_option("--home", home, Say("cli.help.home"))->type_name("DIR");
    app.add_option("--lang", lang, Say("cli.help.lang"))->type_name("zh|en");
    app.add_flag("--debug", global.debug, Say("cli.help.debug"));
    app.add_flag("--json", global.json, Say("cli.help.json"));
    const std::vector<Command> commands = AddCommands(app);
    for (const Command& command : commands) {
        command.cmd->group(Say("cli.help.group.commands"));
        // A command's help flag is made before it takes the program's option defaults.
        command.cmd->get_help_ptr()->group(Say("cli.help.group.options"));
    }
    app.footer(MainFooter());

    if (early.lang && !asked) {
        signals.Release();
        return Refuse(global, OwnRefusal("cli.refuse.lang", {*early.lang}));
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        signals.Release();
        if (e.get_exit_code() == 0) {
            return app.exit(e);  // --help, --version
        }
        return Refuse(global, CommandLineRefusal(app, argc, argv, e));
    }
    global.json = app.get_option("--json")->count() > 0;

    const auto chosen = std::find_if(commands.begin(), commands.end(),
                                     [](const Command& c) { return c.cmd->parsed(); });
    if (chosen == commands.end()) {
        return kExitRefused;
    }
    velmora::CatalogueNote note;
    global.home = velmora::ResolveHome(home, &note);
    velmora::SetHome(global.home);
    if (note.refreshed || (note.newer_kept_out && chosen->cmd->get_name() == "chips")) {
        std::fprintf(stderr, "velmora-cli: %s\n", Show(note.text).c_str());
    }
    if (chosen->releases_signals) {
        signals.Release();
    }
    return chosen->run(global);
}
