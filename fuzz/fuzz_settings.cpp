// The settings file on arbitrary text: read from the text and from a file, applied
// to a window's lists, written back and read again.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "temp_folder.h"

namespace {

bool Same(const velmora::JobSettings& a, const velmora::JobSettings& b) {
    return a.ptt_path.value_or("") == b.ptt_path.value_or("") &&
           a.usb_port.value_or("") == b.usb_port.value_or("") &&
           a.com_port_index.value_or(-1) == b.com_port_index.value_or(-1) &&
           a.work_mode_index.value_or(-1) == b.work_mode_index.value_or(-1) &&
           a.baud_rate_index.value_or(-1) == b.baud_rate_index.value_or(-1) &&
           a.erase_range_index.value_or(-1) == b.erase_range_index.value_or(-1) &&
           a.serial_link.value_or(-1) == b.serial_link.value_or(-1);
}

// A window with lists of fixed lengths; a selection outside them is a fault.
class View : public velmora::SettingsView {
  public:
    int ItemCount(List list) const override { return list == List::kEraseRange ? 4 : 3; }
    int Selection(List list) const override { return selected_[static_cast<int>(list)]; }
    void Select(List list, int position) override {
        if (position < -1 || position >= ItemCount(list)) {
            __builtin_trap();
        }
        selected_[static_cast<int>(list)] = position;
    }
    std::string TargetFileText() const override { return target_; }
    void SetTargetFileText(const std::string& text) override { target_ = text; }
    std::string RememberedPttPath() const override { return remembered_; }
    void SetRememberedPttPath(const std::string& path) override { remembered_ = path; }
    void RefreshWorkMode() override {}
    void ShowSaveFailure(const std::string&) override {}

  private:
    int selected_[4] = {-1, -1, -1, -1};
    std::string target_;
    std::string remembered_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TempFolder temp;
    const std::string& folder = temp.path();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const velmora::JobSettings from_text = velmora::ReadSettingsText(text);

    std::ofstream(folder + "velmora.ini", std::ios::binary | std::ios::trunc) << text;
    velmora::JobSettings from_file;
    if (!velmora::ReadSettingsFile(folder, from_file) || !Same(from_text, from_file)) {
        __builtin_trap();
    }
    View view;
    velmora::LoadSettings(folder, view);

    // What is written is read back, unless a text holds a '[': the line search
    // stops at such a line.
    if (!velmora::WriteSettingsFile(folder, from_text)) {
        __builtin_trap();
    }
    velmora::JobSettings again;
    if (!velmora::ReadSettingsFile(folder, again)) {
        __builtin_trap();
    }
    const bool bracket = from_text.ptt_path.value_or("").find('[') != std::string::npos ||
                         from_text.usb_port.value_or("").find('[') != std::string::npos;
    if (!bracket && !Same(from_text, again)) {
        __builtin_trap();
    }
    return 0;
}
