#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace velmora {

using Sha1Digest = std::array<uint8_t, 20>;

// SHA-1 (FIPS 180-1), digest in the standard byte order. Returns false only when
// the digest cannot be produced.
bool Sha1(std::span<const uint8_t> data, Sha1Digest& out);

}  // namespace velmora

struct evp_md_ctx_st;

namespace velmora {

// SHA-1 over data given in pieces, so that a large file need not sit in memory.
class Sha1Hasher {
  public:
    Sha1Hasher();
    bool Update(std::span<const uint8_t> data);
    // False when any step failed; the hasher is spent afterwards.
    bool Final(Sha1Digest& out);

  private:
    struct Free {
        void operator()(evp_md_ctx_st* ctx) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> ctx_;
    bool ok_ = false;
};

}  // namespace velmora
