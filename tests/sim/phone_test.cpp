#include "sim/phone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "base/checksum.h"
#include "script_host.h"
#include "sim/ram_loader.h"
#include "support/temp_dir.h"

namespace velmora::sim {
namespace {

using testing::Args;
using testing::ScriptHost;
using testing::SmallPhone;
using velmora::testing::TempDir;

// A started phone; tests reach it as `phone_`.
class PhoneTest : public ::testing::Test {
  protected:
    void StartPhone(PhoneOptions options = SmallPhone()) {
        rig_ = std::make_unique<testing::Rig>(std::move(options));
        phone_ = &rig_->phone;
    }
    std::unique_ptr<ScriptHost> Host() { return rig_->Host(); }
    std::unique_ptr<ScriptHost> LoaderHost() { return rig_->LoaderHost(); }
    std::unique_ptr<testing::Rig> rig_;
    Phone* phone_ = nullptr;
};

TEST_F(PhoneTest, BootHandshakeLoadsTheImageAndStartsTheLoader) {
    StartPhone();
    auto host = Host();
    ASSERT_TRUE(host->Connect());
    ASSERT_TRUE(host->Handshake());
    // 'G' reads back what 'L' stored.
    host->Write({'S', 0x00, 0x00, 0x00, 0xBC});
    ASSERT_TRUE(host->WaitFor('O'));
    host->Write({'G', 0x00});
    EXPECT_EQ(host->Read(4), (std::vector<uint8_t>{1, 0, 0, 0}));

    std::vector<uint8_t> image(12904);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i ^ (i >> 8));
    ASSERT_TRUE(host->LoadAndJump(image));
    EXPECT_EQ(phone_->state(), Phone::State::kLoader);

    const auto jumps = phone_->trace().Of("jump");
    ASSERT_EQ(jumps.size(), 1u);
    EXPECT_EQ(jumps[0].count, 12904);
    EXPECT_EQ(jumps[0].text, "crc " + std::to_string(Crc32(image)));
    std::vector<std::string> letters;
    for (const auto& e : phone_->trace().Of("rom"))
        letters.emplace_back(1, static_cast<char>(e.command));
    const std::vector<std::string> expected_start = {"T", "P", "Q", "D", "S", "G", "S", "L"};
    ASSERT_GE(letters.size(), 8u + 3 + 51);
    EXPECT_TRUE(std::equal(expected_start.begin(), expected_start.end(), letters.begin()));
    EXPECT_EQ(std::count(letters.begin(), letters.end(), "L"), 1 + 51);

    // The baud-rate frame, then the next command at the new rate.
    host->Write(ScriptHost::Frame(4, Args({921600})));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    host->SetLine(921600, false);
    host->Send(5);
    auto r = host->Response();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(ScriptHost::U32(r, 4), 0xECu);
    EXPECT_EQ(ScriptHost::U32(r, 8), 0xA1u);
    EXPECT_EQ(ScriptHost::U32(r, 60), 0u);
    const auto bauds = phone_->trace().BaudRates();
    EXPECT_EQ(bauds.front(), 115200u);
    EXPECT_EQ(bauds.back(), 921600u);
    EXPECT_TRUE(phone_->trace().Violations().empty());
}

TEST_F(PhoneTest, BytesAtAnotherBaudRateAreLost) {
    StartPhone();
    auto host = LoaderHost();
    host->SetLine(460800, false);  // without telling the phone
    host->Send(5);
    EXPECT_TRUE(host->Response(300).empty());
    ASSERT_FALSE(phone_->trace().Violations().empty());
    EXPECT_NE(phone_->trace().Violations()[0].find("460800"), std::string::npos);
}

TEST_F(PhoneTest, SetParametersIbtAndEraseAnswerOnTheSerialLink) {
    StartPhone(SmallPhone("bad=5+9"));
    auto host = LoaderHost();

    host->Send(7, Args({64}));
    auto r = host->Response();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(ScriptHost::U32(r, 60), 0u);
    const auto ibt = host->Read(2048);
    ASSERT_EQ(ibt.size(), 2048u);
    EXPECT_EQ(ibt[0], 0xDF);  // block 5 bad
    EXPECT_EQ(ibt[1], 0xFD);  // block 9 bad
    EXPECT_EQ(ibt[7], 0xFF);
    EXPECT_EQ(ibt[8], 0x00);  // no blocks beyond the chip

    // Wrong geometry: no acknowledgement, and the phone says why.
    host->Send(6, Args({64, 32768, 2048, 16, 0, 0}));
    EXPECT_FALSE(host->WaitFor('O', 300));
    EXPECT_NE(phone_->trace().Violations().back().find("spare size 16"), std::string::npos);
    host->Send(6, Args({64, 32768, 2048, 64, 0, 0}));
    EXPECT_TRUE(host->WaitFor('O'));

    phone_->nand().WritePage(3, 0, std::vector<uint8_t>(10, 0));
    host->Send(10, Args({3}));
    EXPECT_TRUE(host->WaitFor('O'));
    EXPECT_TRUE(phone_->nand().IsErased(3));
    host->Send(10, Args({5}));  // factory bad
    EXPECT_FALSE(host->WaitFor('O', 300));
    EXPECT_EQ(phone_->trace().ErasedBlocks(), (std::vector<uint32_t>{3}));
}

std::vector<uint8_t> Pattern(size_t n, int seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>((i * 31 + seed) ^ (i >> 7));
    return v;
}

TEST_F(PhoneTest, WritesAndReadsPagesWithChecksums) {
    StartPhone();
    auto host = LoaderHost();
    host->Send(6, Args({64, 32768, 2048, 64, 0, 0}));
    ASSERT_TRUE(host->WaitFor('O'));

    // Command 8: three pages with spare into block 2 from page 1.
    const auto data = Pattern(3 * 2112, 1);
    host->Send(8, Args({2, 1, 3, 2112, 3 * 2112, 0, Crc32(data)}));
    host->Write(data);
    auto r = host->Response();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(ScriptHost::U32(r, 60), 0u);
    EXPECT_EQ(ScriptHost::U32(r, 56), Crc32(data));
    EXPECT_EQ(phone_->nand().ReadPage(2, 2, true),
              std::vector<uint8_t>(data.begin() + 2112, data.begin() + 4224));

    // Command 13: the response first, then the bytes.
    host->Send(13, Args({2, 1, 2112}));
    r = host->Response();
    ASSERT_FALSE(r.empty());
    const auto page = host->Read(2112);
    EXPECT_EQ(page, std::vector<uint8_t>(data.begin(), data.begin() + 2112));
    EXPECT_EQ(ScriptHost::U32(r, 56), Crc32(page));

    // Command 11 without spare: the data first, then the response.
    host->Send(11, Args({2, 16, 2048}));
    const auto block = host->Read(16 * 2048);
    r = host->Response();
    ASSERT_FALSE(r.empty());
    ASSERT_EQ(block.size(), 16u * 2048);
    EXPECT_EQ(ScriptHost::U32(r, 56), Crc32(block));
    EXPECT_TRUE(
        std::all_of(block.begin(), block.begin() + 2048, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::equal(block.begin() + 2048, block.begin() + 4096, data.begin()));

    // Command 9 (a whole small block at once), acknowledged with 'O'.
    const auto small = Pattern(2 * 2048, 2);
    host->Send(9, Args({4, 2, 1, 2048, 4096, 0, Crc32(small)}));
    host->Write(small);
    EXPECT_TRUE(host->WaitFor('O'));
    EXPECT_EQ(phone_->nand().ReadPage(4, 1, false),
              std::vector<uint8_t>(small.begin() + 2048, small.end()));

    // A data phase whose CRC does not match the frame is refused.
    host->Send(8, Args({6, 0, 1, 2048, 2048, 0, Crc32(small) ^ 1}));
    host->Write(std::vector<uint8_t>(small.begin(), small.begin() + 2048));
    r = host->Response();
    ASSERT_FALSE(r.empty());
    EXPECT_NE(ScriptHost::U32(r, 60), 0u);
    EXPECT_TRUE(phone_->nand().IsErased(6));
    EXPECT_EQ(phone_->trace().ProgrammedBlocks(), (std::vector<uint32_t>{2, 4}));
}

TEST_F(PhoneTest, ManagementRecordNeedsBothMagicWordsInTheTopGoodBlocks) {
    StartPhone(SmallPhone("bad=63"));
    auto host = LoaderHost();
    const uint32_t b = 64;
    const uint32_t r0 = b - b / 50 - 2;  // 61
    auto ask = [&] {
        host->Send(20, Args({r0, b}));
        return host->Response();
    };
    auto r = ask();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(ScriptHost::U32(r, 60), 255u);

    std::vector<uint8_t> record(kRecordBytes, 0);
    PutU32(record.data(), kRecordMagic);
    PutU32(record.data() + 4, 1);
    PutU32(record.data() + 8 + 4 * 5, 61);
    phone_->nand().WriteBlock(62, record, false);  // the highest good block, only word 0
    PutU32(record.data(), 0);
    PutU32(record.data() + 4 * 1026, kRecordMagic);
    phone_->nand().WriteBlock(61, record, false);  // the second copy, only word 1026
    r = ask();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(ScriptHost::U32(r, 60), 255u);

    PutU32(record.data(), kRecordMagic);
    phone_->nand().WriteBlock(61, record, false);
    r = ask();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(ScriptHost::U32(r, 60), 0u);
    const auto got = host->Read(kRecordBytes);
    EXPECT_EQ(got, record);
    EXPECT_EQ(ScriptHost::U32(r, 52), Crc32(record));

    host->Send(20, Args({r0 + 1, b}));  // the wrong reservoir start
    r = host->Response();
    ASSERT_FALSE(r.empty());
    EXPECT_NE(ScriptHost::U32(r, 60), 0u);
    EXPECT_NE(ScriptHost::U32(r, 60), 255u);
}

TEST(NandChip, ProgrammingClearsBitsAndBadBlocksFail) {
    NandChip chip;
    ChipDescription d;
    d.geometry = NandGeometry{16, 16 * 512, 512, 16, 0, 0};
    d.bad_blocks = {3};
    ASSERT_EQ(chip.Open(d, ""), "");
    EXPECT_TRUE(chip.IsErased(0));
    EXPECT_EQ(chip.ReadPage(0, 0, true), std::vector<uint8_t>(528, 0xFF));

    std::vector<uint8_t> a(528, 0xF0);
    std::vector<uint8_t> b(528, 0x3C);
    EXPECT_EQ(chip.Program(1, 2, a.data(), a.size()), NandChip::Result::kOk);
    // A second program ANDs into the cells and reports the 1s it could not make.
    EXPECT_EQ(chip.Program(1, 2, b.data(), b.size()), NandChip::Result::kStuckBits);
    EXPECT_EQ(chip.ReadPage(1, 2, true), std::vector<uint8_t>(528, 0x30));
    EXPECT_EQ(chip.Erase(1), NandChip::Result::kOk);
    EXPECT_TRUE(chip.IsErased(1));

    EXPECT_EQ(chip.Erase(3), NandChip::Result::kFailed);
    EXPECT_EQ(chip.Program(3, 0, a.data(), a.size()), NandChip::Result::kFailed);
    chip.FailProgram(4);
    EXPECT_EQ(chip.Program(4, 0, a.data(), a.size()), NandChip::Result::kFailed);
    EXPECT_EQ(chip.Erase(4), NandChip::Result::kOk);
    const auto ibt = chip.Ibt();
    EXPECT_EQ(ibt[0], 0xF7);
    EXPECT_EQ(ibt[1], 0xFF);
    EXPECT_EQ(ibt[2], 0x00);
}

// Keeping the content between runs is shown with the executable.
TEST(NandChip, FileInUseOrOfAnotherChipIsRefused) {
    TempDir dir;
    const std::string file = dir.path() + "nand.bin";
    ChipDescription d;
    d.geometry = NandGeometry{1024, 128 * 1024, 2048, 64, 0, 0};
    {
        NandChip chip;
        ASSERT_EQ(chip.Open(d, file), "");
        NandChip second;
        EXPECT_NE(second.Open(d, file), "");
    }
    d.geometry.block_count = 2048;
    NandChip chip;
    EXPECT_NE(chip.Open(d, file), "");
}

}  // namespace
}  // namespace velmora::sim
