#pragma once
// The window program's own options, handled before any window or display
// connection exists: --version and --help print and end; --station opens the
// station view (many phones at once) instead of the single-phone window. Every
// other argument is left to Qt (-platform, -style and the like).

namespace velmora::app {

struct CommandLine {
    bool station = false;
};

// -1 to go on and open the window chosen in `options`; else the program's exit status.
int HandleCommandLine(int argc, char** argv, CommandLine& options);

}  // namespace velmora::app
