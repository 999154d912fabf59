#pragma once
// The boot ROM's DFU device and the transfer loops that carry one boot ROM command
// frame per DFU download and fetch each reply with DFU uploads.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/results.h"
#include "usb/dfu_requests.h"
#include "usb/usb_transfer.h"

namespace velmora::usb {

// Detach phases: before the DFU_DETACH of this session, and after it.
inline constexpr int kPhaseBeforeDetach = 6;
inline constexpr int kPhaseAfterDetach = 7;

// How the loops wait and learn about Stop. wait(ms) returns false when the wait
// was ended by Stop; stopped() tells whether Stop has been asked for.
struct DfuTiming {
    std::function<bool(unsigned ms)> wait;
    std::function<bool()> stopped;
    unsigned request_timeout_ms = 5000;
    // How long a device that re-enumerates after its reset is looked for: some
    // boot ROMs take several seconds to come back in DFU mode.
    unsigned reappear_ms = 10000;
    unsigned reappear_step_ms = 100;
};

// What the device met during the latest boot ROM command, so that a failure can be
// told by its cause.
struct DfuTrouble {
    UsbStatus status = UsbStatus::kOk;  // of the latest request the bus failed; kOk: none
    uint8_t request = 0;                // that request's bRequest
    int state = kDfuStateUnknown;       // the state the device last reported
    uint8_t dfu_status = 0;             // the status of its latest GETSTATUS
    bool not_done = false;              // a GETSTATUS said errNOTDONE
    bool application_mode = false;      // back in appIDLE after its detach and reset
    bool lost_after_reset = false;      // not back after its reset (open_error says why)
};

// A plain waiter: poll() on abort_fd (or nothing) for the time-out.
DfuTiming MakeDfuTiming(int abort_fd);

// The boot ROM's DFU device: descriptors as read at open, and the class requests.
class DfuDevice {
  public:
    bool IsOpen() const { return handle_ != nullptr; }
    void Attach(std::unique_ptr<UsbHandle> handle, uint8_t interface);
    void Close() { handle_.reset(); }

    UsbResult Request(const ControlSetup& setup, uint8_t* data);
    bool Detach();
    UsbResult Dnload(uint16_t block, const uint8_t* data, uint16_t length);
    UsbResult Upload(uint8_t* data, uint16_t length);
    bool GetStatus();  // fills last_status
    bool ClrStatus();
    int GetState();  // the state, or 255
    bool Abort();
    UsbStatus Reset();  // see UsbHandle::Reset

    // Reads the device, string, configuration and DFU functional descriptors.
    // Returns result::dfu::kOk or the open failure code.
    int ReadDescriptors();

    uint8_t interface = 0;
    uint8_t device_descriptor[18] = {};
    std::vector<uint8_t> configuration;  // the whole configuration descriptor set
    DfuFunctional functional;
    uint16_t language = 0;
    std::vector<std::string> strings;  // manufacturer, product, serial, interface (as read)
    DfuStatus last_status;
    int last_state = kDfuStateUnknown;
    uint16_t block = 0;  // block number of the last download
    unsigned timeout_ms = 5000;
    DfuTrouble trouble;

  private:
    int ReadString(uint8_t index, std::string* out);

    std::unique_ptr<UsbHandle> handle_;
};

class DfuPort {
  public:
    explicit DfuPort(UsbBus& bus, DfuTiming timing = MakeDfuTiming(-1));
    virtual ~DfuPort() = default;

    int Open(const std::string& path);  // result::dfu::kOk or an open failure code
    int Close();                        // result::dfu::kOk, or result::dfu::kNotOpen
    bool IsOpen() const { return device_.IsOpen(); }
    // Why the latest open (or the device's return after a reset) failed.
    const UsbError& open_error() const { return open_error_; }
    // The device as listed when it was (last) opened.
    const UsbDeviceInfo& listed() const { return listed_; }

    // One DFU download: `frame` as the first block; in long mode `data` follows in
    // blocks of 2048 bytes. Returns the final state: kDfuIdle when it went through.
    int Download(std::span<const uint8_t> frame, std::span<const uint8_t> data, bool long_mode);
    // Uploads into reply (at most reply.size() bytes kept); count gets every byte
    // received. Returns the final state.
    int Upload(std::span<uint8_t> reply, size_t* count);

    // One boot ROM command by number (1 to 38). Returns result::dfu::kOk or a failure code.
    int BootRomCommand(int number, uint32_t value, std::span<const uint8_t> data,
                       std::span<uint8_t> reply = {}, size_t* received = nullptr);

    void SetProgress(std::function<void(int percent)> progress) { progress_ = std::move(progress); }
    // Told of every second (or less, at the end) spent in a wait the device asked for
    // (its poll time-out), with the milliseconds of that piece.
    void SetPollNotice(std::function<void(unsigned ms)> notice) {
        poll_notice_ = std::move(notice);
    }
    // What the latest boot ROM command met.
    const DfuTrouble& trouble() const { return device_.trouble; }

    DfuDevice& device() { return device_; }
    int detach_phase() const { return detach_phase_; }
    bool busy() const { return busy_; }
    bool not_done() const { return error_flag_; }
    uint16_t UploadSize() const;

  private:
    int OpenOnce(const std::string& path);
    // Opens the DFU interface of the device now at path and reads its descriptors.
    int Attach(const std::string& path);
    // The USB reset after DETACH. A device that comes back as another device is
    // followed by its bus path: opened again with the interface number it now shows,
    // its descriptors (transfer size, attributes) read afresh.
    bool ResetAndFollow();
    int StatusState(const DfuStatus& status);
    bool Wait(unsigned ms) { return timing_.wait ? timing_.wait(ms) : true; }
    // The device's poll time-out, in pieces of at most a second so that a long one
    // can be told as it passes. False on Stop.
    bool WaitAsked(unsigned ms);
    bool Stopped() const { return timing_.stopped && timing_.stopped(); }
    // One boot ROM frame: the download (long_data after it in long mode), then, when
    // `reply` is not empty, its uploads; their byte count is added to *received.
    // result::dfu::kOk or result::dfu::kTransferFailed.
    int Exchange(std::span<const uint8_t> frame, std::span<const uint8_t> long_data, bool long_mode,
                 std::span<uint8_t> reply, size_t* received);

    // Download's steps, one per state the device is found in; each says the state it
    // leads to and whether the download ends there.
    struct DownloadRun;
    struct DownloadStep;
    DownloadStep DownloadFrom(DownloadRun& run, int state);
    // appIDLE: DETACH (once per session); appDETACH: the reset that brings up DFU mode.
    DownloadStep LeaveApplicationMode(int state);
    // dfuIDLE: the frame as block 0, unless it has been through manifestation already.
    DownloadStep SendFrame(DownloadRun& run);
    // dfuDNBUSY: polls at the device's poll time-out until it is busy no more.
    DownloadStep AwaitNotBusy();
    // dfuDNLOAD-IDLE: the next long-mode block, or the empty block that ends the data.
    DownloadStep SendNextBlock(DownloadRun& run);
    // dfuMANIFEST-SYNC: the status before and after the manifestation's poll time-out.
    DownloadStep Manifest(DownloadRun& run);
    // dfuERROR: the status read and cleared; the third time gives up.
    DownloadStep ClearError(DownloadRun& run);

    UsbBus& bus_;
    DfuTiming timing_;
    DfuDevice device_;
    std::string path_;
    UsbDeviceInfo listed_;
    UsbError open_error_;
    bool open_flag_ = false;
    bool busy_ = false;
    int detach_phase_ = kPhaseBeforeDetach;
    bool error_flag_ = false;
    std::function<void(int)> progress_;
    std::function<void(unsigned)> poll_notice_;
};

}  // namespace velmora::usb
