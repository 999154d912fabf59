#include <iostream>

#include "cli/commands.h"

namespace velmora::cli {

int RunPtt(const GlobalOptions&, const std::string&) {
    std::cerr << "velmora-cli: the ptt command is not available yet\n";
    return kExitRefused;
}

}  // namespace velmora::cli
