#include "sim/usb_dfu_device.h"

#include <algorithm>

namespace velmora::sim {

namespace {

// DFU 1.0 states and statuses as the device reports them.
enum : int {
    kAppIdle = 0,
    kAppDetach = 1,
    kIdle = 2,
    kDnloadSync = 3,
    kDnBusy = 4,
    kDnloadIdle = 5,
    kManifestSync = 6,
    kManifest = 7,
    kManifestWaitReset = 8,
    kUploadIdle = 9,
    kError = 10,
};
constexpr uint8_t kErrNotDone = 9;
constexpr uint8_t kErrUnknown = 14;
constexpr uint8_t kErrStalledPkt = 15;

constexpr size_t kRamLimit = 16u << 20;  // addresses below this are plain RAM

std::vector<uint8_t> StringDescriptor(const std::string& text) {
    std::vector<uint8_t> d = {static_cast<uint8_t>(2 + 2 * text.size()), 3};
    for (char c : text) {
        d.push_back(static_cast<uint8_t>(c));
        d.push_back(0);
    }
    return d;
}

}  // namespace

DfuBootRom::DfuBootRom(DfuBootRomOptions options, std::function<void(uint32_t)> on_jump,
                       std::function<void()> on_reenumerate, std::function<void()> on_pull)
    : options_(std::move(options)),
      on_jump_(std::move(on_jump)),
      on_reenumerate_(std::move(on_reenumerate)),
      on_pull_(std::move(on_pull)) {
    state_ = options_.start_in_app_mode ? kAppIdle : kIdle;
    if (options_.start_in_error && !options_.start_in_app_mode) {
        state_ = kError;
        status_ = kErrUnknown;
    }
}

std::vector<SimInterface> DfuBootRom::Interfaces() const {
    const bool app = state_ == kAppIdle || state_ == kAppDetach;
    return {{options_.interface_number, 0, 0xFE, 0x01, static_cast<uint8_t>(app ? 1 : 2), 0, 0}};
}

std::vector<uint8_t> DfuBootRom::Descriptor(uint8_t type, uint8_t index) const {
    const uint16_t v = options_.vendor, p = options_.product;
    switch (type) {
        case 1:
            return {18,
                    1,
                    0x00,
                    0x02,
                    0,
                    0,
                    0,
                    64,
                    static_cast<uint8_t>(v),
                    static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(p),
                    static_cast<uint8_t>(p >> 8),
                    0x00,
                    0x01,
                    1,
                    2,
                    static_cast<uint8_t>(options_.serial.empty() ? 0 : 4),
                    1};
        case 2: {
            const bool app = state_ == kAppIdle || state_ == kAppDetach;
            const uint8_t attributes = 0x03 | (options_.manifestation_tolerant ? 0x04 : 0);
            const uint16_t d = options_.detach_timeout_ms, t = options_.transfer_size;
            return {9,
                    2,
                    27,
                    0,
                    1,
                    1,
                    0,
                    0x80,
                    50,
                    9,
                    4,
                    options_.interface_number,
                    0,
                    0,
                    0xFE,
                    0x01,
                    static_cast<uint8_t>(app ? 1 : 2),
                    3,
                    9,
                    0x21,
                    attributes,
                    static_cast<uint8_t>(d),
                    static_cast<uint8_t>(d >> 8),
                    static_cast<uint8_t>(t),
                    static_cast<uint8_t>(t >> 8),
                    0x00,
                    0x01};
        }
        case 3:
            switch (index) {
                case 0:
                    return {4, 3, 0x09, 0x04};
                case 1:
                    return StringDescriptor("Velmora simulated phone");
                case 2:
                    return StringDescriptor("Boot ROM");
                case 3:
                    return StringDescriptor("DFU");
                case 4:
                    return StringDescriptor(options_.serial);
                default:
                    break;
            }
            break;
        default:
            break;
    }
    return {};
}

SimStatus DfuBootRom::Control(const SimSetup& setup, const std::vector<uint8_t>& out,
                              std::vector<uint8_t>* in) {
    if (setup.type == 0x80 && setup.request == 6) {
        std::vector<uint8_t> d =
            Descriptor(static_cast<uint8_t>(setup.value >> 8), static_cast<uint8_t>(setup.value));
        if (d.empty()) {
            return SimStatus::kStall;
        }
        d.resize(std::min<size_t>(d.size(), setup.length));
        *in = std::move(d);
        return SimStatus::kOk;
    }
    if ((setup.type & 0x7F) == 0x21 && setup.index == options_.interface_number) {
        // The USB core still gives the descriptors; the boot ROM itself is silent.
        if (options_.mute) {
            return SimStatus::kTimeout;
        }
        return ClassRequest(setup, out, in);
    }
    return SimStatus::kStall;
}

void DfuBootRom::Announce(uint32_t poll_ms) {
    poll_not_before_ = SimClock::now() + std::chrono::milliseconds(poll_ms);
}

void DfuBootRom::Fail(uint8_t status) {
    state_ = kError;
    status_ = status;
}

SimStatus DfuBootRom::ClassRequest(const SimSetup& setup, const std::vector<uint8_t>& out,
                                   std::vector<uint8_t>* in) {
    auto status_answer = [&](uint32_t poll) {
        *in = {status_,
               static_cast<uint8_t>(poll),
               static_cast<uint8_t>(poll >> 8),
               static_cast<uint8_t>(poll >> 16),
               static_cast<uint8_t>(state_),
               0};
    };
    switch (setup.request) {
        case 5:  // GETSTATE
            *in = {static_cast<uint8_t>(state_)};
            return SimStatus::kOk;
        case 3: {  // GETSTATUS
            if (SimClock::now() < poll_not_before_) {
                ++stats_.early_polls;
            }
            uint32_t poll = 0;
            switch (state_) {
                case kDnloadSync:
                case kDnBusy:
                    if (busy_left_ > 0) {
                        --busy_left_;
                        state_ = kDnBusy;
                        poll = options_.busy_poll_ms;
                    } else {
                        state_ = kDnloadIdle;
                    }
                    break;
                case kManifestSync:
                    if (!Execute()) {
                        Fail(kErrNotDone);
                        break;
                    }
                    state_ = kManifest;
                    poll = options_.manifest_poll_ms;
                    break;
                case kManifest:
                    state_ = options_.manifestation_tolerant ? kIdle : kManifestWaitReset;
                    break;
                default:
                    break;
            }
            Announce(poll);
            status_answer(poll);
            if (state_ == kIdle && jump_pending_) {
                jump_pending_ = false;
                stats_.jumped = true;
                on_jump_(jump_address_);
            }
            return SimStatus::kOk;
        }
        case 4:  // CLRSTATUS
            if (state_ != kError) {
                Fail(kErrStalledPkt);
                return SimStatus::kStall;
            }
            if (options_.error_sticks) {
                return SimStatus::kOk;
            }
            state_ = kIdle;
            status_ = 0;
            return SimStatus::kOk;
        case 6:  // ABORT
            if (state_ == kIdle || state_ == kDnloadSync || state_ == kDnloadIdle ||
                state_ == kManifestSync || state_ == kUploadIdle) {
                state_ = kIdle;
                command_.clear();
                return SimStatus::kOk;
            }
            Fail(kErrStalledPkt);
            return SimStatus::kStall;
        case 0:  // DETACH
            if (state_ == kAppIdle) {
                state_ = kAppDetach;
                ++stats_.detaches;
                return SimStatus::kOk;
            }
            Fail(kErrStalledPkt);
            return SimStatus::kStall;
        case 1: {  // DNLOAD
            if (out.size() > options_.transfer_size) {
                Fail(kErrStalledPkt);
                return SimStatus::kStall;
            }
            if (state_ == kIdle && !out.empty()) {
                if (++commands_begun_ == options_.pull_at_command && on_pull_) {
                    on_pull_();
                    return SimStatus::kNoDevice;
                }
                command_ = out;
                next_block_ = setup.value + 1;
                busy_left_ = options_.busy_polls;
                state_ = kDnloadSync;
                return SimStatus::kOk;
            }
            if (state_ == kDnloadIdle) {
                if (setup.value != next_block_) {
                    ++stats_.bad_blocks;
                }
                next_block_ = setup.value + 1;
                if (out.empty()) {
                    state_ = kManifestSync;
                } else {
                    command_.insert(command_.end(), out.begin(), out.end());
                    busy_left_ = options_.busy_polls;
                    state_ = kDnloadSync;
                }
                return SimStatus::kOk;
            }
            Fail(kErrStalledPkt);
            return SimStatus::kStall;
        }
        case 2: {  // UPLOAD
            if ((state_ != kIdle && state_ != kUploadIdle) ||
                setup.length > options_.transfer_size) {
                Fail(kErrStalledPkt);
                return SimStatus::kStall;
            }
            const size_t n = std::min<size_t>(setup.length, reply_.size());
            in->assign(reply_.begin(), reply_.begin() + static_cast<std::ptrdiff_t>(n));
            reply_.erase(reply_.begin(), reply_.begin() + static_cast<std::ptrdiff_t>(n));
            state_ = n == setup.length && n > 0 ? kUploadIdle : kIdle;
            return SimStatus::kOk;
        }
        default:
            Fail(kErrStalledPkt);
            return SimStatus::kStall;
    }
}

SimStatus DfuBootRom::Reset() {
    ++stats_.resets;
    if (state_ == kAppDetach && options_.reenumerate && on_reenumerate_) {
        on_reenumerate_();
        return SimStatus::kNoDevice;
    }
    if (state_ == kAppDetach) {
        state_ = options_.stay_in_app_mode ? kAppIdle : kIdle;
    } else if (state_ != kAppIdle) {
        state_ = kIdle;
    }
    status_ = 0;
    return SimStatus::kOk;
}

bool DfuBootRom::Execute() {
    const std::vector<uint8_t>& c = command_;
    if (c.empty()) {
        return false;
    }
    const char letter = static_cast<char>(c[0]);
    stats_.commands.push_back(letter + std::to_string(c.size()));
    if (options_.not_done_letters.find(letter) != std::string::npos) {
        return false;
    }
    auto store = [&](const uint8_t* data, size_t n) {
        if (address_ + n <= kRamLimit) {
            if (ram_.size() < address_ + n) {
                ram_.resize(address_ + n);
            }
            std::copy(data, data + n, ram_.begin() + address_);
            stats_.loaded_bytes += n;
        } else {
            for (size_t i = 0; i + 4 <= n; i += 4) {
                words_[address_ + static_cast<uint32_t>(i)] =
                    data[i] | data[i + 1] << 8 | data[i + 2] << 16 | uint32_t(data[i + 3]) << 24;
            }
        }
        address_ += static_cast<uint32_t>(n);
    };
    switch (letter) {
        case 'S':
            if (c.size() != 5) {
                return false;
            }
            address_ = c[1] | c[2] << 8 | c[3] << 16 | uint32_t(c[4]) << 24;
            return true;
        case 'L': {
            const size_t bytes = c.size() >= 2 ? c.size() - 2 : 0;
            if (bytes > 0 && bytes % 4 == 0 &&
                static_cast<uint8_t>((bytes / 4) % 256 - 1) == c[1]) {
                store(c.data() + 2, bytes);  // load words: count byte, whole words
                return true;
            }
            if (c.size() >= 4 &&
                c.size() == 4 + static_cast<size_t>(c[1] | c[2] << 8 | c[3] << 16)) {
                store(c.data() + 4, c.size() - 4);  // one long load: 3-byte length
                return true;
            }
            return false;
        }
        case 'G': {
            if (c.size() != 2) {
                return false;
            }
            reply_.clear();
            for (uint32_t w = 0; w <= c[1]; ++w) {
                const uint32_t at = address_ + 4 * w;
                uint32_t value = 0;
                // Widened: near the top of the address space at + 4 wraps to a small number.
                if (size_t{at} + 4 <= ram_.size()) {
                    value = ram_[at] | ram_[at + 1] << 8 | ram_[at + 2] << 16 |
                            uint32_t(ram_[at + 3]) << 24;
                } else if (auto it = words_.find(at); it != words_.end()) {
                    value = it->second;
                }
                for (int k = 0; k < 4; ++k) {
                    reply_.push_back(static_cast<uint8_t>(value >> (8 * k)));
                }
            }
            return true;
        }
        case 'P':
            reply_.assign(options_.product_id, options_.product_id + 5);
            return c.size() == 1;
        case 'V':
            reply_.assign(options_.version, options_.version + 8);
            return c.size() == 1;
        case 'Q':
            reply_.assign(16, 0);
            for (size_t i = 0; i < 16; ++i) {
                reply_[i] = static_cast<uint8_t>(0xA0 + i);
            }
            return c.size() == 1;
        case 'D':
            return c.size() == 21;
        case 'J':
            jump_pending_ = true;
            jump_address_ = address_;
            return c.size() == 1;
        default:
            return true;  // the other boot ROM commands are accepted as they come
    }
}

}  // namespace velmora::sim
