// Runs the built velmora-cli on the sample firmware that examples/make-sample.py makes.
#include <gtest/gtest.h>

#include <string>

#include "config/boot_block.h"
#include "config/partition_table.h"
#include "run_shell.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

using testing::Outcome;

// Output and errors together.
Outcome Shell(const std::string& command) {
    return testing::RunShell(command + " 2>&1");
}

class SampleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const Outcome made =
            Shell("python3 '" VELMORA_SOURCE_DIR "/examples/make-sample.py' '" + dir_.path() + "'");
        ASSERT_EQ(made.status, 0) << made.out;
    }
    Outcome Cli(const std::string& args) {
        return Shell("'" VELMORA_BIN_DIR "/velmora-cli' --home '" + dir_.path() + "' " + args);
    }
    testing::TempDir dir_;
};

TEST_F(SampleTest, CliPrintsTheSummary) {
    const Outcome run = Cli("ptt '" + dir_.path() + "sample.ptt'");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    EXPECT_EQ(run.out.rfind("Total partition number = 3.\n\n", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Total files size    = 0x00137000.\n"), std::string::npos);
    EXPECT_NE(run.out.find("file               = images\\lang.bin\n"), std::string::npos);
}

TEST_F(SampleTest, CliRefusesABrokenTable) {
    dir_.Write("big.ptt",
               "[partition_table_config_start]\nnumber_of_partition=1\nBootNand=boot_nand.bin\n"
               "[partition#01]\npartition_id=1\npartition_name=code\npartition_path=code.bin\n"
               "partition_size=0x1000\npartition_offset=0x20000\npartition_protected=0\n");
    Outcome run = Cli("ptt '" + dir_.path() + "big.ptt'");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("Partition#1 content size too large(Partition size = 0x1000, "
                           "content size = 0xa0000)"),
              std::string::npos)
        << run.out;
    run = Cli("ptt '" + dir_.path() + "absent.ptt'");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("cannot read " + dir_.path() + "absent.ptt: No such file"),
              std::string::npos)
        << run.out;
}

TEST_F(SampleTest, SampleFitsItsPartitionsAndBootImagesParse) {
    for (const char* name : {"sample.ptt", "sample-v3.ptt"}) {
        PartitionTable table;
        ASSERT_EQ(table.Load(dir_.path() + name), 0) << name;
        EXPECT_EQ(table.boot_file_size, 0x4000u);
        EXPECT_EQ(table.entries[0].flags, 0xFu);
        EXPECT_NE(table.entries[0].digest, (std::array<uint8_t, 20>{}));
        EXPECT_GE(table.entries[2].NameText()[0], 'q');  // carries spare bytes
        const std::string boot = dir_.Read(table.boot_file_name);
        const std::vector<uint8_t> bytes(boot.begin(), boot.end());
        BootTable parsed;
        ASSERT_EQ(ParseBootBlock(bytes, parsed), 0);
        EXPECT_EQ(parsed.version, name == std::string("sample.ptt") ? 2 : 3);
        EXPECT_EQ(parsed.partition_count, 0);  // the table areas are left free
    }
}

}  // namespace
}  // namespace velmora
