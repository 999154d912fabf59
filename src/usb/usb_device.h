#pragma once
// The phone's two USB faces: the boot ROM's DFU device, and once the RAM loader
// runs, its bulk device (the dlv device) with one pipe each way.
//
// How each device is recognised (narrowed by UsbMatch):
//  - DFU device: an interface of class 0xFE, subclass 0x01 (DFU 1.0), chosen by the
//    rules of usb_choice.h.
//  - dlv device: on the DFU device's bus path, an interface with one bulk IN and one
//    bulk OUT endpoint, of class 0xFF (vendor specific); or, when IDs are given, any
//    such interface on a device with those IDs.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "usb/dfu_port.h"
#include "usb/usb_transfer.h"

namespace velmora::usb {

// A USB ID filter: "VID" or "VID:PID" in hexadecimal ("" = any).
struct UsbIds {
    std::optional<uint16_t> vendor;
    std::optional<uint16_t> product;

    bool Matches(uint16_t v, uint16_t p) const {
        return (!vendor || *vendor == v) && (!product || *product == p);
    }
    bool Any() const { return !vendor && !product; }
};
// false on a malformed text (out unchanged).
bool ParseUsbIds(const std::string& text, UsbIds* out);
std::string FormatUsbIds(const UsbIds& ids);

struct UsbMatch {
    UsbIds dfu;
    UsbIds dlv;
    std::string path;  // the phone's bus path ("1-4.2"), "" = any
};

// Time-outs of the two pipes' transfers as the target protocol uses them.
inline constexpr unsigned kBulkShortTimeoutMs = 3000;
inline constexpr unsigned kBulkLongTimeoutMs = 5000;

class DlvDevice {
  public:
    explicit DlvDevice(UsbBus& bus) : bus_(bus) {}

    // The bulk device on the phone's bus path, as listed (nothing is opened).
    bool Find(const UsbMatch& match, const std::string& phone_path);
    // 0, or result::usb_device::kNoWritePipe with open_error() saying why.
    int Open(const std::string& path);
    const UsbError& open_error() const { return open_error_; }
    void Close() {
        handle_.reset();
        failure_ = UsbStatus::kOk;
        read_at_ = read_end_ = 0;
        expected_ = 0;
        read_failure_ = 0;
    }
    bool IsOpen() const { return handle_ != nullptr; }

    // 0 when all length bytes went (came) within timeout_ms; non-zero otherwise.
    int BulkWrite(const uint8_t* data, size_t length, unsigned timeout_ms);
    int BulkRead(uint8_t* data, size_t length, unsigned timeout_ms);
    // Writes a command and reads the `answer` bytes the phone sends to it, with the
    // read submitted beside the write and `meanwhile` run while they go (see
    // UsbHandle::CommandAndRead). Returns what BulkWrite would; the answer is then
    // taken by BulkRead, which reports a failed read when it needs bytes that did
    // not come.
    int CommandAndRead(const uint8_t* command, size_t length, unsigned write_timeout_ms,
                       size_t answer, unsigned read_timeout_ms,
                       const std::function<void()>& meanwhile);

    // Drops what the phone sends, buffered or still in the IN pipe, with reads of
    // one packet until one gets nothing for `quiet_ms`. The bytes dropped; −1 when
    // the pipe did not fall quiet (Stop, a failed transfer, a phone that never
    // stops).
    long Drain(unsigned quiet_ms);

    // Stop ends a pending transfer at once when this descriptor becomes readable.
    void SetAbortFd(int fd) { abort_fd_ = fd; }
    UsbStatus last_status() const { return last_status_; }
    // The first failure since the last transfer that went: a write that stalled is
    // why the answer to it never came.
    UsbStatus failure() const { return failure_; }

  private:
    size_t TakeBuffered(uint8_t* data, size_t length);
    size_t Packets(size_t bytes) const { return (bytes + packet_ - 1) / packet_ * packet_; }
    // One transfer; a stalled endpoint is cleared and the transfer tried once more.
    UsbResult Transfer(const BulkSetup& setup, uint8_t* data);

    UsbBus& bus_;
    std::unique_ptr<UsbHandle> handle_;
    UsbError open_error_;
    uint8_t out_ = 0;
    uint8_t in_ = 0;
    size_t packet_ = 512;  // the IN endpoint's packet size (64 at full speed)
    int abort_fd_ = -1;
    // Bytes that came beyond the answers taken so far, for the next read.
    std::vector<uint8_t> read_buffer_;
    size_t read_at_ = 0;
    size_t read_end_ = 0;
    size_t expected_ = 0;   // announced answer bytes still to come from the phone
    int read_failure_ = 0;  // how the answer's read failed, for the BulkRead that needs it
    void Note(UsbStatus status) {
        last_status_ = status;
        if (status == UsbStatus::kOk) {
            failure_ = UsbStatus::kOk;
        } else if (failure_ == UsbStatus::kOk) {
            failure_ = status;
        }
    }

    UsbStatus last_status_ = UsbStatus::kOk;
    UsbStatus failure_ = UsbStatus::kOk;
};

// The pair that one USB job owns, over one bus.
class UsbDevice {
  public:
    UsbDevice(std::unique_ptr<UsbBus> bus, UsbMatch match, DfuTiming timing);

    UsbBus& bus() { return *bus_; }
    DfuPort& dfu() { return dfu_; }
    DlvDevice& dlv() { return dlv_; }
    const UsbMatch& match() const { return match_; }

    // The phone's bus path, once the DFU device is chosen: the bulk device is there.
    void SetPhonePath(const std::string& path) { phone_path_ = path; }
    const std::string& phone_path() const { return phone_path_; }
    bool FindDlvDevice(std::string* path) {
        *path = phone_path_;
        return dlv_.Find(match_, phone_path_);
    }

  private:
    std::unique_ptr<UsbBus> bus_;
    UsbMatch match_;
    DfuPort dfu_;
    DlvDevice dlv_;
    std::string phone_path_;
};

}  // namespace velmora::usb
