#pragma once
// The USB stand-in: the same control and bulk transfers as libusb carries, sent over
// a Unix stream socket to a simulated phone's bus. Each opened device is its own
// connection; every request gets exactly one reply.
//
// Message: u32 length of the rest (little-endian), u8 type, payload.
//   'L'                                   -> 'l' u16 count, per device: u8 path length,
//                                            path, u16 vendor, u16 product, u32 address,
//                                            u8 serial length, serial, u8 interface count,
//                                            per interface 11 bytes (number, alt, class,
//                                            subclass, protocol, bulk in, bulk out, u16 in
//                                            packet size, u16 out packet size)
//   'O' u8 interface, u8 alt, path        -> 'o' u8 status       (binds the connection)
//   'C' 8-byte setup, u32 timeout, OUT data
//                                         -> 'c' u8 status, IN data
//   'B' u8 endpoint, u32 length, u32 timeout, u64 submission time (steady clock, ns), OUT data
//                                         -> 'b' u8 status, u32 transferred, IN data
//   'R'                                   -> 'r' u8 status       (port reset; "no device":
//                                            it came back as another device, found again
//                                            by its path)
//   'H' u8 endpoint                       -> 'h' u8 status       (clear a halted endpoint)
//   'X'                                   cancels the pending request, which then replies
//                                         (with status cancelled unless it had completed)
// Status: 0 ok, 1 timed out, 2 stalled, 3 no device, 4 cancelled, 5 error (an open:
// held by another program), 6 access denied (an open).
#include <optional>
#include <span>
#include <string>

#include "usb/usb_transfer.h"

namespace velmora::usb {

// The stand-in's replies, decoded without I/O. `reply` runs from the type byte on;
// nothing past it is read, whatever its counts and lengths say.

// An 'l' reply: the devices listed. A device cut short ends the list; interfaces
// cut short end the device's interfaces.
std::vector<UsbDeviceInfo> DecodeListReply(std::span<const uint8_t> reply);
// The status byte of a reply of `type` ('o', 'r', 'h'), nullopt when `reply` is not one.
std::optional<uint8_t> DecodeStatusReply(std::span<const uint8_t> reply, uint8_t type);
// A transfer status on the socket as the link names it.
UsbStatus SocketStatus(uint8_t code);
// A 'c' reply to `setup`. IN data (at most setup.length bytes) go to `data`, when
// given. `waited` is how the wait for the reply ended, given back when `reply` is
// not a control reply.
UsbResult DecodeControlReply(std::span<const uint8_t> reply, const ControlSetup& setup,
                             UsbStatus waited, uint8_t* data);
// A 'b' reply to `setup`, whose IN data (`taken` bytes) went straight to the
// caller's buffer. A cancel that the deadline caused is a time-out.
UsbResult DecodeBulkReply(std::span<const uint8_t> reply, const BulkSetup& setup, UsbStatus waited,
                          size_t taken);

class SocketBus : public UsbBus {
  public:
    explicit SocketBus(std::string socket_path) : path_(std::move(socket_path)) {}

    std::vector<UsbDeviceInfo> List() override;
    std::unique_ptr<UsbHandle> Open(const std::string& path, uint8_t interface, uint8_t alt_setting,
                                    UsbError* error) override;

  private:
    std::string path_;
};

}  // namespace velmora::usb
