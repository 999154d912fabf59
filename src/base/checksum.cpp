#include "base/checksum.h"

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
    unsigned cp = 0;
    unsigned a = 0;
    unsigned odd = 0;  // bytes of odd parity, counted modulo 2
    // Without a branch per byte: random data would mispredict half of them.
    for (unsigned i = 0; i < 256; ++i) {
        const unsigned t = kEccTable[data[i]];
        const unsigned mask = 0u - ((t >> 6) & 1u);
        cp ^= t;
        a ^= i & mask;
        odd ^= mask;
    }
    cp &= 0x3Fu;
    a &= 0xFFu;
    // b is the XOR of ~i over the same bytes: a, inverted when their count is odd.
    const unsigned b = (a ^ odd) & 0xFFu;
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
