#include "flash/upgrade_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/results.h"
#include "base/text_format.h"
#include "flash/nand_internal.h"

namespace velmora {
namespace {

constexpr const char* kNothingErased = " Nothing was erased.";

int Refuse(NandSession& nand, const std::string& text) {
    nand.attempt.text = text + kNothingErased;
    nand.reporter.WriteLog("\n" + nand.attempt.text + "\n");
    return result::download::kUpgradeRefused;
}

// The size of the file at `path`, or −1 when it cannot be looked at.
long long FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
}

std::string PartitionName(NandSession& nand, int i) {
    const PartitionRecord r = ClassicRecord(nand.chip().records, i);
    std::string name;
    for (const uint8_t c : r.name) {
        if (c == 0) {
            break;
        }
        name += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return Format("Partition %d (%s)", i + 1, name.c_str());
}

struct Place {
    int first = 0;       // first block
    int occupied = 0;    // end of the blocks the partition's bytes cover (exclusive)
    int writable = 0;    // end of the blocks the writer fills (exclusive)
    uint32_t piece = 0;  // bytes of content per block
};

Place PlaceOf(NandSession& nand, const PartitionRecord& r) {
    const uint64_t size = BlockSize(nand);
    const bool with_spare = static_cast<int8_t>(r.name[0]) >= 0x71;
    Place p;
    p.first = static_cast<int>(r.offset / size);
    p.occupied = static_cast<int>((uint64_t{r.offset} + r.size) / size);
    p.writable = p.first + static_cast<int>(r.size / size);
    p.piece = BlockBytes(nand, with_spare);
    return p;
}

int CheckBootImage(NandSession& nand, const PartitionTable& table) {
    const std::string path = table.BootFilePath();
    const uint32_t recorded = table.boot_file_size;
    const long long actual = FileSize(path);
    if (actual < 0) {
        return Refuse(nand, "The boot image " + path + " cannot be read.");
    }
    if (actual != recorded) {
        return Refuse(nand, Format("The boot image %s has %lld bytes, but the partition table "
                                   "recorded %u: it changed after the table was loaded.",
                                   path.c_str(), actual, recorded));
    }
    if (recorded == 0) {
        return Refuse(nand, "The boot image " + path +
                                " is empty: the phone would be left without boot code.");
    }
    if (recorded > BlockSize(nand)) {
        return Refuse(nand, Format("The boot image %s has %u bytes, more than block 0 holds (%u "
                                   "bytes).",
                                   path.c_str(), recorded, BlockSize(nand)));
    }
    return 0;
}

int CheckPlace(NandSession& nand, int i, const Place& p) {
    const int blocks = nand.chip().geometry.block_count;
    const int top = blocks - kEeromBlocks;
    const std::string name = PartitionName(nand, i);
    if (p.first < 1) {
        return Refuse(nand, name + " reaches block 0, which holds the boot block.");
    }
    if (p.occupied > blocks) {
        return Refuse(nand, Format("%s ends at block %d, beyond the chip's last block %d.",
                                   name.c_str(), p.occupied - 1, blocks - 1));
    }
    if (p.occupied > top) {
        return Refuse(nand, Format("%s reaches block %d, into the EEROM and reservoir (blocks %d "
                                   "to %d).",
                                   name.c_str(), p.occupied - 1, top, blocks - 1));
    }
    return 0;
}

int CheckContent(NandSession& nand, const PartitionTable& table, int i, const Place& p) {
    const PartitionRecord r = ClassicRecord(nand.chip().records, i);
    const std::string name = PartitionName(nand, i);
    const std::string path = table.ContentFilePath(i);
    const long long actual = FileSize(path);
    if (actual != r.content_size) {
        return Refuse(nand, actual < 0
                                ? name + ": its file " + path + " cannot be read."
                                : Format("%s: its file %s has %lld bytes, but the partition "
                                         "table recorded %u.",
                                         name.c_str(), path.c_str(), actual, r.content_size));
    }
    const int needed = static_cast<int>((uint64_t{r.content_size} + p.piece - 1) / p.piece);
    const int own = std::max(p.writable - p.first, 0);
    if (!RecordMapsBadBlocks(nand)) {
        // Bad blocks are skipped: the content must fit the good ones.
        int good = 0;
        for (int b = p.first; b < p.writable; ++b) {
            good += nand.chip().IbtGood(b) ? 1 : 0;
        }
        if (needed > good) {
            return Refuse(nand, Format("%s: its content (%u bytes) needs %d blocks, but only %d of "
                                       "its %d blocks are good.",
                                       name.c_str(), r.content_size, needed, good, own));
        }
        return 0;
    }
    if (needed > own) {
        return Refuse(nand, Format("%s: its content (%u bytes) needs %d blocks, but the "
                                   "partition has %d.",
                                   name.c_str(), r.content_size, needed, own));
    }
    for (int b = p.first; b < p.first + needed; ++b) {
        if (BadWithoutReplacement(nand, b)) {
            return Refuse(nand, Format("Block %d of %s is bad and has no replacement (it went bad "
                                       "after the bad-block record was written): writing it would "
                                       "leave wrong data behind.",
                                       b, name.c_str()));
        }
        const int replacement = MappedBlock(nand, b);
        if (!nand.chip().IbtGood(b) && nand.chip().record.Present() &&
            !nand.chip().IbtGood(replacement)) {
            return Refuse(nand, Format("Block %d of %s is bad and its replacement block %d is bad "
                                       "too.",
                                       b, name.c_str(), replacement));
        }
    }
    return 0;
}

}  // namespace

int CheckUpgrade(NandSession& nand, const PartitionTable& table) {
    // Block 0 is never replaced: on a chip whose block 0 is bad every partition
    // would be rewritten and then the boot block fail.
    if (!nand.chip().IbtGood(0)) {
        return Refuse(nand,
                      "Block 0, which must hold the boot block, is bad in the chip's bad-block "
                      "table and is never replaced: the phone cannot be given a boot block.");
    }
    if (const int r = CheckBootImage(nand, table); r != 0) {
        return r;
    }
    const int count =
        static_cast<int>(std::min<uint32_t>(nand.chip().records.partition_count, kMaxPartitions));
    std::vector<Place> places;
    for (int i = 0; i < count; ++i) {
        const Place p = PlaceOf(nand, ClassicRecord(nand.chip().records, i));
        if (const int r = CheckPlace(nand, i, p); r != 0) {
            return r;
        }
        for (int j = 0; j < i; ++j) {
            const Place& q = places[static_cast<size_t>(j)];
            const int shared = std::max(p.first, q.first);
            if (shared < std::min(p.occupied, q.occupied)) {
                return Refuse(nand, PartitionName(nand, j) + " and " + PartitionName(nand, i) +
                                        Format(" share block %d.", shared));
            }
        }
        places.push_back(p);
        if (const int r = CheckContent(nand, table, i, p); r != 0) {
            return r;
        }
    }
    return 0;
}

}  // namespace velmora
