#include "flash/checksum.h"

#include <zlib.h>

#include <array>

namespace velmora {

uint32_t Crc32(const uint8_t* data, size_t length, uint32_t start) {
    if (length == 0) {
        return start;
    }
    // zlib works on the finished (inverted) value of the common CRC-32, so the
    // raw register is inverted on the way in and on the way out.
    return ~static_cast<uint32_t>(crc32_z(~start & 0xFFFFFFFFu, data, length));
}

namespace {

constexpr int Parity(unsigned v) {
    v ^= v >> 4;
    v ^= v >> 2;
    v ^= v >> 1;
    return static_cast<int>(v & 1u);
}

// Per byte value: bits 0-5 the six column parities, bit 6 the parity of the byte.
constexpr std::array<uint8_t, 256> MakeEccTable() {
    std::array<uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned t = 0;
        t |= Parity(v & 0x55u) << 0;  // bits 0, 2, 4, 6
        t |= Parity(v & 0xAAu) << 1;  // bits 1, 3, 5, 7
        t |= Parity(v & 0x33u) << 2;  // bits 0, 1, 4, 5
        t |= Parity(v & 0xCCu) << 3;  // bits 2, 3, 6, 7
        t |= Parity(v & 0x0Fu) << 4;  // bits 0-3
        t |= Parity(v & 0xF0u) << 5;  // bits 4-7
        t |= Parity(v) << 6;
        table[v] = static_cast<uint8_t>(t);
    }
    return table;
}

constexpr std::array<uint8_t, 256> kEccTable = MakeEccTable();

}  // namespace

uint32_t EccOf256(const uint8_t* data) {
    uint8_t cp = 0;
    uint8_t a = 0;
    uint8_t b = 0;
    for (unsigned i = 0; i < 256; ++i) {
        const uint8_t t = kEccTable[data[i]];
        cp ^= t & 0x3Fu;
        if (t & 0x40u) {
            a ^= static_cast<uint8_t>(i);
            b ^= static_cast<uint8_t>(~i);
        }
    }
    // Interleave the line parities: x = a7 b7 a6 b6 a5 b5 a4 b4, y likewise for bits 3..0.
    uint32_t x = 0;
    uint32_t y = 0;
    for (int j = 7; j >= 4; --j) {
        x = (x << 2) | (((a >> j) & 1u) << 1) | ((b >> j) & 1u);
    }
    for (int j = 3; j >= 0; --j) {
        y = (y << 2) | (((a >> j) & 1u) << 1) | ((b >> j) & 1u);
    }
    return (x << 14) | (y << 6) | cp;
}

}  // namespace velmora
