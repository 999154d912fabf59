#include "config/sha1.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace velmora {
namespace {

std::string Hex(const Sha1Digest& d) {
    std::string s;
    char buf[3];
    for (auto b : d) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        s += buf;
    }
    return s;
}

std::string DigestOf(const std::string& text) {
    Sha1Digest d{};
    EXPECT_TRUE(Sha1({reinterpret_cast<const uint8_t*>(text.data()), text.size()}, d));
    return Hex(d);
}

TEST(Sha1, FipsVectors) {
    EXPECT_EQ(DigestOf("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(DigestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(DigestOf(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(DigestOf(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(Sha1, PiecesGiveTheSameDigest) {
    const std::string text(100000, 'q');
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    Sha1Digest whole{};
    ASSERT_TRUE(Sha1({bytes, text.size()}, whole));
    Sha1Hasher hasher;
    for (size_t at = 0; at < text.size(); at += 777) {
        ASSERT_TRUE(hasher.Update({bytes + at, std::min<size_t>(777, text.size() - at)}));
    }
    Sha1Digest pieces{};
    ASSERT_TRUE(hasher.Final(pieces));
    EXPECT_EQ(pieces, whole);
    EXPECT_FALSE(hasher.Final(pieces));  // spent
}

}  // namespace
}  // namespace velmora
