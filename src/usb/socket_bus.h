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
#include <string>

#include "usb/usb_transfer.h"

namespace velmora::usb {

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
