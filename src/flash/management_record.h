#pragma once
// The bad-block management record the RAM loader keeps at the top of the
// reservoir: 1027 little-endian words (4108 bytes).
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora {

struct ManagementRecord {
    static constexpr size_t kWords = 1027;
    static constexpr size_t kBytes = kWords * 4;  // 4108
    static constexpr int kEntries = 1024;         // blocks 0 to 1023
    static constexpr uint32_t kMagic = 0x01020304;
    static constexpr uint32_t kBadReservoir = 0xFFFFFFFF;
    static constexpr uint32_t kUsedReservoir = 0xFFFFFFFA;

    std::array<uint32_t, kWords> words{};

    void Clear() { words.fill(0); }
    // Both magic words (0 and 1026) read 0x01020304.
    bool Present() const { return words[0] == kMagic && words[1026] == kMagic; }
    uint32_t count() const { return words[1]; }
    // Entry of `block`; 0 for a block beyond the record (it is used as itself).
    uint32_t Entry(int block) const {
        return block >= 0 && block < kEntries ? words[2 + static_cast<size_t>(block)] : 0;
    }
    void SetEntry(int block, uint32_t value) {
        if (block >= 0 && block < kEntries)
            words[2 + static_cast<size_t>(block)] = value;
    }

    // Wire form (little-endian).
    std::array<uint8_t, kBytes> ToBytes() const;
    void FromBytes(std::span<const uint8_t, kBytes> bytes);
};

// First reservoir block: B − ⌊B ÷ 50⌋ − 2.
inline int ReservoirStart(int block_count) {
    return block_count - block_count / 50 - 2;
}

}  // namespace velmora
