#pragma once
#include <string>

namespace velmora {

// The program's own folder ("home"): FlashChip.ini, velmora.ini, dl_log.txt,
// upload_nand and the optional RAM loader replacements live there. Chosen in
// this order: `explicit_home` (the CLI's --home), $VELMORA_HOME, the
// executable's folder when it holds FlashChip.ini, else $XDG_DATA_HOME/velmora
// (created on first use, with FlashChip.ini copied from the installed data
// folder). The result ends in '/'. Returns an empty text when no folder can be
// had.
std::string ResolveHome(const std::string& explicit_home = {});

// The folder of the running executable, ending in '/'.
std::string ExecutableFolder();

// Sets the home folder used by later calls of Home(); ResolveHome's result
// is the usual argument.
void SetHome(const std::string& folder);
const std::string& Home();

}  // namespace velmora
