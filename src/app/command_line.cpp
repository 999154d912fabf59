#include "app/command_line.h"

#include <cstdio>
#include <string_view>

#include "velmora_version.h"

namespace velmora::app {

int HandleCommandLine(int argc, char** argv, CommandLine& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") {
            break;
        }
        if (arg == "--station") {
            options.station = true;
            continue;
        }
        if (arg == "--version") {
            std::printf("velmora %s\n", kVersion);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf(
                "Usage: velmora [--station] [--version] [--help] [Qt options]\n"
                "The window of Velmora: write firmware into, read back and erase the NAND flash\n"
                "of PNX5220 phones over a serial line or USB. --station opens the station view,\n"
                "which upgrades a phone on each of many ports at once. The command-line front\n"
                "end is velmora-cli; see velmora(1) and velmora-cli(1).\n");
            return 0;
        }
    }
    return -1;
}

}  // namespace velmora::app
