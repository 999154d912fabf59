#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

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

namespace velmora {

// The SHA-256 of the file at `path` as 64 lower-case hex digits; empty when the
// file cannot be read. The file is read in pieces.
std::string Sha256FileHex(const std::string& path);

}  // namespace velmora
