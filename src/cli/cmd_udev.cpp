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
#include "cli/commands.h"
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
            std::fprintf(stderr,
                         "velmora-cli: --loader takes the loader device's vendor and product ID "
                         "as VID:PID in hexadecimal, as the job's failure or lsusb shows them "
                         "(e.g. 1209:0002): %s\n",
                         loader.c_str());
            return kExitRefused;
        }
        rule = RuleWithLoader(rule, *ids);
        command += Format(" --loader %04x:%04x", ids->vendor, ids->product);
    }
    // The rule alone on stdout, so that it can be piped into place.
    std::fwrite(rule.data(), 1, rule.size(), stdout);
    std::fflush(stdout);
    std::fprintf(stderr,
                 "Install it with:\n"
                 "  %s | sudo tee /etc/udev/rules.d/70-velmora.rules >/dev/null\n"
                 "  sudo udevadm control --reload-rules && sudo udevadm trigger\n"
                 "then replug the phone. For access over SSH or as a service: "
                 "sudo usermod -aG plugdev USER\n",
                 command.c_str());
    return kExitOk;
}

Command AddUdevRuleCommand(CLI::App& app) {
    auto loader = std::make_shared<std::string>();
    auto* udev_rule = app.add_subcommand(
        "udev-rule", "print the udev rule that gives access to the phone's USB devices");
    udev_rule
        ->add_option("--loader", *loader,
                     "add a line for the RAM loader's device, by the vendor and product ID "
                     "that a job names when that device refused access")
        ->type_name("VID:PID");
    return {udev_rule,
            [loader](const GlobalOptions& global) { return RunUdevRule(global, *loader); }};
}

}  // namespace velmora::cli
