#include "usb/dfu_port.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <optional>

#include "usb/usb_choice.h"

namespace velmora::usb {

namespace {

constexpr size_t kGroupBytes = 2048;     // one 'L' or 'G' group, one long-mode block
constexpr uint16_t kUploadLimit = 4096;  // largest upload request
constexpr int kMaxOpenAborts = 8;        // ABORTs tried while the device sits mid-transfer
constexpr int kMaxIdleRereads = 100;     // re-reads of a state the loops have no step for

// How a boot ROM command's argument n and its data make the frame after the letter.
enum class Argument : uint8_t {
    kIgnored,  // n is not looked at; the letter goes alone
    kZero,     // n must be 0; the letter goes alone
    kExactly,  // n must be `argument_bytes`, and the data hold them; n data bytes follow
    kEven,     // n even, the data not empty and holding n; n data bytes follow
    kNonZero,  // n > 0 and the data hold it; n data bytes follow
    kAny,      // the data hold n; n data bytes follow
    kLength,   // the data hold n; n follows as 3 bytes, the data as long-mode blocks
    kGroups,   // n > 0 and the data hold it; they go in 'L' groups of at most 2048 bytes
};

// What comes back, into the caller's reply buffer.
enum class Answer : uint8_t {
    kNone,      // nothing is fetched; the buffer is not looked at
    kNoBuffer,  // nothing, and the caller gives no buffer
    kFixed,     // `answer_bytes`; the buffer must hold them
    kWhole,     // as many bytes as the buffer holds
    kBlock,     // 16 or 32 bytes: the buffer's size
    kGroups,    // a non-empty multiple of 4 bytes, asked for in 'G' groups of 2048
};

struct BootRomCommandSpec {
    char letter;
    Argument argument;
    uint8_t argument_bytes;
    Answer answer;
    uint8_t answer_bytes;
    bool local;    // checked here, never sent
    int not_done;  // the result when the device reported the command not done; 0: none
};

constexpr BootRomCommandSpec Local(char letter, Argument argument = Argument::kIgnored,
                                   uint8_t bytes = 0) {
    return {letter, argument, bytes, Answer::kNone, 0, true, 0};
}
constexpr BootRomCommandSpec Sent(char letter, Argument argument, uint8_t bytes = 0,
                                  Answer answer = Answer::kNone, uint8_t answer_bytes = 0,
                                  int not_done = 0) {
    return {letter, argument, bytes, answer, answer_bytes, false, not_done};
}

// The boot ROM commands by number (1 to 38).
constexpr std::array<BootRomCommandSpec, 39> kBootRomCommands = {{
    {},
    Local('D'),                                                                      // 1
    Local('R'),                                                                      // 2
    Local('T', Argument::kExactly, 1),                                               // 3
    Sent('S', Argument::kEven),                                                      // 4
    Sent('H', Argument::kExactly, 2),                                                // 5
    Sent('L', Argument::kGroups),                                                    // 6
    Sent('G', Argument::kIgnored, 0, Answer::kGroups),                               // 7
    Sent('W', Argument::kExactly, 9, Answer::kNone, 0, result::dfu::kNotDoneWrite),  // 8
    Sent('J', Argument::kZero),                                                      // 9
    Sent('E', Argument::kExactly, 1),                                                // 10
    Sent('Q', Argument::kIgnored, 0, Answer::kFixed, 16),                            // 11
    Sent('D', Argument::kNonZero, 0, Answer::kNoBuffer),                             // 12
    Sent('C', Argument::kIgnored, 0, Answer::kBlock),                                // 13
    Sent('P', Argument::kIgnored, 0, Answer::kFixed, 5),                             // 14
    Sent('T', Argument::kAny, 0, Answer::kWhole),                                    // 15
    Sent('R', Argument::kAny, 0, Answer::kWhole),                                    // 16
    Sent('J', Argument::kExactly, 1),                                                // 17
    Sent('C', Argument::kAny, 0, Answer::kWhole),                                    // 18
    Sent('S', Argument::kEven),                                                      // 19
    Sent('D', Argument::kAny, 0, Answer::kWhole),                                    // 20
    Sent('E', Argument::kAny, 0, Answer::kWhole),                                    // 21
    Sent('L', Argument::kLength, 0, Answer::kNone, 0, result::dfu::kNotDoneLoad),    // 22
    Sent('G', Argument::kAny, 0, Answer::kWhole),                                    // 23
    Sent('T', Argument::kAny, 0, Answer::kWhole),                                    // 24
    Sent('U', Argument::kAny, 0, Answer::kWhole),                                    // 25
    Sent('V', Argument::kAny, 0, Answer::kWhole),                                    // 26
    Sent('F', Argument::kAny, 0, Answer::kWhole),                                    // 27
    Sent('I', Argument::kAny, 0, Answer::kWhole, 0, result::dfu::kNotDoneLoad),      // 28
    Sent('W', Argument::kAny, 0, Answer::kWhole),                                    // 29
    Sent('P', Argument::kAny, 0, Answer::kWhole),                                    // 30
    Sent('B', Argument::kAny, 0, Answer::kWhole),                                    // 31
    Sent('O', Argument::kAny, 0, Answer::kWhole, 0, result::dfu::kNotDoneLoad),      // 32
    Sent('N', Argument::kEven, 0, Answer::kNone, 0, result::dfu::kNotDoneLoad),      // 33
    Sent('=', Argument::kAny, 0, Answer::kWhole, 0, result::dfu::kNotDoneLoad),      // 34
    Sent('A', Argument::kAny, 0, Answer::kWhole),                                    // 35
    Sent('B', Argument::kAny, 0, Answer::kWhole, 0, result::dfu::kNotDoneWrite),     // 36
    Sent('U', Argument::kAny, 0, Answer::kWhole),                                    // 37
    Sent('V', Argument::kIgnored, 0, Answer::kFixed, 8),                             // 38
}};

// Whether n and the data fit the command's argument rule.
bool ArgumentFits(const BootRomCommandSpec& spec, uint32_t n, std::span<const uint8_t> data) {
    const bool holds = data.size() >= n;
    switch (spec.argument) {
        case Argument::kIgnored:
            return true;
        case Argument::kZero:
            return n == 0;
        case Argument::kExactly:
            return n == spec.argument_bytes && holds;
        case Argument::kEven:
            return n % 2 == 0 && holds && !data.empty();
        case Argument::kNonZero:
        case Argument::kGroups:
            return n != 0 && holds;
        case Argument::kAny:
        case Argument::kLength:
            return holds;
    }
    return false;
}

// How many reply bytes the command fetches into `reply`; nullopt when the
// caller's buffer does not fit the answer.
std::optional<size_t> AnswerBytes(const BootRomCommandSpec& spec, std::span<const uint8_t> reply) {
    switch (spec.answer) {
        case Answer::kNone:
            return 0;
        case Answer::kNoBuffer:
            return reply.empty() ? std::optional<size_t>(0) : std::nullopt;
        case Answer::kFixed:
            return reply.size() >= spec.answer_bytes ? std::optional<size_t>(spec.answer_bytes)
                                                     : std::nullopt;
        case Answer::kWhole:
            return reply.size();
        case Answer::kBlock:
            return reply.size() == 16 || reply.size() == 32 ? std::optional(reply.size())
                                                            : std::nullopt;
        case Answer::kGroups:
            return !reply.empty() && reply.size() % 4 == 0 ? std::optional(reply.size())
                                                           : std::nullopt;
    }
    return std::nullopt;
}

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
    const UsbResult r =
        handle_ ? handle_->Control(setup, data, timeout_ms) : UsbResult{UsbStatus::kNoDevice, 0};
    // The first failure tells the cause, unless a later one says the device is gone
    // or silent: what follows a stall is often just its echo.
    auto rank = [](UsbStatus status) {
        return status == UsbStatus::kNoDevice ? 3 : status == UsbStatus::kTimeout ? 2 : 1;
    };
    if (!r.ok() && (trouble.status == UsbStatus::kOk || rank(r.status) > rank(trouble.status))) {
        trouble.status = r.status;
        trouble.request = setup.request;
    }
    return r;
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
    if (!r.ok()) {
        return false;
    }
    const std::optional<DfuStatus> status =
        DecodeDfuStatus(std::span(answer, std::min(r.transferred, sizeof answer)));
    if (!status) {
        return false;
    }
    last_status = *status;
    trouble.state = status->state;
    trouble.dfu_status = status->status;
    trouble.not_done = trouble.not_done || status->status == kStatusErrNotDone;
    return true;
}

bool DfuDevice::ClrStatus() {
    if (!Request(ClrStatusRequest(interface), nullptr).ok()) {
        return false;
    }
    trouble.state = kDfuIdle;  // where a clear leads; a device stuck in dfuERROR says so next
    return true;
}

int DfuDevice::GetState() {
    uint8_t state = 0;
    const UsbResult r = Request(GetStateRequest(interface), &state);
    last_state = r.ok() && r.transferred == 1 ? state : kDfuStateUnknown;
    if (last_state != kDfuStateUnknown) {
        trouble.state = last_state;
    }
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
        return result::dfu::kNoString;
    }
    if (r.transferred == 0) {
        return result::dfu::kEmptyString;
    }
    *out = DecodeStringDescriptor(std::span(buffer, std::min(r.transferred, sizeof buffer)));
    return result::dfu::kOk;
}

int DfuDevice::ReadDescriptors() {
    UsbResult r = Request(GetDescriptorRequest(kDescDevice, 0, 0, 18), device_descriptor);
    if (!r.ok() || r.transferred == 0) {
        return result::dfu::kNoDeviceDescriptor;
    }

    // String descriptor 0 lists the languages; the first one is used for the rest.
    uint8_t languages[255] = {};
    r = Request(GetDescriptorRequest(kDescString, 0, 0, sizeof languages), languages);
    if (!r.ok()) {
        return result::dfu::kNoString;
    }
    if (r.transferred == 0) {
        return result::dfu::kEmptyString;
    }
    language = DecodeFirstLanguage(std::span(languages, std::min(r.transferred, sizeof languages)));
    strings.clear();
    for (int k = 14; k <= 16; ++k) {
        if (device_descriptor[k] != 0) {
            std::string text;
            if (const int code = ReadString(device_descriptor[k], &text);
                code != result::dfu::kOk) {
                return code;
            }
            strings.push_back(text);
        }
    }

    // The configuration: its first 9 bytes give the length of the whole set.
    uint8_t head[9] = {};
    r = Request(GetDescriptorRequest(kDescConfiguration, 0, 0, 9), head);
    const std::optional<uint16_t> total =
        r.ok() ? DecodeConfigurationLength(std::span(head, std::min(r.transferred, sizeof head)))
               : std::nullopt;
    if (!total) {
        return result::dfu::kNoConfiguration;
    }
    configuration.assign(*total, 0);
    r = Request(GetDescriptorRequest(kDescConfiguration, 0, 0, *total), configuration.data());
    if (!r.ok() || r.transferred < 9) {
        return result::dfu::kNoConfiguration;
    }
    configuration.resize(r.transferred);
    const DfuConfiguration decoded = DecodeDfuConfiguration(configuration, interface);
    if (decoded.interface_string != 0) {
        std::string text;
        if (const int code = ReadString(decoded.interface_string, &text);
            code != result::dfu::kOk) {
            return code;
        }
        strings.push_back(text);
    }
    if (!decoded.functional) {
        return result::dfu::kNoFunctional;
    }
    functional = *decoded.functional;
    return result::dfu::kOk;
}

// ---- DfuPort -----------------------------------------------------------------------------

DfuPort::DfuPort(UsbBus& bus, DfuTiming timing) : bus_(bus), timing_(std::move(timing)) {
    device_.timeout_ms = timing_.request_timeout_ms;
}

int DfuPort::Open(const std::string& path) {
    if (open_flag_) {
        return result::dfu::kAlreadyOpen;
    }
    open_flag_ = true;
    const int code = OpenOnce(path);
    if (code != result::dfu::kOk) {
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
        return result::dfu::kOpenFailed;
    }
    std::unique_ptr<UsbHandle> handle =
        bus_.Open(path, dfu->number, dfu->alt_setting, &open_error_);
    if (!handle) {
        return result::dfu::kOpenFailed;
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
        if (Attach(path_) == result::dfu::kOk) {
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
    open_error_.detail = "did not come back at " + path_ + " within " +
                         std::to_string((timing_.reappear_ms + 999) / 1000) + " s after its reset" +
                         (open_error_.detail.empty() ? "" : ": " + open_error_.detail);
    device_.trouble.lost_after_reset = true;
    return false;
}

bool DfuPort::WaitAsked(unsigned ms) {
    while (ms > 0) {
        const unsigned piece = std::min(ms, 1000u);
        if (!Wait(piece)) {
            return false;
        }
        if (poll_notice_) {
            poll_notice_(piece);
        }
        ms -= piece;
    }
    return true;
}

int DfuPort::OpenOnce(const std::string& path) {
    path_ = path;
    if (const int code = Attach(path); code != result::dfu::kOk) {
        return code;
    }

    // Bring the device to rest: a transfer left half done by an earlier session is
    // aborted; a device still in application mode is detached by the first download.
    for (int tries = 0; tries <= kMaxOpenAborts; ++tries) {
        if (!device_.GetStatus()) {
            detach_phase_ = kPhaseBeforeDetach;
            return result::dfu::kOk;
        }
        switch (device_.last_status.state) {
            case kAppIdle:
            case kAppDetach:
                detach_phase_ = kPhaseBeforeDetach;
                return result::dfu::kOk;
            case kDfuDnloadSync:
            case kDfuDnloadIdle:
            case kDfuManifestSync:
            case kDfuManifestWaitReset:
            case kDfuUploadIdle:
                device_.Abort();
                continue;
            default:
                return result::dfu::kOk;
        }
    }
    return result::dfu::kOk;
}

int DfuPort::Close() {
    if (!device_.IsOpen()) {
        open_flag_ = false;
        return result::dfu::kNotOpen;
    }
    device_.Close();
    open_flag_ = false;
    return result::dfu::kOk;
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

// Where one download stands.
struct DfuPort::DownloadRun {
    std::span<const uint8_t> frame;
    std::span<const uint8_t> data;  // long mode: the blocks after the frame
    bool long_mode = false;
    bool manifested = false;  // the frame went through manifestation
    uint16_t block = 0;       // the number of the next block
    size_t sent = 0;          // bytes of data downloaded
    int error_passes = 0;
    int rereads = 0;
};

// The state one step of a download leads to; `done`: the download ends in it.
struct DfuPort::DownloadStep {
    int state;
    bool done = false;
};

int DfuPort::Download(std::span<const uint8_t> frame, std::span<const uint8_t> data,
                      bool long_mode) {
    DownloadRun run{.frame = frame, .data = data, .long_mode = long_mode};
    DownloadStep step{device_.GetState()};
    while (!step.done) {
        if (Stopped()) {
            return kDfuStateUnknown;
        }
        step = DownloadFrom(run, step.state);
    }
    return step.state;
}

DfuPort::DownloadStep DfuPort::DownloadFrom(DownloadRun& run, int state) {
    DfuDevice& d = device_;
    switch (state) {
        case kAppIdle:
        case kAppDetach:
            return LeaveApplicationMode(state);
        case kDfuIdle:
            return SendFrame(run);
        case kDfuDnloadSync:
            return {d.GetStatus() ? StatusState(d.last_status) : kDfuError};
        case kDfuDnBusy:
            return AwaitNotBusy();
        case kDfuDnloadIdle:
            return SendNextBlock(run);
        case kDfuManifestSync:
            return Manifest(run);
        case kDfuManifest:
            return {kDfuIdle, true};
        case kDfuManifestWaitReset:
            // Only a reset would end this, and a reset ends the boot ROM session.
            return {kDfuStateUnknown, true};
        case kDfuError:
            return ClearError(run);
        case kDfuStateUnknown:
            return {kDfuStateUnknown, true};
        default:
            if (++run.rereads > kMaxIdleRereads) {
                return {kDfuStateUnknown, true};
            }
            return {d.GetState()};
    }
}

DfuPort::DownloadStep DfuPort::LeaveApplicationMode(int state) {
    if (state == kAppIdle) {
        // Still in application mode after detach and reset: no way on.
        if (detach_phase_ != kPhaseBeforeDetach) {
            device_.trouble.application_mode = true;
            return {kDfuStateUnknown, true};
        }
        if (!device_.Detach()) {
            return {kDfuStateUnknown, true};
        }
        detach_phase_ = kPhaseAfterDetach;
        return {kAppDetach};
    }
    // A detached device waits for the bus reset that brings up its DFU mode.
    detach_phase_ = kPhaseAfterDetach;
    ResetAndFollow();
    return {device_.GetState()};
}

DfuPort::DownloadStep DfuPort::SendFrame(DownloadRun& run) {
    if (run.manifested) {
        return {kDfuIdle, true};  // done: never the same frame a second time
    }
    run.block = 0;
    run.sent = 0;
    const auto size = static_cast<uint16_t>(run.frame.size());
    const bool taken = device_.Dnload(run.block++, run.frame.data(), size).ok();
    const int state = device_.GetState();
    // A refused first block that leaves the device idle cannot go on.
    return !taken && state == kDfuIdle ? DownloadStep{kDfuStateUnknown, true} : DownloadStep{state};
}

DfuPort::DownloadStep DfuPort::AwaitNotBusy() {
    DfuDevice& d = device_;
    int state = kDfuDnBusy;
    while (state == kDfuDnBusy) {
        if (!WaitAsked(d.last_status.poll_timeout_ms)) {
            return {kDfuStateUnknown, true};
        }
        state = d.GetStatus() ? StatusState(d.last_status) : kDfuError;
    }
    if (state != kDfuError && state != kDfuStateUnknown) {
        state = kDfuDnloadIdle;
    }
    return {state};
}

DfuPort::DownloadStep DfuPort::SendNextBlock(DownloadRun& run) {
    DfuDevice& d = device_;
    if (!run.long_mode || run.sent >= run.data.size()) {
        const UsbResult r = d.Dnload(run.block++, nullptr, 0);
        return {r.ok() ? d.GetState() : kDfuError};
    }
    const size_t n = std::min(kGroupBytes, run.data.size() - run.sent);
    const UsbResult r = d.Dnload(run.block++, run.data.data() + run.sent, static_cast<uint16_t>(n));
    if (!r.ok()) {
        return {kDfuError};
    }
    run.sent += n;
    const size_t total = run.data.size();
    if (progress_ && total != 0x20000 && total != 0x21000) {
        progress_(static_cast<int>(run.sent * 100 / total + 1));
    }
    return {r.transferred == n ? kDfuDnloadSync : kDfuError};
}

DfuPort::DownloadStep DfuPort::Manifest(DownloadRun& run) {
    DfuDevice& d = device_;
    run.manifested = true;
    // Read where it is used: a device that re-enumerates after the reset may say
    // otherwise in DFU mode than it did in run-time mode.
    auto tolerant = [&d] { return d.functional.ManifestationTolerant(); };
    // errNOTDONE ends the download: a tolerant device is idle again, ready for more.
    auto not_done = [&]() -> DownloadStep {
        error_flag_ = true;
        d.ClrStatus();
        return {tolerant() ? kDfuIdle : kDfuStateUnknown, true};
    };
    if (!d.GetStatus()) {
        return {kDfuError};
    }
    if (d.last_status.status == kStatusErrNotDone) {
        return not_done();
    }
    if (StatusState(d.last_status) == kDfuStateUnknown ||
        !WaitAsked(d.last_status.poll_timeout_ms)) {
        return {kDfuStateUnknown, true};
    }
    if (!d.GetStatus()) {
        return {kDfuError};
    }
    if (d.last_status.status == kStatusErrNotDone) {
        return not_done();
    }
    const int state = StatusState(d.last_status);
    if (state != kDfuStateUnknown && tolerant()) {
        return {kDfuIdle, true};
    }
    return {state};
}

DfuPort::DownloadStep DfuPort::ClearError(DownloadRun& run) {
    DfuDevice& d = device_;
    if (++run.error_passes >= 3 || !d.GetStatus() || !WaitAsked(d.last_status.poll_timeout_ms)) {
        return {kDfuStateUnknown, true};
    }
    if (d.last_status.state == kDfuError && d.ClrStatus()) {
        error_flag_ = true;
    }
    return {d.GetState()};
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
            d.trouble.application_mode = detach_phase_ != kPhaseBeforeDetach;
            if (d.trouble.application_mode || !d.Detach()) {
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

int DfuPort::Exchange(std::span<const uint8_t> frame, std::span<const uint8_t> long_data,
                      bool long_mode, std::span<uint8_t> reply, size_t* received) {
    if (Download(frame, long_data, long_mode) != kDfuIdle) {
        return result::dfu::kTransferFailed;
    }
    if (reply.empty()) {
        return result::dfu::kOk;
    }
    size_t count = 0;
    const int state = Upload(reply, &count);
    if (received) {
        *received += count;
    }
    return state == kDfuIdle ? result::dfu::kOk : result::dfu::kTransferFailed;
}

int DfuPort::BootRomCommand(int number, uint32_t n, std::span<const uint8_t> data,
                            std::span<uint8_t> reply, size_t* received) {
    if (received) {
        *received = 0;
    }
    if (!device_.IsOpen()) {
        return result::dfu::kNotOpen;
    }
    if (number < 1 || number > 38) {
        return result::dfu::kBadArguments;
    }
    const BootRomCommandSpec& spec = kBootRomCommands[static_cast<size_t>(number)];
    const std::optional<size_t> answer = AnswerBytes(spec, reply);
    if (!ArgumentFits(spec, n, data) || !answer) {
        return result::dfu::kBadArguments;
    }
    if (spec.local) {
        return result::dfu::kOk;
    }
    const uint8_t letter = static_cast<uint8_t>(spec.letter);

    busy_ = true;
    error_flag_ = false;
    device_.trouble = {};
    int code = result::dfu::kOk;
    if (spec.argument == Argument::kGroups) {
        for (size_t at = 0; at < n && code == result::dfu::kOk; at += kGroupBytes) {
            const size_t size = std::min<size_t>(kGroupBytes, n - at);
            const size_t padded = (size + 3) / 4 * 4;
            std::vector<uint8_t> group{letter, CountByte(padded)};
            group.insert(group.end(), data.begin() + at, data.begin() + at + size);
            group.resize(2 + padded, 0);
            code = Exchange(group, {}, false, {}, received);
        }
    } else if (spec.answer == Answer::kGroups) {
        for (size_t at = 0; at < reply.size() && code == result::dfu::kOk; at += kGroupBytes) {
            const size_t size = std::min(kGroupBytes, reply.size() - at);
            const uint8_t group[2] = {letter, CountByte(size)};
            code = Exchange(group, {}, false, reply.subspan(at, size), received);
        }
    } else {
        std::vector<uint8_t> frame{letter};
        std::span<const uint8_t> long_data;
        switch (spec.argument) {
            case Argument::kIgnored:
            case Argument::kZero:
                break;
            case Argument::kLength:
                frame.push_back(static_cast<uint8_t>(n));
                frame.push_back(static_cast<uint8_t>(n >> 8));
                frame.push_back(static_cast<uint8_t>(n >> 16));
                long_data = data.first(n);
                break;
            default:
                frame.insert(frame.end(), data.begin(), data.begin() + n);
                break;
        }
        code = Exchange(frame, long_data, spec.argument == Argument::kLength, reply.first(*answer),
                        received);
    }
    if (code != result::dfu::kOk) {
        return code;
    }
    if (error_flag_ && spec.not_done != 0) {
        return spec.not_done;
    }
    busy_ = false;
    return result::dfu::kOk;
}

}  // namespace velmora::usb
