#include "config/sha1.h"

#include <openssl/evp.h>

#include <memory>

namespace velmora {

bool Sha1(std::span<const uint8_t> data, Sha1Digest& out) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    unsigned int length = 0;
    return ctx && EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr) == 1 &&
           EVP_DigestUpdate(ctx.get(), data.data(), data.size()) == 1 &&
           EVP_DigestFinal_ex(ctx.get(), out.data(), &length) == 1 && length == out.size();
}

}  // namespace velmora
