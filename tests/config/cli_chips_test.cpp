// velmora-cli chips, and the catalogue of a program installed under some prefix.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "run_shell.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

using testing::Outcome;
using testing::RunShell;

// velmora-cli with `args` on the home folder; stderr is dropped.
Outcome Cli(const testing::TempDir& home, const std::string& args) {
    return RunShell(std::string(VELMORA_BIN_DIR) + "/velmora-cli --home " + home.path() + " " +
                    args + " 2>/dev/null");
}

std::string ShippedCatalogue() {
    std::ifstream in(VELMORA_SOURCE_DIR "/res/FlashChip.ini", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CliChips, ListsTheShippedCatalogue) {
    testing::TempDir home;
    home.Write("FlashChip.ini", ShippedCatalogue());
    const Outcome text = Cli(home, "chips");
    EXPECT_EQ(text.status, 0) << text.out;
    EXPECT_NE(text.out.find("EC,A1  Samsung  K9F1G08R0A     1024  128 KiB   2048     64   128 MiB"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("V1.0"), std::string::npos) << text.out;

    const Outcome json = Cli(home, "--json chips");
    ASSERT_EQ(json.status, 0) << json.out;
    const auto event = nlohmann::json::parse(json.out);
    EXPECT_EQ(event["event"], "chips");
    EXPECT_EQ(event["version"], "1.0");
    std::vector<std::string> ids;
    int named = 0;
    for (const auto& chip : event["chips"]) {
        ids.push_back(chip["id"]);
        EXPECT_TRUE(chip["problem"].is_null()) << chip;
        EXPECT_GE(chip["block_count"].get<int>(), 1024) << chip;
        EXPECT_EQ(chip["bytes"].get<int64_t>(),
                  chip["block_count"].get<int64_t>() * chip["block_size"].get<int64_t>());
        named += chip["part"] != "" ? 1 : 0;
    }
    ASSERT_EQ(ids,
              (std::vector<std::string>{"EC,A1", "20,A1", "EC,AA", "20,AA", "EC,F1", "20,F1",
                                        "EC,DA", "20,DA", "20,35", "20,75", "20,36", "20,76"}));
    // Only the six parts the tool was made for carry a part name.
    EXPECT_EQ(named, 6);
    const auto& small = event["chips"][8];  // 20,35
    EXPECT_EQ(small["maker"], "ST");
    EXPECT_EQ(small["part"], "NAND256R3A");
    EXPECT_EQ(small["page_size"], 512);
    EXPECT_EQ(small["spare_size"], 16);
    EXPECT_EQ(small["block_size"], 16384);
}

TEST(CliChips, RefusesOnlyACatalogueThatCannotBeUsedAtAll) {
    testing::TempDir home;
    EXPECT_EQ(Cli(home, "chips").status, 2);
    const Outcome missing = Cli(home, "--json chips");
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(nlohmann::json::parse(missing.out).contains("error")) << missing.out;

    // Entries the program cannot serve are listed as refused, with the reason; the
    // catalogue stays usable for every other chip.
    home.Write("FlashChip.ini", ShippedCatalogue() +
                                    "\n[EC,F2]\nBLOCK_NUM=1024\n[EC,B2]\nBLOCK_NUM=2048\n"
                                    "BLOCK_SIZE=16\nPAGE_SIZE=528\nSPARE_SIZE=16\nERASE_TIME=1\n"
                                    "WRITE_TIME=1\n");
    const Outcome odd = Cli(home, "--json chips");
    EXPECT_EQ(odd.status, 0) << odd.out;
    const auto event = nlohmann::json::parse(odd.out);
    EXPECT_FALSE(event.contains("error")) << odd.out;
    ASSERT_EQ(event["chips"].size(), 14u);
    EXPECT_EQ(event["chips"][0]["refused"], false);
    EXPECT_TRUE(event["chips"][0]["reason"].is_null());
    EXPECT_EQ(event["chips"][12]["refused"], true);
    EXPECT_NE(event["chips"][12]["reason"].get<std::string>().find("lacks BLOCK_SIZE"),
              std::string::npos);
    EXPECT_EQ(event["chips"][13]["reason"], "PAGE_SIZE=528 is not a non-zero multiple of 512");
    const Outcome text = Cli(home, "chips");
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("refused: PAGE_SIZE=528"), std::string::npos) << text.out;

    // Another chip's upgrade goes through; the 528-byte chip fails its identification.
    const std::string upgrade =
        "upgrade --ptt " VELMORA_BINARY_DIR "/examples/sample/sample.ptt --port sim";
    const Outcome served = Cli(home, upgrade);
    EXPECT_EQ(served.status, 0) << served.out;
    const Outcome refused = Cli(home, upgrade + ":id=EC,B2,00,15");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.out.find("result: -7"), std::string::npos) << refused.out;
    EXPECT_NE(refused.out.find("error: Invalid parameters! The catalogue entry [EC,B2] in " +
                               home.path() + "FlashChip.ini cannot be served: PAGE_SIZE=528"),
              std::string::npos)
        << refused.out;
}

// An install under a prefix that is not the one the program was built for:
// the catalogue is found beside the executable, copied into the user's data
// folder, and refreshed there by a newer installed one.
TEST(CliChips, InstalledProgramFindsAndRefreshesItsCatalogue) {
    testing::TempDir prefix;
    testing::TempDir xdg;
    namespace fs = std::filesystem;
    fs::create_directories(prefix.path() + "bin");
    fs::copy_file(VELMORA_BIN_DIR "/velmora-cli", prefix.path() + "bin/velmora-cli");
    const std::string shipped = ShippedCatalogue();
    prefix.Write("share/velmora/FlashChip.ini", shipped);
    testing::TempDir err;
    const std::string command = "env -u VELMORA_HOME XDG_DATA_HOME=" + xdg.path() + " " +
                                prefix.path() + "bin/velmora-cli chips 2>" + err.path() + "stderr";
    const Outcome first = RunShell(command);
    EXPECT_EQ(first.status, 0) << first.out << err.Read("stderr");
    EXPECT_EQ(xdg.Read("velmora/FlashChip.ini"), shipped);

    std::string newer = shipped;
    newer.replace(newer.find("VER=1.0"), 7, "VER=1.1");
    prefix.Write("share/velmora/FlashChip.ini", newer);
    const Outcome second = RunShell(command);
    EXPECT_EQ(second.status, 0);
    EXPECT_NE(second.out.find("V1.1"), std::string::npos) << second.out;
    EXPECT_NE(err.Read("stderr").find("updated from V1.0 to V1.1"), std::string::npos)
        << err.Read("stderr");
    EXPECT_EQ(xdg.Read("velmora/FlashChip.ini"), newer);
}

}  // namespace
}  // namespace velmora
