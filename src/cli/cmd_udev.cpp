// udev-rule: the rule that gives the operator access to the phone's USB devices,
// and how to install it.
#include <CLI/CLI.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "base/text_format.h"
#include "cli/cli_texts.h"
#include "cli/commands.h"
#include "cli/help_text.h"
#include "cli/udev_rule.h"

namespace velmora::embedded {
extern const uint8_t udev_rule[];
extern const size_t udev_rule_size;
}  // namespace velmora::embedded

namespace velmora::cli {

int RunUdevRule(const GlobalOptions&, const std::string& loader) {
    std::string rule(reinterpret_cast<const char*>(embedded::udev_rule), embedded::udev_rule_size);
    std::string command = "velmora-cli udev-rule";
    if (!loader.empty()) {
        const std::optional<UsbIds> ids = ParseUsbIds(loader);
        if (!ids) {
            std::fprintf(stderr, "velmora-cli: %s\n", Say("cli.udev.bad_loader", {loader}).c_str());
            return kExitRefused;
        }
        rule = RuleWithLoader(rule, *ids);
        command += Format(" --loader %04x:%04x", ids->vendor, ids->product);
    }
    // The rule alone on stdout, so that it can be piped into place.
    std::fwrite(rule.data(), 1, rule.size(), stdout);
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", Say("cli.udev.install", {command}).c_str());
    return kExitOk;
}

Command AddUdevRuleCommand(CLI::App& app) {
    auto loader = std::make_shared<std::string>();
    auto* udev_rule = app.add_subcommand("udev-rule", Say("cli.help.udev"));
    udev_rule->add_option("--loader", *loader, Say("cli.help.udev.loader"))->type_name("VID:PID");
    udev_rule->footer(Examples("cli.help.examples.udev-rule"));
    return {udev_rule,
            [loader](const GlobalOptions& global) { return RunUdevRule(global, *loader); }};
}

}  // namespace velmora::cli
