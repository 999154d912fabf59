#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "serial/serial_port.h"

namespace velmora::cli {

int RunPorts(const GlobalOptions& global) {
    const auto ports = ListSerialPorts();
    if (global.json) {
        const nlohmann::json event = {{"event", "ports"}, {"ports", ports}};
        std::printf("%s\n",
                    event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
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
