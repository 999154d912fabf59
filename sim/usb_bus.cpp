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

void SimUsbBus::RunConnection(int fd) {
    // Paced replies are due to the microsecond: no timer slack on this thread.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    {
        std::lock_guard lock(mutex_);
        waiters_.push_back(wake);
    }
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
    auto Ended = [&](SimClock::time_point now, SimClock::time_point end) {
        late = now - end;
        bus_free = end;
    };

    // The bound device, or nullptr when it has left the bus. Lock held.
    auto device = [&]() -> SimUsbFunction* {
        const auto it = slots_.find(bound_path);
        if (bound_generation == 0 || it == slots_.end() ||
            it->second.generation != bound_generation) {
            return nullptr;
        }
        return it->second.function.get();
    };
    // Tries to complete the waiting IN transfer. Lock held.
    auto try_in = [&]() -> bool {
        SimUsbFunction* f = device();
        if (!f) {
            timed_reply.clear();
            return Send(fd, 'b', BulkReply(SimStatus::kNoDevice, 0)) &&
                   (pending = Pending::kNone, true);
        }
        Bytes data;
        SimClock::duration pace{};
        SimClock::time_point ready = SimClock::time_point::max();
        if (!f->BulkIn(in_endpoint, in_length, &data, in_requested, &pace, &ready, false)) {
            wake_at = ready;
            return true;
        }
        const uint32_t n = static_cast<uint32_t>(data.size());
        const auto now = SimClock::now();
        if (pace > SimClock::duration::zero()) {
            // The data lands in the host's buffer while it crosses the wire; the
            // completion comes when the wire is done.
            pending = Pending::kTimed;
            timed_reply = BulkReply(SimStatus::kOk, n);
            wake_at = now + pace;
            return data.empty() || Send(fd, 'd', data);
        }
        pending = Pending::kNone;
        Ended(now, now + pace);
        return Send(fd, 'b', BulkReply(SimStatus::kOk, n, data));
    };

    // The OUT half of a command-and-read ended on the bus at `end`: its IN half is
    // on the bus from then. Lock held.
    auto start_follow = [&](SimClock::time_point end) -> bool {
        in_follows = false;
        pending = Pending::kIn;
        in_endpoint = follow_endpoint;
        in_length = follow_length;
        in_requested = end;
        wake_at = SimClock::time_point::max();
        return try_in();
    };

    bool alive = true;
    while (alive) {
        // The pacing of the wire needs better than whole milliseconds.
        timespec timeout{};
        timespec* until = nullptr;
        if (pending != Pending::kNone && wake_at != SimClock::time_point::max()) {
            const auto left = std::max<int64_t>(
                0, std::chrono::duration_cast<std::chrono::nanoseconds>(wake_at - SimClock::now())
                       .count());
            timeout.tv_sec = static_cast<time_t>(left / 1000000000);
            timeout.tv_nsec = static_cast<long>(left % 1000000000);
            until = &timeout;
        }
        pollfd p[3] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
        ::ppoll(p, 3, until, nullptr);
        if (p[2].revents) {
            break;
        }
        if (p[1].revents) {
            uint64_t drained;
            [[maybe_unused]] const ssize_t n = ::read(wake, &drained, sizeof drained);
        }
        if (p[0].revents) {
            uint8_t head[4];
            Bytes m;
            if (!ReadFull(fd, head, 4) || Get32(head) == 0 || Get32(head) > (1u << 26)) {
                break;
            }
            m.resize(Get32(head));
            if (!ReadFull(fd, m.data(), m.size())) {
                break;
            }
            std::lock_guard lock(mutex_);
            const std::optional<SimRequest> request = DecodeSimRequest(m);
            if (request && request->kind == SimRequest::Kind::kCancel) {
                if (pending == Pending::kIn) {
                    // What the device sent before the cancel stays with the host.
                    Bytes data;
                    SimClock::duration pace{};
                    SimClock::time_point ready;
                    if (SimUsbFunction* f = device()) {
                        f->BulkIn(in_endpoint, in_length, &data, in_requested, &pace, &ready, true);
                    }
                    alive = Send(
                        fd, 'b',
                        BulkReply(SimStatus::kCancelled, static_cast<uint32_t>(data.size()), data));
                } else if (pending == Pending::kTimed) {
                    // The bytes have gone over the wire already; only the wait ends.
                    timed_reply[0] = static_cast<uint8_t>(SimStatus::kCancelled);
                    alive = Send(fd, 'b', timed_reply);
                }
                pending = Pending::kNone;
                in_follows = false;  // a cancelled command is not answered
                continue;
            }
            if (!request || pending != Pending::kNone) {
                break;  // one request at a time on a connection
            }
            const SimRequest& q = *request;
            switch (q.kind) {
                case SimRequest::Kind::kList:
                    alive = Send(fd, 'l', ListReply());
                    break;
                case SimRequest::Kind::kOpen: {
                    const auto it = slots_.find(q.path);
                    SimStatus st = SimStatus::kNoDevice;
                    if (bound_generation == 0 && it != slots_.end() &&
                        SimClock::now() >= it->second.visible_from) {
                        auto& claimed = it->second.claimed;
                        if (const SimStatus refused = it->second.function->OpenStatus();
                            refused != SimStatus::kOk) {
                            st = refused;
                        } else if (std::find(claimed.begin(), claimed.end(), q.interface) !=
                                   claimed.end()) {
                            st = SimStatus::kError;  // held by another program
                        } else {
                            claimed.push_back(q.interface);
                            bound_path = q.path;
                            bound_generation = it->second.generation;
                            bound_interface = q.interface;
                            st = SimStatus::kOk;
                        }
                    }
                    alive = Send(fd, 'o', {static_cast<uint8_t>(st)});
                    break;
                }
                case SimRequest::Kind::kControl: {
                    const Bytes out(q.out.begin(), q.out.end());
                    Bytes in;
                    SimStatus st = SimStatus::kNoDevice;
                    if (SimUsbFunction* f = device()) {
                        st = f->Control(q.setup, out, &in);
                    }
                    if (in.size() > q.setup.length) {
                        in.resize(q.setup.length);
                    }
                    Bytes r = {static_cast<uint8_t>(st)};
                    r.insert(r.end(), in.begin(), in.end());
                    alive = Send(fd, 'c', r);
                    break;
                }
                case SimRequest::Kind::kBulk:
                case SimRequest::Kind::kCommand: {
                    // The wire may start when the host submitted the transfer (the
                    // socket's delivery is no bus time), not before the previous
                    // transfer ended.
                    const auto now = SimClock::now();
                    const SimClock::time_point submitted{std::chrono::nanoseconds(q.submitted_ns)};
                    const auto requested = std::max(bus_free, std::min(now, submitted) - late);
                    const bool command = q.kind == SimRequest::Kind::kCommand;
                    if (command) {
                        follow_endpoint = q.in_endpoint;
                        follow_length = q.in_length;
                    }
                    if (q.endpoint & 0x80) {
                        pending = Pending::kIn;
                        in_endpoint = q.endpoint;
                        in_length = q.length;
                        in_requested = requested;
                        wake_at = SimClock::time_point::max();
                        alive = try_in();
                        break;
                    }
                    SimClock::duration pace{};
                    SimStatus st = SimStatus::kNoDevice;
                    const uint32_t n = static_cast<uint32_t>(q.out.size());
                    if (SimUsbFunction* f = device()) {
                        st = f->BulkOut(q.endpoint, q.out.data(), n, requested, &pace);
                    }
                    in_follows = command && st == SimStatus::kOk;
                    if (st == SimStatus::kOk && pace > SimClock::duration::zero()) {
                        pending = Pending::kTimed;
                        timed_reply = BulkReply(st, n);
                        wake_at = now + pace;
                    } else {
                        Ended(now, st == SimStatus::kOk ? now + pace : now);
                        alive = Send(fd, 'b', BulkReply(st, st == SimStatus::kOk ? n : 0));
                        if (alive && in_follows) {
                            alive = start_follow(bus_free);
                        }
                    }
                    break;
                }
                case SimRequest::Kind::kReset: {
                    SimStatus st = SimStatus::kNoDevice;
                    if (SimUsbFunction* f = device()) {
                        // A device that re-enumerates leaves this connection behind.
                        const std::shared_ptr<SimUsbFunction> keep = slots_[bound_path].function;
                        st = f->Reset();
                    }
                    alive = Send(fd, 'r', {static_cast<uint8_t>(st)});
                    break;
                }
                case SimRequest::Kind::kClearHalt: {
                    SimStatus st = SimStatus::kNoDevice;
                    if (SimUsbFunction* f = device()) {
                        st = f->ClearHalt(q.endpoint);
                    }
                    alive = Send(fd, 'h', {static_cast<uint8_t>(st)});
                    break;
                }
                case SimRequest::Kind::kCancel:
                    break;
            }
        }
        if (pending == Pending::kIn) {
            std::lock_guard lock(mutex_);
            alive = alive && try_in();
        }
        if (pending == Pending::kTimed && SimClock::now() >= wake_at) {
            pending = Pending::kNone;
            Ended(SimClock::now(), wake_at);
            alive = alive && Send(fd, 'b', timed_reply);
            if (alive && in_follows) {
                std::lock_guard lock(mutex_);
                alive = start_follow(wake_at);
            }
        }
    }

    std::lock_guard lock(mutex_);
    waiters_.erase(std::find(waiters_.begin(), waiters_.end(), wake));
    const auto it = slots_.find(bound_path);
    if (bound_generation != 0 && it != slots_.end() && it->second.generation == bound_generation) {
        auto& claimed = it->second.claimed;
        claimed.erase(std::remove(claimed.begin(), claimed.end(), bound_interface), claimed.end());
        // Keep the device alive while it reacts: it may take itself off the bus.
        const std::shared_ptr<SimUsbFunction> function = it->second.function;
        function->Released();
    }
    ::close(wake);
    ::close(fd);
}

}  // namespace velmora::sim
