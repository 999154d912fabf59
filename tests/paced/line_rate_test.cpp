// Jobs at 115200 baud against a phone that takes and sends bytes no faster than
// its line, as every UART does, and takes the catalogue's erase and program
// times. Slow by nature (the line carries about 11 KiB a second): label "paced".
#include <gtest/gtest.h>

#include "integration/nand_harness.h"

namespace velmora::testing {
namespace {

constexpr size_t kBlock = 0x20000;

void At115200(DownloadJob& job) {
    job.baud_selection = 0;
}

void Paced(sim::PhoneOptions& options) {
    options.pace = true;
}

// A block's 65,536-byte data phases need 5.7 s each on this line: the port write
// and the answer wait must cover that, and the read-back must give the block back.
TEST(LineRate, UpgradeAndReadBackAt115200) {
    SimHarness sim(kChip128, {}, Paced);
    ASSERT_TRUE(sim.started) << sim.start_error;
    const std::vector<Partition> parts = {{"code", 4 * kBlock, 2 * kBlock, Bytes(kBlock, 1), 1}};
    sim.SetFirmware(parts, BootImage(2));
    ASSERT_EQ(sim.Run(WorkMode::kCodeUpgrade, UpgradeRange::kCode, At115200), 0)
        << sim.job->outcome().text;
    EXPECT_EQ(sim.nand().ReadBlock(4, false), parts[0].content);

    ASSERT_EQ(sim.Run(WorkMode::kReadCode, ReadRange::kPartitionTable, At115200), 0)
        << sim.job->outcome().text;
    const std::string file = sim.ReadFile("upload_nand/parti_01_code");
    EXPECT_TRUE(file == std::string(parts[0].content.begin(), parts[0].content.end()));
}

// 74 blocks of 16 KiB: about 105 s on the line.
TEST(LineRate, EeromReadOfSixteenKibBlocksAt115200) {
    SimHarness sim(kSmallPage, {}, Paced);
    ASSERT_TRUE(sim.started) << sim.start_error;
    const auto content = Bytes(0x4000, 9);
    sim.nand().WriteBlock(1000, content, false);
    ASSERT_EQ(sim.Run(WorkMode::kReadCode, ReadRange::kEerom, At115200), 0)
        << sim.job->outcome().text;
    const std::string file = sim.ReadFile("upload_nand/upload_eerom.bin");
    ASSERT_EQ(file.size(), 74u * 0x4000);
    EXPECT_TRUE(file.substr((1000 - 950) * 0x4000, 0x4000) ==
                std::string(content.begin(), content.end()));
}

}  // namespace
}  // namespace velmora::testing
