#include "config/ini_store.h"

#include <cctype>
#include <climits>
#include <filesystem>
#include <iterator>
#include <system_error>

namespace velmora {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// The settings reader trims only the space character: a tab is part of the value.
std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// A key line holds "=" with a non-empty name before it that contains `key`.
bool IsKeyLine(std::string_view line, std::string_view key, std::string_view& value) {
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) {
        return false;
    }
    if (line.substr(0, eq).find(key) == std::string_view::npos) {
        return false;
    }
    value = TrimSpaces(line.substr(eq + 1));
    return true;
}

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::error_code ec;
    // Only regular files: a device or a FIFO named by mistake must not block or
    // stream forever.
    if (!std::filesystem::is_regular_file(path, ec)) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' || text[i] == '\r') {
            lines.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

namespace {

// Where the digits of a number start: past leading white space and one sign.
size_t SkipSpaceAndSign(std::string_view text, bool& negative) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

}  // namespace

int ParseDecimalInt(std::string_view text) {
    bool negative = false;
    size_t i = SkipSpaceAndSign(text, negative);
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (text[i] - '0');
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

uint32_t ParseUnsigned32(std::string_view text, int base) {
    bool negative = false;
    size_t i = SkipSpaceAndSign(text, negative);
    if (base == 16 && i + 1 < text.size() && text[i] == '0' && (text[i + 1] | 0x20) == 'x' &&
        i + 2 < text.size() && DigitValue(text[i + 2]) < 16) {
        i += 2;
    }
    uint64_t value = 0;
    bool overflow = false;
    for (; i < text.size() && DigitValue(text[i]) < base; ++i) {
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(text[i]));
        if (value > 0xFFFFFFFFu) {
            overflow = true;
            value = 0xFFFFFFFFu;
        }
    }
    if (overflow) {
        return 0xFFFFFFFFu;
    }
    const auto result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}

int ProfileValue(std::string_view text, std::string_view section, std::string_view key,
                 std::string& out) {
    out.clear();
    const std::string_view want_section = TrimBlanks(section);
    const std::string_view want_key = TrimBlanks(key);
    bool in_section = false;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r') {
            ++end;
        }
        const std::string_view line = TrimBlanks(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            std::string_view name = line.substr(1);
            name = TrimBlanks(name.substr(0, name.find(']')));
            in_section = EqualNoCase(name, want_section);
            continue;
        }
        if (!in_section) {
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos ||
            !EqualNoCase(TrimBlanks(line.substr(0, eq)), want_key)) {
            continue;
        }
        const std::string_view value = TrimBlanks(line.substr(eq + 1));
        out.assign(value.substr(0, kProfileValueMax));
        return static_cast<int>(out.size());
    }
    return 0;
}

IniStore::~IniStore() {
    profile_path_.clear();
    IniStore::Close();
}

void IniStore::SetFolder(const std::string& folder) {
    folder_ = folder;
    if (!folder_.empty() && folder_.back() != '/' && folder_.back() != '\\') {
        folder_.push_back('/');
    }
}

int IniStore::OpenForRead() {
    Close();
    std::string text;
    if (!ReadWholeFile(folder_ + file_name_, text)) {
        return 0;
    }
    return OpenText(text);
}

int IniStore::OpenText(std::string_view text) {
    Close();
    lines_ = SplitLines(text);
    mode_ = Mode::kRead;
    return 1;
}

int IniStore::OpenForWrite() {
    Close();
    out_.open(folder_ + file_name_, std::ios::binary | std::ios::trunc);
    if (!out_) {
        out_.clear();
        return 0;
    }
    mode_ = Mode::kWrite;
    return 1;
}

int IniStore::Close() {
    if (mode_ == Mode::kClosed) {
        return 0;
    }
    int ok = 1;
    if (mode_ == Mode::kWrite) {
        out_.close();
        ok = out_ ? 1 : 0;
        out_.clear();
    }
    lines_.clear();
    mode_ = Mode::kClosed;
    return ok;
}

int IniStore::FindSectionLine(std::string_view section, size_t& line) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].find(section) != std::string::npos) {
            line = i;
            return 1;
        }
    }
    return 0;
}

int IniStore::FindSection(std::string_view section) {
    size_t line = 0;
    return mode_ == Mode::kRead ? FindSectionLine(section, line) : 0;
}

int IniStore::GetInt(std::string_view section, std::string_view key, int& out) {
    size_t line = 0;
    if (mode_ != Mode::kRead || !FindSectionLine(section, line)) {
        return 0;
    }
    for (size_t i = line + 1; i < lines_.size(); ++i) {
        std::string_view value;
        if (lines_[i].find('[') == std::string::npos && IsKeyLine(lines_[i], key, value)) {
            out = ParseDecimalInt(value);
            return 1;
        }
    }
    return 0;
}

int IniStore::GetString(std::string_view section, std::string_view key, std::string& out) {
    size_t line = 0;
    if (mode_ != Mode::kRead || !FindSectionLine(section, line)) {
        return 0;
    }
    for (size_t i = line + 1; i < lines_.size(); ++i) {
        if (lines_[i].find('[') != std::string::npos) {
            return 0;
        }
        std::string_view value;
        if (IsKeyLine(lines_[i], key, value)) {
            out.assign(value);
            return 1;
        }
    }
    return 0;
}

int IniStore::WriteSection(std::string_view section) {
    if (mode_ != Mode::kWrite) {
        return 0;
    }
    out_ << '[' << section << "]\n";
    return out_ ? 1 : 0;
}

int IniStore::WriteInt(std::string_view key, int value) {
    if (mode_ != Mode::kWrite) {
        return 0;
    }
    out_ << key << '=' << value << '\n';
    return out_ ? 1 : 0;
}

int IniStore::WriteString(std::string_view key, std::string_view value) {
    if (mode_ != Mode::kWrite) {
        return 0;
    }
    out_ << key << '=' << value << '\n';
    return out_ ? 1 : 0;
}

int IniStore::BindProfile(const std::string& path) {
    profile_path_ = path;
    std::error_code ec;
    return std::filesystem::exists(path, ec) ? 1 : 0;
}

int IniStore::GetProfileString(std::string_view section, std::string_view key, std::string& out) {
    std::string text;
    if (!ReadWholeFile(profile_path_, text)) {
        out.clear();
        return 0;
    }
    return ProfileValue(text, section, key, out);
}

int IniStore::GetProfileNumber(std::string_view section, std::string_view key, uint32_t& out,
                               int base) {
    std::string text;
    const int length = GetProfileString(section, key, text);
    out = ParseUnsigned32(text, base);
    return length;
}

}  // namespace velmora
