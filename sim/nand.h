#pragma once
// The simulated NAND chip: pages with spare bytes, erased bytes read 0xFF,
// programming only clears bits, factory bad blocks whose erase and program
// fail. Storage is a shared mapping of a file (or of anonymous memory when no
// file is given) holding every byte complemented, so that a hole in a sparse
// file reads as an erased 0xFF: an erased chip costs neither disk nor memory,
// and erasing a block punches its hole again.
#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "config/chip_catalogue.h"

namespace velmora::sim {

// A byte that the chip stores with its lowest bit inverted whenever a program
// covers it. The offset counts the block's bytes with each page followed by its
// spare bytes.
struct BitFlip {
    uint32_t block = 0;
    uint64_t offset = 0;
};

struct ChipDescription {
    NandGeometry geometry;
    std::array<uint8_t, 4> id{};       // maker, device, third and fourth ID byte
    std::vector<uint32_t> bad_blocks;  // factory bad blocks, reported in the IBT
    // Blocks that went bad after the management record was written: reported bad
    // in the IBT, erase and program fail, the content stays.
    std::vector<uint32_t> grown_blocks;
    std::vector<BitFlip> flips;
    // Blocks whose first read comes back with a bit inverted (a read disturb).
    std::vector<uint32_t> read_flips;
    // Blocks that go bad (as grown blocks) once the first session has ended.
    std::vector<uint32_t> turns_bad;
};

// The bytes of a chip of geometry `g`, spare bytes included (UINT64_MAX when they
// do not fit in 64 bits, 0 for a geometry without size).
uint64_t ChipBytes(const NandGeometry& g);

class NandChip {
  public:
    static constexpr size_t kIbtBytes = 2048;
    // The most a chip may hold, spare bytes included: far beyond any real one, and
    // small enough that its size is worked out without overflow and can be mapped.
    static constexpr uint64_t kMaxBytes = uint64_t{1} << 40;

    NandChip() = default;
    ~NandChip();
    NandChip(const NandChip&) = delete;
    NandChip& operator=(const NandChip&) = delete;

    // Opens the chip's storage: `file` (created when missing, kept between
    // runs) or anonymous memory when empty. Returns an empty text on success,
    // else what went wrong.
    std::string Open(const ChipDescription& chip, const std::string& file);
    void Close();

    const NandGeometry& geometry() const { return chip_.geometry; }
    const std::array<uint8_t, 4>& id() const { return chip_.id; }
    uint32_t blocks() const { return static_cast<uint32_t>(chip_.geometry.block_count); }
    uint32_t pages_per_block() const { return pages_per_block_; }
    size_t page_size() const { return static_cast<size_t>(chip_.geometry.page_size); }
    size_t spare_size() const { return static_cast<size_t>(chip_.geometry.spare_size); }
    size_t raw_page_size() const { return page_size() + spare_size(); }

    bool IsFactoryBad(uint32_t block) const;
    // Bad by the chip's own markers: factory bad or grown bad (or beyond the chip).
    bool IsMarkedBad(uint32_t block) const;
    // One bit per block, 1 = good (neither factory nor grown bad); blocks beyond
    // the chip read as bad.
    std::array<uint8_t, kIbtBytes> Ibt() const;

    // A block whose erase or program fails although it is not factory bad
    // (it went bad later); fault injection.
    void FailErase(uint32_t block, bool fail = true);
    // A session with the host begins: from the second on, the blocks that turn
    // bad between jobs are bad.
    void BeginSession();
    void FailProgram(uint32_t block, bool fail = true);

    enum class Result { kOk, kFailed, kStuckBits };
    // Erase: every byte of the block, spare included, reads 0xFF again.
    Result Erase(uint32_t block);
    // Programs `length` bytes into `page` of `block`, spare bytes following the
    // page bytes when length exceeds the page size. Bits only go from 1 to 0:
    // kStuckBits reports that the data asked for a 1 where the cell held a 0.
    Result Program(uint32_t block, uint32_t page, const uint8_t* data, size_t length);
    // Reads `length` bytes (at most page + spare) of a page.
    void Read(uint32_t block, uint32_t page, uint8_t* out, size_t length) const;

    // Test helpers. A block image holds its pages in order, each page's spare
    // bytes after its data when `with_spare`.
    std::vector<uint8_t> ReadBlock(uint32_t block, bool with_spare) const;
    // Stores the bytes exactly (no erase semantics); spare bytes not given are kept.
    void WriteBlock(uint32_t block, std::span<const uint8_t> image, bool with_spare);
    std::vector<uint8_t> ReadPage(uint32_t block, uint32_t page, bool with_spare) const;
    void WritePage(uint32_t block, uint32_t page, std::span<const uint8_t> bytes);
    bool IsErased(uint32_t block) const;
    void Sync();

  private:
    uint8_t* PagePtr(uint32_t block, uint32_t page) const;
    void EraseLocked(uint32_t block);

    ChipDescription chip_;
    uint32_t pages_per_block_ = 0;
    size_t block_bytes_ = 0;  // with spare
    std::set<uint32_t> bad_;
    std::set<uint32_t> grown_;
    std::vector<BitFlip> flips_;
    mutable std::set<uint32_t> read_flips_;  // cleared by the read they disturb
    int sessions_ = 0;
    std::set<uint32_t> fail_erase_;
    std::set<uint32_t> fail_program_;
    int fd_ = -1;
    uint8_t* map_ = nullptr;
    size_t map_size_ = 0;
    mutable std::mutex mutex_;
};

}  // namespace velmora::sim
