#pragma once
// velmora-cli run as a separate process, as an operator or a script runs it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace velmora::testing {

// Starts velmora-cli (from VELMORA_BIN_DIR) with `--home home` and `args`; its
// stdout and stderr go to the files `out` and `err`. posix_spawn's result.
inline int SpawnCli(const std::string& home, const std::vector<std::string>& args,
                    const std::string& out, const std::string& err, pid_t* pid) {
    std::vector<std::string> argv = {std::string(VELMORA_BIN_DIR) + "/velmora-cli", "--home", home};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int spawned = posix_spawn(pid, raw[0], &files, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    return spawned;
}

// Waits for `pid`; its exit status, or -1 when it did not exit normally.
inline int WaitExitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace velmora::testing
