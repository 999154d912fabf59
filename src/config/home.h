#pragma once
#include <string>
#include <string_view>

namespace velmora {

// What became of the home folder's catalogue when it was resolved.
struct CatalogueNote {
    bool refreshed = false;       // the copy was replaced by a newer installed one
    bool newer_kept_out = false;  // a newer one is installed; the copy was edited and is kept
    std::string text;             // what to tell the user; empty when nothing happened
};

// The program's own folder ("home"): FlashChip.ini, velmora.ini, dl_log.txt,
// upload_nand and the optional RAM loader replacements live there. Chosen in
// this order: `explicit_home` (the CLI's --home), $VELMORA_HOME, the
// executable's folder when it holds FlashChip.ini, else $XDG_DATA_HOME/velmora
// (created on first use; its catalogue kept up to date by UpdateHomeCatalogue
// from DataFolder()). The result ends in '/'. Returns an empty text when no
// folder can be had. `note` (when given) tells what happened to the catalogue.
std::string ResolveHome(const std::string& explicit_home = {}, CatalogueNote* note = nullptr);

// The folder of the running executable, ending in '/'.
std::string ExecutableFolder();

// The installed data folder, which holds the catalogue that a new home folder
// copies: found relative to the executable's folder (bin/../share/velmora),
// so that an install under any prefix finds its own, else the folder the
// program was built for. Ends in '/'.
std::string DataFolder();
std::string DataFolderFor(const std::string& exe_folder);

// Compares two dotted version numbers: "1.10" is newer than "1.9", "1.0"
// equals "1". Sets `order` below, at or above 0 as `a` is older than, equal
// to or newer than `b`. False when either is not digits separated by dots.
bool CompareVersions(std::string_view a, std::string_view b, int& order);

// Name of the file in the home folder that records the SHA-256 of the
// catalogue as it was copied, in the form sha256sum writes and checks.
inline constexpr const char* kCatalogueDigestName = "FlashChip.ini.sha256";

// Gives `home` its FlashChip.ini from `data_folder` (both end in '/'): copied
// when it has none; replaced when the installed one carries a newer VER in
// [VERSION] and the home copy is still byte for byte the one that was copied
// (by the digest recorded then); kept in every other case (an edited copy, a
// copy from before digests were recorded, an older or equal installed one, a
// VER that is not a dotted number). A copy is written under a temporary name
// and renamed, so the folder never holds half a catalogue.
CatalogueNote UpdateHomeCatalogue(const std::string& home, const std::string& data_folder);

// Sets the home folder used by later calls of Home(); ResolveHome's result
// is the usual argument.
void SetHome(const std::string& folder);
const std::string& Home();

}  // namespace velmora
