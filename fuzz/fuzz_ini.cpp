// The INI line store and the profile reader on arbitrary text. The first two
// lines of the input name the section and the key to look up; the rest is the
// file.
#include <cstdint>
#include <string>
#include <string_view>

#include "config/ini_store.h"

namespace {

std::string_view TakeLine(std::string_view& text) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string_view section = TakeLine(text);
    const std::string_view key = TakeLine(text);

    velmora::IniStore ini;
    ini.OpenText(text);
    std::string value;
    int number = 0;
    ini.FindSection(section);
    if (ini.GetString(section, key, value) && value.find_first_of("\r\n") != std::string::npos) {
        __builtin_trap();  // a line end never reaches a value
    }
    ini.GetInt(section, key, number);
    ini.GetString("PATH", "PTT", value);
    ini.GetInt("EC,A1", "BLOCK_NUM", number);

    const int length = velmora::ProfileValue(text, section, key, value);
    if (length != static_cast<int>(value.size()) || value.size() > velmora::kProfileValueMax ||
        value.find_first_of("\r\n") != std::string::npos) {
        __builtin_trap();
    }
    velmora::ParseUnsigned32(value, 16);
    velmora::ParseUnsigned32(value, 10);
    velmora::ParseDecimalInt(value);
    return 0;
}
