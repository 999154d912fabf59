#include "config/partition_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/input_file.h"
#include "base/results.h"
#include "config/sha1.h"

namespace velmora {

namespace {

constexpr std::string_view kHeadSection = "partition_table_config_start";

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// Opens a regular file and measures it. Devices and FIFOs are refused: reading
// one as an image would block or never end.
bool OpenAndMeasure(const std::string& path, File& in, uint32_t& size, std::string& reason) {
    uint64_t length = 0;
    std::string problem;
    in = OpenInputFile(path, &problem, &length);
    if (!in) {
        // The reason alone: the callers name the file in their own words.
        const std::string head = "cannot read " + path + ": ";
        reason = problem.starts_with(head) ? problem.substr(head.size()) : problem;
        return false;
    }
    // A length beyond 32 bits must not wrap into a small one that passes the
    // size check.
    size = static_cast<uint32_t>(std::min<uint64_t>(length, 0xFFFFFFFF));
    return true;
}

std::string Format(const char* format, uint32_t value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

bool SameNameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A file name part as the table's platform sees it: trailing dots do not
// count ("a.bin." is "a.bin"); "." and ".." stay what they are.
std::string_view WithoutTrailingDots(std::string_view part) {
    const size_t end = part.find_last_not_of('.');
    return end == std::string_view::npos ? part : part.substr(0, end + 1);
}

// The one entry of `dir` whose name is `part` apart from letter case and
// trailing dots; empty when there is none or more than one.
std::string MatchInFolder(const std::string& dir, std::string_view part) {
    const std::string_view want = WithoutTrailingDots(part);
    std::error_code ec;
    std::filesystem::directory_iterator it(dir.empty() ? "." : dir, ec);
    std::string found;
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (SameNameNoCase(WithoutTrailingDots(name), want)) {
            if (!found.empty()) {
                return {};  // ambiguous: taking either could write the wrong image
            }
            found = name;
        }
    }
    return found;
}

// A file the table names, as the operator can find it whatever folder the
// program was started in.
std::string ShownPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

std::string CannotOpenText(const std::string& path) {
    return "不能打开文件: " + ShownPath(path);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace

bool PartitionTable::OpenFile(const std::string& path, File& in, uint32_t& size) {
    return OpenAndMeasure(path, in, size, open_problem_);
}

std::string FolderOf(const std::string& path) {
    for (size_t i = path.size(); i-- > 1;) {
        if (IsSeparator(path[i])) {
            return path.substr(0, i + 1);
        }
    }
    // No separator after the first character: the table lies in the current
    // folder, unless the path is a file at the root.
    if (!path.empty() && IsSeparator(path[0])) {
        return path.substr(0, 1);
    }
    return {};
}

std::string JoinTablePath(const std::string& folder, const std::string& name) {
    std::string path = folder + name;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string FindTableFile(const std::string& folder, const std::string& name) {
    std::string joined = JoinTablePath(folder, name);
    if (Exists(joined)) {
        return joined;
    }
    std::string path = JoinTablePath(folder, "");
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) {
            ++end;
        }
        const std::string_view part = std::string_view(name).substr(start, end - start);
        const bool last = end >= name.size();
        start = end + 1;
        if (part.empty()) {
            if (!last) {
                continue;
            }
            return joined;  // the name ends in a separator: no file
        }
        std::string chosen(part);
        if (part != "." && part != ".." && !Exists(path + chosen)) {
            chosen = WithoutTrailingDots(part);
            if (!Exists(path + chosen)) {
                chosen = MatchInFolder(path, part);
                if (chosen.empty()) {
                    return joined;
                }
            }
        }
        path += chosen;
        if (!last) {
            path += '/';
        }
    }
    return path;
}

std::string PartitionEntry::NameText() const {
    const auto end = std::find(name.begin(), name.end(), uint8_t{0});
    return std::string(name.begin(), end);
}

void PartitionEntry::FillUnused() {
    std::memset(static_cast<void*>(this), 0xFF, sizeof *this);
}

std::string PartitionTable::BootFilePath() const {
    return boot_path_.empty() ? JoinTablePath(folder, boot_file_name) : boot_path_;
}

std::string PartitionTable::ContentFilePath(int i) const {
    const auto slot = static_cast<size_t>(i);
    return content_files_.at(slot).empty() ? JoinTablePath(folder, content_paths.at(slot))
                                           : content_files_[slot];
}

int PartitionTable::ReadText(std::string_view section, std::string_view key,
                             std::string& out) const {
    return profile_.Get(section, key, out);
}

int PartitionTable::ReadNumber(std::string_view section, std::string_view key, uint32_t& out,
                               int base) const {
    std::string text;
    const int length = profile_.Get(section, key, text);
    out = ParseUnsigned32(text, base);
    return length;
}

void PartitionTable::Reset(const std::string& path) {
    for (auto& entry : entries) {
        entry.FillUnused();
    }
    message_ = {};
    failed_entry_ = -1;
    failed_entry_code_ = 0;
    file_path = path;
    folder = FolderOf(path);
    profile_ = Profile();
    boot_path_.clear();
    for (auto& file : content_files_) {
        file.clear();
    }
    read_problem_.clear();
    open_problem_.clear();
    hidden_section_.clear();
}

int PartitionTable::Load(const std::string& path) {
    std::string bytes;
    std::string problem;
    const int read = ReadTextFile(path, bytes, problem);
    if (read == kReadOk) {
        return LoadText(bytes, path);
    }
    Reset(path);
    read_problem_ = problem;
    // A missing file is the front end's to report; a file too large to be a
    // table is worth the operator's attention in its own words.
    if (read == kReadTooLarge) {
        message_ = {"ERROR", problem};
    }
    return result::partition_table::kNoCount;
}

int PartitionTable::LoadText(std::string_view text, const std::string& path) {
    Reset(path);
    if (text.starts_with(kUtf8Bom)) {
        // The reader takes the mark as part of the first line, so a section
        // there is never found. Remember it, to say so if the load fails.
        std::string_view first = text.substr(kUtf8Bom.size());
        first = first.substr(0, first.find_first_of("\r\n"));
        first.remove_prefix(std::min(first.find_first_not_of(" \t\v"), first.size()));
        if (first.starts_with('[') && first.find(']') != std::string_view::npos) {
            hidden_section_ = first.substr(0, first.find(']') + 1);
        }
    }
    profile_ = Profile(ProfileTextFromBytes(text));
    return Finish(LoadProfile());
}

int PartitionTable::Finish(int result) {
    if (result != 0 && message_.empty() && !hidden_section_.empty()) {
        message_ = {"ERROR", file_path + " starts with a UTF-8 byte order mark, so the section " +
                                 hidden_section_ +
                                 " on its first line is not found (save the file without the "
                                 "mark): " +
                                 FailureText(result)};
    }
    return result;
}

int PartitionTable::LoadProfile() {
    if (ReadNumber(kHeadSection, "number_of_partition", partition_count, 10) == 0) {
        return result::partition_table::kNoCount;
    }
    if (partition_count > kMaxPartitions) {
        return result::partition_table::kTooMany;
    }
    // Every entry and the boot image are looked at even after one failed: an
    // operator who lacks several files learns of all of them at once, not one
    // per attempt.
    std::vector<std::string> missing;
    LoaderMessage first;  // what the first entry that failed had to say
    for (uint32_t i = 0; i < partition_count; ++i) {
        const int code = LoadEntry(static_cast<int>(i));
        if (code == result::partition_entry::kCannotOpen) {
            missing.push_back(CannotOpenText(ContentFilePath(static_cast<int>(i))));
        }
        if (code != 0 && failed_entry_ < 0) {
            failed_entry_ = static_cast<int>(i);
            failed_entry_code_ = code;
            first = message_;
        }
    }
    message_ = first;
    if (partition_count < kMaxPartitions) {
        entries[partition_count].offset = 0;
    }
    const bool boot_named = ReadText(kHeadSection, "BootNand", boot_file_name) != 0;
    bool boot_missing = false;
    if (boot_named) {
        boot_path_ = FindTableFile(folder, boot_file_name);
        File boot;
        boot_missing = !OpenFile(BootFilePath(), boot, boot_file_size);
        if (boot_missing && !missing.empty()) {
            missing.push_back(BootFailureText());
        }
    }
    if (!missing.empty()) {
        // The first failure leads, when it was not a missing file itself.
        std::string text;
        if (failed_entry_code_ != result::partition_entry::kCannotOpen) {
            text = first.empty() ? EntryFailureText() : first.text;
        }
        for (const std::string& line : missing) {
            text += (text.empty() ? "" : "\n") + line;
        }
        message_ = {"ERROR", text};
    }
    if (failed_entry_ >= 0) {
        return result::partition_table::kEntryFailed;
    }
    if (!boot_named) {
        return result::partition_table::kNoBootName;
    }
    if (boot_missing) {
        return result::partition_table::kNoBootFile;
    }
    for (uint32_t i = 0; i < partition_count; ++i) {
        const PartitionEntry& entry = entries[i];
        if (entry.content_size > entry.size) {
            char text_buf[160];
            std::snprintf(text_buf, sizeof text_buf,
                          "Partition#%u content size too large(Partition size = 0x%x, content "
                          "size = 0x%x)",
                          i + 1, entry.size, entry.content_size);
            message_ = {"ERROR", text_buf};
            return result::partition_table::kNoCount;
        }
    }
    return 0;
}

std::string PartitionTable::EntryFailureText() const {
    static constexpr const char* kKeys[] = {"partition_id",     "partition_name",
                                            "partition_path",   "partition_size",
                                            "partition_offset", "partition_protected"};
    std::string text = Format("partition#%02u: ", static_cast<uint32_t>(failed_entry_ + 1));
    if (failed_entry_code_ >= result::partition_entry::kNoId &&
        failed_entry_code_ <= result::partition_entry::kNoProtected) {
        return text + kKeys[failed_entry_code_ - result::partition_entry::kNoId] + " is missing";
    }
    return text + Format("cannot fingerprint the content (code %u)",
                         static_cast<uint32_t>(failed_entry_code_));
}

std::string PartitionTable::BootFailureText() const {
    return "cannot open the boot image " + ShownPath(BootFilePath()) +
           (open_problem_.empty() ? "" : ": " + open_problem_);
}

int PartitionTable::LoadEntry(int i) {
    if (i < 0 || i >= kMaxPartitions) {
        return result::partition_entry::kNoId;
    }
    PartitionEntry& entry = entries[static_cast<size_t>(i)];
    entry = PartitionEntry{};
    content_files_[static_cast<size_t>(i)].clear();
    entry.index = static_cast<uint32_t>(i);
    char section_buf[16];
    std::snprintf(section_buf, sizeof section_buf, "partition#%02d", i + 1);
    const std::string_view section = section_buf;

    std::string name;
    if (ReadNumber(section, "partition_id", entry.id, 16) == 0) {
        return result::partition_entry::kNoId;
    }
    if (ReadText(section, "partition_name", name) == 0) {
        return result::partition_entry::kNoName;
    }
    std::copy_n(name.begin(), std::min(name.size(), entry.name.size()), entry.name.begin());
    std::string& content_path = content_paths[static_cast<size_t>(i)];
    if (ReadText(section, "partition_path", content_path) == 0) {
        return result::partition_entry::kNoPath;
    }
    if (ReadNumber(section, "partition_size", entry.size, 16) == 0) {
        return result::partition_entry::kNoSize;
    }
    if (ReadNumber(section, "partition_offset", entry.offset, 16) == 0) {
        return result::partition_entry::kNoOffset;
    }
    if (ReadNumber(section, "partition_protected", entry.protected_size, 16) == 0) {
        return result::partition_entry::kNoProtected;
    }
    ReadNumber(section, "partition_shadow", entry.shadow, 16);
    ReadNumber(section, "partition_shadow_address", entry.shadow_address, 16);
    ReadNumber(section, "partition_exec_address", entry.exec_address, 16);
    ReadNumber(section, "partition_load", entry.load, 16);
    ReadNumber(section, "partition_exec", entry.exec, 16);
    ReadNumber(section, "partition_header", entry.header, 16);

    content_files_[static_cast<size_t>(i)] = FindTableFile(folder, content_path);
    const std::string path = ContentFilePath(i);
    {
        File content;
        if (!OpenFile(path, content, entry.content_size)) {
            message_ = {"ERROR", CannotOpenText(path)};
            return result::partition_entry::kCannotOpen;
        }
    }
    entry.free_size = entry.size - entry.content_size;
    entry.flags = (entry.protected_size != 0 ? kFlagProtected : 0) |
                  (entry.load == 1 ? kFlagLoad : 0) | (entry.exec == 1 ? kFlagExec : 0) |
                  (entry.header == 1 ? kFlagHeader : 0);
    if (entry.shadow == 1) {
        entry.shadow = entry.content_size;
    }
    if (entry.protected_size != 1) {
        return 0;
    }
    entry.protected_size = entry.content_size;
    File content;
    uint32_t length = 0;
    if (!OpenFile(path, content, length)) {
        message_ = {"Error", "Open file fail"};
        return result::partition_entry::kReopenFailed;
    }
    entry.protected_size = length;
    // Fingerprint in pieces: a protected image is never held whole in memory.
    Sha1Hasher hasher;
    std::vector<uint8_t> piece(64 * 1024);
    uint64_t left = length;
    while (left > 0) {
        const auto n = static_cast<size_t>(std::min<uint64_t>(left, piece.size()));
        if (std::fread(piece.data(), 1, n, content.get()) != n ||
            !hasher.Update(std::span(piece).first(n))) {
            return result::partition_entry::kNoDigest;
        }
        left -= n;
    }
    Sha1Digest digest{};
    if (!hasher.Final(digest)) {
        return result::partition_entry::kNoDigest;
    }
    entry.digest = digest;
    return 0;
}

std::string PartitionTable::FailureText(int result) const {
    if (!message_.empty()) {
        return message_.text;
    }
    switch (result) {
        case 0:
            return {};
        case result::partition_table::kNoCount:
            if (!read_problem_.empty()) {
                return read_problem_;
            }
            return "number_of_partition is missing in [partition_table_config_start] of " +
                   file_path;
        case result::partition_table::kTooMany:
            return Format("number_of_partition is %u, more than 16", partition_count);
        case result::partition_table::kEntryFailed:
            return EntryFailureText();
        case result::partition_table::kNoBootName:
            return "BootNand is missing";
        case result::partition_table::kNoBootFile:
            return BootFailureText();
        default:
            return Format("cannot load the table (code %u)", static_cast<uint32_t>(result));
    }
}

std::string BuildSummary(const PartitionTable& table) {
    std::string s = Format("Total partition number = %u.\r\n\r\n", table.partition_count);
    s += "Boot NAND file name = " + table.boot_file_name + ".\r\n";
    s += Format("Boot NAND file size = 0x%08X", table.boot_file_size) + ".\r\n";
    uint32_t total = table.boot_file_size;
    const uint32_t count = std::min<uint32_t>(table.partition_count, kMaxPartitions);
    for (uint32_t i = 0; i < count; ++i) {
        total += table.entries[i].content_size;
    }
    s += Format("Total files size    = 0x%08X", total) + ".\r\n";
    for (uint32_t i = 0; i < count; ++i) {
        const PartitionEntry& e = table.entries[i];
        s += Format("\r\nPartition#%02d\r\n", i + 1);
        s += Format("id                 = 0x%02X\r\n", e.id);
        s += "name               = " + e.NameText() + "\r\n";
        s += "file               = " + table.content_paths[i] + "\r\n";
        s += Format("offset             = 0x%08X\r\n", e.offset);
        s += Format("size               = 0x%08X\r\n", e.size);
        s += Format("content size       = 0x%08X\r\n", e.content_size);
    }
    return s;
}

}  // namespace velmora
