// udev-rule: the rule that gives the operator access to the phone's USB devices,
// and how to install it.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "cli/commands.h"

namespace velmora::embedded {
extern const uint8_t udev_rule[];
extern const size_t udev_rule_size;
}  // namespace velmora::embedded

namespace velmora::cli {

int RunUdevRule(const GlobalOptions&) {
    // The rule alone on stdout, so that it can be piped into place.
    std::fwrite(embedded::udev_rule, 1, embedded::udev_rule_size, stdout);
    std::fflush(stdout);
    std::fprintf(stderr,
                 "Install it with:\n"
                 "  velmora-cli udev-rule | sudo tee /etc/udev/rules.d/70-velmora.rules "
                 ">/dev/null\n"
                 "  sudo udevadm control --reload-rules && sudo udevadm trigger\n"
                 "then replug the phone. For access over SSH or as a service: "
                 "sudo usermod -aG plugdev USER\n");
    return kExitOk;
}

}  // namespace velmora::cli
