#pragma once
// The simulated phones the front ends offer for `sim` and `sim:OPTIONS` port
// texts: on a pseudo-terminal for the serial link, on a USB stand-in for USB.
#include "job/link_registry.h"

namespace velmora {

// For LinkRegistry: starts the phone with the options (the phone's own, and on
// USB its USB options too, comma-separated).
SimulatorFactory SimulatedPhones();

}  // namespace velmora
