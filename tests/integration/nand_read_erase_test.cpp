// Read-back and the erase work mode against the simulated phone, after an
// upgrade has put a partition table into block 0.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "nand_harness.h"

namespace velmora::testing {
namespace {

std::string Text(const std::vector<uint8_t>& v) {
    return {v.begin(), v.end()};
}

// A 128-block chip (R = 124, file system from 54) with bad blocks 5 (code
// area, replaced by 124) and 100 (EEROM area, replaced by 125), upgraded with two partitions
// that end at block 20.
class ReadEraseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sim.started) << sim.start_error;
        sim.SetFirmware(parts, BootImage(2));
        ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0)
            << sim.job->outcome().text;
    }

    std::vector<uint32_t> EraseRun(EraseRange range, uint32_t start = 0, uint32_t end = 0,
                                   int expect = 0) {
        sim.phone->trace().Clear();
        EXPECT_EQ(sim.Run(WorkMode::kErase, range,
                          [&](DownloadJob& job) {
                              job.range_start = start;
                              job.range_end = end;
                          }),
                  expect)
            << sim.job->outcome().text;
        return sim.phone->trace().ErasedBlocks();
    }

    static std::vector<uint32_t> Blocks(uint32_t first, uint32_t end) {
        std::vector<uint32_t> out;
        for (uint32_t b = first; b < end; ++b)
            if (b != 5 && b != 100)
                out.push_back(b);
        return out;
    }

    SimHarness sim{kChip128, {5, 100}};
    std::vector<Partition> parts = {
        {"code", 2 * kBlock, 10 * kBlock, Bytes(4 * kBlock + 999, 31), 0x21},
        {"yaffs", 14 * kBlock, 6 * kBlock, Bytes(3 * kSpareBlock + 64, 32), 0x81}};
};

TEST_F(ReadEraseTest, ReadByPartitionTableGivesTheFilesTheReportAndTheBootArea) {
    ASSERT_EQ(sim.Run(WorkMode::kReadCode, ReadRange::kPartitionTable), 0)
        << sim.job->outcome().text;
    EXPECT_EQ(sim.ReadFile("upload_nand/parti_01_code"), Text(parts[0].content));
    EXPECT_EQ(sim.ReadFile("upload_nand/parti_02_yaffs"), Text(parts[1].content));
    const auto block0 = sim.nand().ReadBlock(0, false);
    EXPECT_EQ(sim.ReadFile("upload_nand/boot_nand.bin"),
              Text({block0.begin(), block0.begin() + 65536}));
    EXPECT_EQ(sim.ReadFile("upload_nand/upload.ptt"),
              "Total partition number = 2.\n\n"
              "Boot NAND file name = boot_nand.bin.\n"
              "Boot NAND file size = 0x00004000\n"
              "\n[partition_#01]\n"
              "id                 = 0x63\n"
              "name               = code\n"
              "offset             = 0x00040000\n"
              "size               = 0x00140000\n"
              "content size       = 0x000803E7\n"
              "shadow addres      = 0x00000000\n"
              "execute address    = 0x00000000\n"
              "\n[partition_#02]\n"
              "id                 = 0x79\n"
              "name               = yaffs\n"
              "offset             = 0x001C0000\n"
              "size               = 0x000C0000\n"
              "content size       = 0x00063040\n"
              "shadow addres      = 0x00000000\n"
              "execute address    = 0x00000000\n"
              "\n[partition_table_config_end]\n");
}

// Over serial a block whose checksum fails is read again, even after the next
// block has been fetched, and the file comes out whole and in order.
TEST(ReadBack, ABadBlockChecksumIsReadAgainOverSerial) {
    SimHarness sim(kChip128, {}, [](sim::PhoneOptions& o) {
        o.faults.push_back({sim::FaultKind::kBadCrc, 11, 3, 1, 0});
        o.faults.push_back({sim::FaultKind::kBadCrc, 11, 6, 1, 0});  // the last block
    });
    ASSERT_TRUE(sim.started) << sim.start_error;
    const std::vector<Partition> parts = {
        {"code", 2 * kBlock, 6 * kBlock, Bytes(4 * kBlock + 5, 7), 0x21}};
    sim.SetFirmware(parts, BootImage(2));
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0) << sim.job->outcome().text;
    ASSERT_EQ(sim.Run(WorkMode::kReadCode, ReadRange::kPartitionTable), 0)
        << sim.job->outcome().text;
    EXPECT_EQ(sim.ReadFile("upload_nand/parti_01_code"), Text(parts[0].content));
    int reads_of_3 = 0;
    for (const sim::TraceEvent& e : sim.phone->trace().Of("frame")) {
        reads_of_3 += e.command == 11 && e.args[0] == 3;
    }
    EXPECT_EQ(reads_of_3, 2);
}

TEST_F(ReadEraseTest, EeromAndAreaReadsCopyTheBlocksAsTheyAre) {
    ASSERT_EQ(sim.Run(WorkMode::kReadCode, ReadRange::kEerom), 0) << sim.job->outcome().text;
    std::string eerom;
    for (uint32_t b = 54; b < 128; ++b)
        eerom += Text(sim.nand().ReadBlock(b, false));
    EXPECT_EQ(sim.ReadFile("upload_nand/upload_eerom.bin"), eerom);

    // Bytes 0x60001 to 0xC0000 touch blocks 3 to 6; logical 5 is read from its replacement.
    ASSERT_EQ(sim.Run(WorkMode::kReadCode, ReadRange::kArea,
                      [](DownloadJob& job) {
                          job.range_start = 3 * kBlock + 1;
                          job.range_end = 6 * kBlock;
                      }),
              0);
    std::string area;
    for (uint32_t b : {3, 4, 124, 6})
        area += Text(sim.nand().ReadBlock(b, false));
    EXPECT_EQ(sim.ReadFile("upload_nand/upload_range.bin"), area);

    // A disk that fills up fails the job rather than leaving a short file behind.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(sim.Run(WorkMode::kReadCode, ReadRange::kEerom,
                          [](DownloadJob& job) { job.job_file_path = "/dev/full"; }),
                  10000);
        EXPECT_EQ(sim.job->outcome().text.rfind("Cannot write /dev/full", 0), 0u)
            << sim.job->outcome().text;
    }
}

TEST_F(ReadEraseTest, EveryEraseRangeErasesExactlyItsGoodBlocks) {
    EXPECT_EQ(EraseRun(EraseRange::kFileSystem), Blocks(20, 54));
    EXPECT_EQ(EraseRun(EraseRange::kArea, 3 * kBlock + 1, 6 * kBlock), Blocks(3, 7));
    EXPECT_EQ(EraseRun(EraseRange::kEerom), Blocks(54, 124));
    EXPECT_EQ(EraseRun(EraseRange::kCode), Blocks(0, 20));
    EXPECT_EQ(EraseRun(EraseRange::kAll), Blocks(0, 54));
    EXPECT_FALSE(sim.nand().IsErased(124));  // logical 5's replacement keeps its data
    EXPECT_FALSE(sim.nand().IsErased(127));  // and the record its copies

    // Without a table in block 0 the code area is unknown: nothing is erased.
    EXPECT_TRUE(EraseRun(EraseRange::kFileSystem, 0, 0, 1).empty());
    EXPECT_EQ(sim.job->outcome().text, "Read flash parameter error #1");
    auto no_partitions = BootImage(2, kBlock);
    std::fill(no_partitions.begin() + 0x400, no_partitions.begin() + 0x800, 0xFF);
    sim.nand().WriteBlock(0, no_partitions, false);
    EXPECT_TRUE(EraseRun(EraseRange::kCode, 0, 0, 1).empty());
    EXPECT_NE(sim.job->outcome().text.find("no partition"), std::string::npos);
}

TEST_F(ReadEraseTest, HostileNamesOnThePhoneWriteNothingOutsideTheUploadFolder) {
    auto block0 = BootImage(2, kBlock);
    std::fill(block0.begin() + 0x400, block0.begin() + 0x800, 0xFF);
    const char* names[] = {"../../x", "\xff\xfe/\\ab"};
    for (int k = 0; k < 2; ++k) {
        uint8_t* r = block0.data() + 0x7C0 - 0x40 * k;
        StoreLe32(r, static_cast<uint32_t>((2 + k) * kBlock));
        StoreLe32(r + 4, kBlock);
        StoreLe32(r + 8, 100);
        std::fill(r + 28, r + 36, 0);
        std::copy_n(names[k], std::strlen(names[k]), r + 28);
    }
    StoreLe32(block0.data() + 0x7C0 - 0x80, 0);
    sim.nand().WriteBlock(0, block0, false);
    ASSERT_EQ(sim.Run(WorkMode::kReadCode, ReadRange::kPartitionTable), 0)
        << sim.job->outcome().text;

    std::set<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(sim.home.path())) {
        if (e.is_regular_file())
            files.insert(std::filesystem::relative(e.path(), sim.home.path()).string());
    }
    std::set<std::string> expected = {"FlashChip.ini", "upload_nand/boot_nand.bin",
                                      "upload_nand/upload.ptt", "upload_nand/parti_01_.._.._x",
                                      "upload_nand/parti_02_____ab"};
    for (const auto& f : files) {
        if (f.rfind("fw/", 0) != 0) {
            EXPECT_TRUE(expected.count(f)) << f;
        }
    }
    EXPECT_EQ(sim.ReadFile("upload_nand/parti_01_.._.._x").size(), 100u);
}

}  // namespace
}  // namespace velmora::testing
