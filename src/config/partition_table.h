#pragma once
// Partition table files (.ptt): a boot image and up to sixteen partitions, each
// resolved against the table's own folder, measured, and for protected
// partitions fingerprinted with SHA-1.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/output_file.h"
#include "base/results.h"
#include "config/ini_store.h"

namespace velmora {

inline constexpr int kMaxPartitions = 16;

// One slot of the table. An unused slot is all 0xFF bytes; the slot after the
// last partition carries offset 0 as the end mark.
struct PartitionEntry {
    uint32_t index = 0;
    uint32_t id = 0;
    uint32_t size = 0;              // bytes
    uint32_t content_size = 0;      // length of the content file
    uint32_t offset = 0;            // NAND byte address
    uint32_t free_size = 0;         // size - content_size, modulo 2^32
    uint32_t protected_size = 0;    // the table's partition_protected; 1 becomes content_size
    std::array<uint8_t, 8> name{};  // first 8 characters, zero-padded, no terminator when full
    uint32_t shadow = 0;            // partition_shadow; 1 becomes content_size
    uint32_t shadow_address = 0;
    uint32_t exec_address = 0;
    std::array<uint8_t, 20> digest{};  // SHA-1 of the content when partition_protected is 1
    uint32_t load = 0;
    uint32_t exec = 0;
    uint32_t header = 0;
    uint32_t flags = 0;  // bit 0 protected, bit 1 load, bit 2 exec, bit 3 header

    // The name up to its first zero byte (at most 8 characters).
    std::string NameText() const;
    void FillUnused();  // every byte 0xFF
};
static_assert(std::is_trivially_copyable_v<PartitionEntry>);

// Bits of PartitionEntry::flags.
inline constexpr uint32_t kFlagProtected = 1u << 0;
inline constexpr uint32_t kFlagLoad = 1u << 1;
inline constexpr uint32_t kFlagExec = 1u << 2;
inline constexpr uint32_t kFlagHeader = 1u << 3;

// PartitionTable::Load and LoadEntry return 0 or a code of result::partition_table
// (a count missing, a file unreadable or too large (kTextFileMax), or content too
// large: kNoCount) or result::partition_entry.

// A message the loader wants shown to the operator (a modal error box in the
// window, a line on stderr in the CLI). At most one per load.
struct LoaderMessage {
    std::string title;  // "ERROR" or "Error"
    std::string text;
    bool empty() const { return text.empty(); }
};

class PartitionTable {
  public:
    // Reads the table at `path`. 0 when loaded and checked; else a code of
    // result::partition_table, and the table is unusable (it keeps what was read before the
    // failure). `message()` then holds the text to show, if any. A file larger
    // than kTextFileMax is refused unread.
    int Load(const std::string& path);
    // As Load, with the file's bytes given (a UTF-16LE file is decoded); `path`
    // still decides the folder against which the boot image and content files
    // are resolved.
    int LoadText(std::string_view text, const std::string& path);
    // Reads partition i (its section "partition#%02d" with i+1) from the text
    // given to the current load. 0 or a kEntry* code.
    int LoadEntry(int i);

    uint32_t partition_count = 0;
    std::string boot_file_name;  // BootNand as written
    uint32_t boot_file_size = 0;
    std::array<PartitionEntry, kMaxPartitions> entries{};
    std::array<std::string, kMaxPartitions> content_paths;  // partition_path as written
    std::string folder;     // the table's folder with its trailing separator, or empty
    std::string file_path;  // the path last loaded

    // Full paths of the files a load found: folder followed by the name as
    // written, with '\' read as '/', and with the letter case and trailing dots
    // of each name matched to the file that exists (FindTableFile). Before a
    // load found one, the name as written.
    std::string BootFilePath() const;
    std::string ContentFilePath(int i) const;

    const LoaderMessage& message() const { return message_; }
    // Why the last load failed, in words, for front ends that have no message
    // box of the loader's to show (empty after a successful load).
    std::string FailureText(int result) const;

  protected:
    // Opens a boot image or content file (a regular file) for binary reading and
    // measures it; false when it cannot be opened. Tests replace it to fail on
    // purpose.
    virtual bool OpenFile(const std::string& path, File& in, uint32_t& size);

  private:
    void Reset(const std::string& path);
    int LoadProfile();
    int Finish(int result);
    int ReadText(std::string_view section, std::string_view key, std::string& out) const;
    int ReadNumber(std::string_view section, std::string_view key, uint32_t& out, int base) const;
    // The first entry's failure, and the boot image's, in words.
    std::string EntryFailureText() const;
    std::string BootFailureText() const;

    Profile profile_;        // the table file's keys
    std::string boot_path_;  // BootFilePath() once a load looked for it
    std::array<std::string, kMaxPartitions> content_files_;  // ContentFilePath(i), likewise
    std::string read_problem_;                               // why the file could not be read
    std::string open_problem_;    // why the last image could not be opened
    std::string hidden_section_;  // the first line's section, hidden by a UTF-8 BOM
    int failed_entry_ = -1;       // the partition whose keys or file failed
    int failed_entry_code_ = 0;
    LoaderMessage message_;
};

// The viewer's summary of a loaded table, lines ending in CR LF.
std::string BuildSummary(const PartitionTable& table);

// The folder part of a path: everything up to and including its last '/' or
// '\'; empty when the path names no folder.
std::string FolderOf(const std::string& path);

// Joins a folder and a name as written in a table: '\' separates folders too.
std::string JoinTablePath(const std::string& folder, const std::string& name);

// The file a table means by `name`, as the joined path when that exists. Else
// each part of the name (between '/' or '\') that does not exist as written is
// looked up in its folder without regard to letter case and with trailing dots
// ignored, as the tools that make tables treat file names. When a part matches
// no entry, or more than one, the joined path is returned as it is.
std::string FindTableFile(const std::string& folder, const std::string& name);

}  // namespace velmora
