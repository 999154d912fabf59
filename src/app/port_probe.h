#pragma once
// The serial ports the operator can choose from: real serial devices that open.
#include <string>
#include <vector>

namespace velmora::app {

// Device paths of the serial devices present (those with a driver behind them,
// and for 8250-style ports only those with a UART) that can be opened now,
// sorted as text. `sys_tty` and `dev` are the folders to look in.
std::vector<std::string> ProbeSerialPorts(const std::string& sys_tty = "/sys/class/tty",
                                          const std::string& dev = "/dev");

}  // namespace velmora::app
