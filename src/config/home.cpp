#include "config/home.h"

#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "config/ini_store.h"

#ifndef VELMORA_DATA_DIR
#define VELMORA_DATA_DIR "/usr/local/share/velmora"
#endif
#ifndef VELMORA_DATA_FROM_BIN
#define VELMORA_DATA_FROM_BIN "../share/velmora"
#endif

namespace velmora {
namespace fs = std::filesystem;

namespace {

constexpr const char* kCatalogueFile = "FlashChip.ini";
// The digest file holds one line of about 80 bytes.
constexpr uint64_t kDigestFileMax = 4096;

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder.push_back('/');
    }
    return folder;
}

std::mutex g_home_mutex;
std::string g_home;

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
        return {};
    }
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

// VER of the catalogue text's [VERSION] section, read as the catalogue check
// reads it; empty when there is none.
std::string CatalogueVer(const std::string& text) {
    IniStore ini;
    ini.OpenText(text);
    std::string version;
    ini.GetString("VERSION", "VER", version);
    return version;
}

// Writes `bytes` to `path` through a temporary file in the same folder and a
// rename, so that a reader sees the old file or the new one, never a part.
bool ReplaceFile(const std::string& path, std::string_view bytes) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    // The copy is the user's to edit, as a file of their own would be.
    const bool written = done == bytes.size() && fchmod(fd, 0644) == 0;
    if (::close(fd) != 0 || !written || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

// The digest recorded at the last copy, or empty.
std::string RecordedDigest(const std::string& home) {
    std::string text;
    std::string problem;
    if (ReadTextFile(home + kCatalogueDigestName, text, problem, kDigestFileMax) != kReadOk) {
        return {};
    }
    return text.substr(0, text.find(' '));
}

// Copies the installed catalogue's bytes into the home folder and records
// their digest.
bool CopyCatalogue(const std::string& home, const std::string& installed) {
    const std::string digest = Sha256Hex(installed);
    return !digest.empty() && ReplaceFile(home + kCatalogueFile, installed) &&
           ReplaceFile(home + kCatalogueDigestName, digest + "  " + kCatalogueFile + "\n");
}

}  // namespace

std::string ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return {};
    }
    return WithSlash(exe.parent_path().string());
}

std::string DataFolderFor(const std::string& exe_folder) {
    std::error_code ec;
    if (!exe_folder.empty()) {
        const fs::path beside = (fs::path(exe_folder) / VELMORA_DATA_FROM_BIN).lexically_normal();
        if (fs::is_regular_file(beside / kCatalogueFile, ec)) {
            return WithSlash(beside.string());
        }
    }
    return WithSlash(VELMORA_DATA_DIR);
}

std::string DataFolder() {
    return DataFolderFor(ExecutableFolder());
}

bool CompareVersions(std::string_view a, std::string_view b, int& order) {
    // Splits into numbers; false unless the text is digits separated by dots.
    const auto parse = [](std::string_view text, std::vector<unsigned long>& parts) {
        const size_t first = text.find_first_not_of(" \t");
        if (first == std::string_view::npos) {
            return false;
        }
        text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
        unsigned long number = 0;
        size_t digits = 0;
        for (size_t i = 0; i <= text.size(); ++i) {
            if (i == text.size() || text[i] == '.') {
                if (digits == 0) {
                    return false;
                }
                parts.push_back(number);
                number = 0;
                digits = 0;
            } else if (text[i] >= '0' && text[i] <= '9' && digits < 9) {
                number = number * 10 + static_cast<unsigned long>(text[i] - '0');
                ++digits;
            } else {
                return false;  // not a digit, or a part too long to be a version
            }
        }
        return true;
    };
    std::vector<unsigned long> left;
    std::vector<unsigned long> right;
    if (!parse(a, left) || !parse(b, right)) {
        return false;
    }
    // Missing trailing parts count as 0.
    const size_t count = std::max(left.size(), right.size());
    left.resize(count, 0);
    right.resize(count, 0);
    order = left < right ? -1 : (left > right ? 1 : 0);
    return true;
}

CatalogueNote UpdateHomeCatalogue(const std::string& home, const std::string& data_folder) {
    CatalogueNote note;
    const std::string installed_path = data_folder + kCatalogueFile;
    std::string installed;
    std::string problem;
    if (ReadTextFile(installed_path, installed, problem) != kReadOk) {
        return note;  // nothing to copy; a missing catalogue is reported where it is needed
    }
    const std::string copy_path = home + kCatalogueFile;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(copy_path, ec))) {
        CopyCatalogue(home, installed);
        return note;
    }
    std::string copy;
    if (ReadTextFile(copy_path, copy, problem) != kReadOk) {
        return note;
    }
    const std::string installed_ver = CatalogueVer(installed);
    const std::string copy_ver = CatalogueVer(copy);
    int order = 0;
    if (!CompareVersions(installed_ver, copy_ver, order) || order <= 0) {
        return note;
    }
    const std::string recorded = RecordedDigest(home);
    if (recorded.empty() || recorded != Sha256Hex(copy)) {
        note.newer_kept_out = true;
        note.text = copy_path + " (V" + copy_ver + ") was edited and is kept; " + installed_path +
                    " is newer (V" + installed_ver + "): compare them and merge by hand";
        return note;
    }
    if (CopyCatalogue(home, installed)) {
        note.refreshed = true;
        note.text = copy_path + " updated from V" + copy_ver + " to V" + installed_ver + " (from " +
                    installed_path + ")";
    }
    return note;
}

std::string ResolveHome(const std::string& explicit_home, CatalogueNote* note) {
    if (!explicit_home.empty()) {
        return WithSlash(explicit_home);
    }
    // The environment is read at start-up, before any job's thread exists.
    // NOLINTNEXTLINE(concurrency-mt-unsafe)
    if (const char* env = std::getenv("VELMORA_HOME"); env && *env) {
        return WithSlash(env);
    }
    std::string exe_folder = ExecutableFolder();
    std::error_code ec;
    if (!exe_folder.empty() && fs::is_regular_file(exe_folder + kCatalogueFile, ec)) {
        return exe_folder;
    }
    fs::path data;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read at start-up, as above
    const char* xdg = std::getenv("XDG_DATA_HOME");
    // NOLINTNEXTLINE(concurrency-mt-unsafe)
    const char* user_home = std::getenv("HOME");
    if (xdg && *xdg) {
        data = xdg;
    } else if (user_home && *user_home) {
        data = fs::path(user_home) / ".local" / "share";
    } else {
        return {};
    }
    const fs::path folder = data / "velmora";
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        return {};
    }
    std::string home = WithSlash(folder.string());
    CatalogueNote result = UpdateHomeCatalogue(home, DataFolderFor(exe_folder));
    if (note) {
        *note = std::move(result);
    }
    return home;
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
