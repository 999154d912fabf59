// velmora-cli ports on an emulated machine: a USB serial adapter with its by-id
// link, a motherboard UART behind the serial core's port devices, a legacy
// 8250 port with no UART fitted, a virtual terminal.
#include <gtest/gtest.h>
#include <umockdev.h>

#include <nlohmann/json.hpp>
#include <string>

#include "../config/run_shell.h"
#include "serial/port_list.h"

namespace velmora {
namespace {

constexpr const char* kUsb = "/devices/pci0000:00/0000:00:14.0/usb1/1-2";
constexpr const char* kByPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
constexpr const char* kById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

std::string Machine() {
    const std::string usb = kUsb;
    const std::string uart = "/devices/pnp0/00:00";
    const std::string legacy = "/devices/platform/serial8250";
    return "P: " + usb + "/1-2:1.0/ttyUSB0/tty/ttyUSB0\nN: ttyUSB0\nE: DEVNAME=/dev/ttyUSB0\n" +
           "E: SUBSYSTEM=tty\nE: DEVLINKS=" + kByPath + " " + kById + "\nA: dev=188:0\n\n" +
           "P: " + usb + "/1-2:1.0/ttyUSB0\nE: SUBSYSTEM=usb-serial\nE: DRIVER=ftdi_sio\n" +
           "L: driver=../../../../../../../bus/usb-serial/drivers/ftdi_sio\n\n" + "P: " + usb +
           "/1-2:1.0\nE: DEVTYPE=usb_interface\nE: SUBSYSTEM=usb\n" +
           "E: DRIVER=ftdi_sio\nL: driver=../../../../../bus/usb/drivers/ftdi_sio\n\n" +
           "P: " + usb + "\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nE: DRIVER=usb\n" +
           "A: idVendor=0403\nA: idProduct=6001\nA: manufacturer=FTDI\n" +
           "A: product=FT232R USB UART\nA: serial=A50285BI\n" +
           "L: driver=../../../../../bus/usb/drivers/usb\n\n" +
           // A UART on the pnp bus: the serial core's port and controller devices
           // sit between it and its tty.
           "P: " + uart + "/00:00:0/00:00:0.0/tty/ttyS0\nN: ttyS0\nE: DEVNAME=/dev/ttyS0\n" +
           "E: SUBSYSTEM=tty\nA: type=4\n\n" + "P: " + uart +
           "/00:00:0/00:00:0.0\nE: SUBSYSTEM=serial-base\nE: DRIVER=port\n" +
           "L: driver=../../../../bus/serial-base/drivers/port\n\n" + "P: " + uart +
           "/00:00:0\nE: SUBSYSTEM=serial-base\nE: DRIVER=ctrl\n" +
           "L: driver=../../../bus/serial-base/drivers/ctrl\n\n" + "P: " + uart +
           "\nE: SUBSYSTEM=pnp\nE: DRIVER=serial\nL: driver=../../../bus/pnp/drivers/serial\n\n" +
           // A legacy port with nothing fitted: type 0.
           "P: " + legacy + "/serial8250:0/serial8250:0.1/tty/ttyS1\nN: ttyS1\n" +
           "E: DEVNAME=/dev/ttyS1\nE: SUBSYSTEM=tty\nA: type=0\n\n" + "P: " + legacy +
           "/serial8250:0/serial8250:0.1\nE: SUBSYSTEM=serial-base\n\n" + "P: " + legacy +
           "\nE: SUBSYSTEM=platform\nE: DRIVER=serial8250\n\n" +
           "P: /devices/virtual/tty/tty5\nN: tty5\nE: DEVNAME=/dev/tty5\nE: SUBSYSTEM=tty\n";
}

class Ports : public ::testing::Test {
  protected:
    void SetUp() override {
        testbed_ = umockdev_testbed_new();
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed_, Machine().c_str(), &error))
            << (error ? error->message : "");
    }
    void TearDown() override { g_object_unref(testbed_); }

    // velmora-cli's stdout and exit status; the child sees the same testbed.
    static testing::Outcome Cli(const std::string& args) {
        return testing::RunShell(std::string(VELMORA_BIN_DIR) + "/velmora-cli " + args +
                                 " 2>/dev/null");
    }

    UMockdevTestbed* testbed_ = nullptr;
};

// What the CLI shows of each port is checked through its output below.
TEST_F(Ports, ListsRealPortsWithWhatUdevKnows) {
    // The window's list: paths only.
    EXPECT_EQ(ListSerialPorts(), (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB0"}));
    const std::vector<SerialPortInfo> ports = ListSerialPortDetails();
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].driver, "serial");  // the UART's, not the serial core's "port"
    EXPECT_TRUE(ports[0].by_id.empty());
}

TEST_F(Ports, JsonAndTextOutput) {
    const testing::Outcome json = Cli("--json ports");
    ASSERT_EQ(json.status, 0) << json.out;
    const auto event = nlohmann::json::parse(json.out);
    EXPECT_EQ(event["event"], "ports");
    ASSERT_TRUE(event["usb"].is_array());
    ASSERT_EQ(event["ports"].size(), 2u) << json.out;
    const auto& adapter = event["ports"][1];
    EXPECT_EQ(adapter["path"], "/dev/ttyUSB0");
    EXPECT_EQ(adapter["by_id"], nlohmann::json::array({kById}));
    EXPECT_EQ(adapter["driver"], "ftdi_sio");
    EXPECT_TRUE(adapter["may_open"].is_boolean());
    EXPECT_TRUE(adapter["group"].is_string());
    EXPECT_EQ(adapter["usb"], (nlohmann::json{{"id", "0403:6001"},
                                              {"vendor", "FTDI"},
                                              {"product", "FT232R USB UART"},
                                              {"serial", "A50285BI"}}));
    EXPECT_TRUE(event["ports"][0]["usb"].is_null());

    const std::string out = Cli("ports").out;
    EXPECT_NE(out.find("/dev/ttyUSB0: FTDI FT232R USB UART (USB 0403:6001, serial A50285BI), "
                       "driver ftdi_sio\n  " +
                       std::string(kById) + "\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("/dev/ttyS0: driver serial\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace velmora
