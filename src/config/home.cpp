#include "config/home.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#ifndef VELMORA_DATA_DIR
#define VELMORA_DATA_DIR "/usr/local/share/velmora"
#endif

namespace velmora {
namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder.push_back('/');
    }
    return folder;
}

std::mutex g_home_mutex;
std::string g_home;

}  // namespace

std::string ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    return WithSlash(exe.parent_path().string());
}

std::string ResolveHome(const std::string& explicit_home) {
    if (!explicit_home.empty()) {
        return WithSlash(explicit_home);
    }
    if (const char* env = std::getenv("VELMORA_HOME"); env && *env) {
        return WithSlash(env);
    }
    const std::string exe_folder = ExecutableFolder();
    std::error_code ec;
    if (!exe_folder.empty() && fs::is_regular_file(exe_folder + "FlashChip.ini", ec)) {
        return exe_folder;
    }
    fs::path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        data = xdg;
    } else if (const char* user_home = std::getenv("HOME"); user_home && *user_home) {
        data = fs::path(user_home) / ".local" / "share";
    } else {
        return {};
    }
    const fs::path folder = data / "velmora";
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        return {};
    }
    const fs::path catalogue = folder / "FlashChip.ini";
    if (!fs::exists(catalogue, ec)) {
        fs::copy_file(fs::path(VELMORA_DATA_DIR) / "FlashChip.ini", catalogue, ec);
    }
    return WithSlash(folder.string());
}

void SetHome(const std::string& folder) {
    std::lock_guard lock(g_home_mutex);
    g_home = WithSlash(folder);
}

const std::string& Home() {
    std::lock_guard lock(g_home_mutex);
    return g_home;
}

}  // namespace velmora
