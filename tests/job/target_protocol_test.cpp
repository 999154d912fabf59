// The target commands and identification over a scripted link: the codes the
// job sequence folds into one result are checked here one by one.
#include "flash/target_protocol.h"

#include <gtest/gtest.h>

#include "base/checksum.h"
#include "flash/fake_loader.h"
#include "flash/identify.h"
#include "flash/nand_dialect.h"
#include "job/download_job.h"
#include "job/recording_display.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

// Answers come from a byte queue; every frame sent is kept.
class ScriptedLink : public testing::QueueLink {
  public:
    int SendFrame(std::span<const uint8_t, 64> frame) override {
        frames.emplace_back(frame.begin(), frame.end());
        return 0;
    }
    int SendData(std::span<const uint8_t>) override { return 0; }

    void Answer(std::initializer_list<std::pair<size_t, uint32_t>> words,
                uint16_t header = 0xAA55) {
        ResponseFrame r;
        r.bytes[0] = static_cast<uint8_t>(header);
        r.bytes[1] = static_cast<uint8_t>(header >> 8);
        for (auto [offset, value] : words)
            StoreLe32(r.bytes.data() + offset, value);
        input.insert(input.end(), r.bytes.begin(), r.bytes.end());
    }
    void Data(const std::vector<uint8_t>& bytes) {
        input.insert(input.end(), bytes.begin(), bytes.end());
    }
    uint32_t Arg(size_t frame, int n) const { return LoadLe32(frames.at(frame).data() + 4 * n); }

    std::vector<std::vector<uint8_t>> frames;
};

class TargetProtocolTest : public ::testing::Test {
  protected:
    TargetProtocolTest() : job_(LinkKind::kSerial, &display_, false) {
        auto link = std::make_unique<ScriptedLink>();
        link_ = link.get();
        job_.AttachLoader(std::move(link), MakeSerialDialect());
        job_.SetHome(std::string(VELMORA_BIN_DIR) + "/");
        job_.chip().geometry = {1024, 131072, 2048, 64, 0, 0};
        job_.mutable_timings().retry_pause_ms = 1;
    }
    void Identify(std::array<uint32_t, 4> id, uint32_t status = 0) {
        link_->Answer({{4, id[0]}, {8, id[1]}, {12, id[2]}, {16, id[3]}, {60, status}});
    }

    testing::RecordingDisplay display_;
    DownloadJob job_;
    ScriptedLink* link_;
};

TEST_F(TargetProtocolTest, IdentificationCodesAndIdTexts) {
    // -1000, -1001, -2000 and 20006 are staged by the simulated phone.
    Identify({0xFF, 0xF1, 0, 0x95});
    EXPECT_EQ(IdentifyNand(job_), -2000);
    EXPECT_EQ(display_.chip().back(), " FF, F1, 00, 95") << "the ID is shown before the check";
    Identify({0xEC, 0x76, 0xEC, 0x76});
    job_.SetHome("/nonexistent/");
    EXPECT_EQ(IdentifyNand(job_), 19999) << "no catalogue";
    EXPECT_EQ(display_.chip().back(), " EC, 76");

    job_.SetHome(std::string(VELMORA_BIN_DIR) + "/");
    Identify({0xEC, 0xF1, 0, 0x95});
    ASSERT_EQ(IdentifyNand(job_), 0);
    EXPECT_EQ(job_.chip().geometry.block_count, 1024);
    EXPECT_EQ(display_.map().rows(), 1025);
}

TEST_F(TargetProtocolTest, GeometryChecksIncludingAZeroPageSize) {
    testing::TempDir home;
    job_.SetHome(home.path());
    const struct {
        int block_kib, page;
        int expected;
    } cases[] = {{128, 2048, 0}, {16, 528, -2002}, {128, 0, -2002}, {8, 512, -2002}};
    for (const auto& c : cases) {
        home.Write("FlashChip.ini",
                   "[EC,F1]\nBLOCK_NUM=1024\nBLOCK_SIZE=" + std::to_string(c.block_kib) +
                       "\nPAGE_SIZE=" + std::to_string(c.page) +
                       "\nSPARE_SIZE=16\nERASE_TIME=1\nWRITE_TIME=1\n");
        Identify({0xEC, 0xF1, 0, 0x95});
        EXPECT_EQ(IdentifyNand(job_), c.expected) << c.block_kib << " KiB, page " << c.page;
    }
}

TEST_F(TargetProtocolTest, IbtStatusUpTo20IsAcceptedAndAFailedReadIsAskedOnceMore) {
    link_->Answer({{60, 20}});
    link_->Data(std::vector<uint8_t>(kIbtBytes, 0xA5));
    EXPECT_EQ(GetIbt(job_), 0);
    EXPECT_EQ(link_->Arg(0, 1), 1024u);
    EXPECT_TRUE(job_.chip().IbtGood(0));
    EXPECT_FALSE(job_.chip().IbtGood(1));

    // One garbled answer costs one more frame, not the job.
    link_->Answer({{60, 21}});
    link_->Answer({});
    link_->Data(std::vector<uint8_t>(kIbtBytes, 0xFF));
    EXPECT_EQ(GetIbt(job_), 0);
    ASSERT_EQ(link_->frames.size(), 3u);
    EXPECT_EQ(link_->frames[1], link_->frames[2]) << "the same frame again";
    EXPECT_TRUE(job_.attempt.text.empty()) << "a retry that worked leaves no failure behind";

    link_->Answer({{60, 21}});
    link_->Answer({{60, 21}});
    EXPECT_EQ(GetIbt(job_), 4010);
    EXPECT_EQ(job_.attempt.text, "Get IBT fail, AA55, 15");
    link_->Answer({});
    link_->Answer({});
    EXPECT_EQ(GetIbt(job_), 4001) << "no IBT data";
    EXPECT_EQ(job_.chip().ibt[0], 0) << "cleared before each read";
}

TEST_F(TargetProtocolTest, NandParameterFlags) {
    const struct {
        int blocks, page;
        uint32_t small, large;
    } cases[] = {
        {2048, 512, 0xFF, 0}, {2049, 512, 0xFF, 0xFF}, {1025, 2048, 0, 0xFF}, {1024, 2048, 0, 0}};
    for (const auto& c : cases) {
        job_.chip().geometry.block_count = c.blocks;
        job_.chip().geometry.page_size = c.page;
        link_->Data({'x', 'O'});
        EXPECT_EQ(SetNandParameters(job_), 0);
        EXPECT_EQ(link_->Arg(link_->frames.size() - 1, 5), c.small) << c.blocks;
        EXPECT_EQ(link_->Arg(link_->frames.size() - 1, 6), c.large) << c.blocks;
    }
    EXPECT_EQ(SetNandParameters(job_), 15);
    EXPECT_EQ(job_.attempt.text, "Set Nanf Flash Parameter fail!");
}

TEST_F(TargetProtocolTest, ManagementRecordRead) {
    job_.chip().geometry.page_size = 512;
    EXPECT_EQ(ReadManagementRecord(job_), 0);
    EXPECT_TRUE(link_->frames.empty()) << "small-page chips keep no record";

    job_.chip().geometry.page_size = 2048;
    link_->Answer({{60, 255}});
    EXPECT_EQ(ReadManagementRecord(job_), -1);
    EXPECT_EQ(link_->Arg(0, 1), 1002u);
    EXPECT_EQ(link_->Arg(0, 2), 1024u);

    std::vector<uint8_t> record(ManagementRecord::kBytes, 0);
    StoreLe32(record.data(), ManagementRecord::kMagic);
    StoreLe32(record.data() + 4 * 1026, ManagementRecord::kMagic);
    link_->Answer({{52, kNoChecksum}});
    link_->Data(record);
    EXPECT_EQ(ReadManagementRecord(job_), 0) << "no checksum: any data";
    EXPECT_TRUE(job_.chip().record.Present());

    for (int attempt = 0; attempt < 2; ++attempt) {
        link_->Answer({{52, Crc32(record) ^ 1}});
        link_->Data(record);
    }
    EXPECT_EQ(ReadManagementRecord(job_), 1100);
    EXPECT_FALSE(job_.chip().record.Present());
    link_->Answer({{60, 1}});
    link_->Answer({{60, 1}});
    EXPECT_EQ(ReadManagementRecord(job_), 1011);
    link_->Answer({}, 0x1234);
    link_->Answer({}, 0x1234);
    EXPECT_EQ(ReadManagementRecord(job_), 1010);
}

}  // namespace
}  // namespace velmora
