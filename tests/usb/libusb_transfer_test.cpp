// What the libusb backend puts on the wire for every control request the link
// sends (bulk transfers cross the emulated bus in the umockdev tests).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "usb/dfu_requests.h"
#include "usb/libusb_bus.h"

namespace velmora::usb {
namespace {

struct Expect {
    const char* name;
    ControlSetup setup;
    uint8_t type, request;
    uint16_t value, index, length;
};

TEST(LibusbTransfer, ControlRequestsCarryTheirSetupStage) {
    const Expect cases[] = {
        {"DETACH", DetachRequest(2, 1000), 0x21, 0, 1000, 2, 0},
        {"DNLOAD", DnloadRequest(0, 7, 514), 0x21, 1, 7, 0, 514},
        {"DNLOAD end", DnloadRequest(0, 8, 0), 0x21, 1, 8, 0, 0},
        {"UPLOAD", UploadRequest(0, 0, 4096), 0xA1, 2, 0, 0, 4096},
        {"GETSTATUS", GetStatusRequest(1), 0xA1, 3, 0, 1, 6},
        {"CLRSTATUS", ClrStatusRequest(1), 0x21, 4, 0, 1, 0},
        {"GETSTATE", GetStateRequest(0), 0xA1, 5, 0, 0, 1},
        {"ABORT", AbortRequest(3), 0x21, 6, 0, 3, 0},
        {"device descriptor", GetDescriptorRequest(kDescDevice, 0, 0, 18), 0x80, 6, 0x0100, 0, 18},
        {"configuration", GetDescriptorRequest(kDescConfiguration, 0, 0, 9), 0x80, 6, 0x0200, 0, 9},
        {"string", GetDescriptorRequest(kDescString, 2, 0x0409, 255), 0x80, 6, 0x0302, 0x0409, 255},
    };
    for (const Expect& e : cases) {
        SCOPED_TRACE(e.name);
        std::unique_ptr<libusb_transfer, void (*)(libusb_transfer*)> t(libusb_alloc_transfer(0),
                                                                       libusb_free_transfer);
        std::vector<uint8_t> buffer(LIBUSB_CONTROL_SETUP_SIZE + e.setup.length);
        FillControlTransfer(t.get(), nullptr, e.setup, buffer.data(), 5000);
        EXPECT_EQ(t->type, LIBUSB_TRANSFER_TYPE_CONTROL);
        EXPECT_EQ(t->endpoint, 0);
        EXPECT_EQ(t->timeout, 5000u);
        EXPECT_EQ(t->length, LIBUSB_CONTROL_SETUP_SIZE + e.length);
        // The setup stage as it goes on the wire, little-endian.
        const std::vector<uint8_t> wire = {e.type,
                                           e.request,
                                           static_cast<uint8_t>(e.value),
                                           static_cast<uint8_t>(e.value >> 8),
                                           static_cast<uint8_t>(e.index),
                                           static_cast<uint8_t>(e.index >> 8),
                                           static_cast<uint8_t>(e.length),
                                           static_cast<uint8_t>(e.length >> 8)};
        EXPECT_EQ(std::vector<uint8_t>(t->buffer, t->buffer + 8), wire);
    }
}

}  // namespace
}  // namespace velmora::usb
