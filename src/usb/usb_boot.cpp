#include "usb/usb_boot.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace velmora::usb {

namespace {

constexpr size_t kLoaderFrame = 512;

template <typename... Args>
std::string Text(const char* format, Args... args) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

int SetAddressZero(DfuPort& port, const LogFn& log) {
    const uint8_t zero[4] = {0, 0, 0, 0};
    const int r = port.BootRomCommand(4, 4, zero);
    if (r != kDfuOk) {
        log(Text("\nError during set address, error code = #%d.\n", r));
        return r;
    }
    return 0;
}

}  // namespace

int ReadTargetInfo(DfuPort& port, const LogFn& log,
                   std::optional<std::array<uint8_t, 5>>* product_id) {
    const uint8_t timeout[1] = {0xFF};
    int r = port.BootRomCommand(3, 1, timeout);
    if (r != kDfuOk) {
        log(Text("\nError during set timeout, error code = #%d.\n", r));
        return r;
    }
    uint8_t id[5] = {};
    r = port.BootRomCommand(14, 0, {}, id);
    if (r != kDfuOk) {
        log(Text("\nError during read product ID, error code = #%d.\n", r));
        return r;
    }
    log(Text("\nProduct ID - %02X%02X%02X%02X%02X.\n", id[4], id[3], id[2], id[1], id[0]));
    if (product_id != nullptr) {
        product_id->emplace();
        std::copy_n(id, 5, (*product_id)->begin());
    }
    uint8_t v[8] = {};
    r = port.BootRomCommand(38, 0, {}, v);
    if (r != kDfuOk) {
        log(Text("\nError during read SCROM Version, error code = #%d.\n", r));
        return r;
    }
    log(Text("\nSCROM Version - PNX%02X%02X v.%02X.%02X.\n", v[7], v[6], v[5], v[4]));
    log(Text("\nChipset Version - %02X%02X.\n", v[1], v[0]));
    uint8_t block[16] = {};
    r = port.BootRomCommand(11, 0, {}, block);
    if (r != kDfuOk) {
        log(Text("\nError during read SCROM Version, error code = #%d.\n", r));
        return r;
    }
    const uint8_t dongle[20] = {};
    r = port.BootRomCommand(12, 20, dongle);
    if (r != kDfuOk) {
        log(Text("\nError during host dongle response, error code = #%d.\n", r));
        return r;
    }
    return 0;
}

int SendRamLoaderUsb(DfuPort& port, std::span<const uint8_t> image, const LogFn& log) {
    if (const int r = SetAddressZero(port, log); r != 0) {
        return r;
    }
    if (image.size() >= kLoaderFrame) {
        for (size_t at = 0; at < image.size(); at += kLoaderFrame) {
            const size_t size = std::min(kLoaderFrame, image.size() - at);
            const int r =
                port.BootRomCommand(6, static_cast<uint32_t>(size), image.subspan(at, size));
            if (r != kDfuOk) {
                log(
                    Text("\nError during load command, error code = #%d, Index: %d / Frame size: "
                         "%d.\n",
                         r, static_cast<int>(at), static_cast<int>(size)));
                return r;
            }
        }
    } else {
        const int r = port.BootRomCommand(6, static_cast<uint32_t>(image.size()), image);
        if (r != kDfuOk) {
            log(Text("\nError during load command, error code = #%d\n", r));
            return r;
        }
    }
    if (const int r = SetAddressZero(port, log); r != 0) {
        return r;
    }
    if (const int r = port.BootRomCommand(9, 0, {}); r != kDfuOk) {
        log(Text("\nError during execute command, error code = #%d.\n", r));
        return r;
    }
    return 0;
}

}  // namespace velmora::usb
