#include <iostream>

#include "cli/commands.h"

namespace velmora::cli {

int RunJob(const GlobalOptions&, const JobOptions& job) {
    std::cerr << "velmora-cli: the " << job.command << " command is not available yet\n";
    return kExitRefused;
}

}  // namespace velmora::cli
