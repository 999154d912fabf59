// Files read from outside: regular files only, text within its cap.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/input_file.h"
#include "config/settings.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {

TEST(InputFile, TextOverItsCapIsRefusedNamingTheCap) {
    testing::TempDir dir;
    const std::string path = dir.Write("t.ini", std::string(4097, 'x'));
    std::string bytes, problem;
    EXPECT_EQ(ReadInputText(path, 4096, bytes, problem), kInputTooLarge);
    EXPECT_EQ(problem, path + " is too large to read (4097 bytes; at most 4 KiB)");
    EXPECT_EQ(ReadInputText(path, 4097, bytes, problem), kInputOk);
    EXPECT_EQ(bytes.size(), 4097u);
}

// A FIFO as the settings file or the catalogue's digest: read and written as
// missing, at once (an open of a FIFO waits for the other end).
TEST(InputFile, AFifoIsNeitherReadNorWritten) {
    testing::TempDir dir;
    ASSERT_EQ(mkfifo((dir.path() + "velmora.ini").c_str(), 0600), 0);
    JobSettings settings;
    EXPECT_FALSE(ReadSettingsFile(dir.path(), settings));
    settings.ptt_path = "a.ptt";
    EXPECT_FALSE(WriteSettingsFile(dir.path(), settings));

    std::string problem;
    EXPECT_FALSE(OpenInputFile(dir.path() + "velmora.ini", &problem));
    EXPECT_EQ(problem, "cannot read " + dir.path() + "velmora.ini: not a regular file (a FIFO)");
    uint64_t size = 1;
    EXPECT_TRUE(OpenInputFile(dir.Write("empty", ""), &problem, &size));
    EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace velmora
