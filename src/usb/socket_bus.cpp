#include "usb/socket_bus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace velmora::usb {

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

// How long a reply to a cancel, a list or an open may take before the bus is
// taken as gone.
constexpr int kBusAnswerMs = 5000;
// Open statuses beyond the transfer ones: held by another program, no permission.
constexpr uint8_t kOpenBusy = 5;
constexpr uint8_t kOpenAccess = 6;

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

void Put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}
uint32_t Get32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

Fd Connect(const std::string& path) {
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (fd.get() < 0 || path.size() >= sizeof addr.sun_path) {
        return Fd();
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        return Fd();
    }
    return fd;
}

bool SendMessage(int fd, uint8_t type, const Bytes& payload) {
    Bytes m;
    Put32(m, static_cast<uint32_t>(payload.size() + 1));
    m.push_back(type);
    m.insert(m.end(), payload.begin(), payload.end());
    size_t done = 0;
    while (done < m.size()) {
        const ssize_t n = ::send(fd, m.data() + done, m.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool ReadFull(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r <= 0) {
            return false;
        }
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// Waits until fd has something to read, the deadline passes (false) or abort_fd fires.
enum class Ready { kData, kTimeout, kAbort };
Ready WaitReadable(int fd, Clock::time_point deadline, int abort_fd) {
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0) {
            return Ready::kTimeout;
        }
        pollfd p[2] = {{fd, POLLIN, 0}, {abort_fd, POLLIN, 0}};
        const int r = ::poll(p, abort_fd >= 0 ? 2 : 1, static_cast<int>(left));
        if (r > 0 && p[0].revents) {
            return Ready::kData;
        }
        if (r > 0 && abort_fd >= 0 && p[1].revents) {
            return Ready::kAbort;
        }
    }
}

// Where a reply's bytes past its first `keep` go: straight into the caller's buffer
// (a bulk IN's data, spared an extra copy), up to `capacity`; the rest is dropped.
struct Sink {
    size_t keep = SIZE_MAX;
    uint8_t* data = nullptr;
    size_t capacity = 0;
    size_t taken = 0;
};

// The reply message (type first), or empty when the connection broke. A 'd'
// message (a bulk IN transfer's data, ahead of its completion) goes whole to the sink.
Bytes ReadMessage(int fd, Sink* sink = nullptr) {
    uint8_t head[5];
    if (!ReadFull(fd, head, 4)) {
        return {};
    }
    const uint32_t length = Get32(head);
    if (length == 0 || length > (1u << 26) || !ReadFull(fd, head + 4, 1)) {
        return {};
    }
    const bool data = head[4] == 'd';
    Bytes body(sink ? std::min<size_t>(length, data ? 1 : sink->keep) : length);
    body[0] = head[4];
    if (!ReadFull(fd, body.data() + 1, body.size() - 1)) {
        return {};
    }
    size_t rest = length - body.size();
    if (sink && rest > 0) {
        sink->taken = std::min(rest, sink->capacity);
        if (!ReadFull(fd, sink->data, sink->taken)) {
            return {};
        }
        rest -= sink->taken;
        uint8_t drop[512];
        while (rest > 0) {
            const size_t n = std::min(rest, sizeof drop);
            if (!ReadFull(fd, drop, n)) {
                return {};
            }
            rest -= n;
        }
    }
    return body;
}

Bytes Await(int fd, unsigned timeout_ms, int abort_fd, bool* cancelled) {
    const Ready ready =
        WaitReadable(fd, Clock::now() + std::chrono::milliseconds(timeout_ms), abort_fd);
    if (ready != Ready::kData) {
        *cancelled = true;
        // The pending request always answers; after the cancel it answers soon.
        if (!SendMessage(fd, 'X', {}) ||
            WaitReadable(fd, Clock::now() + std::chrono::milliseconds(kBusAnswerMs), -1) !=
                Ready::kData) {
            return {};
        }
    }
    return ReadMessage(fd);
}

class SocketHandle : public UsbHandle {
  public:
    explicit SocketHandle(Fd fd) : fd_(std::move(fd)) {}

    UsbResult Control(const ControlSetup& s, uint8_t* data, unsigned timeout_ms) override {
        Bytes p = {s.request_type, s.request};
        Put16(p, s.value);
        Put16(p, s.index);
        Put16(p, s.length);
        Put32(p, timeout_ms);
        if (!s.IsIn() && s.length > 0 && data) {
            p.insert(p.end(), data, data + s.length);
        }
        Bytes reply;
        const UsbStatus st = Exchange('C', p, timeout_ms, -1, &reply);
        return DecodeControlReply(reply, s, st, data);
    }

    UsbResult Bulk(const BulkSetup& s, uint8_t* data, int abort_fd) override {
        Bytes p = BulkRequest(s);
        if (!s.IsIn()) {
            p.insert(p.end(), data, data + s.length);
        }
        Bytes reply;
        Sink sink{6, data, s.IsIn() ? s.length : 0, 0};
        const UsbStatus st = Exchange('B', p, s.timeout_ms, abort_fd, &reply, &sink);
        return DecodeBulkReply(reply, s, st, sink.taken);
    }

    // One 'T' request carries both transfers; the phone's bus answers the OUT one,
    // then (when it went) the IN one.
    CommandResult CommandAndRead(const BulkSetup& out, const uint8_t* out_data, const BulkSetup& in,
                                 uint8_t* in_data, int abort_fd,
                                 const std::function<void()>& meanwhile) override {
        Bytes p = BulkRequest(out);
        p.push_back(in.endpoint);
        Put32(p, in.length);
        Put32(p, in.timeout_ms);
        p.insert(p.end(), out_data, out_data + out.length);
        CommandResult r;
        if (broken_ || !SendMessage(fd_.get(), 'T', p)) {
            broken_ = true;
            r.out = {UsbStatus::kNoDevice, 0};
            return r;
        }
        if (meanwhile) {
            meanwhile();
        }
        Bytes reply;
        Sink none{6, nullptr, 0, 0};
        UsbStatus st = AwaitReply(out.timeout_ms, abort_fd, &reply, &none);
        r.out = DecodeBulkReply(reply, out, st, none.taken);
        if (!r.out.ok()) {
            return r;
        }
        Sink sink{6, in_data, in.length, 0};
        st = AwaitReply(in.timeout_ms, abort_fd, &reply, &sink);
        r.in = DecodeBulkReply(reply, in, st, sink.taken);
        return r;
    }
    UsbStatus Reset() override {
        Bytes reply;
        const UsbStatus st = Exchange('R', {}, kBusAnswerMs, -1, &reply);
        const std::optional<uint8_t> code = DecodeStatusReply(reply, 'r');
        if (!code) {
            return st == UsbStatus::kOk ? UsbStatus::kError : st;
        }
        const UsbStatus r = SocketStatus(*code);
        if (r == UsbStatus::kNoDevice) {
            broken_ = true;  // bound to the device that left; it is found again by path
        }
        return r;
    }

    UsbStatus ClearHalt(uint8_t endpoint) override {
        Bytes reply;
        const UsbStatus st = Exchange('H', {endpoint}, kBusAnswerMs, -1, &reply);
        const std::optional<uint8_t> code = DecodeStatusReply(reply, 'h');
        if (!code) {
            return st == UsbStatus::kOk ? UsbStatus::kError : st;
        }
        return SocketStatus(*code);
    }

  private:
    // Sends one request and waits for its reply; the status says why there was none,
    // or, when the wait was cut short, whether by the deadline or by Stop.
    UsbStatus Exchange(uint8_t type, const Bytes& payload, unsigned timeout_ms, int abort_fd,
                       Bytes* reply, Sink* sink = nullptr) {
        if (broken_ || !SendMessage(fd_.get(), type, payload)) {
            broken_ = true;
            return UsbStatus::kNoDevice;
        }
        return AwaitReply(timeout_ms, abort_fd, reply, sink);
    }

    UsbStatus AwaitReply(unsigned timeout_ms, int abort_fd, Bytes* reply, Sink* sink) {
        if (broken_) {
            return UsbStatus::kNoDevice;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
        Ready ready = Ready::kData;
        bool cancelled = false;
        for (;;) {
            const Ready r = WaitReadable(
                fd_.get(),
                cancelled ? Clock::now() + std::chrono::milliseconds(kBusAnswerMs) : deadline,
                cancelled ? -1 : abort_fd);
            if (r != Ready::kData) {
                // The pending request always answers; after the cancel it answers soon.
                if (cancelled || !SendMessage(fd_.get(), 'X', {})) {
                    broken_ = true;
                    return UsbStatus::kNoDevice;
                }
                cancelled = true;
                ready = r;
                continue;
            }
            *reply = ReadMessage(fd_.get(), sink);
            if (reply->empty()) {
                broken_ = true;
                return UsbStatus::kNoDevice;
            }
            // A transfer's data comes ahead of its completion, as it would land in
            // the host's buffer while on the wire.
            if ((*reply)[0] != 'd') {
                break;
            }
        }
        switch (ready) {
            case Ready::kData:
                return UsbStatus::kOk;
            case Ready::kTimeout:
                return UsbStatus::kTimeout;
            case Ready::kAbort:
                break;
        }
        return UsbStatus::kCancelled;
    }

    // Endpoint, length, time-out and when the transfer was submitted: the phone's bus
    // counts the wire from then, so the socket's own delivery is not taken for bus time.
    static Bytes BulkRequest(const BulkSetup& s) {
        Bytes p = {s.endpoint};
        Put32(p, s.length);
        Put32(p, s.timeout_ms);
        const uint64_t submitted = static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
                .count());
        Put32(p, static_cast<uint32_t>(submitted));
        Put32(p, static_cast<uint32_t>(submitted >> 32));
        return p;
    }

    Fd fd_;
    bool broken_ = false;
};

}  // namespace

UsbStatus SocketStatus(uint8_t code) {
    switch (code) {
        case 0:
            return UsbStatus::kOk;
        case 1:
            return UsbStatus::kTimeout;
        case 2:
            return UsbStatus::kStall;
        case 3:
            return UsbStatus::kNoDevice;
        case 4:
            return UsbStatus::kCancelled;
        default:
            return UsbStatus::kError;
    }
}

std::vector<UsbDeviceInfo> DecodeListReply(std::span<const uint8_t> m) {
    std::vector<UsbDeviceInfo> out;
    if (m.size() < 3 || m[0] != 'l') {
        return out;
    }
    size_t at = 3;
    const unsigned count = m[1] | m[2] << 8;
    auto has = [&m, &at](size_t n) { return n <= m.size() - at; };
    for (unsigned d = 0; d < count && has(1); ++d) {
        UsbDeviceInfo info;
        const uint8_t plen = m[at++];
        if (!has(plen + 9u)) {
            break;
        }
        info.path.assign(m.begin() + at, m.begin() + at + plen);
        at += plen;
        info.vendor = static_cast<uint16_t>(m[at] | m[at + 1] << 8);
        info.product = static_cast<uint16_t>(m[at + 2] | m[at + 3] << 8);
        info.address = Get32(&m[at + 4]);
        const uint8_t slen = m[at + 8];
        at += 9;
        if (!has(slen + 1u)) {
            break;
        }
        info.serial.assign(m.begin() + at, m.begin() + at + slen);
        at += slen;
        const uint8_t n = m[at++];
        for (uint8_t i = 0; i < n && has(11); ++i, at += 11) {
            info.interfaces.push_back({m[at], m[at + 1], m[at + 2], m[at + 3], m[at + 4], m[at + 5],
                                       m[at + 6], static_cast<uint16_t>(m[at + 7] | m[at + 8] << 8),
                                       static_cast<uint16_t>(m[at + 9] | m[at + 10] << 8)});
        }
        out.push_back(std::move(info));
    }
    return out;
}

std::optional<uint8_t> DecodeStatusReply(std::span<const uint8_t> reply, uint8_t type) {
    if (reply.size() < 2 || reply[0] != type) {
        return std::nullopt;
    }
    return reply[1];
}

UsbResult DecodeControlReply(std::span<const uint8_t> reply, const ControlSetup& setup,
                             UsbStatus waited, uint8_t* data) {
    if (reply.size() < 2 || reply[0] != 'c') {
        return {waited, 0};
    }
    const size_t n = setup.IsIn() ? std::min<size_t>(reply.size() - 2, setup.length) : setup.length;
    if (setup.IsIn() && data && n > 0) {
        std::memcpy(data, reply.data() + 2, n);
    }
    const UsbStatus status = SocketStatus(reply[1]);
    return {status, status == UsbStatus::kOk ? n : 0};
}

UsbResult DecodeBulkReply(std::span<const uint8_t> reply, const BulkSetup& setup, UsbStatus waited,
                          size_t taken) {
    if (reply.size() < 6 || reply[0] != 'b') {
        return {waited, 0};
    }
    UsbResult r{SocketStatus(reply[1]), Get32(&reply[2])};
    if (setup.IsIn()) {
        r.transferred = std::min<size_t>({r.transferred, taken, size_t{setup.length}});
    }
    if (r.status == UsbStatus::kCancelled && waited == UsbStatus::kTimeout) {
        r.status = UsbStatus::kTimeout;
    }
    return r;
}

std::vector<UsbDeviceInfo> SocketBus::List() {
    std::vector<UsbDeviceInfo> out;
    Fd fd = Connect(path_);
    if (fd.get() < 0 || !SendMessage(fd.get(), 'L', {})) {
        return out;
    }
    bool cancelled = false;
    return DecodeListReply(Await(fd.get(), kBusAnswerMs, -1, &cancelled));
}

std::unique_ptr<UsbHandle> SocketBus::Open(const std::string& path, uint8_t interface,
                                           uint8_t alt_setting, UsbError* error) {
    Fd fd = Connect(path_);
    Bytes p = {interface, alt_setting};
    p.insert(p.end(), path.begin(), path.end());
    auto fail = [error](UsbOpenFailure kind, const char* name, std::string detail) {
        if (error) {
            *error = {kind, name, std::move(detail)};
        }
        return nullptr;
    };
    if (fd.get() < 0 || !SendMessage(fd.get(), 'O', p)) {
        return fail(UsbOpenFailure::kOther, "LIBUSB_ERROR_IO",
                    "cannot reach the USB stand-in at " + path_);
    }
    bool cancelled = false;
    const std::optional<uint8_t> status =
        DecodeStatusReply(Await(fd.get(), kBusAnswerMs, -1, &cancelled), 'o');
    if (!status) {
        return fail(UsbOpenFailure::kOther, "LIBUSB_ERROR_IO", "the USB stand-in did not answer");
    }
    // The stand-in's statuses as libusb would report the same causes.
    switch (*status) {
        case 0:
            return std::make_unique<SocketHandle>(std::move(fd));
        case kOpenBusy:
            return fail(UsbOpenFailure::kBusy, "LIBUSB_ERROR_BUSY", "Resource busy");
        case kOpenAccess:
            return fail(UsbOpenFailure::kAccess, "LIBUSB_ERROR_ACCESS",
                        "Access denied (insufficient permissions)");
        default:
            return fail(UsbOpenFailure::kNotFound, "LIBUSB_ERROR_NO_DEVICE",
                        "No such device (it may have been disconnected)");
    }
}

}  // namespace velmora::usb
