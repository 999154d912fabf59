#pragma once
#include <string>

namespace velmora::app {

class DialogHost;

// The program: refuses a second instance, then shows the main window until the
// operator closes it. Returns the process's exit status.
int RunApplication();
// As above with the boxes, the lock folder and the home folder given.
int RunApplication(DialogHost& dialogs, const std::string& lock_folder, const std::string& home);

// The station view (velmora --station): takes the multi-port program's lock
// instead of the window's and refuses while a window runs; then shows the
// station until the operator closes it.
int RunStation();
int RunStation(DialogHost& dialogs, const std::string& lock_folder, const std::string& home);

}  // namespace velmora::app
