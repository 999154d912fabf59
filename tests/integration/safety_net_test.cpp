// The repair bench's net: a backup before the first erase, a verify that finds
// what the chip did not keep, a restore that gives the EEROM back, and the
// health report.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "config/sha1.h"
#include "job/work_mode.h"
#include "nand_harness.h"
#include "safety/health.h"
#include "safety/safety_net.h"

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

// Block 1 and block 6 lie in no partition; block 3, in the code, is bad.
std::vector<Partition> GappedFirmware() {
    return {{"code", 2 * kBlock, 4 * kBlock, Bytes(3 * kBlock + 100, 1)},
            {"lang", 7 * kBlock, 2 * kBlock, Bytes(kBlock, 2)}};
}

// A phone with that firmware, bad block 3 replaced by block 124, data in the
// gaps, the file system and the EEROM, and a backup of everything in `folder`.
void BackUpAGappedPhone(SimHarness& sim, const std::string& folder) {
    sim.SetFirmware(GappedFirmware(), BootImage(2));
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0) << sim.job->outcome().text;
    for (const int b : {1, 6, 30}) {
        sim.nand().WriteBlock(b, Bytes(kSpareBlock, b), true);
    }
    FillEerom(sim.nand());
    ASSERT_EQ(sim.Run(WorkMode::kBackup, BackupRange::kAll,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              0)
        << sim.job->outcome().text;
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

    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll,
                      [&](DownloadJob& job) {
                          job.backup_folder = folder;
                          job.verify = true;
                      }),
              0)
        << sim.job->outcome().text;
    EXPECT_GT(sim.job->written().size(), 5u);  // both partitions, block 0, the record copies

    const Json m = Manifest(folder);
    EXPECT_EQ(m["chip_id"], "EC 10 00 15");
    EXPECT_EQ(m["product_id"], "52,20,05,01,00");
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
        sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll,
                [&](DownloadJob& job) { job.backup_folder = sim.home.path() + "not-a-folder"; }),
        result::safety_net::kBackupFailed);
    EXPECT_NE(sim.job->outcome().text.find("Nothing was erased"), std::string::npos);
    EXPECT_EQ(sim.nand().ReadBlock(3, false), Bytes(kBlock, 5));
    // Nor when a block of the EEROM cannot be read.
    SimHarness broken(kChip128, {}, [](sim::PhoneOptions& o) {
        o.faults.push_back(
            {sim::FaultKind::kStatus, 11, kEeromFirst + 3, 0, 1});  // every read of it
    });
    broken.SetFirmware(Firmware(), BootImage(2));
    broken.nand().WriteBlock(3, Bytes(kBlock, 5), false);
    EXPECT_EQ(broken.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll,
                         [&](DownloadJob& job) { job.backup_folder = broken.home.path() + "bk"; }),
              result::safety_net::kBackupFailed);
    EXPECT_EQ(broken.nand().ReadBlock(3, false), Bytes(kBlock, 5));
}

TEST(SafetyNet, VerifyNamesABlockTheChipDidNotKeepAndForgivesAReadDisturb) {
    // Block 3 holds code; the chip stores one of its bytes with a bit inverted.
    SimHarness lying(kChip128, {}, [](sim::PhoneOptions& o) { o.flips = {{3, 5000}}; });
    lying.SetFirmware(Firmware(), BootImage(2));
    EXPECT_EQ(lying.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll,
                        [](DownloadJob& job) { job.verify = true; }),
              result::safety_net::kVerifyMismatch);
    EXPECT_EQ(lying.job->outcome().text,
              "Verify failed: block 3 read back unlike what was written.");
    EXPECT_EQ(lying.display.state(3), BlockState::kFailed);
    // Without the verify the same job ends in success: the flip goes unseen.
    SimHarness unseen(kChip128, {}, [](sim::PhoneOptions& o) { o.flips = {{3, 5000}}; });
    unseen.SetFirmware(Firmware(), BootImage(2));
    EXPECT_EQ(unseen.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll), 0);

    // A bit flipped on the way back, once: read again, the block matches.
    SimHarness disturbed(kChip128, {}, [](sim::PhoneOptions& o) { o.read_flips = {2, 6}; });
    disturbed.SetFirmware(Firmware(), BootImage(2));
    EXPECT_EQ(disturbed.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll,
                            [](DownloadJob& job) { job.verify = true; }),
              0)
        << disturbed.job->outcome().text;
}

TEST(SafetyNet, RestoreGivesTheEeromBackAfterItsEraseAndRefusesAnotherChip) {
    SimHarness sim(kChip128);
    ASSERT_TRUE(sim.started) << sim.start_error;
    FillEerom(sim.nand());
    const auto eerom = Blocks(sim.nand(), kEeromFirst, kReservoir);
    const std::string folder = sim.home.path() + "bk/";
    ASSERT_EQ(sim.Run(WorkMode::kBackup, BackupRange::kEerom,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              0)
        << sim.job->outcome().text;
    ASSERT_EQ(sim.Run(WorkMode::kErase, EraseRange::kEerom), 0);
    ASSERT_TRUE(sim.nand().IsErased(kEeromFirst));

    ASSERT_EQ(sim.Run(WorkMode::kRestore, BackupRange::kEerom,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              0)
        << sim.job->outcome().text;
    EXPECT_TRUE(Blocks(sim.nand(), kEeromFirst, kReservoir) == eerom);
    EXPECT_EQ(sim.job->written().size(), 6u);  // erased blocks need no write

    // Another chip (other ID bytes): refused before anything is erased.
    SimHarness other(kChip128, {}, [](sim::PhoneOptions& o) {
        o.id = std::array<uint8_t, 4>{0xEC, 0x10, 0x00, 0x95};
    });
    other.nand().WriteBlock(kEeromFirst, Bytes(kBlock, 4), false);
    EXPECT_EQ(other.Run(WorkMode::kRestore, BackupRange::kEerom,
                        [&](DownloadJob& job) { job.backup_folder = folder; }),
              result::safety_net::kRestoreRefused);
    EXPECT_NE(other.job->outcome().text.find("chip EC 10 00 15"), std::string::npos);
    EXPECT_EQ(other.nand().ReadBlock(kEeromFirst, false), Bytes(kBlock, 4));

    // A file that no longer matches its sum: refused, at Start and in the job.
    { std::ofstream(folder + "eerom.bin", std::ios::binary | std::ios::app) << 'x'; }
    EXPECT_NE(ReadBackupSummary(folder, true).error.find("does not match its SHA-256"),
              std::string::npos);
    EXPECT_EQ(sim.Run(WorkMode::kRestore, BackupRange::kEerom,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              result::safety_net::kRestoreRefused);
}

TEST(SafetyNet, HealthTellsFactoryGrownAndReplacedBlocksAndWhatChangedSinceABackup) {
    // Block 5 is bad from the factory; block 30 wears out after the first job.
    SimHarness sim(kChip128, {5}, [](sim::PhoneOptions& o) { o.turns_bad = {30}; });
    ASSERT_TRUE(sim.started) << sim.start_error;
    sim.SetFirmware(Firmware(), BootImage(2));
    const std::string folder = sim.home.path() + "bk/";
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kAll,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              0)
        << sim.job->outcome().text;
    ASSERT_EQ(sim.Run(WorkMode::kHealth, {}, [&](DownloadJob& job) { job.since_path = folder; }), 0)
        << sim.job->outcome().text;
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

TEST(SafetyNet, ABackupOfEverythingHoldsEachGoodBlockOnceAndARestoreGivesEachBack) {
    // Block 30 of the file system wears out after the upgrade: no erase or write
    // touches it again, and the restore leaves it as it is.
    SimHarness sim(kChip128, {3}, [](sim::PhoneOptions& o) { o.turns_bad = {30}; });
    const std::string folder = sim.home.path() + "all/";
    BackUpAGappedPhone(sim, folder);
    const auto before = Blocks(sim.nand(), 0, kBlocks);
    std::map<int, int> files_holding;
    const Json manifest = Manifest(folder);
    for (const Json& f : manifest["files"]) {
        for (const Json& b : f["blocks"]) {
            ++files_holding[b[1].get<int>()];
        }
    }
    for (int b = 0; b < kBlocks; ++b) {
        EXPECT_EQ(files_holding[b], b == 3 ? 0 : 1) << "block " << b;
    }

    ASSERT_EQ(sim.Run(WorkMode::kErase, EraseRange::kAll), 0) << sim.job->outcome().text;
    ASSERT_TRUE(sim.nand().IsErased(1));
    ASSERT_EQ(sim.Run(WorkMode::kRestore, BackupRange::kAll,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              0)
        << sim.job->outcome().text;
    for (int b = 0; b < kBlocks; ++b) {
        EXPECT_TRUE(sim.nand().ReadBlock(b, true) == before[static_cast<size_t>(b)])
            << "block " << b;
    }
    EXPECT_EQ(sim.job->notes(), std::vector<std::string>{
                                    "Block 30 was bad at the backup and still is; it was left as "
                                    "it is."});
}

TEST(SafetyNet, ARestoreRefusesAManifestThatPutsAFileWhereItDoesNotBelong) {
    SimHarness sim(kChip128, {3});
    const std::string folder = sim.home.path() + "all/";
    BackUpAGappedPhone(sim, folder);
    const auto before = Blocks(sim.nand(), 0, kBlocks);
    const Json manifest = Manifest(folder);
    auto file = [](Json& m, const std::string& name) -> Json& {
        for (Json& f : m["files"]) {
            if (f["name"] == name)
                return f;
        }
        throw std::runtime_error(name);
    };
    const std::vector<std::pair<std::function<void(Json&)>, std::string>> cases = {
        {[&](Json& m) {
             file(m, "eerom.bin")["blocks"][0] = {0, 0};
         },
         "eerom.bin lists block 0, which is not a block of the EEROM (the top 74 blocks)"},
        {[&](Json& m) {
             file(m, "parti_02_lang.bin")["blocks"][0] = {5, 5};
         },
         "parti_02_lang.bin lists block 5, which lies outside its partition (blocks 7 to 8)"},
        {[&](Json& m) {
             file(m, "blocks_6-6.bin")["blocks"][0] = {1, 1};
         },
         "Block 1 would be written twice, from blocks_1-1.bin and from blocks_6-6.bin"},
        {[&](Json& m) { file(m, "filesystem.bin")["blocks"].erase(0); },
         "filesystem.bin holds 6082560 bytes, where its manifest entry wants 44 blocks of 135168 "
         "bytes"},
    };
    for (const auto& [edit, refusal] : cases) {
        Json m = manifest;
        edit(m);
        std::ofstream(folder + "manifest.json") << m.dump(1);
        EXPECT_EQ(sim.Run(WorkMode::kRestore, BackupRange::kAll,
                          [&](DownloadJob& job) { job.backup_folder = folder; }),
                  result::safety_net::kRestoreRefused);
        EXPECT_NE(sim.job->outcome().text.find(refusal + ". Nothing was erased."),
                  std::string::npos)
            << sim.job->outcome().text;
    }
    EXPECT_TRUE(Blocks(sim.nand(), 0, kBlocks) == before);
}

// The first tool's backup (manifest format 1, product ID "0001052052") of a chip
// of 80 blocks of 16 KiB whose block 3 is bad and replaced by block 77, which
// it holds twice: in the code partition's file and in eerom.bin.
std::string UnpackFirstToolsBackup(const std::string& to) {
    const std::filesystem::path from =
        VELMORA_SOURCE_DIR "/tests/integration/fixtures/backup-format1";
    std::filesystem::create_directories(to);
    for (const auto& entry : std::filesystem::directory_iterator(from)) {
        const bool packed = entry.path().extension() == ".gz";
        std::ofstream out(to + (packed ? entry.path().stem() : entry.path().filename()).string(),
                          std::ios::binary);
        if (!packed) {
            out << std::ifstream(entry.path()).rdbuf();
            continue;
        }
        gzFile in = gzopen(entry.path().c_str(), "rb");
        char buffer[65536];
        for (int n = 0; (n = gzread(in, buffer, sizeof buffer)) > 0;) {
            out.write(buffer, n);
        }
        gzclose(in);
    }
    return to;
}

TEST(SafetyNet, ABackupOfTheFirstToolRestoresOnAChipWithAReplacedBlockWritingEachBlockOnce) {
    // Block 77's second erase fails, and its retry: a restore that writes it twice fails.
    SimHarness sim("EC,16", {3}, [](sim::PhoneOptions& o) {
        std::ofstream(o.catalogue + "FlashChip.ini", std::ios::app)
            << "[EC,16]\nBLOCK_NUM=80\nBLOCK_SIZE=16\nPAGE_SIZE=2048\nSPARE_SIZE=64\n"
               "ERASE_TIME=2000\nWRITE_TIME=200\n";
        o.faults.push_back({sim::FaultKind::kStatus, 10, 77, 2, 1});
        o.faults.push_back({sim::FaultKind::kStatus, 10, 77, 3, 1});
    });
    ASSERT_TRUE(sim.started) << sim.start_error;
    const std::string folder = UnpackFirstToolsBackup(sim.home.path() + "old/");
    const size_t raw = 8 * 2112;
    // The phone keeps its EEROM and record; the code and block 0 are gone.
    const std::string eerom = sim.ReadFile("old/eerom.bin");
    for (int b = 6; b < 80; ++b) {
        const auto* at = reinterpret_cast<const uint8_t*>(eerom.data()) + (b - 6) * raw;
        sim.nand().WriteBlock(b, std::vector<uint8_t>(at, at + raw), true);
    }
    EXPECT_EQ(ReadBackupSummary(folder, true).product_id, "52,20,05,01,00");
    ASSERT_EQ(sim.Run(WorkMode::kRestore, BackupRange::kAll,
                      [&](DownloadJob& job) { job.backup_folder = folder; }),
              0)
        << sim.job->outcome().text;
    const Json manifest = Manifest(folder);
    for (const Json& f : manifest["files"]) {
        const std::string bytes = sim.ReadFile("old/" + f["name"].get<std::string>());
        for (size_t i = 0; i < f["blocks"].size(); ++i) {
            const auto block = sim.nand().ReadBlock(f["blocks"][i][1].get<uint32_t>(), true);
            EXPECT_TRUE(bytes.compare(i * raw, raw, std::string(block.begin(), block.end())) == 0)
                << f["name"] << " block " << f["blocks"][i];
        }
    }
}

TEST(SafetyNet, TheEeromIsReadTwiceBeforeAnEraseAndABitFlippedOnItsWayOutIsOutvoted) {
    constexpr int kFlipped = kEeromFirst + 10;  // erased, and never read before the job
    for (const bool once : {false, true}) {
        SimHarness sim(kChip128, {}, [](sim::PhoneOptions& o) { o.read_flips = {kFlipped}; });
        FillEerom(sim.nand());
        std::string want;
        for (int b = kEeromFirst; b < kBlocks; ++b) {
            const auto block = b == kFlipped ? std::vector<uint8_t>(kSpareBlock, 0xFF)
                                             : sim.nand().ReadBlock(b, true);
            want.append(block.begin(), block.end());
        }
        ASSERT_EQ(sim.Run(WorkMode::kErase, EraseRange::kAll,
                          [&](DownloadJob& job) {
                              job.backup_folder = sim.home.path() + "bk";
                              job.read_once = once;
                          }),
                  0)
            << sim.job->outcome().text;
        EXPECT_EQ(sim.ReadFile("bk/eerom.bin") == want, !once);
        const std::vector<std::string> notes = {
            "Block 64 read differently twice; a third read settled it byte by byte."};
        EXPECT_EQ(sim.job->notes(), once ? std::vector<std::string>{} : notes);
    }
}

TEST(SafetyNet, ManifestsAndReportsOfTheWrongShapeAreClearErrorsAndBothProductIdSpellingsRead) {
    TempDir dir;
    const std::string geometry =
        R"("geometry":{"block_count":128,"block_size":131072,"page_size":2048,"spare_size":64})";
    const std::string file = R"({"name":"e","kind":"eerom","sha256":"0","size":)";
    for (const std::string& text : std::vector<std::string>{
             "[1]", "5", "{", "null", R"({"files":"x",)" + geometry + "}", R"({"files":[]})",
             R"({"files":[],"geometry":[1]})", R"({"date":5,"files":[],)" + geometry + "}",
             R"({"format":"1","files":[],)" + geometry + "}",
             R"({"bad_blocks":{"a":1},"files":[],)" + geometry + "}",
             R"({"replacements":[5],"files":[],)" + geometry + "}",
             R"({"files":[5],)" + geometry + "}",
             R"({"files":[)" + file + R"("1","blocks":[]}],)" + geometry + "}",
             R"({"files":[)" + file + R"(1,"blocks":5}],)" + geometry + "}",
             R"({"files":[)" + file + R"(1,"blocks":[["1",2]]}],)" + geometry + "}",
             R"({"files":[)" + file + R"(1.5,"blocks":[]}],)" + geometry + "}",
             R"({"files":[],"geometry":{"block_count":1e400}})"}) {
        dir.Write("bk/manifest.json", text);
        EXPECT_NE(
            ReadBackupSummary(dir.path() + "bk", false).error.find("is not a backup manifest"),
            std::string::npos)
            << text;
    }
    for (const char* text :
         {"[]", R"({"bad_blocks":[]})", R"({"bad_blocks":{"replaced":5}})",
          R"({"bad_blocks":{"replaced":[{"block":"5","by":1}]}})",
          R"({"bad_blocks":{"unreplaced":["x"]}})", R"({"bad_blocks":{},"reservoir":{"used":"3"}})",
          R"({"bad_blocks":{},"chip_id":7})"}) {
        BadBlockView view;
        std::string error;
        EXPECT_FALSE(ReadBadBlockView(dir.Write("h.json", text), view, error)) << text;
        EXPECT_NE(error.find("is neither a backup folder nor a health report"), std::string::npos);
    }
    // A report of any shape is shown as far as it goes.
    const std::string odd = HealthText(
        R"({"geometry":5,"product_id":"0701002052","bad_blocks":{"replaced":[5,{"block":"x"}]},)"
        R"("record":{"present":true,"copies":"x"},"partitions":[{"blocks":[1,[2]]},3],)"
        R"("since":{"changes":[1]}})");
    EXPECT_NE(odd.find("Product ID 52,20,00,01,07\n"), std::string::npos) << odd;
    EXPECT_NE(HealthText(R"({"product_id":"52,20,00,01,07"})").find("Product ID 52,20,00,01,07"),
              std::string::npos);
}

}  // namespace
}  // namespace velmora::testing
