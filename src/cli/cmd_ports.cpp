#include <iostream>

#include "cli/commands.h"

namespace velmora::cli {

int RunPorts(const GlobalOptions&) {
    std::cerr << "velmora-cli: the ports command is not available yet\n";
    return kExitRefused;
}

}  // namespace velmora::cli
