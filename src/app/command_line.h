#pragma once
// The window program's own options, handled before any window or display
// connection exists: --version and --help print and end. Every other argument
// is left to Qt (-platform, -style and the like).

namespace velmora::app {

// -1 to go on and open the window; else the program's exit status.
int HandleCommandLine(int argc, char** argv);

}  // namespace velmora::app
