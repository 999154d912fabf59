#include "sim/phone.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/checksum.h"
#include "sim/ram_loader.h"

namespace velmora::sim {

namespace {

constexpr uint8_t kAnnounce = 0x81;
constexpr uint8_t kAck = 'O';
constexpr uint8_t kLoaderStart = 0xBE;
constexpr uint32_t kRomBaud = 115200;
constexpr int kRomBits = 11;     // 8E1
constexpr int kLoaderBits = 10;  // 8N1

int64_t Ms(int ms) {
    return static_cast<int64_t>(ms) * 1000000;
}

}  // namespace

// The RAM loader's view of the serial line.
class Phone::LoaderLink : public LoaderIo {
  public:
    explicit LoaderLink(Phone& phone) : phone_(phone) {}
    bool gone = false;

    bool Receive(uint8_t* data, size_t n) override {
        SerialWire& w = phone_.wire_;
        const int64_t wire = static_cast<int64_t>(n) * kLoaderBits * 1000000000LL /
                             std::max<uint32_t>(w.phone_baud(), 1);
        const auto s = w.Read(data, n,
                              SerialWire::Now() + Ms(phone_.options_.data_timeout_ms) +
                                  (phone_.options_.pace ? wire : 0));
        Note(s);
        return s == SerialWire::Status::kOk;
    }
    bool Send(const uint8_t* data, size_t n) override {
        const auto s = phone_.wire_.Write(data, n);
        Note(s);
        return s == SerialWire::Status::kOk;
    }
    void ChipBusy(int64_t microseconds) override { phone_.wire_.ChipBusy(microseconds); }
    void SetBaud(uint32_t baud) override {
        phone_.wire_.SetPhoneBaud(baud, kLoaderBits);
        phone_.trace_.Add({.kind = "baud", .value = baud});
    }
    void Vanish() override {
        phone_.vanished_ = true;
        gone = true;
    }
    bool Hold(int ms) override {
        const int64_t until = SerialWire::Now() + Ms(ms);
        while (!gone && SerialWire::Now() < until) {
            Note(phone_.wire_.SleepUntil(until));
        }
        return !gone;
    }

  private:
    void Note(SerialWire::Status s) {
        if (s == SerialWire::Status::kHangup ||
            (s == SerialWire::Status::kWake && phone_.WakeEndsSession())) {
            gone = true;
        }
    }
    Phone& phone_;
};

Phone::Phone(PhoneOptions options) : options_(std::move(options)) {
    wire_.on_host_baud = [this](uint32_t baud) { trace_.Add({.kind = "line", .value = baud}); };
    wire_.on_mismatch = [this](uint32_t host, uint32_t phone, size_t bytes) {
        trace_.Violation(std::to_string(bytes) + " bytes sent at " + std::to_string(host) +
                         " baud while the phone listens at " + std::to_string(phone));
    };
}

Phone::~Phone() {
    Stop();
}

bool Phone::Start(std::string* error) {
    std::string failure;
    auto fail = [&](std::string text) {
        if (error != nullptr) {
            *error = std::move(text);
        }
        return false;
    };
    if (thread_.joinable()) {
        return fail("the phone is already running");
    }
    if (!ResolveChip(options_, chip_, failure)) {
        return fail(failure);
    }
    failure = nand_.Open(chip_, options_.nand_file);
    if (!failure.empty()) {
        return fail(failure);
    }
    for (uint32_t b : options_.erase_fail_blocks) {
        nand_.FailErase(b);
    }
    for (uint32_t b : options_.program_fail_blocks) {
        nand_.FailProgram(b);
    }
    for (const Fault& f : options_.faults) {
        faults_.Add(f);
    }
    if (!options_.trace_file.empty() &&
        !trace_.OpenFile(options_.trace_file, options_.trace_append, &failure)) {
        return fail(failure);
    }
    wire_.SetPace(options_.pace);
    wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_fd_ < 0) {
        return fail(std::string("eventfd: ") + std::strerror(errno));
    }
    if (!OpenPort(&failure)) {
        close(wake_fd_);
        wake_fd_ = -1;
        return fail(failure);
    }
    stop_ = false;
    state_ = State::kOff;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void Phone::Stop() {
    if (thread_.joinable()) {
        stop_ = true;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t w = write(wake_fd_, &one, sizeof one);
        thread_.join();
    }
    ClosePort();
    if (wake_fd_ >= 0) {
        close(wake_fd_);
        wake_fd_ = -1;
    }
    RemoveLink();
    state_ = State::kStopped;
    nand_.Sync();
    trace_.Flush();
}

std::string Phone::SlavePath() const {
    std::lock_guard lock(port_mutex_);
    return slave_path_;
}

void Phone::SetPortCallback(std::function<void(const std::string&)> callback) {
    std::lock_guard lock(port_mutex_);
    port_callback_ = std::move(callback);
}

void Phone::SwitchOn() {
    switch_on_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t w = write(wake_fd_, &one, sizeof one);
}

bool Phone::OpenPort(std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error != nullptr) {
            *error = what + ": " + std::strerror(errno);
        }
        return false;
    };
    if (options_.fd >= 0) {
        if (fd_used_) {
            return false;
        }
        const int fd = fcntl(options_.fd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            return fail("cannot use the given descriptor");
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fd_used_ = true;
        wire_.Attach(fd, false, -1, wake_fd_);
        return true;
    }
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) {
        return fail("cannot open a pseudo-terminal");
    }
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name)) {
        close(master);
        return fail("cannot set up the pseudo-terminal");
    }
    // A raw line at the boot ROM's rate until the host sets its own (the
    // master's termios are the slave's).
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&t, B115200);
    tcsetattr(master, TCSANOW, &t);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, name, IN_OPEN | IN_CLOSE) < 0) {
        const std::string what = std::string("cannot watch ") + name;
        if (watch >= 0) {
            close(watch);
        }
        close(master);
        return fail(what);
    }
    wire_.Attach(master, true, watch, wake_fd_);
    if (!options_.link.empty()) {
        std::string why;
        if (!PlaceLink(name, why)) {
            wire_.Detach();
            if (error != nullptr) {
                *error = why;
            }
            return false;
        }
    }
    std::function<void(const std::string&)> callback;
    {
        std::lock_guard lock(port_mutex_);
        slave_path_ = name;
        callback = port_callback_;
    }
    ++ports_;
    if (callback) {
        callback(name);
    }
    return true;
}

void Phone::ClosePort() {
    wire_.Detach();
}

namespace {

// A link that an earlier run of the phone left behind: it points to a
// pseudo-terminal that is gone.
bool IsStalePtyLink(const std::filesystem::path& target) {
    const std::string text = target.string();
    const std::string prefix = "/dev/pts/";
    if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0 ||
        !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(prefix.size()), text.end(),
                     [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    std::error_code ec;
    return !std::filesystem::exists(std::filesystem::symlink_status(target, ec));
}

}  // namespace

bool Phone::PlaceLink(const std::string& target, std::string& why) {
    namespace fs = std::filesystem;
    const fs::path link(options_.link);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(link, ec);
    if (fs::exists(status)) {
        // Only a link this phone made may be replaced: never a file, a folder,
        // or a link to something else that happens to stand at the path.
        bool ours = false;
        if (fs::is_symlink(status)) {
            const fs::path to = fs::read_symlink(link, ec);
            ours = !ec && ((!link_target_.empty() && to == link_target_) || IsStalePtyLink(to));
        }
        if (!ours) {
            why = options_.link +
                  " already exists and is not a link to a port of this simulated phone; "
                  "remove it or choose another path for the link";
            return false;
        }
    }
    // Made under a passing name and renamed over the old link, so that the path
    // never goes missing for a host that watches it.
    const std::string passing = options_.link + ".new-" + std::to_string(getpid());
    fs::remove(passing, ec);
    fs::create_symlink(target, passing, ec);
    if (!ec) {
        fs::rename(passing, link, ec);
        if (ec) {
            std::error_code ignored;
            fs::remove(passing, ignored);
        }
    }
    if (ec) {
        why = "cannot make the link " + options_.link + ": " + ec.message();
        return false;
    }
    link_target_ = target;
    return true;
}

void Phone::RemoveLink() {
    namespace fs = std::filesystem;
    if (options_.link.empty() || link_target_.empty()) {
        return;
    }
    std::error_code ec;
    // Someone else may have put their own link there meanwhile: leave that.
    if (fs::read_symlink(options_.link, ec) == link_target_ && !ec) {
        fs::remove(options_.link, ec);
    }
    link_target_.clear();
}

// Reads the wake-up counter; true when the session must end (stop or reboot).
bool Phone::WakeEndsSession() {
    uint64_t value = 0;
    [[maybe_unused]] ssize_t r = read(wake_fd_, &value, sizeof value);
    if (stop_ || switch_on_) {
        // Leave the event pending for the outer loops.
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t w = write(wake_fd_, &one, sizeof one);
        return true;
    }
    return false;
}

void Phone::Run() {
    while (!stop_) {
        if (wire_.fd() < 0) {
            std::string error;
            if (!OpenPort(&error)) {
                break;
            }
        }
        state_ = State::kOff;
        // Wait for the operator: the power key, or the host opening the port.
        for (;;) {
            uint64_t value = 0;
            [[maybe_unused]] ssize_t r = read(wake_fd_, &value, sizeof value);
            if (stop_) {
                state_ = State::kStopped;
                return;
            }
            if (switch_on_.exchange(false)) {
                break;
            }
            wire_.Refresh();
            if (options_.auto_power && wire_.HostPresent()) {
                break;
            }
            wire_.Idle(-1);
        }
        nand_.BeginSession();
        const End end = Session();
        ++sessions_;
        trace_.Add({.kind = "session_end",
                    .text = end == End::kVanished ? "port vanished"
                            : end == End::kWake   ? "switched off"
                                                  : "host closed the port"});
        trace_.Flush();
        if (end == End::kVanished) {
            ClosePort();
            vanished_ = false;
        } else if (options_.fd >= 0 && end == End::kHostGone) {
            break;
        }
    }
    state_ = State::kStopped;
}

Phone::End Phone::Session() {
    wire_.BeginSession();
    ram_.clear();
    address_ = 0;
    wire_.SetPhoneBaud(kRomBaud, kRomBits);
    trace_.Add({.kind = "power_on"});
    state_ = State::kAnnouncing;

    int64_t next = SerialWire::Now();
    bool announced = false;
    for (;;) {
        const int64_t now = SerialWire::Now();
        if (now >= next) {
            if (wire_.HostPresent()) {
                if (!announced) {
                    trace_.Add({.kind = "announce"});
                    announced = true;
                }
                if (Send({kAnnounce}) == SerialWire::Status::kHangup) {
                    return End::kHostGone;
                }
            }
            next = std::max(next + Ms(options_.announce_interval_ms), now);
        }
        uint8_t byte = 0;
        const auto s = wire_.Read(&byte, 1, next);
        if (s == SerialWire::Status::kHangup) {
            return End::kHostGone;
        }
        if (s == SerialWire::Status::kWake) {
            if (WakeEndsSession()) {
                return End::kWake;
            }
            continue;
        }
        if (s != SerialWire::Status::kOk || byte != 'D') {
            continue;
        }
        if (faults_.Has(FaultKind::kNoEcho)) {
            trace_.Add({.kind = "fault", .text = "no-echo"});
            return Hang();
        }
        trace_.Add({.kind = "echo"});
        if (Send({'D'}) != SerialWire::Status::kOk) {
            return End::kHostGone;
        }
        break;
    }
    state_ = State::kBootRom;
    return BootRom();
}

SerialWire::Status Phone::Send(std::initializer_list<uint8_t> bytes) {
    const std::vector<uint8_t> data(bytes);
    return wire_.Write(data.data(), data.size());
}

SerialWire::Status Phone::ReadArgs(uint8_t* out, size_t n) {
    return wire_.Read(out, n, SerialWire::Now() + Ms(options_.data_timeout_ms));
}

// Silent until the session ends: a phone that crashed or does not answer.
Phone::End Phone::Hang() {
    for (;;) {
        uint8_t byte = 0;
        const auto s = wire_.Read(&byte, 1, -1);
        if (s == SerialWire::Status::kHangup) {
            return vanished_ ? End::kVanished : End::kHostGone;
        }
        if (s == SerialWire::Status::kWake && WakeEndsSession()) {
            return End::kWake;
        }
    }
}

std::optional<Phone::End> Phone::ReadByte(uint8_t& byte) {
    for (;;) {
        const auto s = wire_.Read(&byte, 1, -1);
        if (s == SerialWire::Status::kHangup) {
            return End::kHostGone;
        }
        if (s != SerialWire::Status::kWake) {
            return std::nullopt;
        }
        if (WakeEndsSession()) {
            return End::kWake;
        }
    }
}

Phone::End Phone::BootRom() {
    using S = SerialWire::Status;
    for (;;) {
        uint8_t letter = 0;
        if (const auto end = ReadByte(letter)) {
            return *end;
        }
        S s = S::kOk;
        TraceEvent event{.kind = "rom", .command = letter};
        uint8_t args[24] = {};
        std::vector<uint8_t> answer;
        bool ack = true;
        switch (letter) {
            case 'T':
                s = ReadArgs(args, 1);
                event.value = args[0];
                break;
            case 'P':
                answer.assign(options_.product_id.begin(), options_.product_id.end());
                ack = false;
                break;
            case 'Q':
                for (int i = 0; i < 16; ++i) {
                    answer.push_back(static_cast<uint8_t>(0xA0 + i));
                }
                ack = false;
                break;
            case 'D':
                s = ReadArgs(args, 20);
                break;
            case 'S':
                s = ReadArgs(args, 4);
                address_ = GetU32(args);
                event.value = address_;
                break;
            case 'G': {
                s = ReadArgs(args, 1);
                const uint32_t words = args[0] + 1u;
                event.value = address_;
                event.count = words;
                for (uint32_t i = 0; i < words; ++i) {
                    const auto it = ram_.find(address_);
                    const uint32_t v = it == ram_.end() ? 0 : it->second;
                    for (int k = 0; k < 4; ++k) {
                        answer.push_back(static_cast<uint8_t>(v >> (8 * k)));
                    }
                    address_ += 4;
                }
                ack = false;
                break;
            }
            case 'L': {
                s = ReadArgs(args, 1);
                const uint32_t words = args[0] + 1u;
                std::vector<uint8_t> data(words * 4);
                if (s == S::kOk) {
                    s = ReadArgs(data.data(), data.size());
                }
                event.value = address_;
                event.count = words;
                if (s == S::kOk && faults_.Match(FaultKind::kNoLoadAck, 'L', -1)) {
                    trace_.Add({.kind = "fault", .text = "no-ack"});
                    return Hang();
                }
                if (s == S::kOk) {
                    for (uint32_t i = 0; i < words; ++i) {
                        ram_[address_] = GetU32(data.data() + 4 * i);
                        address_ += 4;
                    }
                }
                break;
            }
            case 'J': {
                uint32_t length = 0;
                std::vector<uint8_t> image;
                for (auto it = ram_.find(0); it != ram_.end(); it = ram_.find(length)) {
                    for (int k = 0; k < 4; ++k) {
                        image.push_back(static_cast<uint8_t>(it->second >> (8 * k)));
                    }
                    length += 4;
                }
                trace_.Add({.kind = "jump",
                            .count = length,
                            .value = address_,
                            .text = "crc " + std::to_string(Crc32(image))});
                if (address_ != 0 || length == 0) {
                    trace_.Violation("jump to an address where nothing was loaded");
                    return Hang();
                }
                state_ = State::kLoader;
                return Loader();
            }
            default:
                trace_.Violation("unknown boot ROM command " + std::to_string(letter));
                continue;
        }
        if (s == S::kHangup) {
            return End::kHostGone;
        }
        if (s != S::kOk) {
            trace_.Violation(std::string("boot ROM command '") + static_cast<char>(letter) +
                             "' incomplete");
            continue;
        }
        trace_.Add(event);
        if (ack) {
            answer.push_back(kAck);
        }
        if (wire_.Write(answer.data(), answer.size()) == S::kHangup) {
            return End::kHostGone;
        }
    }
}

Phone::End Phone::Loader() {
    using S = SerialWire::Status;
    // The RAM loader speaks 8N1; it starts at the boot ROM's rate.
    wire_.SetPhoneBaud(kRomBaud, kLoaderBits);
    S s = wire_.SleepUntil(SerialWire::Now() + Ms(options_.start_delay_ms));
    if (s == S::kWake && WakeEndsSession()) {
        return End::kWake;
    }
    if (faults_.Has(FaultKind::kNoStartByte)) {
        trace_.Add({.kind = "fault", .text = "no-start"});
        return Hang();
    }
    if (Send({kLoaderStart}) == S::kHangup) {
        return End::kHostGone;
    }
    trace_.Add({.kind = "start_byte"});

    RamLoader loader(nand_, trace_, faults_, Link::kSerial);
    LoaderLink link(*this);
    Frame frame{};
    for (;;) {
        // Find the header, then take the rest of the frame.
        FrameHeaderScan scan;
        for (;;) {
            uint8_t byte = 0;
            if (const auto end = ReadByte(byte)) {
                return *end;
            }
            if (scan.Feed(byte)) {
                break;
            }
        }
        const size_t skipped = scan.skipped();
        if (skipped > 0) {
            trace_.Violation(std::to_string(skipped) + " stray bytes before a frame");
        }
        frame[0] = 0x55;
        frame[1] = 0xAA;
        s = wire_.Read(frame.data() + 2, kFrameBytes - 2,
                       SerialWire::Now() + Ms(options_.data_timeout_ms));
        if (s == S::kHangup) {
            return End::kHostGone;
        }
        if (s == S::kWake && WakeEndsSession()) {
            return End::kWake;
        }
        if (s != S::kOk) {
            trace_.Violation("frame incomplete");
            continue;
        }
        const bool on = loader.Execute(frame, link);
        if (vanished_) {
            trace_.Add({.kind = "fault", .text = "vanish"});
            return End::kVanished;
        }
        if (!on || link.gone) {
            if (stop_ || switch_on_) {
                return End::kWake;
            }
            return End::kHostGone;
        }
    }
}

}  // namespace velmora::sim
