#pragma once
// The serial port of a serial job: a raw termios port opened exclusively. Every
// wait is a poll() on the port and on the job's stop event with a deadline, so
// Stop ends any wait at once.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmora {

class JobFlags;

enum class Parity { kNone, kEven };

// The device path for an operator's port text: "COMn" means /dev/ttyS{n-1}
// (`number` = n, which must lie in 1..1024); any other text is a device path
// (`number` = 0). Empty when COMn is out of range or the text is empty.
std::string SerialDevicePath(const std::string& port, int* number = nullptr);

// The serial devices present (real ones: devices with a driver behind them, not
// placeholder legacy ports), sorted as text.
std::vector<std::string> ListSerialPorts();

class SerialPort {
  public:
    // `flags` is the job's stop state; it must outlive the port.
    explicit SerialPort(const JobFlags& flags);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens `device` raw and exclusively at 115200 8N1 and purges both queues;
    // an open port is closed first. False when it cannot be opened or is in use.
    bool Open(const std::string& device);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // 1, or −2 when the port is not open (or the format cannot be applied).
    int SetLineFormat(int baud, int byte_size, Parity parity, int stop_bits);
    int baud() const { return baud_; }

    void PurgeInput();
    void PurgeOutput();
    // Bytes waiting in the receive queue.
    int QueuedInput() const;

    // Reads and discards bytes until one equals `value`: true when found within
    // `timeout_ms`; false on time-out or abort.
    bool WaitForByte(uint8_t value, int timeout_ms);
    // Collects buffer.size() bytes as they arrive: true when all are in within
    // `timeout_ms`; false on time-out or abort (the bytes read are consumed).
    bool ReadExact(std::span<uint8_t> buffer, int timeout_ms);
    // Waits until at least one byte is queued (or the deadline, or abort) and
    // reads what is there, at most buffer.size(). timeout_ms < 0 waits without
    // limit. Returns the count, 0 on time-out, −1 on abort or error.
    int ReadSome(std::span<uint8_t> buffer, int timeout_ms);

    // Writes all bytes within the write time-out. The count written; 0 when the
    // port is not open or there is nothing to write; −1 when the time-out or an
    // abort cut it short; −2 on an error.
    int Write(std::span<const uint8_t> bytes);
    // Sends one byte ahead of queued output: drops pending output, writes it.
    void SendImmediate(uint8_t byte);

    void set_write_timeout(int ms) { write_timeout_ms_ = ms; }

  private:
    enum class WaitResult { kReady, kTimeout, kHangup, kAborted, kError };
    WaitResult Wait(short events, int remaining_ms);
    WaitResult WaitReadable(int remaining_ms);
    WaitResult WaitWritable(int remaining_ms);
    // After a read of `n` (nothing, or an error): waits for more input until
    // `deadline`. False when the read failed, the time is up or the job stopped.
    bool AwaitInput(ssize_t n, std::chrono::steady_clock::time_point deadline);

    const JobFlags& flags_;
    int fd_ = -1;
    int baud_ = 0;
    int write_timeout_ms_ = 2000;
};

}  // namespace velmora
