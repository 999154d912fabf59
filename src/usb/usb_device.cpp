#include "usb/usb_device.h"

#include "usb/usb_choice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace velmora::usb {

namespace {

constexpr unsigned kDrainLimitMs = 10000;

bool ParseHex16(const std::string& text, uint16_t* out) {
    if (text.empty() || text.size() > 4) {
        return false;
    }
    unsigned value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    *out = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

bool ParseUsbIds(const std::string& text, UsbIds* out) {
    UsbIds ids;
    if (!text.empty()) {
        const size_t colon = text.find(':');
        uint16_t v = 0;
        if (!ParseHex16(text.substr(0, colon), &v)) {
            return false;
        }
        ids.vendor = v;
        if (colon != std::string::npos) {
            uint16_t p = 0;
            if (!ParseHex16(text.substr(colon + 1), &p)) {
                return false;
            }
            ids.product = p;
        }
    }
    *out = ids;
    return true;
}

std::string FormatUsbIds(const UsbIds& ids) {
    if (!ids.vendor) {
        return "";
    }
    char text[16];
    if (ids.product) {
        std::snprintf(text, sizeof text, "%04x:%04x", *ids.vendor, *ids.product);
    } else {
        std::snprintf(text, sizeof text, "%04x", *ids.vendor);
    }
    return text;
}

// ---- DlvDevice ---------------------------------------------------------------------------

bool DlvDevice::Find(const UsbMatch& match, const std::string& phone_path) {
    for (const UsbDeviceInfo& info : bus_.List()) {
        if (info.path != phone_path) {
            continue;
        }
        return match.dlv.Any() ? BulkInterface(info, true) != nullptr
                               : match.dlv.Matches(info.vendor, info.product) &&
                                     BulkInterface(info, false) != nullptr;
    }
    return false;
}

int DlvDevice::Open(const std::string& path) {
    Close();
    open_error_ = {};
    std::optional<UsbInterfaceInfo> pair;
    UsbDeviceInfo device;
    for (const UsbDeviceInfo& info : bus_.List()) {
        if (info.path == path) {
            device = info;
            if (const UsbInterfaceInfo* i = BulkInterface(info, false)) {
                pair = *i;
            }
            break;
        }
    }
    if (!pair) {
        open_error_ = {UsbOpenFailure::kNotFound, "LIBUSB_ERROR_NOT_FOUND",
                       "no bulk interface at " + path};
        return result::usb_device::kNoWritePipe;
    }
    handle_ = bus_.Open(path, pair->number, pair->alt_setting, &open_error_);
    if (!handle_) {
        return result::usb_device::kNoWritePipe;
    }
    out_ = pair->bulk_out;
    in_ = pair->bulk_in;
    packet_ = pair->in_packet != 0 ? pair->in_packet : 512;
    return 0;
}

UsbResult DlvDevice::Transfer(const BulkSetup& setup, uint8_t* data) {
    UsbResult r = handle_->Bulk(setup, data, abort_fd_);
    if (r.status == UsbStatus::kStall && handle_->ClearHalt(setup.endpoint) == UsbStatus::kOk) {
        r = handle_->Bulk(setup, data, abort_fd_);
    }
    return r;
}

int DlvDevice::BulkWrite(const uint8_t* data, size_t length, unsigned timeout_ms) {
    if (!handle_) {
        return result::usb_device::kBulkNoHandle;
    }
    expected_ = 0;  // a new command: no earlier answer is owed any more
    read_failure_ = 0;
    const UsbResult r =
        Transfer({out_, static_cast<uint32_t>(length), timeout_ms}, const_cast<uint8_t*>(data));
    Note(r.status);
    return r.ok() && r.transferred == length ? 0 : result::usb_device::kBulkFailed;
}

size_t DlvDevice::TakeBuffered(uint8_t* data, size_t length) {
    const size_t n = std::min(length, read_end_ - read_at_);
    if (n > 0) {
        std::memcpy(data, read_buffer_.data() + read_at_, n);
    }
    read_at_ += n;
    return n;
}

int DlvDevice::CommandAndRead(const uint8_t* command, size_t length, unsigned write_timeout_ms,
                              size_t answer, unsigned read_timeout_ms,
                              const std::function<void()>& meanwhile) {
    if (!handle_) {
        return result::usb_device::kBulkNoHandle;
    }
    expected_ = 0;
    read_failure_ = 0;
    // Bytes of an earlier answer that nobody took are dropped with it.
    read_at_ = read_end_ = 0;
    // In whole packets, and no more than the answer: see BulkRead.
    read_buffer_.resize(Packets(answer));
    const BulkSetup out{out_, static_cast<uint32_t>(length), write_timeout_ms};
    const BulkSetup in{in_, static_cast<uint32_t>(read_buffer_.size()), read_timeout_ms};
    CommandResult r =
        handle_->CommandAndRead(out, command, in, read_buffer_.data(), abort_fd_, meanwhile);
    if (r.out.status == UsbStatus::kStall && handle_->ClearHalt(out_) == UsbStatus::kOk) {
        r = handle_->CommandAndRead(out, command, in, read_buffer_.data(), abort_fd_, {});
    }
    Note(r.out.status);
    if (!r.out.ok() || r.out.transferred != length) {
        return result::usb_device::kBulkFailed;
    }
    read_end_ = std::min(r.in.transferred, read_buffer_.size());
    expected_ = answer - std::min(answer, read_end_);
    if (r.in.status == UsbStatus::kStall && handle_->ClearHalt(in_) == UsbStatus::kOk) {
        return 0;  // the answer is read again by BulkRead
    }
    if (!r.in.ok()) {
        Note(r.in.status);
        const bool timed_out =
            r.in.status == UsbStatus::kTimeout || r.in.status == UsbStatus::kCancelled;
        read_failure_ =
            timed_out ? result::usb_device::kBulkFailed : result::usb_device::kBulkReadFailed;
    }
    return 0;
}

int DlvDevice::BulkRead(uint8_t* data, size_t length, unsigned timeout_ms) {
    if (!handle_) {
        return result::usb_device::kBulkNoHandle;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    size_t got = TakeBuffered(data, length);
    if (got < length && read_failure_ != 0) {
        // The answer's read has failed already, its time spent: say so at once.
        const int failure = read_failure_;
        read_failure_ = 0;
        return failure;
    }
    while (got < length) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            Note(UsbStatus::kTimeout);
            return result::usb_device::kBulkFailed;
        }
        // Ask for no more than the answer, in whole packets. A transfer only ends
        // early on a short packet, so asking beyond an answer that fills its last
        // packet (a 2048-byte page, a block's ECC codes) would wait for bytes the
        // phone sends only after the next command, until the time-out.
        // Within a known answer, fetch the rest of it at once: its end is the end
        // of what the phone sends.
        const size_t want = std::max(length - got, expected_);
        read_buffer_.resize(Packets(want));
        const UsbResult r =
            Transfer({in_, static_cast<uint32_t>(read_buffer_.size()), static_cast<unsigned>(left)},
                     read_buffer_.data());
        Note(r.status);
        read_at_ = 0;
        read_end_ = std::min(r.transferred, read_buffer_.size());
        expected_ -= std::min(expected_, read_end_);
        got += TakeBuffered(data + got, length - got);
        if (got == length) {
            return 0;  // the answer is in, whatever ended the transfer
        }
        if (r.status == UsbStatus::kTimeout || r.status == UsbStatus::kCancelled) {
            return result::usb_device::kBulkFailed;
        }
        if (!r.ok()) {
            return result::usb_device::kBulkReadFailed;
        }
    }
    return 0;
}

long DlvDevice::Drain(unsigned quiet_ms) {
    if (!handle_) {
        return -1;
    }
    using Clock = std::chrono::steady_clock;
    // More than any one answer needs on the bus, however slow the phone's side.
    const auto limit = Clock::now() + std::chrono::milliseconds(quiet_ms + kDrainLimitMs);
    long dropped = static_cast<long>(read_end_ - read_at_);
    read_at_ = read_end_ = 0;
    expected_ = 0;
    read_failure_ = 0;
    // One packet at a time: a read ends with each packet, so none waits for bytes
    // beyond what came.
    std::vector<uint8_t> packet(packet_);
    for (;;) {
        if (Clock::now() + std::chrono::milliseconds(quiet_ms) > limit) {
            return -1;
        }
        const UsbResult r =
            Transfer({in_, static_cast<uint32_t>(packet.size()), quiet_ms}, packet.data());
        dropped += static_cast<long>(std::min(r.transferred, packet.size()));
        if (r.transferred > 0 || r.ok()) {
            continue;  // bytes, or a zero-length packet: the phone is still talking
        }
        if (r.status == UsbStatus::kTimeout) {
            return dropped;
        }
        Note(r.status);
        return -1;
    }
}

// ---- UsbDevice ---------------------------------------------------------------------------

UsbDevice::UsbDevice(std::unique_ptr<UsbBus> bus, UsbMatch match, DfuTiming timing)
    : bus_(std::move(bus)), match_(std::move(match)), dfu_(*bus_, std::move(timing)), dlv_(*bus_) {}

}  // namespace velmora::usb
