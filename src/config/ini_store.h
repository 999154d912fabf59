#pragma once
// Small INI-style text files: the settings file and the chip catalogue are read
// with a line search (a section is any line containing its name, a key any line
// whose part before "=" contains it), and partition tables through a stricter
// profile reader that reads them as the tools that make firmware packages do.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/input_file.h"

namespace velmora {

class IniStore {
  public:
    IniStore() = default;
    IniStore(const IniStore&) = delete;
    IniStore& operator=(const IniStore&) = delete;
    virtual ~IniStore();

    // The folder of the file; a missing trailing '/' is added (empty means the
    // current folder).
    void SetFolder(const std::string& folder);
    // The file name is `name` + ".ini".
    void SetName(const std::string& name) { file_name_ = name + ".ini"; }
    const std::string& folder() const { return folder_; }
    const std::string& file_name() const { return file_name_; }

    // All of the following return nonzero for success and 0 for failure; a
    // read or write on a store that is not open returns 0 and does nothing.
    int OpenForRead();
    // Reads `text` as if it were the file's content (used by tests and fuzzers).
    int OpenText(std::string_view text);
    int OpenForWrite();
    virtual int Close();

    // Section search from the first line: 1 when a line contains `section`.
    int FindSection(std::string_view section);
    // Value of the first matching key line after the section line. Lines with
    // "[" are skipped, so the search runs on through later sections. `out` is
    // unchanged when the key is absent.
    int GetInt(std::string_view section, std::string_view key, int& out);
    // As GetInt, but the search ends at the first line containing "[".
    int GetString(std::string_view section, std::string_view key, std::string& out);

    int WriteSection(std::string_view section);
    int WriteInt(std::string_view key, int value);
    int WriteString(std::string_view key, std::string_view value);

    // Profile reads, used for partition tables. BindProfile returns nonzero when
    // the file exists. The reads return the number of characters of the value
    // (at most kProfileValueMax); a missing key gives 0 and an empty text or 0.
    int BindProfile(const std::string& path);
    int GetProfileString(std::string_view section, std::string_view key, std::string& out);
    int GetProfileNumber(std::string_view section, std::string_view key, uint32_t& out, int base);
    const std::string& profile_path() const { return profile_path_; }

  private:
    enum class Mode { kClosed, kRead, kWrite };

    int FindSectionLine(std::string_view section, size_t& line) const;
    int WriteLine(const std::string& line);

    std::string profile_path_;
    std::string folder_;
    std::string file_name_;
    Mode mode_ = Mode::kClosed;
    std::vector<std::string> lines_;  // the file's lines while open for reading
    File out_;
};

// Values longer than this are cut, as the profile reader's 255-byte buffer does.
inline constexpr size_t kProfileValueMax = 254;

// The largest text file these readers take: tables, settings and catalogues
// are a few KiB; anything this large was named by mistake and is refused before
// it is read whole.
inline constexpr uint64_t kTextFileMax = 1024 * 1024;

// Results of ReadTextFile.
inline constexpr int kReadOk = kInputOk;
inline constexpr int kReadFailed = kInputFailed;  // missing, not a regular file, or a read error
inline constexpr int kReadTooLarge = kInputTooLarge;  // more than the cap

// Reads a regular file of at most `cap` bytes. Else `problem` is a text naming
// the file and the reason (the system's, where it gave one; the cap, for a file
// over it).
int ReadTextFile(const std::string& path, std::string& bytes, std::string& problem,
                 uint64_t cap = kTextFileMax);

// The UTF-8 byte order mark. The profile reader does not know it: a file that
// starts with it has its first line taken as something other than a section.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A profile file's text as the reader sees it: a file starting with the
// UTF-16LE byte order mark is decoded into UTF-8 (without the mark); any other
// file is taken byte for byte.
std::string ProfileTextFromBytes(std::string_view bytes);

// A profile parsed once, for many reads. Section and key names are compared
// without regard to letter case; blanks (space, tab, vertical tab) around names
// and values are trimmed, inside "[ ]" too, and a section name ends at its
// first "]". A value loses one pair of matching outer quotes ("..." or '...')
// and is then cut at kProfileValueMax characters. Only a line whose first
// non-blank character is ';' is a comment; text after a value belongs to it.
// The first occurrence of a key in a section wins, and a section that appears
// again later is ignored as a whole. Lines end at LF or CR.
class Profile {
  public:
    Profile() = default;
    explicit Profile(std::string_view text);

    // The value's length; a missing key gives 0 and an empty `out`.
    int Get(std::string_view section, std::string_view key, std::string& out) const;

  private:
    using Keys = std::unordered_map<std::string, std::string>;
    std::unordered_map<std::string, Keys> sections_;  // by lower-case name
};

// One read from profile text (parses the whole text; use Profile for many).
int ProfileValue(std::string_view text, std::string_view section, std::string_view key,
                 std::string& out);

// Decimal integer as the settings and catalogue keys use it: optional leading
// blanks, optional sign, digits up to the first other character; no digits
// gives 0, values beyond int's range are clamped.
int ParseDecimalInt(std::string_view text);

// Unsigned 32-bit number in base 10 or 16 (hex with an optional 0x/0X): optional
// leading blanks, an optional sign (a minus negates modulo 2^32), digits up to
// the first non-digit; no digits gives 0, a value beyond 32 bits gives
// 0xFFFFFFFF.
uint32_t ParseUnsigned32(std::string_view text, int base);

// Splits text into lines at LF and at CR, so that no CR reaches a value.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace velmora
