#include "sim/usb_serve.h"

#include <cstdio>

#include "sim/usb_phone.h"

namespace velmora::sim {

int ServeUsbPhone(const PhoneOptions& options, const std::string& socket,
                  const std::string& usb_options, const sigset_t& signals) {
    UsbPhoneOptions usb;
    std::string rest, error;
    if (!SplitUsbPhoneOptions(usb_options, usb, rest, error)) {
        std::fprintf(stderr, "velmora-phone-sim: %s\n", error.c_str());
        return 2;
    }
    if (!rest.empty()) {
        std::fprintf(stderr, "velmora-phone-sim: not a USB option: %s\n", rest.c_str());
        return 2;
    }
    UsbPhone phone(options, usb);
    if (!phone.Start(socket, &error)) {
        std::fprintf(stderr, "velmora-phone-sim: %s\n", error.c_str());
        return 1;
    }
    const auto& g = phone.chip().geometry;
    const auto& id = phone.chip().id;
    std::printf("unix:%s\n", socket.c_str());
    std::fflush(stdout);
    std::fprintf(stderr,
                 "velmora-phone-sim: chip %02X,%02X,%02X,%02X: %d blocks of %d bytes, pages of "
                 "%d + %d bytes%s; USB stand-in at %s (host: --usb --port unix:%s)\n",
                 id[0], id[1], id[2], id[3], g.block_count, g.block_size, g.page_size, g.spare_size,
                 options.pace ? ", paced" : "", socket.c_str(), socket.c_str());
    int signal = 0;
    sigwait(&signals, &signal);
    phone.Stop();
    std::fprintf(stderr, "velmora-phone-sim: stopped after %d sessions\n", phone.sessions());
    return 0;
}

}  // namespace velmora::sim
