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

#include "serial/port_open_error.h"

namespace velmora {

class JobFlags;

enum class Parity { kNone, kEven };

// The device path for an operator's port text: "COMn" means /dev/ttyS{n-1}
// (`number` = n, which must lie in 1..1024); any other text is a device path
// (`number` = 0). Empty when COMn is out of range or the text is empty.
std::string SerialDevicePath(const std::string& port, int* number = nullptr);

class SerialPort {
  public:
    // `flags` is the job's stop state; it must outlive the port.
    explicit SerialPort(const JobFlags& flags);
    virtual ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens `device` raw and exclusively at 115200 8N1 and purges both queues;
    // an open port is closed first. False when it cannot be opened or is in use;
    // open_error() then says why.
    bool Open(const std::string& device);
    const PortOpenError& open_error() const { return open_error_; }
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Applies the format and reads back the rate the driver took. 1, or −2 when
    // the port is not open, the format cannot be applied or the driver took
    // another rate than `baud` (taken_baud() then tells which).
    int SetLineFormat(int baud, int byte_size, Parity parity, int stop_bits);
    int baud() const { return baud_; }
    // The rate the driver reported after the last SetLineFormat (0: unknown).
    int taken_baud() const { return taken_baud_; }

    // Milliseconds that `bytes` take on the line at the current rate and
    // character format (start, data, parity and stop bits), rounded up; 0 when
    // the port is not open.
    int WireMs(size_t bytes) const;

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

    // Writes all bytes within their wire time plus the write time-out. The count
    // written; 0 when the port is not open or there is nothing to write; −1 when
    // the deadline or an abort cut it short; −2 on an error; −3 when the other
    // end hung up (the device went away).
    int Write(std::span<const uint8_t> bytes);
    // Sends one byte ahead of queued output: drops pending output, writes it.
    void SendImmediate(uint8_t byte);

    void set_write_timeout(int ms) { write_timeout_ms_ = ms; }

  protected:
    // The rate the driver holds now (0 when it cannot be read). A seam for tests
    // of a driver that does not take the rate asked for.
    virtual int DriverBaud() const;

  private:
    enum class WaitResult { kReady, kTimeout, kHangup, kAborted, kError };
    WaitResult Wait(short events, int remaining_ms);
    WaitResult WaitReadable(int remaining_ms);
    WaitResult WaitWritable(int remaining_ms);
    // After a read of `n` (nothing, or an error): waits for more input until
    // `deadline`. False when the read failed, the time is up or the job stopped.
    bool AwaitInput(ssize_t n, std::chrono::steady_clock::time_point deadline);

    void LowerModemLines();

    const JobFlags& flags_;
    PortOpenError open_error_;
    int fd_ = -1;
    int baud_ = 0;
    int taken_baud_ = 0;
    short last_revents_ = 0;  // of the port in the last poll
    int bits_per_char_ = 10;
    int write_timeout_ms_ = 2000;
};

}  // namespace velmora
