#pragma once
// The manifest of a backup folder (manifest.json): what the backup was taken
// of and, for each file, its kind, size, SHA-256 and the blocks it holds. Read
// from a file on disk that anyone may have edited: the reader checks the shape
// of every value and says what is wrong, it never throws.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora {

// 1: the first tool's (product ID as ten hex digits, the fifth byte first; a
// replacement block from the reservoir in two files). 2: each block in one
// file, the product ID as the boot ROM sends it.
inline constexpr int kManifestFormat = 2;
inline constexpr const char* kManifestName = "manifest.json";

struct ManifestGeometry {
    int block_count = 0;
    int block_size = 0;
    int page_size = 0;
    int spare_size = 0;
    bool operator==(const ManifestGeometry&) const = default;
};

struct ManifestFile {
    std::string name;
    std::string kind;  // "eerom", "block0", "record", "partition", "filesystem", "blocks"
    uint64_t size = 0;
    std::string sha256;
    bool with_spare = true;
    std::vector<std::pair<int, int>> blocks;  // (logical, physical) in file order
    bool operator==(const ManifestFile&) const = default;
};

struct BackupManifest {
    int format = kManifestFormat;
    std::string tool;
    std::string date;
    std::string range;  // "eerom", "all", "upgrade" or "erase"
    std::string chip_id;
    std::string product_id;
    ManifestGeometry geometry;
    std::vector<int> bad_blocks;
    std::vector<std::pair<int, int>> replacements;  // (bad block, reservoir block)
    bool record_present = false;
    std::vector<ManifestFile> files;
    bool operator==(const BackupManifest&) const = default;
};

// False, with `error` saying which value is wrong and how, when `text` is not
// a manifest of a format this tool reads.
bool ParseManifest(std::string_view text, BackupManifest& out, std::string& error);
// The manifest as written: indented, each file's block list on one line.
std::string ManifestText(const BackupManifest& manifest);

// The manifest of the backup in `folder`; false with `error` naming the file.
bool LoadManifest(const std::string& folder, BackupManifest& out, std::string& error);
// Every file of the manifest present in `folder`, of its size and SHA-256, and
// named inside the folder; false with `error` naming the first that is not.
bool CheckBackupFiles(const std::string& folder, const BackupManifest& manifest,
                      std::string& error);

// The product ID as the boot ROM sends it: "52,20,05,01,00".
std::string ProductIdText(const std::array<uint8_t, 5>& id);
// Either spelling (the one above, or the first tool's "0001052052") as the one
// above; any other text as it is.
std::string ProductIdShown(std::string_view text);

}  // namespace velmora
