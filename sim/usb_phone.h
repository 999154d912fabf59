#pragma once
// velmora::sim::UsbPhone - the simulated phone on a USB stand-in bus.
//
// It first shows the boot ROM as a DFU device; after the host has loaded a RAM
// loader at address 0 and jumped into it, the DFU device leaves the bus and the
// RAM loader's bulk device (one bulk pipe each way) comes up at the same port.
// The RAM loader is the phone's own (RamLoader with the USB answers) on a NAND chip
// that keeps its content between jobs. When the host closes the bulk device after
// using it, the phone reboots: the next job meets the boot ROM again.
//
//     velmora::sim::UsbPhone phone(phone_options, usb_options);
//     phone.Start("/tmp/x/usb.sock", &error);   // host: unix:/tmp/x/usb.sock
//     ... run a job ...
//     phone.nand().ReadPage(...); phone.trace(); phone.boot_rom_stats();
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/nand.h"
#include "sim/options.h"
#include "sim/trace.h"
#include "sim/usb_bus.h"
#include "sim/usb_dfu_device.h"

namespace velmora::sim {

// USB 2.0 high-speed bulk: 13 packets of 512 bytes in every 125 µs microframe.
inline constexpr double kHighSpeedBulkBytesPerSecond = 13.0 * 512 * 8000;

struct UsbPhoneOptions {
    DfuBootRomOptions dfu;
    uint16_t loader_vendor = 0x1209;
    uint16_t loader_product = 0x0002;
    bool loader_enumerates = true;  // false: the RAM loader never brings up its bulk device
    int enumerate_delay_ms = 0;     // from the jump until the bulk device shows on the bus;
                                    // with renum, from the reset until the DFU-mode device does
    bool busy_twin = false;         // a second bulk device, held by another program, listed first
    int corrupt_out = 0;    // the Nth data transfer (over 64 bytes) arrives with a bit flipped
    uint16_t packet = 512;  // the bulk endpoints' packet size (64 on a full-speed link)
    SimStatus loader_open_status = SimStatus::kOk;  // kError or kAccess refuse its opens
    // Pacing (PhoneOptions::pace): bulk bytes at this rate, and the chip's times.
    double bus_bytes_per_second = kHighSpeedBulkBytesPerSecond;
};

// Takes the USB options out of the compact form "chip=EC,A1,app,busy=2": app,
// stay-app, dfu-error[=stuck], not-tolerant, busy=N, busy-ms=N, manifest-ms=N,
// notdone=LETTERS, no-loader, enum-ms=N, busy-twin, corrupt=N, renum, deny=access|busy,
// deny-dlv=access|busy, packet=N, pull=N (the cable is pulled as the boot ROM's Nth
// command arrives), mute (the boot ROM answers no DFU request). The other pieces are
// left in `rest` for ParsePhoneOptions. False with error on a bad value.
bool SplitUsbPhoneOptions(std::string_view text, UsbPhoneOptions& options, std::string& rest,
                          std::string& error);

class UsbPhone {
  public:
    UsbPhone(PhoneOptions options, UsbPhoneOptions usb);
    ~UsbPhone();
    UsbPhone(const UsbPhone&) = delete;
    UsbPhone& operator=(const UsbPhone&) = delete;

    // Opens the chip, serves the bus at socket_path and switches the phone on.
    bool Start(const std::string& socket_path, std::string* error);
    void Stop();

    // The operator switches the phone on again (the boot ROM comes back).
    void Reboot();
    // Unplugs the phone: nothing on the bus.
    void Unplug();

    NandChip& nand() { return nand_; }
    Trace& trace() { return trace_; }
    SimUsbBus& bus() { return bus_; }
    const ChipDescription& chip() const { return chip_; }
    void AddFault(const Fault& fault) { faults_.Add(fault); }
    void ClearFaults() { faults_.Clear(); }
    // The boot ROM that took the latest jump (else the current one), as the host left it.
    DfuBootRomStats boot_rom_stats();
    int sessions() const { return sessions_.load(); }
    // Bulk IN transfers the host gave up on while they held data: it had asked for
    // more than an answer that filled its last packet, and waited for the time-out.
    int overlong_reads() const { return overlong_reads_.load(); }

    static constexpr const char* kPort = "1-1";
    static constexpr const char* kTwinPort = "1-0";

  private:
    class Loader;
    friend class Loader;

    void PowerOnLocked();
    void ReenumerateLocked();
    void PullLocked();
    void JumpLocked(uint32_t address);
    void RetireLoaderLocked();
    void JoinRetired();

    PhoneOptions options_;
    UsbPhoneOptions usb_;
    ChipDescription chip_;
    NandChip nand_;
    Trace trace_;
    FaultSet faults_;
    SimUsbBus bus_;

    // Guarded by the bus lock.
    std::shared_ptr<DfuBootRom> boot_rom_;
    std::shared_ptr<DfuBootRom> jumped_rom_;
    std::shared_ptr<Loader> loader_;
    std::vector<std::shared_ptr<Loader>> retired_;
    bool started_ = false;
    std::atomic<int> sessions_{0};
    std::atomic<int> overlong_reads_{0};
};

}  // namespace velmora::sim
