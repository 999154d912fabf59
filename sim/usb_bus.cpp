#include "sim/usb_bus.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace velmora::sim {

namespace {

using Bytes = std::vector<uint8_t>;

// A bulk request: type, endpoint, length, time-out, submission time; then OUT data.
constexpr size_t kBulkHead = 18;
// A command-and-read request: a bulk OUT request's head, then the IN transfer's
// endpoint, length and time-out; then the OUT data.
constexpr size_t kCommandHead = kBulkHead + 9;

void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}
uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint64_t Get64(const uint8_t* p) {
    return Get32(p) | uint64_t{Get32(p + 4)} << 32;
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

// One message from the host: a length that is neither 0 nor above 64 MiB, then as many
// bytes. false: the host is gone, or the length is out of bounds.
bool ReadMessage(int fd, Bytes* m) {
    uint8_t head[4];
    if (!ReadFull(fd, head, 4) || Get32(head) == 0 || Get32(head) > (1u << 26)) {
        return false;
    }
    m->resize(Get32(head));
    return ReadFull(fd, m->data(), m->size());
}

// The head and the payload go out as they are: a paced reply is due the moment it
// is sent, with no copy of its data in between.
bool Send(int fd, uint8_t type, const Bytes& payload) {
    Bytes head;
    Put32(head, static_cast<uint32_t>(payload.size() + 1));
    head.push_back(type);
    const size_t total = head.size() + payload.size();
    size_t done = 0;
    while (done < total) {
        iovec v[2];
        int count = 0;
        if (done < head.size()) {
            v[count++] = {head.data() + done, head.size() - done};
        }
        const size_t from = done < head.size() ? 0 : done - head.size();
        if (from < payload.size()) {
            v[count++] = {const_cast<uint8_t*>(payload.data()) + from, payload.size() - from};
        }
        msghdr m{};
        m.msg_iov = v;
        m.msg_iovlen = static_cast<size_t>(count);
        const ssize_t n = ::sendmsg(fd, &m, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

Bytes BulkReply(SimStatus status, uint32_t transferred, const Bytes& data = {}) {
    Bytes p = {static_cast<uint8_t>(status)};
    Put32(p, transferred);
    p.insert(p.end(), data.begin(), data.end());
    return p;
}

}  // namespace

std::optional<SimRequest> DecodeSimRequest(std::span<const uint8_t> m) {
    if (m.empty()) {
        return std::nullopt;
    }
    SimRequest r;
    switch (m[0]) {
        case 'L':
            r.kind = SimRequest::Kind::kList;
            return r;
        case 'R':
            r.kind = SimRequest::Kind::kReset;
            return r;
        case 'X':
            r.kind = SimRequest::Kind::kCancel;
            return r;
        case 'O':
            if (m.size() < 3) {
                return std::nullopt;
            }
            r.kind = SimRequest::Kind::kOpen;
            r.interface = m[1];
            r.path.assign(m.begin() + 3, m.end());
            return r;
        case 'C':
            if (m.size() < 13) {
                return std::nullopt;
            }
            r.kind = SimRequest::Kind::kControl;
            r.setup = {m[1], m[2], Get16(&m[3]), Get16(&m[5]), Get16(&m[7])};
            r.out = m.subspan(13);
            return r;
        case 'H':
            if (m.size() < 2) {
                return std::nullopt;
            }
            r.kind = SimRequest::Kind::kClearHalt;
            r.endpoint = m[1];
            return r;
        case 'B':
        case 'T': {
            const bool command = m[0] == 'T';
            const size_t head = command ? kCommandHead : kBulkHead;
            if (m.size() < head || (command && ((m[1] & 0x80) || !(m[kBulkHead] & 0x80)))) {
                return std::nullopt;
            }
            r.kind = command ? SimRequest::Kind::kCommand : SimRequest::Kind::kBulk;
            r.endpoint = m[1];
            r.length = Get32(&m[2]);
            r.submitted_ns = Get64(&m[10]);
            if (command) {
                r.in_endpoint = m[kBulkHead];
                r.in_length = Get32(&m[kBulkHead + 1]);
            }
            r.out = m.subspan(head);
            return r;
        }
        default:
            return std::nullopt;
    }
}

SimUsbBus::SimUsbBus() {
    stop_fd_ = ::eventfd(0, EFD_CLOEXEC);
}

SimUsbBus::~SimUsbBus() {
    Stop();
    ::close(stop_fd_);
}

void SimUsbBus::Attach(const std::string& path, std::shared_ptr<SimUsbFunction> function,
                       SimClock::time_point visible_from) {
    std::lock_guard lock(mutex_);
    AttachLocked(path, std::move(function), visible_from);
}

void SimUsbBus::Detach(const std::string& path) {
    std::lock_guard lock(mutex_);
    DetachLocked(path);
}

void SimUsbBus::AttachLocked(const std::string& path, std::shared_ptr<SimUsbFunction> function,
                             SimClock::time_point visible_from) {
    Slot& slot = slots_[path];
    slot.function = std::move(function);
    slot.generation = next_generation_++;
    slot.visible_from = visible_from;
    slot.claimed.clear();
    if (observer_) {
        observer_(path, slot.function);
    }
    NotifyLocked();
}

void SimUsbBus::DetachLocked(const std::string& path) {
    if (slots_.erase(path) > 0 && observer_) {
        observer_(path, nullptr);
    }
    NotifyLocked();
}

void SimUsbBus::ClaimLocked(const std::string& path, uint8_t interface) {
    if (const auto it = slots_.find(path); it != slots_.end()) {
        it->second.claimed.push_back(interface);
    }
}

void SimUsbBus::NotifyLocked() {
    for (int fd : waiters_) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
    }
}

bool SimUsbBus::Serve(const std::string& socket_path, std::string* error) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof addr.sun_path) {
        *error = "socket path too long: " + socket_path;
        return false;
    }
    std::memcpy(addr.sun_path, socket_path.c_str(), socket_path.size() + 1);
    ::unlink(socket_path.c_str());
    listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0 ||
        ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, 16) != 0) {
        *error = "cannot listen at " + socket_path + ": " + std::strerror(errno);
        if (listen_fd_ >= 0) {
            ::close(listen_fd_);
            listen_fd_ = -1;
        }
        return false;
    }
    socket_path_ = socket_path;
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void SimUsbBus::Stop() {
    if (stopping_.exchange(true)) {
        return;
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_fd_, &one, sizeof one);
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    for (Connection& c : connections_) {
        c.thread.join();
    }
    connections_.clear();
    if (listen_fd_ >= 0) {
        ::close(listen_fd_);
        listen_fd_ = -1;
        ::unlink(socket_path_.c_str());
    }
}

void SimUsbBus::AcceptLoop() {
    for (;;) {
        pollfd p[2] = {{listen_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            continue;
        }
        if (p[1].revents) {
            return;
        }
        if (p[0].revents) {
            const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                // Finished connections are joined here, so that a host that lists the
                // bus every 100 ms for hours leaves nothing behind.
                std::erase_if(connections_, [](Connection& c) {
                    if (!c.done->load()) {
                        return false;
                    }
                    c.thread.join();
                    return true;
                });
                auto done = std::make_shared<std::atomic<bool>>(false);
                connections_.push_back({std::thread([this, fd, done] {
                                            RunConnection(fd);
                                            done->store(true);
                                        }),
                                        done});
            }
        }
    }
}

std::vector<uint8_t> SimUsbBus::ListReply() const {
    Bytes r = {0, 0};
    uint16_t count = 0;
    const auto now = SimClock::now();
    for (const auto& [path, slot] : slots_) {
        if (now < slot.visible_from) {
            continue;
        }
        ++count;
        r.push_back(static_cast<uint8_t>(path.size()));
        r.insert(r.end(), path.begin(), path.end());
        const uint16_t v = slot.function->Vendor(), pr = slot.function->Product();
        r.insert(r.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                           static_cast<uint8_t>(pr), static_cast<uint8_t>(pr >> 8)});
        // Each attach is a new enumeration: a new address.
        Put32(r, static_cast<uint32_t>(slot.generation));
        const std::string serial = slot.function->Serial().substr(0, 255);
        r.push_back(static_cast<uint8_t>(serial.size()));
        r.insert(r.end(), serial.begin(), serial.end());
        const auto ifs = slot.function->Interfaces();
        r.push_back(static_cast<uint8_t>(ifs.size()));
        for (const SimInterface& i : ifs) {
            r.insert(r.end(),
                     {i.number, i.alt, i.cls, i.subclass, i.protocol, i.bulk_in, i.bulk_out,
                      static_cast<uint8_t>(i.in_packet), static_cast<uint8_t>(i.in_packet >> 8),
                      static_cast<uint8_t>(i.out_packet), static_cast<uint8_t>(i.out_packet >> 8)});
        }
    }
    r[0] = static_cast<uint8_t>(count);
    r[1] = static_cast<uint8_t>(count >> 8);
    return r;
}

// What one host connection has opened and is waiting for.
struct SimUsbBus::ConnectionState {
    int fd = -1;
    int wake = -1;  // an eventfd: bulk data may have come
    std::string bound_path;
    uint64_t bound_generation = 0;
    uint8_t bound_interface = 0;

    // The one request that may be waiting: an IN transfer for data, or a reply held
    // back by the pacing of the wire.
    enum class Pending { kNone, kIn, kTimed } pending = Pending::kNone;
    uint8_t in_endpoint = 0;
    uint32_t in_length = 0;
    SimClock::time_point in_requested;
    SimClock::time_point wake_at = SimClock::time_point::max();
    Bytes timed_reply;
    // A command-and-read's IN transfer, started once its OUT transfer has ended.
    bool in_follows = false;
    uint8_t follow_endpoint = 0;
    uint32_t follow_length = 0;
    // How late this thread sent the latest paced reply: the host's next request would
    // have come that much earlier on a real bus, so it counts from then; and when the
    // latest transfer ended on that bus.
    SimClock::duration late{};
    SimClock::time_point bus_free{};

    // A transfer that ended on the bus at `end` is answered `now`.
    void Ended(SimClock::time_point now, SimClock::time_point end) {
        late = now - end;
        bus_free = end;
    }
    // An IN transfer on the bus from `requested` on waits for its data.
    void AwaitIn(uint8_t endpoint, uint32_t length, SimClock::time_point requested) {
        pending = Pending::kIn;
        in_endpoint = endpoint;
        in_length = length;
        in_requested = requested;
        wake_at = SimClock::time_point::max();
    }
};

void SimUsbBus::RunConnection(int fd) {
    // Paced replies are due to the microsecond: no timer slack on this thread.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    ConnectionState c;
    c.fd = fd;
    c.wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    {
        std::lock_guard lock(mutex_);
        waiters_.push_back(c.wake);
    }
    bool alive = true;
    bool readable = false;
    while (alive && AwaitWork(c, &readable)) {
        if (readable) {
            Bytes m;
            if (!ReadMessage(fd, &m)) {
                break;
            }
            std::lock_guard lock(mutex_);
            const std::optional<SimRequest> request = DecodeSimRequest(m);
            if (request && request->kind == SimRequest::Kind::kCancel) {
                alive = Cancel(c);
                continue;
            }
            if (!request || c.pending != ConnectionState::Pending::kNone) {
                break;  // one request at a time on a connection
            }
            alive = Answer(c, *request);
        }
        alive = alive && FinishPending(c);
    }
    EndConnection(c);
}

bool SimUsbBus::AwaitWork(ConnectionState& c, bool* readable) {
    // The pacing of the wire needs better than whole milliseconds.
    timespec timeout{};
    timespec* until = nullptr;
    if (c.pending != ConnectionState::Pending::kNone && c.wake_at != SimClock::time_point::max()) {
        const auto left = std::max<int64_t>(
            0, std::chrono::duration_cast<std::chrono::nanoseconds>(c.wake_at - SimClock::now())
                   .count());
        timeout.tv_sec = static_cast<time_t>(left / 1000000000);
        timeout.tv_nsec = static_cast<long>(left % 1000000000);
        until = &timeout;
    }
    pollfd p[3] = {{c.fd, POLLIN, 0}, {c.wake, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    ::ppoll(p, 3, until, nullptr);
    if (p[2].revents) {
        return false;
    }
    if (p[1].revents) {
        uint64_t drained;
        [[maybe_unused]] const ssize_t n = ::read(c.wake, &drained, sizeof drained);
    }
    *readable = p[0].revents != 0;
    return true;
}

bool SimUsbBus::Answer(ConnectionState& c, const SimRequest& q) {
    switch (q.kind) {
        case SimRequest::Kind::kList:
            return Send(c.fd, 'l', ListReply());
        case SimRequest::Kind::kOpen:
            return Send(c.fd, 'o', {static_cast<uint8_t>(Bind(c, q))});
        case SimRequest::Kind::kControl: {
            const Bytes out(q.out.begin(), q.out.end());
            Bytes in;
            SimStatus st = SimStatus::kNoDevice;
            if (SimUsbFunction* f = Device(c)) {
                st = f->Control(q.setup, out, &in);
            }
            in.resize(std::min<size_t>(in.size(), q.setup.length));
            Bytes r = {static_cast<uint8_t>(st)};
            r.insert(r.end(), in.begin(), in.end());
            return Send(c.fd, 'c', r);
        }
        case SimRequest::Kind::kBulk:
        case SimRequest::Kind::kCommand:
            return StartBulk(c, q);
        case SimRequest::Kind::kReset: {
            SimStatus st = SimStatus::kNoDevice;
            if (SimUsbFunction* f = Device(c)) {
                // A device that re-enumerates leaves this connection behind.
                const std::shared_ptr<SimUsbFunction> keep = slots_[c.bound_path].function;
                st = f->Reset();
            }
            return Send(c.fd, 'r', {static_cast<uint8_t>(st)});
        }
        case SimRequest::Kind::kClearHalt: {
            SimStatus st = SimStatus::kNoDevice;
            if (SimUsbFunction* f = Device(c)) {
                st = f->ClearHalt(q.endpoint);
            }
            return Send(c.fd, 'h', {static_cast<uint8_t>(st)});
        }
        case SimRequest::Kind::kCancel:
            break;
    }
    return true;
}

SimStatus SimUsbBus::Bind(ConnectionState& c, const SimRequest& q) {
    const auto it = slots_.find(q.path);
    if (c.bound_generation != 0 || it == slots_.end() ||
        SimClock::now() < it->second.visible_from) {
        return SimStatus::kNoDevice;
    }
    if (const SimStatus refused = it->second.function->OpenStatus(); refused != SimStatus::kOk) {
        return refused;
    }
    auto& claimed = it->second.claimed;
    if (std::find(claimed.begin(), claimed.end(), q.interface) != claimed.end()) {
        return SimStatus::kError;  // held by another program
    }
    claimed.push_back(q.interface);
    c.bound_path = q.path;
    c.bound_generation = it->second.generation;
    c.bound_interface = q.interface;
    return SimStatus::kOk;
}

SimUsbFunction* SimUsbBus::Device(const ConnectionState& c) const {
    const auto it = slots_.find(c.bound_path);
    if (c.bound_generation == 0 || it == slots_.end() ||
        it->second.generation != c.bound_generation) {
        return nullptr;
    }
    return it->second.function.get();
}

bool SimUsbBus::StartBulk(ConnectionState& c, const SimRequest& q) {
    // The wire may start when the host submitted the transfer (the socket's delivery is
    // no bus time), not before the previous transfer ended.
    const auto now = SimClock::now();
    const SimClock::time_point submitted{std::chrono::nanoseconds(q.submitted_ns)};
    const auto requested = std::max(c.bus_free, std::min(now, submitted) - c.late);
    const bool command = q.kind == SimRequest::Kind::kCommand;
    if (command) {
        c.follow_endpoint = q.in_endpoint;
        c.follow_length = q.in_length;
    }
    if (q.endpoint & 0x80) {
        c.AwaitIn(q.endpoint, q.length, requested);
        return TryIn(c);
    }
    SimClock::duration pace{};
    SimStatus st = SimStatus::kNoDevice;
    const uint32_t n = static_cast<uint32_t>(q.out.size());
    if (SimUsbFunction* f = Device(c)) {
        st = f->BulkOut(q.endpoint, q.out.data(), n, requested, &pace);
    }
    c.in_follows = command && st == SimStatus::kOk;
    if (st == SimStatus::kOk && pace > SimClock::duration::zero()) {
        c.pending = ConnectionState::Pending::kTimed;
        c.timed_reply = BulkReply(st, n);
        c.wake_at = now + pace;
        return true;
    }
    c.Ended(now, st == SimStatus::kOk ? now + pace : now);
    if (!Send(c.fd, 'b', BulkReply(st, st == SimStatus::kOk ? n : 0))) {
        return false;
    }
    return !c.in_follows || StartFollow(c, c.bus_free);
}

bool SimUsbBus::TryIn(ConnectionState& c) {
    SimUsbFunction* f = Device(c);
    if (!f) {
        c.timed_reply.clear();
        if (!Send(c.fd, 'b', BulkReply(SimStatus::kNoDevice, 0))) {
            return false;
        }
        c.pending = ConnectionState::Pending::kNone;
        return true;
    }
    Bytes data;
    SimClock::duration pace{};
    SimClock::time_point ready = SimClock::time_point::max();
    if (!f->BulkIn(c.in_endpoint, c.in_length, &data, c.in_requested, &pace, &ready, false)) {
        c.wake_at = ready;
        return true;
    }
    const uint32_t n = static_cast<uint32_t>(data.size());
    const auto now = SimClock::now();
    if (pace > SimClock::duration::zero()) {
        // The data lands in the host's buffer while it crosses the wire; the
        // completion comes when the wire is done.
        c.pending = ConnectionState::Pending::kTimed;
        c.timed_reply = BulkReply(SimStatus::kOk, n);
        c.wake_at = now + pace;
        return data.empty() || Send(c.fd, 'd', data);
    }
    c.pending = ConnectionState::Pending::kNone;
    c.Ended(now, now + pace);
    return Send(c.fd, 'b', BulkReply(SimStatus::kOk, n, data));
}

bool SimUsbBus::StartFollow(ConnectionState& c, SimClock::time_point end) {
    c.in_follows = false;
    c.AwaitIn(c.follow_endpoint, c.follow_length, end);
    return TryIn(c);
}

bool SimUsbBus::FinishPending(ConnectionState& c) {
    if (c.pending == ConnectionState::Pending::kIn) {
        std::lock_guard lock(mutex_);
        if (!TryIn(c)) {
            return false;
        }
    }
    if (c.pending != ConnectionState::Pending::kTimed || SimClock::now() < c.wake_at) {
        return true;
    }
    c.pending = ConnectionState::Pending::kNone;
    c.Ended(SimClock::now(), c.wake_at);
    if (!Send(c.fd, 'b', c.timed_reply)) {
        return false;
    }
    if (!c.in_follows) {
        return true;
    }
    std::lock_guard lock(mutex_);
    return StartFollow(c, c.wake_at);
}

bool SimUsbBus::Cancel(ConnectionState& c) {
    bool sent = true;
    if (c.pending == ConnectionState::Pending::kIn) {
        // What the device sent before the cancel stays with the host.
        Bytes data;
        SimClock::duration pace{};
        SimClock::time_point ready;
        if (SimUsbFunction* f = Device(c)) {
            f->BulkIn(c.in_endpoint, c.in_length, &data, c.in_requested, &pace, &ready, true);
        }
        sent = Send(c.fd, 'b',
                    BulkReply(SimStatus::kCancelled, static_cast<uint32_t>(data.size()), data));
    } else if (c.pending == ConnectionState::Pending::kTimed) {
        // The bytes have gone over the wire already; only the wait ends.
        c.timed_reply[0] = static_cast<uint8_t>(SimStatus::kCancelled);
        sent = Send(c.fd, 'b', c.timed_reply);
    }
    c.pending = ConnectionState::Pending::kNone;
    c.in_follows = false;  // a cancelled command is not answered
    return sent;
}

void SimUsbBus::EndConnection(ConnectionState& c) {
    std::lock_guard lock(mutex_);
    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), c.wake));
    if (Device(c)) {
        Slot& slot = slots_[c.bound_path];
        std::erase(slot.claimed, c.bound_interface);
        // Keep the device alive while it reacts: it may take itself off the bus.
        const std::shared_ptr<SimUsbFunction> function = slot.function;
        function->Released();
    }
    ::close(c.wake);
    ::close(c.fd);
}

}  // namespace velmora::sim
