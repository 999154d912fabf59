// The boot image file's failures end the boot-block step before block 0 is
// erased, each with its own code.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "config/temp_dir.h"
#include "flash/boot_image.h"
#include "flash/fake_loader.h"
#include "flash/nand_dialect.h"
#include "job/download_job.h"

namespace velmora::testing {
namespace {

struct Case {
    const char* what;
    std::string folder;
    std::string name;
    uint32_t recorded;
    int expected;
};

int WriteBoot(const Case& c) {
    DownloadJob job(LinkKind::kSerial, nullptr, false);
    auto fake = std::make_unique<FakeLoader>();
    FakeLoader* loader = fake.get();
    job.link = std::move(fake);
    job.dialect = MakeSerialDialect();
    job.geometry = {1024, 0x4000, 2048, 64, 2000, 200};
    job.reporter.InitBlockMap(1024, 0x4000);
    job.table.folder = c.folder;
    job.table.boot_file_name = c.name;
    job.table.boot_file_size = c.recorded;
    const int r = WriteBootBlock(job, job.table);
    EXPECT_TRUE(loader->blocks_named.empty()) << c.what << ": block 0 was touched";
    return r;
}

TEST(BootBlockFile, EachFailureHasItsCodeAndLeavesBlockZeroAlone) {
    TempDir dir;
    dir.Write("boot.bin", std::string(100, 'b'));
    dir.Write("big.bin", std::string(0x4001, 'b'));
    std::vector<Case> cases = {
        {"missing file", dir.path(), "absent.bin", 100, 101},
        {"size differs from the table", dir.path(), "boot.bin", 99, 102},
        {"larger than a block", dir.path(), "big.bin", 0x4001, 102},
    };
    // A kernel attribute file claims 4096 bytes and gives a few: a short read.
    struct stat st {};
    if (stat("/sys/kernel/uevent_seqnum", &st) == 0 && st.st_size == 4096)
        cases.push_back({"short read", "/sys/kernel/", "uevent_seqnum", 4096, 103});
    for (const Case& c : cases)
        EXPECT_EQ(WriteBoot(c), c.expected) << c.what;
}

}  // namespace
}  // namespace velmora::testing
