#include "usb/dfu_port.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "usb/usb_choice.h"

namespace velmora::usb {

namespace {

constexpr size_t kGroupBytes = 2048;     // one 'L' or 'G' group, one long-mode block
constexpr uint16_t kUploadLimit = 4096;  // largest upload request
constexpr int kMaxOpenAborts = 8;        // ABORTs tried while the device sits mid-transfer
constexpr int kMaxIdleRereads = 100;     // re-reads of a state the loops have no step for

// Letters of the boot ROM commands by number.
constexpr std::array<char, 39> kLetters = {0,   'D', 'R', 'T', 'S', 'H', 'L', 'G', 'W', 'J',
                                           'E', 'Q', 'D', 'C', 'P', 'T', 'R', 'J', 'C', 'S',
                                           'D', 'E', 'L', 'G', 'T', 'U', 'V', 'F', 'I', 'W',
                                           'P', 'B', 'O', 'N', '=', 'A', 'B', 'U', 'V'};

bool PollWait(int fd, unsigned ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return true;
        }
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, fd >= 0 ? 1 : 0, static_cast<int>(left));
        if (r > 0) {
            return false;  // the abort event fired
        }
    }
}

uint8_t CountByte(size_t padded) {
    return static_cast<uint8_t>((padded / 4) % 256 - 1);
}

}  // namespace

DfuTiming MakeDfuTiming(int abort_fd) {
    DfuTiming t;
    t.wait = [abort_fd](unsigned ms) { return PollWait(abort_fd, ms); };
    if (abort_fd >= 0) {
        t.stopped = [abort_fd] {
            pollfd p{abort_fd, POLLIN, 0};
            return ::poll(&p, 1, 0) > 0;
        };
    }
    return t;
}

// ---- DfuDevice ---------------------------------------------------------------------------

void DfuDevice::Attach(std::unique_ptr<UsbHandle> handle, uint8_t iface) {
    handle_ = std::move(handle);
    interface = iface;
}

UsbResult DfuDevice::Request(const ControlSetup& setup, uint8_t* data) {
    if (!handle_) {
        return {UsbStatus::kNoDevice, 0};
    }
    return handle_->Control(setup, data, timeout_ms);
}

bool DfuDevice::Detach() {
    return Request(DetachRequest(interface, functional.detach_timeout_ms), nullptr).ok();
}

UsbResult DfuDevice::Dnload(uint16_t number, const uint8_t* data, uint16_t length) {
    block = number;
    return Request(DnloadRequest(interface, number, length), const_cast<uint8_t*>(data));
}

UsbResult DfuDevice::Upload(uint8_t* data, uint16_t length) {
    return Request(UploadRequest(interface, 0, length), data);
}

bool DfuDevice::GetStatus() {
    uint8_t answer[6] = {};
    const UsbResult r = Request(GetStatusRequest(interface), answer);
    if (!r.ok() || r.transferred < 6) {
        return false;
    }
    last_status = ParseDfuStatus(answer);
    return true;
}

bool DfuDevice::ClrStatus() {
    return Request(ClrStatusRequest(interface), nullptr).ok();
}

int DfuDevice::GetState() {
    uint8_t state = 0;
    const UsbResult r = Request(GetStateRequest(interface), &state);
    last_state = r.ok() && r.transferred == 1 ? state : kDfuStateUnknown;
    return last_state;
}

bool DfuDevice::Abort() {
    return Request(AbortRequest(interface), nullptr).ok();
}

UsbStatus DfuDevice::Reset() {
    return handle_ ? handle_->Reset() : UsbStatus::kNoDevice;
}

int DfuDevice::ReadString(uint8_t index, std::string* out) {
    uint8_t buffer[255] = {};
    const UsbResult r =
        Request(GetDescriptorRequest(kDescString, index, language, sizeof buffer), buffer);
    if (!r.ok()) {
        return kDfuNoString;
    }
    if (r.transferred == 0) {
        return kDfuEmptyString;
    }
    out->clear();
    const size_t end = std::min<size_t>(r.transferred, buffer[0]);
    for (size_t i = 2; i + 1 < end; i += 2) {
        const unsigned c = buffer[i] | buffer[i + 1] << 8;
        out->push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    return kDfuOk;
}

int DfuDevice::ReadDescriptors() {
    UsbResult r = Request(GetDescriptorRequest(kDescDevice, 0, 0, 18), device_descriptor);
    if (!r.ok() || r.transferred == 0) {
        return kDfuNoDeviceDescriptor;
    }

    // String descriptor 0 lists the languages; the first one is used for the rest.
    uint8_t languages[255] = {};
    r = Request(GetDescriptorRequest(kDescString, 0, 0, sizeof languages), languages);
    if (!r.ok()) {
        return kDfuNoString;
    }
    if (r.transferred == 0) {
        return kDfuEmptyString;
    }
    language = r.transferred >= 4 ? static_cast<uint16_t>(languages[2] | languages[3] << 8) : 0;
    strings.clear();
    for (int k = 14; k <= 16; ++k) {
        if (device_descriptor[k] != 0) {
            std::string text;
            if (const int code = ReadString(device_descriptor[k], &text); code != kDfuOk) {
                return code;
            }
            strings.push_back(text);
        }
    }

    // The configuration: its first 9 bytes give the length of the whole set.
    uint8_t head[9] = {};
    r = Request(GetDescriptorRequest(kDescConfiguration, 0, 0, 9), head);
    if (!r.ok() || r.transferred < 9) {
        return kDfuNoConfiguration;
    }
    const uint16_t total = head[2] | head[3] << 8;
    if (total < 9) {
        return kDfuNoConfiguration;
    }
    configuration.assign(total, 0);
    r = Request(GetDescriptorRequest(kDescConfiguration, 0, 0, total), configuration.data());
    if (!r.ok() || r.transferred < 9) {
        return kDfuNoConfiguration;
    }
    configuration.resize(r.transferred);
    if (configuration.size() >= 18 && configuration[10] == kDescInterface &&
        configuration[17] != 0) {
        std::string text;
        if (const int code = ReadString(configuration[17], &text); code != kDfuOk) {
            return code;
        }
        strings.push_back(text);
    }

    // The DFU functional descriptor follows the DFU interface in the set.
    bool in_dfu = false;
    for (size_t at = 0; at + 2 <= configuration.size();) {
        const uint8_t length = configuration[at];
        const uint8_t type = configuration[at + 1];
        if (length < 2 || at + length > configuration.size()) {
            break;
        }
        if (type == kDescInterface && length >= 9) {
            in_dfu = configuration[at + 2] == interface &&
                     configuration[at + 5] == kDfuInterfaceClass &&
                     configuration[at + 6] == kDfuInterfaceSubclass;
        } else if (type == kDescDfuFunctional && in_dfu && length >= 7) {
            const uint8_t* d = &configuration[at];
            functional.attributes = d[2];
            functional.detach_timeout_ms = static_cast<uint16_t>(d[3] | d[4] << 8);
            functional.transfer_size = static_cast<uint16_t>(d[5] | d[6] << 8);
            functional.dfu_version = length >= 9 ? static_cast<uint16_t>(d[7] | d[8] << 8) : 0;
            return kDfuOk;
        }
        at += length;
    }
    return kDfuNoFunctional;
}

// ---- DfuPort -----------------------------------------------------------------------------

DfuPort::DfuPort(UsbBus& bus, DfuTiming timing) : bus_(bus), timing_(std::move(timing)) {
    device_.timeout_ms = timing_.request_timeout_ms;
}

int DfuPort::Open(const std::string& path) {
    if (open_flag_) {
        return kDfuAlreadyOpen;
    }
    open_flag_ = true;
    const int code = OpenOnce(path);
    if (code != kDfuOk) {
        device_.Close();
    }
    return code;
}

int DfuPort::Attach(const std::string& path) {
    const UsbInterfaceInfo* dfu = nullptr;
    const std::vector<UsbDeviceInfo> devices = bus_.List();
    for (const UsbDeviceInfo& info : devices) {
        if (info.path == path) {
            listed_ = info;
            dfu = DfuInterface(info);
            break;
        }
    }
    if (!dfu) {
        open_error_ = {UsbOpenFailure::kNotFound, "LIBUSB_ERROR_NOT_FOUND",
                       "no DFU interface at " + path};
        return kDfuOpenFailed;
    }
    std::unique_ptr<UsbHandle> handle =
        bus_.Open(path, dfu->number, dfu->alt_setting, &open_error_);
    if (!handle) {
        return kDfuOpenFailed;
    }
    open_error_ = {};
    device_.Attach(std::move(handle), dfu->number);
    return device_.ReadDescriptors();
}

bool DfuPort::ResetAndFollow() {
    const UsbStatus reset = device_.Reset();
    if (reset != UsbStatus::kNoDevice) {
        return reset == UsbStatus::kOk;
    }
    device_.Close();
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(timing_.reappear_ms);
    for (;;) {
        if (Attach(path_) == kDfuOk) {
            return true;
        }
        device_.Close();
        if (Clock::now() >= until) {
            break;
        }
        if (!Wait(timing_.reappear_step_ms)) {
            return false;  // Stop
        }
    }
    if (!open_error_.failed()) {
        open_error_ = {UsbOpenFailure::kNotFound, "LIBUSB_ERROR_NOT_FOUND", ""};
    }
    open_error_.detail = "it did not come back at " + path_ + " after its reset" +
                         (open_error_.detail.empty() ? "" : ": " + open_error_.detail);
    return false;
}

int DfuPort::OpenOnce(const std::string& path) {
    path_ = path;
    if (const int code = Attach(path); code != kDfuOk) {
        return code;
    }

    // Bring the device to rest: a transfer left half done by an earlier session is
    // aborted; a device still in application mode is detached by the first download.
    for (int tries = 0; tries <= kMaxOpenAborts; ++tries) {
        if (!device_.GetStatus()) {
            detach_phase_ = kPhaseBeforeDetach;
            return kDfuOk;
        }
        switch (device_.last_status.state) {
            case kAppIdle:
            case kAppDetach:
                detach_phase_ = kPhaseBeforeDetach;
                return kDfuOk;
            case kDfuDnloadSync:
            case kDfuDnloadIdle:
            case kDfuManifestSync:
            case kDfuManifestWaitReset:
            case kDfuUploadIdle:
                device_.Abort();
                continue;
            default:
                return kDfuOk;
        }
    }
    return kDfuOk;
}

int DfuPort::Close() {
    if (!device_.IsOpen()) {
        open_flag_ = false;
        return kDfuNotOpen;
    }
    device_.Close();
    open_flag_ = false;
    return kDfuOk;
}

uint16_t DfuPort::UploadSize() const {
    const uint16_t size = device_.functional.transfer_size;
    // A device that names no transfer size gets the largest request.
    return size == 0 ? kUploadLimit : std::min(size, kUploadLimit);
}

int DfuPort::StatusState(const DfuStatus& status) {
    if (status.status == kStatusErrNotDone) {
        error_flag_ = true;
    }
    if (status.status != kStatusOk && status.status != kStatusErrStalledPkt) {
        return kDfuStateUnknown;
    }
    return status.state;
}

int DfuPort::Download(std::span<const uint8_t> frame, std::span<const uint8_t> data,
                      bool long_mode) {
    DfuDevice& d = device_;
    // Read where it is used: a device that re-enumerates after the reset may say
    // otherwise in DFU mode than it did in run-time mode.
    auto tolerant = [&d] { return d.functional.ManifestationTolerant(); };
    bool manifested = false;  // the frame went through manifestation
    uint16_t block = 0;
    size_t sent = 0;
    int error_passes = 0;
    int rereads = 0;
    int state = d.GetState();
    for (;;) {
        if (Stopped()) {
            return kDfuStateUnknown;
        }
        switch (state) {
            case kAppIdle:
                if (detach_phase_ != kPhaseBeforeDetach) {
                    // Still in application mode after detach and reset: no way on.
                    return kDfuStateUnknown;
                }
                if (!d.Detach()) {
                    return kDfuStateUnknown;
                }
                detach_phase_ = kPhaseAfterDetach;
                state = kAppDetach;
                continue;
            case kAppDetach:
                // A detached device waits for the bus reset that brings up its DFU mode.
                detach_phase_ = kPhaseAfterDetach;
                ResetAndFollow();
                state = d.GetState();
                continue;
            case kDfuIdle:
                if (manifested) {
                    return kDfuIdle;  // done: never the same frame a second time
                }
                block = 0;
                sent = 0;
                if (!d.Dnload(block++, frame.data(), static_cast<uint16_t>(frame.size())).ok()) {
                    state = d.GetState();
                    // A refused first block that leaves the device idle cannot go on.
                    if (state == kDfuIdle) {
                        return kDfuStateUnknown;
                    }
                    continue;
                }
                state = d.GetState();
                continue;
            case kDfuDnloadSync:
                state = d.GetStatus() ? StatusState(d.last_status) : kDfuError;
                continue;
            case kDfuDnBusy:
                for (;;) {
                    if (!Wait(d.last_status.poll_timeout_ms)) {
                        return kDfuStateUnknown;
                    }
                    if (!d.GetStatus()) {
                        state = kDfuError;
                        break;
                    }
                    state = StatusState(d.last_status);
                    if (state != kDfuDnBusy) {
                        break;
                    }
                }
                if (state != kDfuError && state != kDfuStateUnknown) {
                    state = kDfuDnloadIdle;
                }
                continue;
            case kDfuDnloadIdle: {
                if (long_mode && sent < data.size()) {
                    const size_t n = std::min(kGroupBytes, data.size() - sent);
                    const UsbResult r =
                        d.Dnload(block++, data.data() + sent, static_cast<uint16_t>(n));
                    if (!r.ok()) {
                        state = kDfuError;
                        continue;
                    }
                    sent += n;
                    const size_t total = data.size();
                    if (progress_ && total != 0x20000 && total != 0x21000) {
                        progress_(static_cast<int>(sent * 100 / total + 1));
                    }
                    state = r.transferred == n ? kDfuDnloadSync : kDfuError;
                    continue;
                }
                const UsbResult r = d.Dnload(block++, nullptr, 0);
                state = r.ok() ? d.GetState() : kDfuError;
                continue;
            }
            case kDfuManifestSync: {
                manifested = true;
                if (!d.GetStatus()) {
                    state = kDfuError;
                    continue;
                }
                if (d.last_status.status == kStatusErrNotDone) {
                    error_flag_ = true;
                    d.ClrStatus();
                    return tolerant() ? kDfuIdle : kDfuStateUnknown;
                }
                if (StatusState(d.last_status) == kDfuStateUnknown) {
                    return kDfuStateUnknown;
                }
                if (!Wait(d.last_status.poll_timeout_ms)) {
                    return kDfuStateUnknown;
                }
                if (!d.GetStatus()) {
                    state = kDfuError;
                    continue;
                }
                if (d.last_status.status == kStatusErrNotDone) {
                    error_flag_ = true;
                    d.ClrStatus();
                    return tolerant() ? kDfuIdle : kDfuStateUnknown;
                }
                state = StatusState(d.last_status);
                if (state != kDfuStateUnknown && tolerant()) {
                    return kDfuIdle;
                }
                continue;
            }
            case kDfuManifest:
                return kDfuIdle;
            case kDfuManifestWaitReset:
                // Only a reset would end this, and a reset ends the boot ROM session.
                return kDfuStateUnknown;
            case kDfuError:
                if (++error_passes >= 3) {
                    return kDfuStateUnknown;
                }
                if (!d.GetStatus()) {
                    return kDfuStateUnknown;
                }
                if (!Wait(d.last_status.poll_timeout_ms)) {
                    return kDfuStateUnknown;
                }
                if (d.last_status.state == kDfuError && d.ClrStatus()) {
                    error_flag_ = true;
                }
                state = d.GetState();
                continue;
            case kDfuStateUnknown:
                return kDfuStateUnknown;
            default:
                if (++rereads > kMaxIdleRereads) {
                    return kDfuStateUnknown;
                }
                state = d.GetState();
                continue;
        }
    }
}

int DfuPort::Upload(std::span<uint8_t> reply, size_t* count) {
    DfuDevice& d = device_;
    const uint16_t ask = UploadSize();
    std::vector<uint8_t> buffer(ask);
    size_t received = 0;
    int rereads = 0;
    int state = d.GetState();
    for (;;) {
        if (Stopped()) {
            state = kDfuStateUnknown;
            break;
        }
        if (state == kAppIdle) {
            if (detach_phase_ != kPhaseBeforeDetach || !d.Detach()) {
                state = kDfuStateUnknown;
                break;
            }
            detach_phase_ = kPhaseAfterDetach;
            state = kAppDetach;
            continue;
        }
        if (state == kAppDetach) {
            detach_phase_ = kPhaseAfterDetach;
            ResetAndFollow();
            state = d.GetState();
            continue;
        }
        if (state == kDfuIdle) {
            const UsbResult r = d.Upload(buffer.data(), ask);
            if (!r.ok()) {
                state = kDfuStateUnknown;
                break;
            }
            received += r.transferred;
            // Each upload is stored from the start of the reply; never past its end.
            if (const size_t keep = std::min(reply.size(), r.transferred); keep > 0) {
                std::memcpy(reply.data(), buffer.data(), keep);
            }
            if (r.transferred < ask) {
                break;
            }
            continue;
        }
        if (state == kDfuStateUnknown || ++rereads > kMaxIdleRereads) {
            state = kDfuStateUnknown;
            break;
        }
        state = d.GetState();
    }
    if (count) {
        *count = received;
    }
    return state;
}

int DfuPort::SendFrame(std::span<const uint8_t> frame) {
    return Download(frame, {}, false) == kDfuIdle ? kDfuOk : kDfuTransferFailed;
}

int DfuPort::Fetch(std::span<uint8_t> reply, size_t* received) {
    size_t count = 0;
    const int state = Upload(reply, &count);
    if (received) {
        *received += count;
    }
    return state == kDfuIdle ? kDfuOk : kDfuTransferFailed;
}

int DfuPort::BootRomCommand(int number, uint32_t n, std::span<const uint8_t> data,
                            std::span<uint8_t> reply, size_t* received) {
    if (received) {
        *received = 0;
    }
    if (!device_.IsOpen()) {
        return kDfuNotOpen;
    }
    if (number < 1 || number > 38) {
        return kDfuBadArguments;
    }
    const uint8_t letter = static_cast<uint8_t>(kLetters[number]);
    const bool has_data = data.size() >= n && (n == 0 || !data.empty());
    std::vector<uint8_t> frame{letter};
    size_t reply_length = 0;
    auto add_data = [&] { frame.insert(frame.end(), data.begin(), data.begin() + n); };

    switch (number) {
        case 1:
        case 2:
            return kDfuOk;
        case 3:
            return n == 1 && has_data && !data.empty() ? kDfuOk : kDfuBadArguments;
        case 4:
        case 19:
        case 33:
            if (n % 2 != 0 || !has_data || data.empty()) {
                return kDfuBadArguments;
            }
            add_data();
            break;
        case 5:
            if (n != 2 || data.size() < 2) {
                return kDfuBadArguments;
            }
            add_data();
            break;
        case 6: {
            if (!has_data || n == 0) {
                return kDfuBadArguments;
            }
            busy_ = true;
            error_flag_ = false;
            for (size_t at = 0; at < n; at += kGroupBytes) {
                const size_t size = std::min<size_t>(kGroupBytes, n - at);
                const size_t padded = (size + 3) / 4 * 4;
                std::vector<uint8_t> group{letter, CountByte(padded)};
                group.insert(group.end(), data.begin() + at, data.begin() + at + size);
                group.resize(2 + padded, 0);
                if (const int code = SendFrame(group); code != kDfuOk) {
                    return code;
                }
            }
            busy_ = false;
            return kDfuOk;
        }
        case 7: {
            if (reply.empty() || reply.size() % 4 != 0) {
                return kDfuBadArguments;
            }
            busy_ = true;
            error_flag_ = false;
            for (size_t at = 0; at < reply.size(); at += kGroupBytes) {
                const size_t size = std::min(kGroupBytes, reply.size() - at);
                const uint8_t group[2] = {letter, CountByte(size)};
                if (int code = SendFrame(group); code != kDfuOk) {
                    return code;
                }
                if (int code = Fetch(reply.subspan(at, size), received); code != kDfuOk) {
                    return code;
                }
            }
            busy_ = false;
            return kDfuOk;
        }
        case 8:
            if (n != 9 || !has_data) {
                return kDfuBadArguments;
            }
            add_data();
            break;
        case 9:
            if (n != 0) {
                return kDfuBadArguments;
            }
            break;
        case 10:
        case 17:
            if (n != 1 || !has_data) {
                return kDfuBadArguments;
            }
            add_data();
            break;
        case 11:
            reply_length = 16;
            break;
        case 12:
            if (n == 0 || !has_data || !reply.empty()) {
                return kDfuBadArguments;
            }
            add_data();
            break;
        case 13:
            if (reply.size() != 16 && reply.size() != 32) {
                return kDfuBadArguments;
            }
            reply_length = reply.size();
            break;
        case 14:
            reply_length = 5;
            break;
        case 22:
            if (!has_data) {
                return kDfuBadArguments;
            }
            frame.push_back(static_cast<uint8_t>(n));
            frame.push_back(static_cast<uint8_t>(n >> 8));
            frame.push_back(static_cast<uint8_t>(n >> 16));
            break;
        case 38:
            reply_length = 8;
            break;
        default:
            if (!has_data) {
                return kDfuBadArguments;
            }
            add_data();
            reply_length = reply.size();
            break;
    }
    if (reply_length > reply.size()) {
        return kDfuBadArguments;  // the caller's buffer cannot take the answer
    }

    busy_ = true;
    error_flag_ = false;
    const std::span<const uint8_t> long_data =
        number == 22 ? data.first(n) : std::span<const uint8_t>{};
    if (Download(frame, long_data, number == 22) != kDfuIdle) {
        return kDfuTransferFailed;
    }
    if (reply_length > 0) {
        if (const int code = Fetch(reply.first(reply_length), received); code != kDfuOk) {
            return code;
        }
    }
    if (error_flag_) {
        if (number == 8 || number == 36) {
            return kDfuNotDoneWrite;
        }
        if (number == 22 || number == 28 || number == 32 || number == 33 || number == 34) {
            return kDfuNotDoneLoad;
        }
    }
    busy_ = false;
    return kDfuOk;
}

}  // namespace velmora::usb
