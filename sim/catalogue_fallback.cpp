// Stand-in for the catalogue reader until it is on main: a weak definition
// that the real one replaces. To be deleted once main has LookupChip.
#include <fstream>
#include <string>

#include "config/chip_catalogue.h"

namespace velmora {

__attribute__((weak)) int LookupChip(const std::string& folder, const std::string& chip_id,
                                     NandGeometry& g) {
    std::ifstream in(folder + "FlashChip.ini");
    if (!in) {
        return -1;
    }
    std::string line;
    bool inside = false;
    int found = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find('[') != std::string::npos) {
            if (inside)
                break;
            inside = line.find("[" + chip_id + "]") != std::string::npos;
            continue;
        }
        const auto eq = line.find('=');
        if (!inside || eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const int v = std::atoi(line.c_str() + eq + 1);
        if (key == "BLOCK_NUM")
            g.block_count = v, ++found;
        if (key == "BLOCK_SIZE")
            g.block_size = v * 1024, ++found;
        if (key == "PAGE_SIZE")
            g.page_size = v, ++found;
        if (key == "SPARE_SIZE")
            g.spare_size = v, ++found;
        if (key == "ERASE_TIME")
            g.erase_time = v, ++found;
        if (key == "WRITE_TIME")
            g.write_time = v, ++found;
    }
    return 6 - found;
}

}  // namespace velmora
