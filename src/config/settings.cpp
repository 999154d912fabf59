#include "config/settings.h"

#include "config/ini_store.h"

namespace velmora {

namespace {

constexpr const char* kSection = "PATH";

void Apply(SettingsView& view, SettingsView::List list, const std::optional<int>& stored) {
    if (stored) {
        view.Select(list, SettingsPosition(*stored, view.ItemCount(list)));
    }
}

}  // namespace

int SettingsPosition(int stored, int count) {
    if (stored < 0) {
        return -1;
    }
    return stored < count ? stored : 0;
}

namespace {

JobSettings ReadSettings(IniStore& ini) {
    JobSettings read;
    std::string text;
    if (ini.GetString(kSection, "PTT", text)) {
        read.ptt_path = text;
    }
    if (ini.GetString(kSection, "USBPORT", text)) {
        read.usb_port = text;
    }
    if (ini.GetString(kSection, "LANGUAGE", text)) {
        read.language = text;
    }
    if (ini.GetString(kSection, "BACKUP_DIR", text)) {
        read.backup_folder = text;
    }
    const std::pair<const char*, std::optional<int>*> keys[] = {
        {"COMPORT", &read.com_port_index},
        {"WORKMODE", &read.work_mode_index},
        {"BAUDRATE", &read.baud_rate_index},
        {"ERASE_RANGE", &read.erase_range_index},
        {"SERIAL", &read.serial_link},
        {"BACKUP_FIRST", &read.backup},
        {"VERIFY", &read.verify},
        {"EEROM_TWICE", &read.eerom_twice},
    };
    for (const auto& [key, field] : keys) {
        int value = 0;
        if (ini.GetInt(kSection, key, value)) {
            *field = value;
        }
    }
    return read;
}

}  // namespace

bool ReadSettingsFile(const std::string& folder, JobSettings& out) {
    IniStore ini;
    ini.SetName(kSettingsName);
    ini.SetFolder(folder);
    if (!ini.OpenForRead()) {
        return false;
    }
    out = ReadSettings(ini);
    return true;
}

JobSettings ReadSettingsText(std::string_view text) {
    IniStore ini;
    ini.OpenText(text);
    return ReadSettings(ini);
}

bool WriteSettingsFile(const std::string& folder, const JobSettings& settings) {
    IniStore ini;
    ini.SetName(kSettingsName);
    ini.SetFolder(folder);
    if (!ini.OpenForWrite()) {
        return false;
    }
    bool ok = ini.WriteSection(kSection) && ini.WriteString("PTT", settings.ptt_path.value_or(""));
    for (const auto& [key, value] : {std::pair{"COMPORT", settings.com_port_index},
                                     std::pair{"WORKMODE", settings.work_mode_index},
                                     std::pair{"BAUDRATE", settings.baud_rate_index},
                                     std::pair{"ERASE_RANGE", settings.erase_range_index}}) {
        ok = ini.WriteInt(key, value.value_or(-1)) && ok;
    }
    ok = ini.WriteInt("SERIAL", settings.serial_link.value_or(-1)) && ok;
    ok = ini.WriteString("USBPORT", settings.usb_port.value_or("")) && ok;
    if (settings.backup || settings.backup_folder || settings.verify || settings.eerom_twice) {
        ok = ini.WriteInt("BACKUP_FIRST", settings.backup.value_or(-1)) && ok;
        ok = ini.WriteString("BACKUP_DIR", settings.backup_folder.value_or("")) && ok;
        ok = ini.WriteInt("VERIFY", settings.verify.value_or(-1)) && ok;
        ok = ini.WriteInt("EEROM_TWICE", settings.eerom_twice.value_or(-1)) && ok;
    }
    if (settings.language) {
        ok = ini.WriteString("LANGUAGE", *settings.language) && ok;
    }
    return ini.Close() && ok;
}

void LoadSettings(const std::string& folder, SettingsView& view) {
    using List = SettingsView::List;
    view.SetTargetFileText("");
    JobSettings stored;
    if (ReadSettingsFile(folder, stored)) {
        view.SetTargetFileText(stored.ptt_path.value_or(""));
        Apply(view, List::kComPort, stored.com_port_index);
        Apply(view, List::kWorkMode, stored.work_mode_index);
        Apply(view, List::kBaudRate, stored.baud_rate_index);
        if (stored.serial_link && *stored.serial_link >= 0) {
            view.SetSerialLink(*stored.serial_link != 0);
        }
        if (stored.usb_port && !stored.usb_port->empty()) {
            view.SetUsbPortText(*stored.usb_port);
        }
        if (stored.language && !stored.language->empty()) {
            view.SetLanguage(*stored.language);
        }
        if (std::optional<SettingsView::SafetyChoices> safety = view.Safety()) {
            // Each key that is there replaces its choice; -1 (never chosen) keeps it.
            if (stored.backup && *stored.backup >= 0) {
                safety->backup = *stored.backup != 0;
            }
            if (stored.backup_folder) {
                safety->backup_folder = *stored.backup_folder;
            }
            if (stored.verify && *stored.verify >= 0) {
                safety->verify = *stored.verify != 0;
            }
            if (stored.eerom_twice && *stored.eerom_twice >= 0) {
                safety->eerom_twice = *stored.eerom_twice != 0;
            }
            view.SetSafety(*safety);
        }
    }
    view.RefreshWorkMode();
    Apply(view, List::kEraseRange, stored.erase_range_index);
    view.SetRememberedPttPath(view.TargetFileText());
}

bool SaveSettings(const std::string& folder, SettingsView& view) {
    using List = SettingsView::List;
    JobSettings settings;
    settings.work_mode_index = view.Selection(List::kWorkMode);
    settings.ptt_path =
        *settings.work_mode_index == 1 ? view.RememberedPttPath() : view.TargetFileText();
    settings.com_port_index = view.Selection(List::kComPort);
    settings.baud_rate_index = view.Selection(List::kBaudRate);
    settings.erase_range_index = view.Selection(List::kEraseRange);
    if (const std::optional<bool> serial = view.SerialLink()) {
        settings.serial_link = *serial ? 1 : 0;
    }
    settings.usb_port = view.UsbPortText();
    settings.language = view.Language();
    if (const std::optional<SettingsView::SafetyChoices> safety = view.Safety()) {
        settings.backup = safety->backup ? 1 : 0;
        settings.backup_folder = safety->backup_folder;
        settings.verify = safety->verify ? 1 : 0;
        settings.eerom_twice = safety->eerom_twice ? 1 : 0;
    }
    if (!WriteSettingsFile(folder, settings)) {
        view.ShowSaveFailure(kSaveFailedText);
        return false;
    }
    return true;
}

}  // namespace velmora
