// The repair bench's net: a backup before the first erase, a verify that finds
// what the chip did not keep, a restore that gives the EEROM back, and the
// health report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "config/sha1.h"
#include "job/safety_net.h"
#include "job/work_mode.h"
#include "nand_harness.h"

namespace velmora::testing {
namespace {

using Json = nlohmann::json;
constexpr int kBlocks = 128;
constexpr int kEeromFirst = kBlocks - 74;  // 54
constexpr int kReservoir = 124;

std::vector<Partition> Firmware() {
    return {{"code", 2 * kBlock, 4 * kBlock, Bytes(3 * kBlock + 100, 1)},
            {"lang", 6 * kBlock, 2 * kBlock, Bytes(kBlock, 2)}};
}

// Calibration data in the EEROM's first blocks, spare bytes included.
void FillEerom(sim::NandChip& nand) {
    for (int b = kEeromFirst; b < kEeromFirst + 6; ++b) {
        nand.WriteBlock(b, Bytes(nand.ReadBlock(b, true).size(), b), true);
    }
}

std::vector<std::vector<uint8_t>> Blocks(sim::NandChip& nand, int first, int end) {
    std::vector<std::vector<uint8_t>> out;
    for (int b = first; b < end; ++b) {
        out.push_back(nand.ReadBlock(b, true));
    }
    return out;
}

Json Manifest(const std::string& folder) {
    std::ifstream in(folder + "manifest.json");
    return Json::parse(in);
}

TEST(SafetyNet, AnUpgradeBacksUpWhatItErasesBeforeItErasesAndVerifiesWhatItWrote) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    sim.SetFirmware(Firmware(), BootImage(2));
    FillEerom(sim.nand());
    const auto data = Bytes(kBlock, 9);  // the file system's, in block 30
    sim.nand().WriteBlock(30, data, false);
    const auto eerom = Blocks(sim.nand(), kEeromFirst, kBlocks);
    const std::string folder = sim.home.path() + "backup/";

    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, upgrade_range::kAll,
                      [&](DownloadJob& job) {
                          job.backup_folder = folder;
                          job.verify = true;
                      }),
              0)
        << sim.job->error_text;
    EXPECT_GT(sim.job->written.size(), 5u);  // both partitions, block 0, the record copies

    const Json m = Manifest(folder);
    EXPECT_EQ(m["chip_id"], "EC 10 00 15");
    EXPECT_EQ(m["product_id"], "0001052052");
    EXPECT_EQ(m["geometry"]["block_count"], kBlocks);
    EXPECT_EQ(m["range"], "upgrade");
    std::map<std::string, Json> files;
    for (const Json& f : m["files"]) {
        files[f["name"]] = f;
        EXPECT_EQ(f["sha256"], Sha256FileHex(folder + f["name"].get<std::string>()));
    }
    ASSERT_TRUE(files.count("eerom.bin") && files.count("block0.bin") && files.count("area.bin"));
    // The EEROM as it was, spare bytes included; the file system as it was before the erase.
    std::string want;
    for (const auto& b : eerom)
        want.append(b.begin(), b.end());
    EXPECT_TRUE(sim.ReadFile("backup/eerom.bin") == want);
    const std::string area = sim.ReadFile("backup/area.bin");
    const size_t raw = eerom[0].size();
    EXPECT_EQ(area.size(), raw * (kEeromFirst - 1));
    EXPECT_EQ(area.substr(29 * raw, 2048), std::string(data.begin(), data.begin() + 2048));
}

TEST(SafetyNet, NoEraseWithoutACompleteBackup) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    sim.SetFirmware(Firmware(), BootImage(2));
    sim.nand().WriteBlock(3, Bytes(kBlock, 5), false);
    // A backup "folder" that is a file: the backup cannot be written.
    sim.home.Write("not-a-folder", "x");
    EXPECT_EQ(
        sim.Run(WorkMode::kCodeUpgrade, upgrade_range::kAll,
                [&](DownloadJob& job) { job.backup_folder = sim.home.path() + "not-a-folder"; }),
        result::safety_net::kBackupFailed);
    EXPECT_NE(sim.job->error_text.find("Nothing was erased"), std::string::npos);
    EXPECT_EQ(sim.nand().ReadBlock(3, false), Bytes(kBlock, 5));
    // Nor when a block of the EEROM cannot be read.
    SimHarness broken(kChip128, {}, [](sim::PhoneOptions& o) {
        o.faults.push_back(
            {sim::FaultKind::kStatus, 11, kEeromFirst + 3, 0, 1});  // every read of it
    });
    broken.SetFirmware(Firmware(), BootImage(2));
    broken.nand().WriteBlock(3, Bytes(kBlock, 5), false);
    EXPECT_EQ(broken.Run(WorkMode::kCodeUpgrade, upgrade_range::kAll,
                         [&](DownloadJob& job) { job.backup_folder = broken.home.path() + "bk"; }),
              result::safety_net::kBackupFailed);
    EXPECT_EQ(broken.nand().ReadBlock(3, false), Bytes(kBlock, 5));
}

TEST(SafetyNet, VerifyNamesABlockTheChipDidNotKeepAndForgivesAReadDisturb) {
    // Block 3 holds code; the chip stores one of its bytes with a bit inverted.
    SimHarness lying(kChip128, {}, [](sim::PhoneOptions& o) { o.flips = {{3, 5000}}; });
    lying.SetFirmware(Firmware(), BootImage(2));
    EXPECT_EQ(lying.Run(WorkMode::kCodeUpgrade, upgrade_range::kAll,
                        [](DownloadJob& job) { job.verify = true; }),
              result::safety_net::kVerifyMismatch);
    EXPECT_EQ(lying.job->error_text, "Verify failed: block 3 read back unlike what was written.");
    EXPECT_EQ(lying.display.state(3), BlockState::kFailed);
    // Without the verify the same job ends in success: the flip goes unseen.
    SimHarness unseen(kChip128, {}, [](sim::PhoneOptions& o) { o.flips = {{3, 5000}}; });
    unseen.SetFirmware(Firmware(), BootImage(2));
    EXPECT_EQ(unseen.Run(WorkMode::kCodeUpgrade, upgrade_range::kAll), 0);

    // A bit flipped on the way back, once: read again, the block matches.
    SimHarness disturbed(kChip128, {}, [](sim::PhoneOptions& o) { o.read_flips = {2, 6}; });
    disturbed.SetFirmware(Firmware(), BootImage(2));
    EXPECT_EQ(disturbed.Run(WorkMode::kCodeUpgrade, upgrade_range::kAll,
                            [](DownloadJob& job) { job.verify = true; }),
              0)
        << disturbed.job->error_text;
}

TEST(SafetyNet, RestoreGivesTheEeromBackAfterItsEraseAndRefusesAnotherChip) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    FillEerom(sim.nand());
    const auto eerom = Blocks(sim.nand(), kEeromFirst, kReservoir);
    const std::string folder = sim.home.path() + "bk/";
    ASSERT_EQ(sim.Run(WorkMode::kBackup, backup_range::kEerom,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              0)
        << sim.job->error_text;
    ASSERT_EQ(sim.Run(WorkMode::kErase, erase_range::kEerom), 0);
    ASSERT_TRUE(sim.nand().IsErased(kEeromFirst));

    ASSERT_EQ(sim.Run(WorkMode::kRestore, backup_range::kEerom,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              0)
        << sim.job->error_text;
    EXPECT_TRUE(Blocks(sim.nand(), kEeromFirst, kReservoir) == eerom);
    EXPECT_EQ(sim.job->written.size(), 6u);  // erased blocks need no write

    // Another chip (other ID bytes): refused before anything is erased.
    SimHarness other(kChip128, {}, [](sim::PhoneOptions& o) {
        o.id = std::array<uint8_t, 4>{0xEC, 0x10, 0x00, 0x95};
    });
    other.nand().WriteBlock(kEeromFirst, Bytes(kBlock, 4), false);
    EXPECT_EQ(other.Run(WorkMode::kRestore, backup_range::kEerom,
                        [&](DownloadJob& job) { job.backup_folder = folder; }),
              result::safety_net::kRestoreRefused);
    EXPECT_NE(other.job->error_text.find("chip EC 10 00 15"), std::string::npos);
    EXPECT_EQ(other.nand().ReadBlock(kEeromFirst, false), Bytes(kBlock, 4));

    // A file that no longer matches its sum: refused, at Start and in the job.
    { std::ofstream(folder + "eerom.bin", std::ios::binary | std::ios::app) << 'x'; }
    EXPECT_NE(ReadBackupSummary(folder, true).error.find("does not match its SHA-256"),
              std::string::npos);
    EXPECT_EQ(sim.Run(WorkMode::kRestore, backup_range::kEerom,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              result::safety_net::kRestoreRefused);
}

TEST(SafetyNet, HealthTellsFactoryGrownAndReplacedBlocksAndWhatChangedSinceABackup) {
    // Block 5 is bad from the factory; block 30 wears out after the first job.
    SimHarness sim(kChip128, {5}, [](sim::PhoneOptions& o) { o.turns_bad = {30}; });
    ASSERT_TRUE(sim.started) << sim.start_error;
    sim.SetFirmware(Firmware(), BootImage(2));
    const std::string folder = sim.home.path() + "bk/";
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, upgrade_range::kAll,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              0)
        << sim.job->error_text;
    ASSERT_EQ(sim.Run(WorkMode::kHealth, 0, [&](DownloadJob& job) { job.since_path = folder; }), 0)
        << sim.job->error_text;
    const Json h = Json::parse(sim.job->report);
    EXPECT_EQ(h["bad_blocks"]["replaced"], Json::parse(R"([{"block":5,"by":124}])"));
    EXPECT_EQ(h["bad_blocks"]["unreplaced"], Json::parse("[30]"));
    EXPECT_EQ(h["reservoir"]["used"], 1);
    EXPECT_EQ(h["reservoir"]["free"], 1);  // 124 used, 126 and 127 hold the record
    EXPECT_EQ(h["record"]["copies"], Json::parse("[127,126]"));
    EXPECT_TRUE(h["record"]["copies_equal"]);
    ASSERT_EQ(h["partitions"].size(), 2u);
    EXPECT_EQ(h["partitions"][0]["first"], 2);
    EXPECT_EQ(h["since"]["changes"], Json::parse(R"(["Block 30 turned bad."])"));
    const std::string text = HealthText(sim.job->report);
    for (const char* line :
         {"Bad blocks: 2 (1 replaced, 1 without a replacement, 0 in the reservoir)",
          "  block 5 replaced by block 124", "  block 30: no replacement",
          "Reservoir: blocks 124 to 127 (4): 1 used, 1 free, 0 bad",
          "Record: present; copies in blocks 127 126, equal", "  Block 30 turned bad."}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
}

}  // namespace
}  // namespace velmora::testing
