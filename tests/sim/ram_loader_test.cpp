// The RAM loader's command handling without a wire, as a USB side drives it.
#include "sim/ram_loader.h"

#include <gtest/gtest.h>

#include <deque>

#include "base/checksum.h"

namespace velmora::sim {
namespace {

class FakeIo : public LoaderIo {
  public:
    bool Receive(uint8_t* data, size_t n) override {
        if (incoming.size() < n)
            return false;
        std::copy_n(incoming.begin(), n, data);
        incoming.erase(incoming.begin(), incoming.begin() + static_cast<long>(n));
        return true;
    }
    bool Send(const uint8_t* data, size_t n) override {
        sent.insert(sent.end(), data, data + n);
        return true;
    }
    bool Hold(int ms) override {
        holds.push_back(ms);
        return sent.empty();  // nothing of the answer may go before its hold
    }
    std::deque<uint8_t> incoming;
    std::vector<uint8_t> sent;
    std::vector<int> holds;
};

Frame MakeFrame(uint16_t command, std::initializer_list<uint32_t> args) {
    Frame f{};
    f[0] = 0x55;
    f[1] = 0xAA;
    f[2] = static_cast<uint8_t>(command);
    int i = 0;
    for (uint32_t a : args)
        PutU32(f.data() + 4 + 4 * i++, a);
    return f;
}

// A chip of 128 blocks of 16 pages of 2048 + 64 bytes, parameters set.
struct UsbRig {
    explicit UsbRig(ChipDescription d = {}) {
        d.geometry = NandGeometry{128, 32 * 1024, 2048, 64, 0, 0};
        EXPECT_EQ(chip.Open(d, ""), "");
        // Set parameters answers with a response, not an 'O'.
        EXPECT_EQ(Run(MakeFrame(6, {128, 32768, 2048, 64, 0, 0})), 0u);
        EXPECT_EQ(io.sent.size(), 64u);
    }
    uint32_t Run(const Frame& frame) {
        io.sent.clear();
        EXPECT_TRUE(loader.Execute(frame, io));
        return io.sent.size() >= 64 ? GetU32(io.sent.data() + 60) : 0xDEADDEADu;
    }
    NandChip chip;
    Trace trace;
    FaultSet faults;
    RamLoader loader{chip, trace, faults, Link::kUsb};
    FakeIo io;
};

TEST(RamLoaderUsb, RangeEraseEccCodesAndResponses) {
    ChipDescription d;
    d.bad_blocks = {5};
    UsbRig rig(d);
    NandChip& chip = rig.chip;
    FakeIo& io = rig.io;

    // A range erase passes over the factory bad block.
    for (uint32_t b = 1; b < 8; ++b)
        chip.WritePage(b, 0, std::vector<uint8_t>(4, 0));
    EXPECT_EQ(rig.Run(MakeFrame(10, {1, 0, 0, 8})), 0u);
    EXPECT_EQ(rig.trace.ErasedBlocks(), (std::vector<uint32_t>{1, 2, 3, 4, 6, 7}));
    EXPECT_FALSE(chip.IsErased(5));
    EXPECT_NE(rig.Run(MakeFrame(10, {5, 0, 0, 6})), 0u);  // the bad block alone fails

    // A page write answers with the response, then 32 bytes of ECC codes per page.
    std::vector<uint8_t> data(2 * 2048);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 5 + (i >> 9));
    io.incoming.assign(data.begin(), data.end());
    EXPECT_EQ(rig.Run(MakeFrame(8, {3, 0, 2, 2048, 4096, 0, 0})), 0u);
    ASSERT_EQ(io.sent.size(), 64u + 64u);
    for (size_t k = 0; k < 16; ++k) {
        EXPECT_EQ(GetU32(io.sent.data() + 64 + 4 * k), EccOf256(data.data() + 256 * k)) << k;
    }

    // Command 9 answers one byte; Init SDI its twelve words.
    io.incoming.assign(data.begin(), data.begin() + 2048);
    rig.Run(MakeFrame(9, {4, 1, 1, 2048, 2048, 0, Crc32(data.data(), 2048)}));
    EXPECT_EQ(io.sent, std::vector<uint8_t>{'O'});
    rig.Run(MakeFrame(14, {0, 0x20F00000}));
    ASSERT_EQ(io.sent.size(), 64u);
    for (uint32_t i = 0; i < 12; ++i)
        EXPECT_EQ(GetU32(io.sent.data() + 12 + 4 * i), 0x12345678u + i);
    EXPECT_TRUE(rig.trace.Violations().empty());
}

// A late answer is held before its first byte, once unless asked for every time
// ('*'); noise changes only the bytes that the wire format leaves open.
TEST(RamLoaderUsb, LateAnswersAndNoise) {
    PhoneOptions o;
    std::string error;
    ASSERT_TRUE(ParsePhoneOptions("late=13@3.1:250,late=5:40*,noise", o, error)) << error;
    UsbRig rig;
    for (const Fault& f : o.faults)
        rig.faults.Add(f);
    for (const uint32_t page : {0u, 1u, 1u})
        rig.Run(MakeFrame(13, {3, page, 16}));
    rig.Run(MakeFrame(5, {}));
    const std::vector<uint8_t> first = rig.io.sent;
    rig.Run(MakeFrame(5, {}));
    EXPECT_EQ(rig.io.holds, (std::vector<int>{250, 40, 40}));
    EXPECT_NE(first, rig.io.sent);
    for (const size_t at : {0, 1, 4, 8, 12, 16, 60, 61, 62, 63})
        EXPECT_EQ(first[at], rig.io.sent[at]) << at;
}

// A range erase stops at the block whose erase fails, as the chip does: the
// blocks before it are erased, the rest keep their content.
TEST(RamLoaderUsb, RangeEraseStopsAtTheFailingBlock) {
    UsbRig rig;
    rig.chip.FailErase(100);
    for (uint32_t b = 95; b < 110; ++b)
        rig.chip.WritePage(b, 0, std::vector<uint8_t>(4, 0));
    EXPECT_NE(rig.Run(MakeFrame(10, {95, 0, 0, 110})), 0u);
    EXPECT_EQ(rig.trace.ErasedBlocks(), (std::vector<uint32_t>{95, 96, 97, 98, 99}));
    for (uint32_t b = 95; b < 110; ++b)
        EXPECT_EQ(rig.chip.IsErased(b), b < 100) << b;
}

// Grown bad blocks: bad in the IBT, erase and program fail and leave the content.
TEST(RamLoaderUsb, GrownBadBlocksAreMarkedInTheIbtAndKeepTheirContent) {
    ChipDescription d;
    d.grown_blocks = {7};
    UsbRig rig(d);
    const std::vector<uint8_t> old(2048, 0x42);
    rig.chip.WritePage(7, 0, old);
    rig.chip.WritePage(8, 0, old);

    EXPECT_EQ(rig.Run(MakeFrame(7, {128})), 0u);
    ASSERT_EQ(rig.io.sent.size(), 64u + NandChip::kIbtBytes);
    const uint8_t ibt0 = rig.io.sent[64];
    EXPECT_EQ(ibt0 & 0x80, 0) << "block 7 is bad";
    EXPECT_EQ(ibt0 & 0x7F, 0x7F);

    EXPECT_NE(rig.Run(MakeFrame(10, {7, 0, 0, 8})), 0u) << "a single erase fails";
    rig.io.incoming.assign(2048, 0x00);
    EXPECT_NE(rig.Run(MakeFrame(8, {7, 1, 1, 2048, 2048, 0, 0})), 0u) << "a program fails";
    EXPECT_EQ(rig.Run(MakeFrame(10, {6, 0, 0, 9})), 0u) << "a range erase passes over it";
    EXPECT_EQ(rig.trace.ErasedBlocks(), (std::vector<uint32_t>{6, 8}));
    EXPECT_EQ(rig.chip.ReadPage(7, 0, false), old);
    EXPECT_EQ(rig.chip.ReadPage(7, 1, false), std::vector<uint8_t>(2048, 0xFF));
}

// The chip stores a byte wrong: the response and its ECC codes describe the
// bytes as received (for a chunk with spare, the codes cover its first
// pages × 2048 bytes, as the phone's do), so only a read-back shows the flip.
TEST(RamLoaderUsb, AFlippedBitShowsOnlyInTheStoredBytes) {
    ChipDescription d;
    d.flips = {{9, 3 * 2112 + 100}, {9, 15 * 2112 + 2050}};  // in page 3; in page 15's spare
    UsbRig rig(d);
    std::vector<uint8_t> data(16 * 2112);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
    rig.io.incoming.assign(data.begin(), data.end());
    EXPECT_EQ(rig.Run(MakeFrame(8, {9, 0, 16, 2112, 16 * 2112, 0, 0})), 0u);
    ASSERT_EQ(rig.io.sent.size(), 64u + 16 * 32);
    EXPECT_EQ(GetU32(rig.io.sent.data() + 56), Crc32(data));
    for (size_t k = 0; k < 16 * 8; ++k)
        ASSERT_EQ(GetU32(rig.io.sent.data() + 64 + 4 * k), EccOf256(data.data() + 256 * k)) << k;

    std::vector<uint8_t> expected = data;
    expected[3 * 2112 + 100] ^= 0x01;
    expected[15 * 2112 + 2050] ^= 0x01;
    EXPECT_EQ(rig.chip.ReadBlock(9, true), expected);
}

}  // namespace
}  // namespace velmora::sim
