#pragma once
// Runs a shell command for the tests of the command-line program: its standard
// output and exit status (-1 when it did not exit).
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace velmora::testing {

struct Outcome {
    int status = -1;
    std::string out;
};

inline Outcome RunShell(const std::string& command) {
    Outcome run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buf[4096];
    size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        run.out.append(buf, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace velmora::testing
