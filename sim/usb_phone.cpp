#include "sim/usb_phone.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "sim/ram_loader.h"

namespace velmora::sim {

namespace {

constexpr uint8_t kBulkOut = 0x01;
constexpr uint8_t kBulkIn = 0x81;

bool ParseCount(const std::string& value, int& out) {
    if (value.empty() || value.size() > 7 ||
        value.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    out = std::stoi(value);
    return true;
}

}  // namespace

// The RAM loader's bulk device: what the host writes is queued for the loader's
// thread, what the loader sends waits for the host's reads. Each loader send is one
// USB transfer.
class UsbPhone::Loader : public SimUsbFunction, public LoaderIo {
  public:
    explicit Loader(UsbPhone& phone)
        : phone_(phone), loader_(phone.nand_, phone.trace_, phone.faults_, Link::kUsb) {}
    ~Loader() override { Join(); }

    void Start() {
        thread_ = std::thread([this] { Run(); });
    }
    void Retire() {
        std::lock_guard lock(mutex_);
        stop_ = true;
        cv_.notify_all();
    }
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // --- the bus side (bus lock held) ---------------------------------------------
    uint16_t Vendor() const override { return phone_.usb_.loader_vendor; }
    uint16_t Product() const override { return phone_.usb_.loader_product; }
    std::vector<SimInterface> Interfaces() const override {
        const uint16_t packet = phone_.usb_.packet;
        return {{0, 0, 0xFF, 0x00, 0x00, kBulkIn, kBulkOut, packet, packet}};
    }
    SimStatus OpenStatus() const override { return phone_.usb_.loader_open_status; }
    std::string Serial() const override { return phone_.usb_.dfu.serial; }
    SimStatus Control(const SimSetup&, const std::vector<uint8_t>&,
                      std::vector<uint8_t>*) override {
        return SimStatus::kStall;
    }
    SimStatus BulkOut(uint8_t endpoint, const uint8_t* data, size_t length,
                      SimClock::time_point requested, SimClock::duration* pace) override {
        if (endpoint != kBulkOut) {
            return SimStatus::kStall;
        }
        std::lock_guard lock(mutex_);
        // The loader sees the bytes once they have crossed the wire.
        const auto now = SimClock::now();
        out_ready_ = std::max(out_ready_, requested) + WireTime(length);
        *pace = out_ready_ - now;
        out_.push_back({std::vector<uint8_t>(data, data + length), 0, out_ready_});
        if (length > 64 && ++data_transfers_ == phone_.usb_.corrupt_out) {
            out_.back().bytes[length / 2] ^= 0x10;  // damaged on the way
        }
        used_ = true;
        cv_.notify_all();
        return SimStatus::kOk;
    }
    bool BulkIn(uint8_t endpoint, size_t max, std::vector<uint8_t>* in,
                SimClock::time_point requested, SimClock::duration* pace,
                SimClock::time_point* ready_at, bool ending) override {
        std::lock_guard lock(mutex_);
        if (endpoint != kBulkIn) {
            return false;
        }
        // A bulk pipe knows no message boundaries: a transfer goes on into the next
        // answer and ends only when it is full or after a short packet. An answer
        // that fills its last packet leaves the transfer open, waiting for more.
        const auto now = SimClock::now();
        size_t bytes = 0;
        bool ends = false;
        bool zero_length = false;
        size_t i = 0;
        for (; i < in_.size() && in_[i].ready <= now && !ends; ++i) {
            const Chunk& c = in_[i];
            zero_length = c.bytes.empty();
            const size_t left = c.bytes.size() - (i == 0 ? c.taken : 0);
            const size_t k = std::min(max - bytes, left);
            bytes += k;
            ends = zero_length || bytes == max ||
                   (k == left && c.bytes.size() % phone_.usb_.packet != 0);
        }
        if (!ends && !ending) {
            if (i < in_.size()) {
                *ready_at = in_[i].ready;
            }
            return false;
        }
        if (ending && bytes > 0) {
            // The host gave up on a transfer that had data: it asked for more than
            // the phone had to say.
            ++phone_.overlong_reads_;
        }
        // The wire starts once the host has asked and the answer is there, not when
        // this thread got round to it.
        const auto start = in_.empty() ? requested : std::max(requested, in_.front().ready);
        in->clear();
        while (in->size() < bytes) {
            Chunk& head = in_.front();
            const size_t k = std::min(bytes - in->size(), head.bytes.size() - head.taken);
            in->insert(in->end(), head.bytes.begin() + static_cast<std::ptrdiff_t>(head.taken),
                       head.bytes.begin() + static_cast<std::ptrdiff_t>(head.taken + k));
            head.taken += k;
            if (head.taken == head.bytes.size()) {
                in_.pop_front();
            }
        }
        if (ends && zero_length) {
            in_.pop_front();  // the zero-length packet that ended the transfer
        }
        *pace = start + WireTime(in->size()) - now;
        return true;
    }
    SimStatus Reset() override { return SimStatus::kOk; }
    void Released() override {
        bool used;
        {
            std::lock_guard lock(mutex_);
            used = used_;
        }
        // A host that looked at the device and closed it has not used it; a host that
        // ran its job and closed it has ended the session.
        if (used && phone_.loader_.get() == this) {
            phone_.RetireLoaderLocked();
            phone_.PowerOnLocked();
        }
    }

    // --- the loader side (its own thread) -------------------------------------------
    bool Receive(uint8_t* data, size_t n) override {
        return Take(data, n,
                    SimClock::now() + std::chrono::milliseconds(phone_.options_.data_timeout_ms));
    }
    bool Send(const uint8_t* data, size_t n) override {
        {
            std::lock_guard lock(mutex_);
            if (stop_ || gone_) {
                return false;
            }
            // The answer exists when the command's bytes were in and the chip was done,
            // not when this thread, woken late or busy with its own bookkeeping (copying
            // pages, checksums), got round to it.
            // A held answer exists only from the end of its hold.
            const auto ready =
                std::max(std::min(SimClock::now(), std::max(last_data_, chip_free_)), held_);
            in_.push_back({std::vector<uint8_t>(data, data + n), 0, ready});
        }
        phone_.bus_.Notify();
        return true;
    }
    void ChipBusy(int64_t microseconds) override {
        if (!phone_.options_.pace || microseconds <= 0) {
            return;
        }
        // The chip starts when its data is in (or when it finished the previous
        // operation), not when the simulation has done its own bookkeeping: what the
        // phone costs is the chip's time.
        std::unique_lock lock(mutex_);
        chip_free_ = std::max(chip_free_, last_data_) + std::chrono::microseconds(microseconds);
        cv_.wait_until(lock, chip_free_, [this] { return stop_; });
    }
    void Vanish() override {
        {
            std::lock_guard lock(mutex_);
            gone_ = true;
        }
        phone_.bus_.Detach(kPort);
    }
    bool Hold(int ms) override {
        std::unique_lock lock(mutex_);
        held_ = SimClock::now() + std::chrono::milliseconds(ms);
        cv_.wait_until(lock, held_, [this] { return stop_ || gone_; });
        return !stop_ && !gone_;
    }

  private:
    struct Chunk {
        std::vector<uint8_t> bytes;
        size_t taken = 0;
        SimClock::time_point ready;
    };

    SimClock::duration WireTime(size_t bytes) const {
        const auto time = std::chrono::duration_cast<SimClock::duration>(
            std::chrono::duration<double>(bytes / phone_.usb_.bus_bytes_per_second));
        // A frame or an answer takes about a microsecond: sleeping that long would
        // cost the wake-up of a thread, far more than it models.
        if (!phone_.options_.pace || time < std::chrono::microseconds(20)) {
            return SimClock::duration::zero();
        }
        return time;
    }

    bool Take(uint8_t* data, size_t n, SimClock::time_point deadline) {
        std::unique_lock lock(mutex_);
        size_t got = 0;
        while (got < n) {
            if (stop_ || gone_) {
                return false;
            }
            const auto now = SimClock::now();
            if (!out_.empty() && out_.front().ready <= now) {
                Chunk& head = out_.front();
                const size_t k = std::min(n - got, head.bytes.size() - head.taken);
                std::memcpy(data + got, head.bytes.data() + head.taken, k);
                head.taken += k;
                got += k;
                // The bytes were on the wire until head.ready.
                last_data_ = std::max(last_data_, head.ready);
                if (head.taken == head.bytes.size()) {
                    out_.pop_front();
                }
                continue;
            }
            if (now >= deadline) {
                return false;
            }
            const auto until = out_.empty() ? deadline : std::min(deadline, out_.front().ready);
            cv_.wait_until(lock, until);
        }
        return true;
    }

    void Run() {
        for (;;) {
            Frame frame;
            // Frames may be as far apart as the host likes.
            if (!Take(frame.data(), frame.size(), SimClock::time_point::max())) {
                return;
            }
            if (!loader_.Execute(frame, *this)) {
                return;
            }
        }
    }

    UsbPhone& phone_;
    RamLoader loader_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Chunk> out_;  // host to loader
    std::deque<Chunk> in_;   // loader to host
    SimClock::time_point out_ready_{};
    SimClock::time_point last_data_{};  // when the latest bytes the loader took had arrived
    SimClock::time_point chip_free_{};  // when the chip ends its current operation
    SimClock::time_point held_{};       // the end of the latest late answer's hold
    int data_transfers_ = 0;
    bool used_ = false;
    bool stop_ = false;
    bool gone_ = false;
};

bool SplitUsbPhoneOptions(std::string_view text, UsbPhoneOptions& options, std::string& rest,
                          std::string& error) {
    rest.clear();
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string_view::npos) {
            comma = text.size();
        }
        const std::string piece(text.substr(at, comma - at));
        at = comma + 1;
        const size_t eq = piece.find('=');
        const std::string name = piece.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : piece.substr(eq + 1);
        DfuBootRomOptions& d = options.dfu;
        int n = 0;
        bool ok = true;
        if (name == "app") {
            d.start_in_app_mode = true;
        } else if (name == "stay-app") {
            d.start_in_app_mode = true;
            d.stay_in_app_mode = true;
        } else if (name == "dfu-error") {
            d.start_in_error = true;
            d.error_sticks = value == "stuck";
            ok = value.empty() || d.error_sticks;
        } else if (name == "not-tolerant") {
            d.manifestation_tolerant = false;
        } else if (name == "no-loader") {
            options.loader_enumerates = false;
        } else if (name == "busy-twin") {
            options.busy_twin = true;
        } else if (name == "renum") {
            d.reenumerate = true;
        } else if (name == "deny" || name == "deny-dlv") {
            SimStatus& refuse = name == "deny" ? d.open_status : options.loader_open_status;
            refuse = value == "access" ? SimStatus::kAccess : SimStatus::kError;
            ok = value == "access" || value == "busy";
        } else if (name == "packet" && (ok = ParseCount(value, n))) {
            ok = n >= 8 && n <= 1024;
            options.packet = static_cast<uint16_t>(n);
        } else if (name == "notdone") {
            d.not_done_letters = value;
            ok = !value.empty();
        } else if (name == "busy") {
            ok = ParseCount(value, d.busy_polls);
        } else if (name == "busy-ms" && (ok = ParseCount(value, n))) {
            d.busy_poll_ms = static_cast<uint32_t>(n);
        } else if (name == "manifest-ms" && (ok = ParseCount(value, n))) {
            d.manifest_poll_ms = static_cast<uint32_t>(n);
        } else if (name == "corrupt") {
            ok = ParseCount(value, options.corrupt_out);
        } else if (name == "enum-ms") {
            ok = ParseCount(value, options.enumerate_delay_ms);
        } else if (name == "pull") {
            ok = ParseCount(value, d.pull_at_command) && d.pull_at_command > 0;
        } else if (name == "mute") {
            d.mute = true;
        } else {
            if (!piece.empty()) {
                rest += (rest.empty() ? "" : ",") + piece;
            }
            continue;
        }
        if (!ok) {
            error = "bad value for the USB option " + name + ": \"" + value + "\"";
            return false;
        }
    }
    return true;
}

UsbPhone::UsbPhone(PhoneOptions options, UsbPhoneOptions usb)
    : options_(std::move(options)), usb_(std::move(usb)) {}

UsbPhone::~UsbPhone() {
    Stop();
}

bool UsbPhone::Start(const std::string& socket_path, std::string* error) {
    std::string why;
    if (!ResolveChip(options_, chip_, why)) {
        *error = why;
        return false;
    }
    if (std::string e = nand_.Open(chip_, options_.nand_file); !e.empty()) {
        *error = e;
        return false;
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
        !trace_.OpenFile(options_.trace_file, options_.trace_append, error)) {
        return false;
    }
    // A manual phone stays off (no DFU device on the bus) until Reboot().
    if (options_.auto_power) {
        std::lock_guard lock(bus_.mutex());
        PowerOnLocked();
    }
    if (!bus_.Serve(socket_path, error)) {
        return false;
    }
    started_ = true;
    return true;
}

void UsbPhone::Stop() {
    bus_.Stop();
    {
        std::lock_guard lock(bus_.mutex());
        RetireLoaderLocked();
    }
    JoinRetired();
    if (started_) {
        trace_.Flush();
        nand_.Sync();
        started_ = false;
    }
}

void UsbPhone::Reboot() {
    {
        std::lock_guard lock(bus_.mutex());
        RetireLoaderLocked();
        PowerOnLocked();
    }
    JoinRetired();
}

void UsbPhone::Unplug() {
    {
        std::lock_guard lock(bus_.mutex());
        RetireLoaderLocked();
        bus_.DetachLocked(kPort);
        bus_.DetachLocked(kTwinPort);
    }
    JoinRetired();
}

DfuBootRomStats UsbPhone::boot_rom_stats() {
    std::lock_guard lock(bus_.mutex());
    const auto& rom = jumped_rom_ ? jumped_rom_ : boot_rom_;
    return rom ? rom->stats() : DfuBootRomStats{};
}

void UsbPhone::PowerOnLocked() {
    ++sessions_;
    nand_.BeginSession();
    trace_.Add({.kind = "power_on"});
    DfuBootRomOptions rom = usb_.dfu;
    if (rom.reenumerate && rom.start_in_app_mode) {
        // In run-time mode the descriptors say otherwise than in DFU mode; a phone that
        // starts in DFU mode shows DFU mode's from the first look.
        rom.manifestation_tolerant = !rom.manifestation_tolerant;
    }
    boot_rom_ = std::make_shared<DfuBootRom>(
        rom, [this](uint32_t a) { JumpLocked(a); }, [this] { ReenumerateLocked(); },
        [this] { PullLocked(); });
    bus_.AttachLocked(kPort, boot_rom_);
}

void UsbPhone::PullLocked() {
    trace_.Add({.kind = "pull"});
    bus_.DetachLocked(kPort);
}

void UsbPhone::ReenumerateLocked() {
    // DFU mode comes up as a device of its own: new address, another interface number,
    // another transfer size and manifestation attribute than run-time mode showed.
    trace_.Add({.kind = "reenumerate"});
    DfuBootRomOptions rom = usb_.dfu;
    rom.start_in_app_mode = rom.stay_in_app_mode;
    rom.reenumerate = false;
    rom.interface_number = static_cast<uint8_t>(usb_.dfu.interface_number + 1);
    rom.transfer_size = static_cast<uint16_t>(std::max(64, usb_.dfu.transfer_size / 2));
    boot_rom_ = std::make_shared<DfuBootRom>(
        rom, [this](uint32_t a) { JumpLocked(a); }, std::function<void()>{},
        [this] { PullLocked(); });
    bus_.AttachLocked(kPort, boot_rom_,
                      SimClock::now() + std::chrono::milliseconds(usb_.enumerate_delay_ms));
}

void UsbPhone::JumpLocked(uint32_t address) {
    trace_.Add({.kind = "jump", .value = address});
    jumped_rom_ = boot_rom_;
    // Whatever was jumped into, the boot ROM is gone from the bus.
    bus_.DetachLocked(kPort);
    if (!usb_.loader_enumerates || address != 0 || boot_rom_->stats().loaded_bytes == 0) {
        return;
    }
    loader_ = std::make_shared<Loader>(*this);
    loader_->Start();
    // With renum the delay is the DFU-mode device's, after its reset.
    const int delay_ms = usb_.dfu.reenumerate ? 0 : usb_.enumerate_delay_ms;
    bus_.AttachLocked(kPort, loader_, SimClock::now() + std::chrono::milliseconds(delay_ms));
    if (usb_.busy_twin) {
        // Another program's bulk device, listed first and already claimed.
        auto twin = std::make_shared<Loader>(*this);
        bus_.AttachLocked(kTwinPort, twin);
        bus_.ClaimLocked(kTwinPort, 0);
        retired_.push_back(twin);
    }
}

void UsbPhone::RetireLoaderLocked() {
    if (loader_) {
        loader_->Retire();
        retired_.push_back(std::move(loader_));
        loader_.reset();
    }
}

void UsbPhone::JoinRetired() {
    std::vector<std::shared_ptr<Loader>> done;
    {
        std::lock_guard lock(bus_.mutex());
        done.swap(retired_);
    }
    for (auto& l : done) {
        l->Join();
    }
}

}  // namespace velmora::sim
