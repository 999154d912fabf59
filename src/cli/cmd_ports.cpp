#include <cstdio>

#include "cli/commands.h"
#include "serial/serial_port.h"

namespace velmora::cli {

int RunPorts(const GlobalOptions& global) {
    const auto ports = ListSerialPorts();
    if (global.json) {
        std::printf("{\"event\":\"ports\",\"ports\":[");
        for (size_t i = 0; i < ports.size(); ++i) {
            std::printf("%s\"%s\"", i ? "," : "", ports[i].c_str());
        }
        std::printf("]}\n");
        return kExitOk;
    }
    for (const auto& port : ports) {
        std::printf("%s\n", port.c_str());
    }
    if (ports.empty()) {
        std::fprintf(stderr, "no serial ports found\n");
    }
    return kExitOk;
}

}  // namespace velmora::cli
