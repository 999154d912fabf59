#pragma once
// The simulated phone's USB bus: the devices it shows, and a server that carries
// control and bulk transfers to them over a Unix stream socket (the USB stand-in;
// the message layout is described in the README, section USB).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace velmora::sim {

using SimClock = std::chrono::steady_clock;

struct SimSetup {
    uint8_t type = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;

    bool In() const { return (type & 0x80) != 0; }
};

enum class SimStatus : uint8_t {
    kOk = 0,
    kTimeout = 1,
    kStall = 2,
    kNoDevice = 3,
    kCancelled = 4,
    kError = 5,   // an open: the interface is held by another program
    kAccess = 6,  // an open: no permission on the device
};

struct SimInterface {
    uint8_t number = 0;
    uint8_t alt = 0;
    uint8_t cls = 0;
    uint8_t subclass = 0;
    uint8_t protocol = 0;
    uint8_t bulk_in = 0;
    uint8_t bulk_out = 0;
    uint16_t in_packet = 0;
    uint16_t out_packet = 0;
};

// One request on the stand-in socket, from its type byte on, as the bus decodes
// it before serving it. Any local process may connect: nothing here trusts a count.
struct SimRequest {
    enum class Kind { kList, kOpen, kControl, kBulk, kCommand, kReset, kClearHalt, kCancel };
    Kind kind = Kind::kList;
    uint8_t interface = 0;  // kOpen
    std::string path;       // kOpen
    SimSetup setup;         // kControl
    // kBulk and kCommand (its OUT transfer); kClearHalt: the endpoint.
    uint8_t endpoint = 0;
    uint32_t length = 0;
    uint64_t submitted_ns = 0;  // steady clock, when the host submitted the transfer
    // kCommand: the IN transfer that follows the OUT one.
    uint8_t in_endpoint = 0;
    uint32_t in_length = 0;
    std::span<const uint8_t> out;  // kControl, kBulk, kCommand: OUT data (in the message)
};
// nullopt for a request of no known type or too short for its type, and for a
// command whose OUT endpoint reads IN or whose IN endpoint reads OUT.
std::optional<SimRequest> DecodeSimRequest(std::span<const uint8_t> message);

// One device on the bus. The bus calls it with its lock held.
class SimUsbFunction {
  public:
    virtual ~SimUsbFunction() = default;
    virtual uint16_t Vendor() const = 0;
    virtual uint16_t Product() const = 0;
    virtual std::vector<SimInterface> Interfaces() const = 0;
    virtual SimStatus Control(const SimSetup& setup, const std::vector<uint8_t>& out,
                              std::vector<uint8_t>* in) = 0;
    // The transfer was submitted at `requested`; *pace: how much longer from now it
    // takes on the wire (not above zero when it has ended already: it ended then).
    virtual SimStatus BulkOut(uint8_t endpoint, const uint8_t* data, size_t length,
                              SimClock::time_point requested, SimClock::duration* pace) = 0;
    // An IN transfer asked for at `requested`: true with up to max bytes when it has
    // ended (full, or after a short packet), *pace then saying how much longer the wire
    // takes from now (as for BulkOut); false while it stays open, with *ready_at set
    // when the next data is due (else left as it is). `ending`: the host cancelled it;
    // it ends now with the data it has.
    virtual bool BulkIn(uint8_t endpoint, size_t max, std::vector<uint8_t>* in,
                        SimClock::time_point requested, SimClock::duration* pace,
                        SimClock::time_point* ready_at, bool ending) = 0;
    // kOk, or kNoDevice when the device came back from the reset as another device
    // (it has put that one on the bus itself).
    virtual SimStatus Reset() = 0;
    virtual SimStatus ClearHalt(uint8_t) { return SimStatus::kOk; }
    // What opening the device gives (kError: held elsewhere, kAccess: no permission).
    virtual SimStatus OpenStatus() const { return SimStatus::kOk; }
    virtual std::string Serial() const { return {}; }
    // The host closed a connection that had claimed an interface (lock held).
    virtual void Released() {}
};

class SimUsbBus {
  public:
    SimUsbBus();
    ~SimUsbBus();
    SimUsbBus(const SimUsbBus&) = delete;
    SimUsbBus& operator=(const SimUsbBus&) = delete;

    // Plugs a device in at path, visible from `visible_from` on. Replaces any device there.
    void Attach(const std::string& path, std::shared_ptr<SimUsbFunction> function,
                SimClock::time_point visible_from = {});
    void Detach(const std::string& path);
    // The caller already holds the lock (device code reacting to a transfer).
    void AttachLocked(const std::string& path, std::shared_ptr<SimUsbFunction> function,
                      SimClock::time_point visible_from = {});
    void DetachLocked(const std::string& path);
    // Marks an interface as held by another program (Open then fails).
    void ClaimLocked(const std::string& path, uint8_t interface);
    // Told of every device put on (function set) or taken off (nullptr) the bus, lock
    // held: another carrier of the same devices follows the bus with it. Set it before
    // any device is attached.
    using Observer = std::function<void(const std::string& path,
                                        const std::shared_ptr<SimUsbFunction>& function)>;
    void SetObserver(Observer observer) { observer_ = std::move(observer); }

    // Serves the stand-in socket at socket_path until Stop (or destruction).
    bool Serve(const std::string& socket_path, std::string* error);
    void Stop();
    const std::string& socket_path() const { return socket_path_; }

    std::mutex& mutex() { return mutex_; }
    // Wakes every transfer waiting for bulk data; the caller holds the lock.
    void NotifyLocked();
    void Notify() {
        std::lock_guard lock(mutex_);
        NotifyLocked();
    }

  private:
    struct Slot {
        std::shared_ptr<SimUsbFunction> function;
        uint64_t generation = 0;
        SimClock::time_point visible_from;
        std::vector<uint8_t> claimed;
    };
    void AcceptLoop();
    // Serves one host connection until it closes, breaks the protocol or Stop.
    void RunConnection(int fd);
    struct ConnectionState;
    // Waits for a request, for bulk data or for a paced reply's time; drains the
    // wake-up. false on Stop. *readable: a request is there to read.
    bool AwaitWork(ConnectionState& c, bool* readable);
    // Called with the lock held, down to Cancel; false: a reply could not be sent.
    // One request, answered or, for a transfer, started.
    bool Answer(ConnectionState& c, const SimRequest& q);
    // An open: the connection takes the interface unless it is refused or held.
    SimStatus Bind(ConnectionState& c, const SimRequest& q);
    // The device the connection opened, or nullptr when it has left the bus.
    SimUsbFunction* Device(const ConnectionState& c) const;
    // A bulk transfer, or a command-and-read's OUT transfer, paced from its submission.
    bool StartBulk(ConnectionState& c, const SimRequest& q);
    // Completes the waiting IN transfer when the device has its data.
    bool TryIn(ConnectionState& c);
    // A command-and-read's OUT transfer ended on the bus at `end`: its IN transfer is
    // on the bus from then.
    bool StartFollow(ConnectionState& c, SimClock::time_point end);
    // Cancels the waiting transfer with what it has; a command's IN half never starts.
    bool Cancel(ConnectionState& c);
    // After each wake-up, taking the lock itself: the IN transfer when data has come,
    // the paced reply when its time is up.
    bool FinishPending(ConnectionState& c);
    // Leaves the wake-up list, frees the claimed interface and closes the socket.
    void EndConnection(ConnectionState& c);
    // The 'L' reply: the devices visible now (lock held).
    std::vector<uint8_t> ListReply() const;

    std::mutex mutex_;
    Observer observer_;
    std::map<std::string, Slot> slots_;
    std::vector<int> waiters_;  // eventfds of connections waiting for bulk data
    uint64_t next_generation_ = 1;

    std::string socket_path_;
    int listen_fd_ = -1;
    int stop_fd_ = -1;
    std::thread acceptor_;
    struct Connection {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Connection> connections_;  // touched by the acceptor thread only
    std::atomic<bool> stopping_{false};
};

}  // namespace velmora::sim
