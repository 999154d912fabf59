#include "base/checksum.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string_view>
#include <vector>

namespace velmora {
namespace {

TEST(Crc32, JamcrcCheckValueEmptyInputAndChainsAcrossChunks) {
    constexpr std::string_view digits = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0x340BC6D9u);
    EXPECT_EQ(Crc32(nullptr, 0), 0xFFFFFFFFu);
    EXPECT_EQ(Crc32(nullptr, 0, 0x12345678u), 0x12345678u);
    std::vector<uint8_t> data(10000);
    std::mt19937 rng(7);
    for (auto& b : data)
        b = static_cast<uint8_t>(rng());
    const uint32_t first = Crc32(data.data(), 4321);
    EXPECT_EQ(Crc32(data.data() + 4321, data.size() - 4321, first), Crc32(data));
}

// A straightforward bit-by-bit reading of the ECC: column parities from the
// bits' positions, line parities from the byte index of every odd-parity byte.
uint32_t ReferenceEcc(const uint8_t* data) {
    int col[6] = {};       // col[2k] = bits with bit k of their position clear, col[2k+1] set
    unsigned lp[16] = {};  // lp[2j] = a bit j, lp[2j+1] = b bit j
    for (unsigned i = 0; i < 256; ++i) {
        int ones = 0;
        for (int bit = 0; bit < 8; ++bit) {
            const int v = (data[i] >> bit) & 1;
            ones += v;
            for (int k = 0; k < 3; ++k)
                col[2 * k + ((bit >> k) & 1)] ^= v;
        }
        for (int j = 0; j < 8 && ones % 2 == 1; ++j)
            lp[2 * j + (((i >> j) & 1) ? 0 : 1)] ^= 1;
    }
    uint32_t code = 0;
    for (int j = 7; j >= 0; --j)
        code = (code << 2) | (lp[2 * j] << 1) | lp[2 * j + 1];
    code <<= 6;
    for (int k = 0; k < 6; ++k)
        code |= static_cast<uint32_t>(col[k]) << k;
    return code;
}

TEST(EccOf256, UniformBuffersGiveZeroAndSingleBitsWorkedByHand) {
    std::array<uint8_t, 256> data{};
    data.fill(0xFF);
    EXPECT_EQ(EccOf256(data.data()), 0u);
    data.fill(0x00);
    EXPECT_EQ(EccOf256(data.data()), 0u);
    // Byte 0 = 0x01: column parities of bit 0 are cp bits 0, 2 and 4 = 0x15; the
    // byte has odd parity at index 0, so a = 0 and b = 0xFF: x = 0x55, y = 0x55.
    data[0] = 0x01;
    EXPECT_EQ(EccOf256(data.data()), (0x55u << 14) | (0x55u << 6) | 0x15u);
    // Byte 0xA5 = 0x80: cp bits 1, 3 and 5 = 0x2A; a = 0xA5, b = 0x5A gives
    // x = a7 b7 a6 b6 a5 b5 a4 b4 = 1 0 0 1 1 0 0 1 = 0x99, y = 0 1 1 0 0 1 1 0 = 0x66.
    data[0] = 0;
    data[0xA5] = 0x80;
    EXPECT_EQ(EccOf256(data.data()), (0x99u << 14) | (0x66u << 6) | 0x2Au);
}

TEST(EccOf256, MatchesBitByBitReferenceOnRandomData) {
    std::mt19937 rng(12345);
    std::array<uint8_t, 256> data{};
    for (int round = 0; round < 500; ++round) {
        for (auto& b : data)
            b = static_cast<uint8_t>(rng());
        ASSERT_EQ(EccOf256(data.data()), ReferenceEcc(data.data())) << "round " << round;
    }
}

}  // namespace
}  // namespace velmora
