#pragma once
// velmora-phone-sim --usb SOCKET: the phone on a USB stand-in bus instead of a
// pseudo-terminal.
#include <signal.h>

#include <string>

#include "sim/options.h"

namespace velmora::sim {

// Serves until one of `signals` arrives (they must be blocked). usb_options: the
// compact USB options (app, busy=N, ...). Returns the exit status.
int ServeUsbPhone(const PhoneOptions& options, const std::string& socket,
                  const std::string& usb_options, const sigset_t& signals);

}  // namespace velmora::sim
