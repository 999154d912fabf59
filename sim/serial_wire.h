#pragma once
// The phone's end of the serial line: a pty master (or any descriptor) with
// byte pacing. Paced, every byte takes its wire time at the phone's baud
// rate in both directions, scheduled against the monotonic clock so that long
// transfers keep their exact length; unpaced, bytes go as fast as they can.
// The host's line settings are read from the pty (the master reports the
// slave's termios), so the phone sees every baud rate the host sets; bytes
// sent while the host's rate differs from the phone's are lost, as on a wire.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velmora::sim {

class SerialWire {
  public:
    enum class Status { kOk, kTimeout, kHangup, kWake };

    // `fd` is the phone's end; `is_pty` enables the line checks and the host
    // tracking through `inotify_fd` (a watch on the slave's open and close).
    void Attach(int fd, bool is_pty, int inotify_fd, int wake_fd);
    void Detach();
    int fd() const { return fd_; }

    void SetPace(bool pace) { pace_ = pace; }
    // The phone's line: rate and bits per byte on the wire (start, data,
    // parity, stop: 11 for the boot ROM's 8E1, 10 for the RAM loader's 8N1).
    void SetPhoneBaud(uint32_t baud, int bits) {
        phone_baud_ = baud;
        bits_ = bits;
    }
    uint32_t phone_baud() const { return phone_baud_; }
    // Called with every new baud rate the host sets.
    std::function<void(uint32_t)> on_host_baud;
    // Called when host bytes are lost to a baud-rate mismatch.
    std::function<void(uint32_t host, uint32_t phone, size_t bytes)> on_mismatch;

    // The host's current rate (0 when unknown), noting changes.
    uint32_t HostBaud();
    // True while the host holds the port open (always true without a pty).
    bool HostPresent() const { return !is_pty_ || opens_ > 0; }
    // Takes note of the host's opens and closes so far.
    void Refresh() { DrainInotify(); }
    // Starts a session: forgets earlier hang-ups and buffered input.
    void BeginSession();

    // Reads exactly n bytes. `deadline_ns` is a monotonic time, or -1 for none.
    Status Read(uint8_t* out, size_t n, int64_t deadline_ns);
    Status Write(const uint8_t* data, size_t n);
    // Waits until `deadline_ns` (monotonic, -1: none) unless woken.
    Status SleepUntil(int64_t deadline_ns);
    // Waits for a change of the host's presence, a wake-up or the deadline.
    Status Idle(int64_t deadline_ns);
    void ChipBusy(int64_t microseconds);
    void DiscardInput();

    static int64_t Now();

  private:
    int64_t WireTime(size_t bytes) const;
    // How much a paced read takes from the port at a time.
    size_t PieceBytes() const;
    void DrainInotify();
    // Waits for input (or, `for_write`, for room) until the deadline.
    Status Wait(bool for_write, int64_t deadline_ns);
    Status WriteAll(const uint8_t* data, size_t n);

    int fd_ = -1;
    bool is_pty_ = false;
    int inotify_fd_ = -1;
    int wake_fd_ = -1;
    bool pace_ = false;
    uint32_t phone_baud_ = 115200;
    int bits_ = 10;
    uint32_t last_host_baud_ = 0;
    int opens_ = 0;
    bool had_host_ = false;
    bool hung_up_ = false;

    std::vector<uint8_t> rx_;
    size_t rx_pos_ = 0;
    int64_t rx_t0_ = 0;       // wire time at which the first buffered byte began
    int64_t rx_end_ = 0;      // wire time at which the last byte read so far arrived
    int64_t tx_free_ = 0;     // wire time at which the line to the host is free
    int64_t busy_until_ = 0;  // the chip's work done
};

}  // namespace velmora::sim
