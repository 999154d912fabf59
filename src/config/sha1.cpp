#include "config/sha1.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/input_file.h"

namespace velmora {

bool Sha1(std::span<const uint8_t> data, Sha1Digest& out) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    unsigned int length = 0;
    return ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) == 1 &&
           EVP_DigestUpdate(ctx.get(), data.data(), data.size()) == 1 &&
           EVP_DigestFinal_ex(ctx.get(), out.data(), &length) == 1 && length == out.size();
}

}  // namespace velmora

namespace velmora {

void Sha1Hasher::Free::operator()(evp_md_ctx_st* ctx) const {
    EVP_MD_CTX_free(ctx);
}

Sha1Hasher::Sha1Hasher() : ctx_(EVP_MD_CTX_new()) {
    ok_ = ctx_ && EVP_DigestInit_ex(ctx_.get(), EVP_sha1(), nullptr) == 1;
}

bool Sha1Hasher::Update(std::span<const uint8_t> data) {
    ok_ = ok_ && EVP_DigestUpdate(ctx_.get(), data.data(), data.size()) == 1;
    return ok_;
}

bool Sha1Hasher::Final(Sha1Digest& out) {
    unsigned int length = 0;
    const bool ok =
        ok_ && EVP_DigestFinal_ex(ctx_.get(), out.data(), &length) == 1 && length == out.size();
    ok_ = false;
    return ok;
}

}  // namespace velmora

namespace velmora {

std::string Sha256FileHex(const std::string& path) {
    const File file = OpenInputFile(path);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!file || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
        return {};
    }
    std::vector<unsigned char> piece(1 << 16);
    size_t n = 0;
    while ((n = std::fread(piece.data(), 1, piece.size(), file.get())) > 0) {
        if (EVP_DigestUpdate(ctx.get(), piece.data(), n) != 1) {
            return {};
        }
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (std::ferror(file.get()) || EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) != 1) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

}  // namespace velmora
