#include "job/job_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "job/recording_display.h"
#include "support/temp_dir.h"

namespace velmora {
namespace {
namespace fs = std::filesystem;

using testing::RecordingDisplay;

class JobControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy_file(std::string(VELMORA_BIN_DIR) + "/FlashChip.ini", home_ + "FlashChip.ini");
    }

    JobRequest Request(WorkMode mode, WorkRange range = {}) const {
        JobRequest r;
        r.work_mode = mode;
        r.range = range;
        r.home = home_;
        r.port = "/dev/null";
        return r;
    }

    testing::TempDir dir_;
    const std::string home_ = dir_.path();
    RecordingDisplay display_;
};

TEST_F(JobControlTest, ReadCodeMakesTheUploadFolderAndNamesTheFile) {
    JobController jobs(&display_);
    std::string notice;
    std::string job_file, folder;
    jobs.on_notice = [&](const std::string& text) { notice = text; };
    jobs.runner = [&](DownloadJob& job) {
        job_file = job.job_file_path;
        folder = job.folder();
        return 0;
    };
    ASSERT_TRUE(jobs.Run(Request(WorkMode::kReadCode, ReadRange::kEerom)).start.started);
    EXPECT_TRUE(fs::is_directory(home_ + "upload_nand"));
    EXPECT_EQ(job_file, home_ + "upload_nand/upload_eerom.bin");
    EXPECT_EQ(folder, home_ + "upload_nand/");
    EXPECT_EQ(notice, "读取代码文件存储为: " + job_file);

    // An existing folder is used as it is; a file in its place refuses the job.
    ASSERT_TRUE(jobs.Run(Request(WorkMode::kReadCode, ReadRange::kArea)).start.started);
    EXPECT_EQ(job_file, home_ + "upload_nand/upload_range.bin");
    fs::remove_all(home_ + "upload_nand");
    std::ofstream(home_ + "upload_nand") << "in the way";
    const StartOutcome refused = jobs.Run(Request(WorkMode::kReadCode)).start;
    EXPECT_FALSE(refused.started);
    EXPECT_EQ(refused.message, "创建目录失败！");
    EXPECT_EQ(refused.caption, "Error");
}

TEST_F(JobControlTest, AStopBeforeTheJobExistsEndsItBeforeItTouchesThePhone) {
    JobController jobs(&display_);
    bool ran = false;
    jobs.runner = [&](DownloadJob&) {
        ran = true;
        return 0;
    };
    jobs.RequestStop();  // Ctrl-C while the program was still starting
    const RunOutcome run = jobs.Run(Request(WorkMode::kErase));
    ASSERT_TRUE(run.start.started);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(run.end.user_stopped);
    EXPECT_EQ(run.end.result, 1);
}

// Counts the end events a job sends.
class EndCounter : public EventSink {
  public:
    void OnEnd(const JobEnd& end) override {
        ++ends;
        last = end;
    }
    std::atomic<int> ends{0};
    JobEnd last;
};

TEST_F(JobControlTest, AFailureEndsEveryWaitAtOnceAndTheJobEndsOnce) {
    using Clock = std::chrono::steady_clock;
    EndCounter sink;
    JobController jobs(&sink);
    JobOutcome finished;
    jobs.on_finished = [&](const JobOutcome& o) { finished = o; };
    bool slept = true;
    Clock::duration waited{};
    jobs.runner = [&](DownloadJob& job) {
        job.EnterStep(JobStep::kRead);
        // Another part of the job fails while this one waits for a slow answer.
        std::thread other([&job] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            job.Fail(Outcome::Of(-81, "the link went away").Wrapping(20100));
        });
        const auto began = Clock::now();
        slept = job.Sleep(20000);
        waited = Clock::now() - began;
        other.join();
        const int result = job.result();
        job.End(result);
        job.End(result);  // a second ending sends nothing
        return result;
    };
    ASSERT_TRUE(jobs.Start(Request(WorkMode::kReadCode, ReadRange::kEerom)).started);
    jobs.Wait();
    EXPECT_FALSE(slept);
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_EQ(sink.ends.load(), 1);
    EXPECT_EQ(sink.last.result, -81);
    EXPECT_FALSE(sink.last.user_stopped) << "a failure is no Stop";
    EXPECT_EQ(sink.last.error_text, "the link went away");
    EXPECT_EQ(sink.last.step, StepName(JobStep::kRead)) << "told in the step it failed in";
    EXPECT_EQ(finished.result, sink.last.result);
    EXPECT_EQ(finished.error_text, sink.last.error_text);
    EXPECT_EQ(finished.step, sink.last.step);
}

TEST_F(JobControlTest, WhatTheJobNeedsIsCheckedBeforeThePhoneIsAsked) {
    JobController jobs(&display_);
    bool ran = false;
    jobs.runner = [&](DownloadJob&) {
        ran = true;
        return 0;
    };
    JobRequest backwards = Request(WorkMode::kErase, EraseRange::kArea);
    backwards.range_start = 0x100000;
    backwards.range_end = 0;
    EXPECT_NE(jobs.Start(backwards).message.find("below its start"), std::string::npos);
    backwards.work_mode = WorkMode::kReadCode;
    backwards.range = ReadRange::kArea;
    EXPECT_FALSE(jobs.Start(backwards).started) << "a read of a backwards area, too";

    // An erase given a read's range would erase by the index alone.
    const JobRequest crossed = Request(WorkMode::kErase, ReadRange::kArea);
    EXPECT_NE(jobs.Start(crossed).message.find("not one of the work mode's"), std::string::npos);

    // A missing table is named by the path to find it; the specified words stay.
    JobRequest upgrade = Request(WorkMode::kCodeUpgrade);
    upgrade.ptt_path = home_ + "fw/../missing.ptt";
    const StartOutcome no_table = jobs.Start(upgrade);
    EXPECT_EQ(no_table.message, kRefuseOpenPtt);
    EXPECT_EQ(no_table.loader_message,
              "The partition table " + home_ + "missing.ptt does not exist.");

    JobRequest no_home = Request(WorkMode::kErase);
    no_home.home = home_ + "missing/";
    EXPECT_NE(jobs.Start(no_home).message.find("home folder"), std::string::npos);

    fs::remove(home_ + "FlashChip.ini");
    const StartOutcome no_catalogue = jobs.Start(Request(WorkMode::kErase));
    EXPECT_FALSE(no_catalogue.started);
    EXPECT_NE(no_catalogue.message.find(home_ + "FlashChip.ini"), std::string::npos);
    EXPECT_FALSE(ran);
}

// The index the window's list and the settings file keep picks the same range
// as before, backup and restore share a list, and an index past the list
// stays itself (an erase fails with it).
TEST(RangeAt, AFrontEndsIndexIsTheRangeOfItsMode) {
    EXPECT_EQ(RangeAt(WorkMode::kCodeUpgrade, 1), WorkRange(UpgradeRange::kCode));
    EXPECT_EQ(RangeAt(WorkMode::kReadCode, 2), WorkRange(ReadRange::kArea));
    EXPECT_EQ(RangeAt(WorkMode::kErase, 4), WorkRange(EraseRange::kEerom));
    EXPECT_EQ(RangeAt(WorkMode::kBackup, 1), WorkRange(BackupRange::kAll));
    EXPECT_EQ(RangeAt(WorkMode::kRestore, 0), WorkRange(BackupRange::kEerom));
    EXPECT_EQ(RangeAt(WorkMode::kHealth, 3), WorkRange());
    EXPECT_EQ(static_cast<int>(RangeAs<EraseRange>(RangeAt(WorkMode::kErase, 7))), 7);
    EXPECT_EQ(RangeAs<ReadRange>(WorkRange()), ReadRange::kPartitionTable);
}

TEST_F(JobControlTest, AnUploadFolderThatIsALinkIsRefused) {
    JobController jobs(&display_);
    jobs.runner = [](DownloadJob&) { return 0; };
    fs::create_directories(home_ + "elsewhere");
    fs::create_directory_symlink(home_ + "elsewhere", home_ + "upload_nand");
    const StartOutcome refused = jobs.Start(Request(WorkMode::kReadCode));
    EXPECT_FALSE(refused.started);
    EXPECT_NE(refused.loader_message.find("symbolic link"), std::string::npos);
}

}  // namespace
}  // namespace velmora
