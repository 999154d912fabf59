#pragma once
// Runs velmora-cli of this build with a home folder; its output (stdout and stderr)
// goes to *out. Returns the exit status, -1 when it did not exit.
#include <stdio.h>
#include <sys/wait.h>

#include <string>

namespace velmora::testing {

inline int RunCli(const std::string& home, const std::string& args, std::string* out) {
    const std::string command =
        std::string(VELMORA_BIN_DIR) + "/velmora-cli --home " + home + " " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) {
        *out += buffer;
    }
    const int status = pipe ? ::pclose(pipe) : -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace velmora::testing
