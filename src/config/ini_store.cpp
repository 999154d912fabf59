#include "config/ini_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace velmora {

namespace {

// Blanks as the profile reader trims them.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v';
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

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

// A value as the reader hands it out: one pair of matching outer quotes off,
// then cut to the reader's buffer.
std::string_view ProfileValueText(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value.substr(0, kProfileValueMax);
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

std::string ProfileTextFromBytes(std::string_view bytes) {
    if (bytes.size() < 2 || static_cast<uint8_t>(bytes[0]) != 0xFF ||
        static_cast<uint8_t>(bytes[1]) != 0xFE) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bytes[i]) |
                                     (static_cast<uint8_t>(bytes[i + 1]) << 8));
    };
    // An odd last byte is half a character and is dropped.
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        uint32_t code = unit(i);
        if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;  // a lone half of a pair
        }
        AppendUtf8(out, code);
    }
    return out;
}

Profile::Profile(std::string_view text) {
    Keys* current = nullptr;  // null outside a section and in a repeated one
    size_t start = 0;
    while (start < text.size()) {
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
            const size_t close = line.find(']');
            if (close != std::string_view::npos) {
                const auto [it, added] =
                    sections_.try_emplace(Lower(TrimBlanks(line.substr(1, close - 1))));
                current = added ? &it->second : nullptr;
                continue;
            }
            // No "]": not a section line; taken as a key line below.
        }
        const size_t eq = line.find('=');
        if (current == nullptr || eq == std::string_view::npos) {
            continue;
        }
        current->try_emplace(Lower(TrimBlanks(line.substr(0, eq))),
                             ProfileValueText(TrimBlanks(line.substr(eq + 1))));
    }
}

int Profile::Get(std::string_view section, std::string_view key, std::string& out) const {
    out.clear();
    const auto s = sections_.find(Lower(TrimBlanks(section)));
    if (s == sections_.end()) {
        return 0;
    }
    const auto k = s->second.find(Lower(TrimBlanks(key)));
    if (k == s->second.end()) {
        return 0;
    }
    out = k->second;
    return static_cast<int>(out.size());
}

int ProfileValue(std::string_view text, std::string_view section, std::string_view key,
                 std::string& out) {
    return Profile(text).Get(section, key, out);
}

int ReadTextFile(const std::string& path, std::string& bytes, std::string& problem, uint64_t cap) {
    return ReadInputText(path, cap, bytes, problem);
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
    std::string problem;
    if (ReadTextFile(folder_ + file_name_, text, problem) != kReadOk) {
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
    // A regular file only: opening a FIFO for writing waits for a reader.
    const int fd =
        OpenRegularFile(folder_ + file_name_, O_WRONLY | O_CREAT | O_TRUNC, 0644, nullptr);
    if (fd < 0) {
        return 0;
    }
    out_.reset(::fdopen(fd, "wb"));
    if (!out_) {
        ::close(fd);
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
        ok = CloseOutputFile(out_) ? 1 : 0;
        out_.reset();
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
    return WriteLine("[" + std::string(section) + "]");
}

int IniStore::WriteInt(std::string_view key, int value) {
    return WriteLine(std::string(key) + "=" + std::to_string(value));
}

int IniStore::WriteString(std::string_view key, std::string_view value) {
    return WriteLine(std::string(key) + "=" + std::string(value));
}

int IniStore::WriteLine(const std::string& line) {
    if (mode_ != Mode::kWrite) {
        return 0;
    }
    return std::fwrite(line.data(), 1, line.size(), out_.get()) == line.size() &&
           std::fputc('\n', out_.get()) != EOF;
}

int IniStore::BindProfile(const std::string& path) {
    profile_path_ = path;
    std::error_code ec;
    return std::filesystem::exists(path, ec) ? 1 : 0;
}

int IniStore::GetProfileString(std::string_view section, std::string_view key, std::string& out) {
    std::string bytes;
    std::string problem;
    if (ReadTextFile(profile_path_, bytes, problem) != kReadOk) {
        out.clear();
        return 0;
    }
    return ProfileValue(ProfileTextFromBytes(bytes), section, key, out);
}

int IniStore::GetProfileNumber(std::string_view section, std::string_view key, uint32_t& out,
                               int base) {
    std::string text;
    const int length = GetProfileString(section, key, text);
    out = ParseUnsigned32(text, base);
    return length;
}

}  // namespace velmora
