// The files a job writes never follow a symbolic link planted at their name:
// the link's target stays as it was.
#include <gtest/gtest.h>

#include "job_fixture.h"

namespace velmora::testing {
namespace {

class OutputFilesTest : public JobFixture {
  protected:
    // A file the links point to, which no job may change.
    std::string Victim(const std::string& name) {
        const std::string path = home_ + name;
        std::ofstream(path) << "keep me";
        return path;
    }
};

TEST_F(OutputFilesTest, LinksAtTheOutputNamesAreRefusedAndTheirTargetsKept) {
    StartPhone();
    StoreRecord();
    fs::create_directories(home_ + "upload_nand");
    const std::string dump = Victim("dump-victim");
    const std::string log = Victim("log-victim");
    fs::create_symlink(dump, home_ + "upload_nand/upload_eerom.bin");
    fs::create_symlink(log, home_ + "dl_log.txt");

    JobRequest read = Request();
    read.work_mode = WorkMode::kReadCode;
    read.range = ReadRange::kEerom;
    read.debug = true;
    read.overwrite = true;  // a name that is there is an earlier read's: past that refusal
    const JobOutcome o = Run(read);
    EXPECT_EQ(o.result, 10000);
    EXPECT_EQ(o.error_text,
              "Cannot write " + home_ + "upload_nand/upload_eerom.bin: it is a symbolic link");
    EXPECT_EQ(ReadFile(dump), "keep me");
    EXPECT_EQ(ReadFile(log), "keep me");

    // The record dump of a debug erase goes beside the chosen table, not through a link.
    fs::create_directories(home_ + "fw");
    const std::string record = Victim("record-victim");
    fs::create_symlink(record, home_ + "fw/bbm_rcb.bin");
    JobRequest erase = Request();
    erase.debug = true;
    erase.ptt_path = home_ + "fw/phone.ptt";
    EXPECT_EQ(Run(erase).result, 0);
    EXPECT_EQ(ReadFile(record), "keep me");
    fs::remove(home_ + "fw/bbm_rcb.bin");
    EXPECT_EQ(Run(erase).result, 0);
    EXPECT_EQ(fs::file_size(home_ + "fw/bbm_rcb.bin"), 4108u) << "the job's folder gets it";
}

}  // namespace
}  // namespace velmora::testing
