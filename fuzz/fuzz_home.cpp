// The home folder's inputs: VELMORA_HOME, the installed catalogue and the home
// copy with its recorded digest (which copy is refreshed, by VER and digest), and
// a RAM loader file in the home folder. The first byte says which files exist;
// the rest holds the environment value, the installed catalogue, the copy and the
// digest file, separated by zero bytes.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "config/home.h"
#include "config/ini_store.h"
#include "job/ram_loader.h"
#include "temp_folder.h"

namespace {

std::string_view TakePart(std::string_view& text) {
    const size_t end = text.find('\0');
    const std::string_view part = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return part;
}

void Put(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Get(const std::string& path) {
    std::string bytes, problem;
    velmora::ReadTextFile(path, bytes, problem);
    return bytes;
}

std::string Ver(const std::string& text) {
    velmora::IniStore ini;
    ini.OpenText(text);
    std::string version;
    ini.GetString("VERSION", "VER", version);
    return version;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static const TempFolder temp;
    const std::string data_folder = temp.path() + "data/";
    const std::string home = temp.path() + "home/";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(data_folder);

    const uint8_t which = data[0];
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string env(TakePart(text));
    const std::string installed(TakePart(text));
    const std::string copy(TakePart(text));
    const std::string digest(TakePart(text));

    // (An empty one would let the search go on to the user's own data folder.)
    if (!env.empty()) {
        setenv("VELMORA_HOME", env.c_str(), 1);
        const std::string resolved = velmora::ResolveHome();
        if (resolved.empty() || resolved.back() != '/') {
            __builtin_trap();
        }
    }

    Put(data_folder + "FlashChip.ini", installed);
    if (which & 1) {
        Put(home + "FlashChip.ini", copy);
    }
    if (which & 2) {
        Put(home + velmora::kCatalogueDigestName, digest);
    }
    const velmora::CatalogueNote note = velmora::UpdateHomeCatalogue(home, data_folder);
    const std::string now = Get(home + "FlashChip.ini");
    if ((!(which & 1) || note.refreshed) ? now != installed : now != copy) {
        __builtin_trap();  // a copy is the installed one, or kept byte for byte
    }
    int order = 0;
    const std::string a = Ver(installed), b = Ver(copy);
    if (velmora::CompareVersions(a, b, order)) {
        int back = 0;
        if (!velmora::CompareVersions(b, a, back) || back != -order) {
            __builtin_trap();
        }
    }

    if (which & 4) {
        Put(home + "ramloader_usb.bin", installed);
        std::vector<uint8_t> image;
        std::string problem;
        const int loaded = velmora::LoadRamLoader(velmora::UsbRamLoader(), home, image, &problem);
        if (loaded == 0 ? std::string(image.begin(), image.end()) != installed
                        : problem.empty() || !image.empty()) {
            __builtin_trap();
        }
    }
    return 0;
}
