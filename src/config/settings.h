#pragma once
// The tool's settings file <home>/velmora.ini: the partition table last chosen
// and the positions of the main window's four selection lists.
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The settings file is kSettingsName + ".ini" in the home folder.
inline constexpr const char* kSettingsName = "velmora";
inline constexpr const char* kSaveFailedText = "Could not save Ini file!";

// The record as stored. A key absent from the file leaves its field empty.
struct JobSettings {
    std::optional<std::string> ptt_path;
    std::optional<int> com_port_index;
    std::optional<int> work_mode_index;    // 0 code upgrade, 1 read code, 2 erase
    std::optional<int> baud_rate_index;    // 0 = 115200, 1 = 460800, 2 = 921600
    std::optional<int> erase_range_index;  // meaning depends on the work mode
    std::optional<int> serial_link;        // 1 the serial link, 0 USB
    std::optional<std::string> usb_port;   // the USB port text ("path=1-4.2", "sim:...")
    std::optional<std::string> language;   // the window's: "zh", "en" or "system"
    // The window's net around a write (BACKUP_FIRST, BACKUP_DIR, VERIFY,
    // EEROM_TWICE): back up first (1) into a folder of its own below
    // backup_folder, verify an upgrade after it (1), and read the backup's EEROM
    // twice (1) or once (0). No key is part of another: a key line matches any
    // name that contains the key.
    std::optional<int> backup;
    std::optional<std::string> backup_folder;
    std::optional<int> verify;
    std::optional<int> eerom_twice;
};

// Reads `folder`/velmora.ini; false when it cannot be opened (`out` untouched).
bool ReadSettingsFile(const std::string& folder, JobSettings& out);
// The same from the file's text.
JobSettings ReadSettingsText(std::string_view text);
// Writes all eight lines whatever the file held; missing values are written as
// an empty text and -1. The backup and verify choices follow, and the language
// comes last, each only when it is set, so that a file is read the same by a
// window that knows none of them. False when the file cannot be written.
bool WriteSettingsFile(const std::string& folder, const JobSettings& settings);

// What the settings need of the main window: its lists, its target-file field
// and the partition table path it remembers apart from the field.
class SettingsView {
  public:
    enum class List { kComPort, kWorkMode, kBaudRate, kEraseRange };

    virtual ~SettingsView() = default;
    virtual int ItemCount(List list) const = 0;
    virtual int Selection(List list) const = 0;        // -1 when nothing is selected
    virtual void Select(List list, int position) = 0;  // -1 clears the selection
    virtual std::string TargetFileText() const = 0;
    virtual void SetTargetFileText(const std::string& text) = 0;
    virtual std::string RememberedPttPath() const = 0;
    virtual void SetRememberedPttPath(const std::string& path) = 0;
    // Rebuilds the erase range list for the selected work mode.
    virtual void RefreshWorkMode() = 0;
    // Tells the operator that the settings could not be saved.
    virtual void ShowSaveFailure(const std::string& text) = 0;
    // The link choice and the USB port text (empty when none is typed); a view
    // without them keeps the defaults.
    virtual std::optional<bool> SerialLink() const { return std::nullopt; }
    virtual void SetSerialLink(bool) {}
    virtual std::string UsbPortText() const { return {}; }
    virtual void SetUsbPortText(const std::string&) {}
    // The interface language's key; none: the view keeps no language.
    virtual std::optional<std::string> Language() const { return std::nullopt; }
    virtual void SetLanguage(const std::string&) {}
    // The backup and verify tick boxes and the backup folder; none: the view
    // keeps no such choices.
    struct SafetyChoices {
        bool backup = false;
        std::string backup_folder;
        bool verify = false;
        bool eerom_twice = true;
    };
    virtual std::optional<SafetyChoices> Safety() const { return std::nullopt; }
    virtual void SetSafety(const SafetyChoices&) {}
};

// Applies the settings file to the window. A missing file or key keeps the
// window's defaults; a stored position at or beyond the end of its list
// selects position 0, a negative one leaves the list without a selection.
void LoadSettings(const std::string& folder, SettingsView& view);
// Writes the window's state. In read-code mode (work mode 1) the field holds
// the output path, so the remembered table path is stored instead. Returns
// false (after telling the operator) when the file cannot be written.
bool SaveSettings(const std::string& folder, SettingsView& view);

// The position a stored value selects in a list of `count` items.
int SettingsPosition(int stored, int count);

}  // namespace velmora
