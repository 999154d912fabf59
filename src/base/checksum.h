#pragma once
// Checksums shared by the host and the simulated phone: the CRC-32 that guards
// every bulk data phase and the NAND Hamming ECC of a 256-byte unit.
#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora {

inline constexpr uint32_t kCrcStart = 0xFFFFFFFFu;

// CRC-32/JAMCRC: reflected 0xEDB88320, register starts at `start`, no final
// inversion. A length of zero returns `start`.
uint32_t Crc32(const uint8_t* data, size_t length, uint32_t start = kCrcStart);
inline uint32_t Crc32(std::span<const uint8_t> data, uint32_t start = kCrcStart) {
    return Crc32(data.data(), data.size(), start);
}

// The SmartMedia 256-byte Hamming ECC: a 22-bit code in the low bits.
uint32_t EccOf256(const uint8_t* data);

}  // namespace velmora
