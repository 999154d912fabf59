#include "serial/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <system_error>

#include "base/job_flags.h"
#include "base/results.h"

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(int ms) {
    return Clock::now() + std::chrono::milliseconds(ms);
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    // Round a partial millisecond up, so a wait never ends before its deadline.
    if (left <= 0) {
        return Clock::now() < deadline ? 1 : 0;
    }
    return static_cast<int>(std::min<long long>(left, 1 << 30));
}

bool SpeedOf(int baud, speed_t& speed) {
    switch (baud) {
        case 9600:
            speed = B9600;
            return true;
        case 19200:
            speed = B19200;
            return true;
        case 38400:
            speed = B38400;
            return true;
        case 57600:
            speed = B57600;
            return true;
        case 115200:
            speed = B115200;
            return true;
        case 230400:
            speed = B230400;
            return true;
        case 460800:
            speed = B460800;
            return true;
        case 921600:
            speed = B921600;
            return true;
        default:
            return false;
    }
}

int BaudOf(speed_t speed) {
    for (const int baud : {9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600}) {
        speed_t s{};
        if (SpeedOf(baud, s) && s == speed) {
            return baud;
        }
    }
    return 0;  // a rate this tool never asks for
}

}  // namespace

std::string SerialDevicePath(const std::string& port, int* number) {
    if (number)
        *number = 0;
    if (port.size() > 3 && (port.compare(0, 3, "COM") == 0 || port.compare(0, 3, "com") == 0)) {
        int n = 0;
        const char* first = port.data() + 3;
        const char* last = port.data() + port.size();
        const auto [end, ec] = std::from_chars(first, last, n);
        if (ec == std::errc() && end == last) {
            if (number)
                *number = n;
            if (n < 1 || n > 1024) {
                return {};
            }
            return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    return port;
}

SerialPort::SerialPort(const JobFlags& flags) : flags_(flags) {}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Open(const std::string& device) {
    Close();
    open_error_ = {};
    if (device.empty()) {
        open_error_.kind = PortOpenFailure::kNoPath;
        return false;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        open_error_ = ClassifyOpenError(device, errno);
        return false;
    }
    // Exclusive: refuse a port another program holds, and keep others out.
    termios tio{};
    int why = 0;
    if (tcgetattr(fd, &tio) != 0) {
        why = errno;
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        why = errno;
    }
    if (why != 0) {
        ::close(fd);
        // Classified after the close, so that the search for the port's holder
        // does not find this program.
        open_error_ = ClassifyOpenError(device, why);
        return false;
    }
    fd_ = fd;
    if (SetLineFormat(115200, 8, Parity::kNone, 1) != result::serial_port::kFormatSet) {
        Close();
        open_error_.kind = PortOpenFailure::kFormat;
        return false;
    }
    // The phone's boot ROM must not see DTR or RTS: some cables wire them to the
    // phone's reset or power key.
    LowerModemLines();
    tcflush(fd_, TCIOFLUSH);
    return true;
}

void SerialPort::LowerModemLines() {
    // A port without modem lines (a pseudo-terminal) refuses the call: nothing to lower.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd_, TIOCMBIC, &lines);
}

void SerialPort::Close() {
    if (fd_ >= 0) {
        ioctl(fd_, TIOCNXCL);
        ::close(fd_);
        fd_ = -1;
        baud_ = 0;
    }
}

int SerialPort::DriverBaud() const {
    termios now{};
    if (fd_ < 0 || tcgetattr(fd_, &now) != 0) {
        return 0;
    }
    return BaudOf(cfgetospeed(&now));
}

int SerialPort::WireMs(size_t bytes) const {
    if (fd_ < 0 || baud_ <= 0) {
        return 0;
    }
    const uint64_t bits = static_cast<uint64_t>(bytes) * static_cast<uint64_t>(bits_per_char_);
    const uint64_t ms =
        (bits * 1000 + static_cast<uint64_t>(baud_) - 1) / static_cast<uint64_t>(baud_);
    return static_cast<int>(std::min<uint64_t>(ms, 1u << 30));
}

int SerialPort::SetLineFormat(int baud, int byte_size, Parity parity, int stop_bits) {
    taken_baud_ = 0;
    if (fd_ < 0) {
        return result::serial_port::kFormatNotSet;
    }
    termios tio{};
    speed_t speed{};
    if (tcgetattr(fd_, &tio) != 0 || !SpeedOf(baud, speed)) {
        return result::serial_port::kFormatNotSet;
    }
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | (byte_size == 7 ? CS7 : CS8);
    if (parity == Parity::kEven)
        tio.c_cflag |= PARENB;
    if (stop_bits == 2)
        tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
        // A pseudo-terminal has no parity and drops the bit, which the C library
        // reports as a failure; what matters is that rate and size took hold.
        termios now{};
        if (tcgetattr(fd_, &now) != 0 || (now.c_cflag & CSIZE) != (tio.c_cflag & CSIZE)) {
            return result::serial_port::kFormatNotSet;
        }
    }
    // A driver that cannot make a rate keeps another one without an error; only
    // the read-back tells, and the phone would not understand a byte of it.
    taken_baud_ = DriverBaud();
    if (taken_baud_ != baud) {
        return result::serial_port::kFormatNotSet;
    }
    baud_ = baud;
    bits_per_char_ =
        1 + (byte_size == 7 ? 7 : 8) + (parity == Parity::kNone ? 0 : 1) + (stop_bits == 2 ? 2 : 1);
    return result::serial_port::kFormatSet;
}

void SerialPort::PurgeInput() {
    if (fd_ >= 0)
        tcflush(fd_, TCIFLUSH);
}

void SerialPort::PurgeOutput() {
    if (fd_ >= 0)
        tcflush(fd_, TCOFLUSH);
}

int SerialPort::QueuedInput() const {
    int queued = 0;
    if (fd_ < 0 || ioctl(fd_, FIONREAD, &queued) != 0) {
        return 0;
    }
    return queued;
}

SerialPort::WaitResult SerialPort::WaitReadable(int remaining_ms) {
    return Wait(POLLIN, remaining_ms);
}

SerialPort::WaitResult SerialPort::WaitWritable(int remaining_ms) {
    return Wait(POLLOUT, remaining_ms);
}

SerialPort::WaitResult SerialPort::Wait(short events, int remaining_ms) {
    if (flags_.Aborted()) {
        return WaitResult::kAborted;
    }
    pollfd fds[2] = {{fd_, events, 0}, {flags_.event_fd(), POLLIN, 0}};
    const int r = poll(fds, flags_.event_fd() >= 0 ? 2 : 1, remaining_ms);
    last_revents_ = r > 0 ? fds[0].revents : 0;
    if (flags_.Aborted()) {
        return WaitResult::kAborted;
    }
    if (r < 0) {
        return errno == EINTR ? WaitResult::kTimeout : WaitResult::kError;
    }
    if (r == 0) {
        return WaitResult::kTimeout;
    }
    if (fds[0].revents & (POLLERR | POLLNVAL)) {
        return WaitResult::kError;
    }
    // POLLHUP (the other end went away) without data reads as nothing; let the
    // caller's deadline run out rather than spin on it.
    if ((fds[0].revents & events) == 0) {
        return WaitResult::kHangup;
    }
    return WaitResult::kReady;
}

bool SerialPort::AwaitInput(ssize_t n, std::chrono::steady_clock::time_point deadline) {
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        return false;
    }
    const int left = MillisecondsLeft(deadline);
    if (left == 0) {
        return false;
    }
    switch (WaitReadable(left)) {
        case WaitResult::kReady:
        case WaitResult::kTimeout:
            return true;
        case WaitResult::kHangup:
            flags_.Sleep(std::min(left, 5));
            return true;
        case WaitResult::kAborted:
        case WaitResult::kError:
            break;
    }
    return false;
}

bool SerialPort::WaitForByte(uint8_t value, int timeout_ms) {
    if (fd_ < 0) {
        return false;
    }
    const auto deadline = DeadlineAfter(timeout_ms);
    for (;;) {
        // One byte at a time: whatever follows the awaited byte stays queued.
        uint8_t byte = 0;
        const ssize_t n = ::read(fd_, &byte, 1);
        if (n == 1) {
            if (byte == value) {
                return true;
            }
            if (flags_.Aborted()) {
                return false;
            }
            continue;
        }
        if (!AwaitInput(n, deadline)) {
            return false;
        }
    }
}

bool SerialPort::ReadExact(std::span<uint8_t> buffer, int timeout_ms) {
    if (fd_ < 0) {
        return false;
    }
    const auto deadline = DeadlineAfter(timeout_ms);
    size_t got = 0;
    while (got < buffer.size()) {
        const ssize_t n = ::read(fd_, buffer.data() + got, buffer.size() - got);
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        if (!AwaitInput(n, deadline)) {
            return false;
        }
    }
    return true;
}

int SerialPort::ReadSome(std::span<uint8_t> buffer, int timeout_ms) {
    if (fd_ < 0 || buffer.empty()) {
        return result::serial_port::kReadFailed;
    }
    const bool forever = timeout_ms < 0;
    const auto deadline = DeadlineAfter(forever ? 0 : timeout_ms);
    for (;;) {
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n > 0) {
            return static_cast<int>(n);
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return result::serial_port::kReadFailed;
        }
        int left = -1;
        if (!forever) {
            left = MillisecondsLeft(deadline);
            if (left == 0) {
                return 0;
            }
        }
        switch (WaitReadable(left)) {
            case WaitResult::kReady:
            case WaitResult::kTimeout:
                break;
            case WaitResult::kHangup:
                if (!flags_.Sleep(forever ? 5 : std::min(left, 5)))
                    return result::serial_port::kReadFailed;
                break;
            case WaitResult::kAborted:
            case WaitResult::kError:
                return result::serial_port::kReadFailed;
        }
    }
}

int SerialPort::Write(std::span<const uint8_t> bytes) {
    namespace code = result::serial_port;
    if (fd_ < 0 || bytes.empty()) {
        return 0;
    }
    // The driver takes the bytes no faster than the line carries them: a long
    // data phase at a low rate needs its wire time before the margin counts.
    const auto deadline = DeadlineAfter(WireMs(bytes.size()) + write_timeout_ms_);
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return errno == EIO || errno == ENXIO || errno == ENODEV ? code::kHungUp
                                                                     : code::kWriteFailed;
        }
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            return code::kWriteTimedOut;
        }
        switch (WaitWritable(left)) {
            case WaitResult::kReady:
            case WaitResult::kTimeout:
                break;
            case WaitResult::kHangup:
                return code::kHungUp;
            case WaitResult::kError:
                return (last_revents_ & POLLHUP) != 0 ? code::kHungUp : code::kWriteFailed;
            case WaitResult::kAborted:
                return code::kWriteTimedOut;
        }
    }
    return static_cast<int>(sent);
}

void SerialPort::SendImmediate(uint8_t byte) {
    PurgeOutput();
    const uint8_t one[1] = {byte};
    Write(one);
}

}  // namespace velmora
