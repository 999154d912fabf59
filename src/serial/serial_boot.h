#pragma once
// Bringing up the RAM loader over the serial line: the boot ROM's announcement,
// its handshake, the loader transfer and the switch to the loader's line rate.
#include <cstdint>
#include <span>
#include <string>

namespace velmora {

class JobBase;
class SerialPort;

// Waits for 0x81 from the boot ROM, then sends 'D' as an immediate byte and
// waits for its echo. The wait ends on Stop, or after timings.phone_wait_ms when
// that is set; every timings.phone_notice_ms a status says what is awaited on
// `port_name`. 0 connected; result::serial_boot::kNoEcho no echo;
// result::serial_boot::kPhoneTimedOut with the error text set
// ("no phone within N s on PORT") and the result −1; the job's result when
// stopped.
int WaitForPhone(SerialPort& port, JobBase& job, const std::string& port_name = "the port");

// The fixed boot ROM exchange: 0, 2001 (no 'O' after 'T'), 2002 (no product ID),
// 2003 (a later step).
int BootHandshake(SerialPort& port, JobBase& job);
// What a non-zero BootHandshake code says, for a text.
std::string HandshakeFailureText(int code);

// Loads `image` at address 0 in chunks of at most 256 bytes and jumps to it.
// 0; 2002 no 'O' after a set-address; 2003 no 'O' after a chunk; the job's
// error text names the step that got no answer.
int SendRamLoader(SerialPort& port, JobBase& job, std::span<const uint8_t> image);

// Switches to the loader's format (8N1), waits for its 0xBE and, for selections
// 1 and 2, moves both sides to 460800 / 921600. 0, or −3..−6 with the job's
// error text set.
int SwitchToLoaderBaud(SerialPort& port, JobBase& job, int selection);

}  // namespace velmora
