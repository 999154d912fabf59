#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora {

using Sha1Digest = std::array<uint8_t, 20>;

// SHA-1 (FIPS 180-1), digest in the standard byte order. Returns false only when
// the digest cannot be produced.
bool Sha1(std::span<const uint8_t> data, Sha1Digest& out);

}  // namespace velmora
