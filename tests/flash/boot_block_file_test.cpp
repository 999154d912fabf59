// The boot image file's failures end the boot-block step before block 0 is
// erased, each with its own code.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "flash/boot_image.h"
#include "flash/fake_loader.h"
#include "support/temp_dir.h"

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
    LoaderJob f(1024);
    f.job.table.folder = c.folder;
    f.job.table.boot_file_name = c.name;
    f.job.table.boot_file_size = c.recorded;
    const int r = WriteBootBlock(f.job, f.job.table);
    EXPECT_TRUE(f.loader->blocks_named.empty()) << c.what << ": block 0 was touched";
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
