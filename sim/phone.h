#pragma once
// velmora::sim::Phone - a simulated phone on the far end of a serial line.
//
// It plays the boot ROM (0x81 announcements, the 'D' echo, the one-letter
// commands, a RAM that keeps what the host loads), the RAM loader started by
// 'J' at address 0 (0xBE, then 64-byte command frames) and a NAND chip. Use it
// in-process like this:
//
//     velmora::sim::PhoneOptions options;                 // or
//     ParsePhoneOptions("chip=EC,A1,bad=5+9", ...) options.bad_blocks = {5, 9}; velmora::sim::Phone
//     phone(options); std::string error; if (!phone.Start(&error)) { ... }
//     open(phone.SlavePath().c_str(), ...);               // the host's serial port
//     ... run a job ...
//     phone.trace().ErasedBlocks();                       // what the host did
//     phone.nand().ReadPage(block, page, true);           // what the chip holds
//     phone.Stop();                                       // also done by the destructor
//
// The phone runs on its own thread. By default it switches itself on whenever
// the host opens the port (as if the operator pressed the power key) and ends
// the session when the host closes it: each job meets a freshly booted phone
// with an empty RAM, and the chip keeps its content. With `auto_power` off
// (option "manual") it stays off until SwitchOn(), which also reboots a phone
// that is on. Faults come from the options or from AddFault() at any time.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

#include "sim/nand.h"
#include "sim/options.h"
#include "sim/serial_wire.h"
#include "sim/trace.h"

namespace velmora::sim {

class Phone {
  public:
    enum class State { kOff, kAnnouncing, kBootRom, kLoader, kStopped };

    explicit Phone(PhoneOptions options = {});
    ~Phone();
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    // Opens the chip and the port and starts serving. False with `error` set
    // when the chip or the port cannot be had.
    bool Start(std::string* error = nullptr);
    void Stop();

    // The path the host opens (the pty slave). A new port after a "vanish"
    // fault (the kernel may give it the same name); ports() counts them.
    std::string SlavePath() const;
    int ports() const { return ports_.load(); }
    // Called on the phone's thread with every new port path.
    void SetPortCallback(std::function<void(const std::string&)> callback);

    // The operator switches the phone on (or off and on again).
    void SwitchOn();
    State state() const { return state_.load(); }
    // Sessions finished so far (host gone, reboot, port vanished).
    int sessions() const { return sessions_.load(); }

    NandChip& nand() { return nand_; }
    Trace& trace() { return trace_; }
    const ChipDescription& chip() const { return chip_; }
    const PhoneOptions& options() const { return options_; }
    // The chip, trace and faults are shared with any other side of the phone
    // (a USB link runs its own RamLoader over them).
    FaultSet& faults() { return faults_; }
    void AddFault(const Fault& fault) { faults_.Add(fault); }
    void ClearFaults() { faults_.Clear(); }

  private:
    class LoaderLink;
    enum class End { kHostGone, kWake, kVanished };

    void Run();
    bool OpenPort(std::string* error);
    void ClosePort();
    // Points the --link path at `target`, replacing only a link this phone made.
    bool PlaceLink(const std::string& target, std::string& why);
    void RemoveLink();
    bool WakeEndsSession();
    End Session();
    End BootRom();
    // One byte, without a deadline; wake-ups that leave the session on are
    // passed over. An end when the host went away or a wake-up ended the session.
    std::optional<End> ReadByte(uint8_t& byte);
    End Loader();
    End Hang();
    SerialWire::Status Send(std::initializer_list<uint8_t> bytes);
    SerialWire::Status ReadArgs(uint8_t* out, size_t n);

    PhoneOptions options_;
    ChipDescription chip_;
    NandChip nand_;
    Trace trace_;
    FaultSet faults_;
    SerialWire wire_;

    int wake_fd_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<bool> switch_on_{false};
    std::atomic<State> state_{State::kStopped};
    std::atomic<int> sessions_{0};
    std::atomic<int> ports_{0};
    bool vanished_ = false;
    bool fd_used_ = false;
    std::thread thread_;
    mutable std::mutex port_mutex_;
    std::string slave_path_;
    std::string link_target_;  // where the link this phone made points
    std::function<void(const std::string&)> port_callback_;

    // Boot ROM RAM: 32-bit words by address, empty after every power-on.
    std::unordered_map<uint32_t, uint32_t> ram_;
    uint32_t address_ = 0;
};

}  // namespace velmora::sim
