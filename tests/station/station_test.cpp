// The station: slots that do not disturb each other, the log's rows, and the
// locks that keep the window and the station apart.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "frontend/instance_lock.h"
#include "integration/cli_process.h"
#include "integration/job_fixture.h"
#include "integration/nand_harness.h"
#include "serial/pty_pair.h"
#include "station/station.h"
#include "station/station_log.h"
#include "support/temp_dir.h"

namespace velmora::testing {
namespace {

// A file no one may write, root included (whom its mode does not stop).
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path) : path_(path) {
        if (geteuid() != 0) {
            held_ = chmod(path.c_str(), 0444) == 0;
            return;
        }
        held_ = SetImmutable(true);
    }
    ~ReadOnlyFile() { Release(); }
    bool held() const { return held_; }
    void Release() {
        if (held_ && (geteuid() != 0 ? chmod(path_.c_str(), 0644) == 0 : SetImmutable(false)))
            held_ = false;
    }

  private:
    bool SetImmutable(bool on) {
        const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ok && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        close(fd);
        return ok;
    }
    std::string path_;
    bool held_ = false;
};

// Another program holding the log's write lock, as a database browser does.
class LockedLog {
  public:
    explicit LockedLog(const std::string& path) {
        sqlite3_open(path.c_str(), &db_);
        locked_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~LockedLog() { sqlite3_close(db_); }
    bool locked() const { return locked_; }
    void Release() { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }

  private:
    sqlite3* db_ = nullptr;
    bool locked_ = false;
};

bool Has(const std::vector<std::string>& notes, const std::string& text) {
    return std::any_of(notes.begin(), notes.end(),
                       [&](const std::string& n) { return n.find(text) != std::string::npos; });
}

class StationTest : public JobFixture {
  protected:
    // One station run over a fresh simulated phone per `options`; waits for its end.
    StationStart Run(Station& station, const std::string& log_path,
                     std::vector<sim::PhoneOptions> options) {
        phones_.clear();
        StationRequest request;
        for (sim::PhoneOptions& o : options) {
            o.catalogue = VELMORA_BIN_DIR;
            o.faults.push_back({sim::FaultKind::kNoise});
            o.start_delay_ms = 1;
            phones_.push_back(std::make_unique<sim::Phone>(o));
            std::string error;
            EXPECT_TRUE(phones_.back()->Start(&error)) << error;
            request.ports.push_back(phones_.back()->SlavePath());
        }
        request.job.home = home_;
        request.job.ptt_path = WriteSmallFirmware(home_, BootImage(2));
        request.job.timings.baud_pause_ms = 20;
        request.job.timings.settle_ms = 20;
        request.log_path = log_path;
        displays_ = std::vector<RecordingDisplay>(options.size());
        std::vector<EventSink*> sinks;
        for (auto& d : displays_)
            sinks.push_back(&d);
        const StationStart started = station.Start(request, sinks);
        EXPECT_TRUE(started.started) << started.message;
        station.Wait();
        return started;
    }
    std::vector<std::unique_ptr<sim::Phone>> phones_;
    std::vector<RecordingDisplay> displays_;
};

// Three phones, the second fails to program its partition's block and the
// third has a factory-bad block: the others pass and their chips hold the
// firmware, and the log has one closed row each, the failed block apart from
// the bad one.
TEST_F(StationTest, AFailingSlotLeavesTheOthersTheirFirmware) {
    std::vector<sim::PhoneOptions> options(3);
    options[1].program_fail_blocks = {1};
    options[2].bad_blocks = {5};
    Station station;
    const std::string log_path = home_ + "station.sqlite";
    Run(station, log_path, options);
    const std::string ptt = home_ + "fw.ptt";
    const auto boot = BootImage(2);

    EXPECT_EQ(station.passed(), 2);
    EXPECT_EQ(station.failed(), 1);
    EXPECT_EQ(station.unlogged(), 0);
    EXPECT_EQ(station.Slot(1).state, SlotState::kFailed);
    const std::vector<uint8_t> code = Bytes(0x8000, 7);
    for (int i : {0, 2}) {
        EXPECT_EQ(station.Slot(i).state, SlotState::kPassed) << station.Slot(i).last_text;
        const sim::NandChip& nand = phones_[static_cast<size_t>(i)]->nand();
        EXPECT_EQ(nand.ReadBlock(1, false), Padded(code, 0, code.size(), kBlock)) << i;
        const auto block0 = nand.ReadBlock(0, false);
        EXPECT_TRUE(std::equal(boot.begin(), boot.begin() + 0x400, block0.begin())) << i;
    }

    StationLog log;
    ASSERT_TRUE(log.OpenForReading(log_path, nullptr));
    const auto rows = log.Rows();
    ASSERT_EQ(rows.size(), 3u);
    for (const StationRow& row : rows) {
        ASSERT_FALSE(row.interrupted());
        EXPECT_EQ(row.chip_id, "EC,A1,00,15");
        EXPECT_EQ(row.ptt_sha256, FileSha256(ptt));
        EXPECT_EQ(row.port, station.Slot(row.slot - 1).port_text);
        EXPECT_EQ(row.bad_blocks, row.slot == 3 ? 1 : 0) << row.slot;
        EXPECT_EQ(row.failed_blocks, row.slot == 2 ? 1 : 0) << row.slot;
        EXPECT_EQ(*row.result != 0, row.slot == 2);
        EXPECT_FALSE(row.result_text.empty());
    }
}

// A log no one may write: the phone passes, its row waits beside the log and
// the station says so; the next start adds it, once, and keeps a line that a
// crash cut short.
TEST_F(StationTest, ARowTheLogCannotTakeWaitsBesideItUntilTheNextStart) {
    const std::string log_path = home_ + "station.sqlite";
    const std::string pending = PendingRowsPath(log_path);
    {
        StationLog make;
        ASSERT_TRUE(make.Open(log_path, nullptr));
    }
    std::ofstream(pending) << R"({"uuid":"cut-short","start)";
    ReadOnlyFile read_only(log_path);
    if (!read_only.held())
        GTEST_SKIP() << "this file system cannot make a file read-only";
    std::string uuid;
    {
        Station station;
        const StationStart started = Run(station, log_path, {sim::PhoneOptions{}});
        EXPECT_TRUE(Has(started.notes, "cannot be written"))
            << ::testing::PrintToString(started.notes);
        EXPECT_EQ(station.Slot(0).state, SlotState::kPassed);
        EXPECT_EQ(station.unlogged(), 1);
        EXPECT_NE(station.Slot(0).log_text.find(pending), std::string::npos)
            << station.Slot(0).log_text;
        const PendingRows waiting = ReadPendingRows(log_path);
        ASSERT_FALSE(waiting.rows.empty());
        EXPECT_EQ(waiting.unreadable, 1);
        uuid = waiting.rows.back().uuid;
        EXPECT_EQ(waiting.rows.back().result, 0);
    }
    read_only.Release();

    Station station;
    const StationStart started = Run(station, log_path, {sim::PhoneOptions{}});
    EXPECT_TRUE(Has(started.notes, "1 row(s) that an earlier station"))
        << ::testing::PrintToString(started.notes);
    EXPECT_EQ(station.unlogged(), 0);
    StationLog log;
    ASSERT_TRUE(log.OpenForReading(log_path, nullptr));
    const auto rows = log.Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].uuid, uuid);
    EXPECT_EQ(rows[0].result, 0);
    EXPECT_NE(rows[1].uuid, uuid);
    const PendingRows left = ReadPendingRows(log_path);
    EXPECT_TRUE(left.rows.empty());
    EXPECT_EQ(left.unreadable, 1);
}

// The same through velmora-cli, with the log's write lock held by another
// program: the station exits 1 naming the side file, `log` says rows wait,
// `log --merge-pending` adds the row once however often it is given the file,
// and `log --product` takes either spelling of the product ID.
TEST_F(StationTest, TheCliSaysARowWaitsAndMergesItOnce) {
    setenv("XDG_RUNTIME_DIR", home_.c_str(), 1);  // the station's lock, this test's own
    const std::string ptt = WriteSmallFirmware(home_, BootImage(2));
    const std::string log_path = DefaultStationLogPath(home_);
    const std::string pending = PendingRowsPath(log_path);
    {
        StationLog make;
        ASSERT_TRUE(make.Open(log_path, nullptr));
    }
    const auto cli = [&](const std::vector<std::string>& args) {
        pid_t pid = -1;
        EXPECT_EQ(SpawnCli(home_, args, home_ + "out.txt", home_ + "err.txt", &pid), 0);
        return WaitExitStatus(pid);
    };
    const auto out = [&] { return ReadFile(home_ + "out.txt"); };
    const auto err = [&] { return ReadFile(home_ + "err.txt"); };

    LockedLog lock(log_path);
    ASSERT_TRUE(lock.locked());
    EXPECT_EQ(cli({"station", "--ptt", ptt, "--port", "sim"}), 1) << out();
    EXPECT_NE(out().find("passed: 1  failed: 0"), std::string::npos) << out();
    EXPECT_NE(out().find("they wait in " + pending), std::string::npos) << out();
    EXPECT_EQ(cli({"log"}), 0);
    EXPECT_NE(err().find("1 row(s) wait in " + pending), std::string::npos) << err();
    EXPECT_EQ(cli({"log", "--merge-pending"}), 1) << out();
    lock.Release();

    const std::string saved = ReadFile(pending);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(cli({"log", "--merge-pending"}), 0) << err();
    EXPECT_NE(out().find("1 row(s) added"), std::string::npos) << out();
    EXPECT_FALSE(fs::exists(pending));
    std::ofstream(pending) << saved;  // as if the merge had died before the file went
    EXPECT_EQ(cli({"log", "--merge-pending"}), 0) << err();
    EXPECT_NE(out().find("0 row(s) added"), std::string::npos) << out();

    // The simulated phone's product ID is 52,20,05,01,00.
    EXPECT_EQ(cli({"log", "--json", "--product", "0001052052"}), 0) << err();
    const auto row = nlohmann::json::parse(out());
    EXPECT_EQ(row["product_id"], "52,20,05,01,00");
    EXPECT_EQ(row["failed_blocks"], 0);
    EXPECT_EQ(err(), "");
    EXPECT_EQ(cli({"log", "--product", "52,20,00,01,07"}), 0);
    EXPECT_EQ(out(), "");
}

// A log of the first format (no version, no row ids, bad_blocks counting
// failed blocks too) reads as it is, is brought up to date when a station
// opens it, and keeps its rows' meaning; a newer format is refused.
TEST(StationLogFormat, AFirstFormatLogIsBroughtUpToDateAndANewerOneRefused) {
    TempDir dir;
    const std::string path = dir.path() + "v1.sqlite";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE IF NOT EXISTS jobs ("
                           " id INTEGER PRIMARY KEY AUTOINCREMENT, started_ms INTEGER NOT NULL,"
                           " slot INTEGER NOT NULL, port TEXT NOT NULL, ptt TEXT NOT NULL,"
                           " ptt_sha256 TEXT NOT NULL, chip_id TEXT NOT NULL DEFAULT '',"
                           " product_id TEXT NOT NULL DEFAULT '', result INTEGER,"
                           " result_text TEXT NOT NULL DEFAULT '',"
                           " duration_ms INTEGER NOT NULL DEFAULT 0,"
                           " bad_blocks INTEGER NOT NULL DEFAULT 0);"
                           "CREATE INDEX IF NOT EXISTS jobs_started ON jobs(started_ms);"
                           "INSERT INTO jobs (started_ms, slot, port, ptt, ptt_sha256, product_id,"
                           " result, result_text, bad_blocks) VALUES (1000, 1, '/dev/ttyUSB0',"
                           " 'fw.ptt', 'ab', '0701002052', 100, 'Write fail', 2);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    const auto check_old_row = [&](StationLog& log) {
        const auto rows = log.Rows();
        ASSERT_GE(rows.size(), 1u);
        EXPECT_EQ(rows[0].bad_blocks, 2);
        EXPECT_FALSE(rows[0].failed_blocks.has_value());
        EXPECT_EQ(rows[0].product_id, "52,20,00,01,07");
        EXPECT_EQ(rows[0].result, 100);
    };
    {
        StationLog reader;
        ASSERT_TRUE(reader.OpenForReading(path, nullptr));
        EXPECT_EQ(reader.version(), 1);
        check_old_row(reader);
    }
    {
        StationLog log;
        std::string error;
        ASSERT_TRUE(log.Open(path, &error)) << error;
        EXPECT_EQ(log.version(), kStationLogVersion);
        StationRow row = NewStationRow(2, "/dev/ttyUSB1", "fw.ptt", "ab");
        row.result = 0;
        row.failed_blocks = 0;
        std::string why;
        EXPECT_EQ(log.Finish(row, &why), RowSaved::kLog) << why;
        check_old_row(log);
        ASSERT_EQ(log.Rows().size(), 2u);
        EXPECT_EQ(log.Rows()[1].uuid, row.uuid);
    }
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 3", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    for (const bool reading : {false, true}) {
        StationLog log;
        std::string error;
        EXPECT_FALSE(reading ? log.OpenForReading(path, &error) : log.Open(path, &error));
        EXPECT_NE(error.find("newer velmora"), std::string::npos) << error;
    }
    fs::remove(path);

    EXPECT_EQ(NormaliseProductId("0701002052"), "52,20,00,01,07");
    EXPECT_EQ(NormaliseProductId("52,20,0a,01,07"), "52,20,0A,01,07");
    EXPECT_FALSE(NormaliseProductId("52-20-00-01-07").has_value());
}

TEST_F(StationTest, RefusesWhatWouldCollide) {
    const std::string ptt = WriteSmallFirmware(home_, BootImage(2));
    StationRequest request;
    request.job.home = home_;
    request.job.ptt_path = ptt;
    RecordingDisplay display;
    const std::vector<EventSink*> two = {&display, &display};
    struct Case {
        std::vector<std::string> ports;
        bool debug;
        LinkKind link;
        const char* says;
    };
    // A pseudo-terminal and a link to it, as a simulated phone's --link makes.
    PtyPair pty;
    const std::string link = home_ + "phone-link";
    ASSERT_EQ(symlink(pty.slave_path().c_str(), link.c_str()), 0);
    const std::string both =
        "The ports " + link + " (slot 1) and " + pty.slave_path() + " (slot 2)";
    for (const Case& c :
         {Case{{"/dev/ttyUSB0", "/dev/ttyUSB0"}, false, LinkKind::kSerial, "twice"},
          Case{{link, pty.slave_path()}, false, LinkKind::kSerial, both.c_str()},
          Case{{"path=1-2", "path=1-2,dfu=1234:5678"}, false, LinkKind::kUsb, "are one device"},
          Case{{"sim", "sim"}, true, LinkKind::kSerial, "dl_log.txt"},
          Case{{"path=1-2", "dfu=1234"}, false, LinkKind::kUsb, "bus path"}}) {
        request.ports = c.ports;
        request.job.debug = c.debug;
        request.job.link = c.link;
        Station station;
        const StationStart s = station.Start(request, two);
        EXPECT_FALSE(s.started);
        EXPECT_NE(s.message.find(c.says), std::string::npos) << s.message;
    }
    // A table that names no partition is refused before any slot starts, as one
    // phone's upgrade refuses it.
    std::string text = ReadFile(ptt);
    const size_t at = text.find("number_of_partition");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, text.find('\n', at) - at, "number_of_partition=abc");
    std::ofstream(ptt, std::ios::trunc) << text;
    request.ports = {"sim", "sim"};
    request.job.debug = false;
    request.job.link = LinkKind::kSerial;
    Station station;
    const StationStart s = station.Start(request, two);
    EXPECT_FALSE(s.started);
    EXPECT_NE(s.message.find("lists no partition"), std::string::npos) << s.message;
}

TEST(StationLock, TheWindowAndTheStationNeverRunTogether) {
    TempDir locks;
    const std::string& folder = locks.path();
    {
        FileLock window;
        ASSERT_EQ(CheckSingleInstance(folder, window), InstanceCheck::kFirst);
        FileLock station;
        EXPECT_EQ(CheckStationInstance(folder, station), StationCheck::kWindowRunning);
        EXPECT_FALSE(station.held());
    }
    FileLock station;
    ASSERT_EQ(CheckStationInstance(folder, station), StationCheck::kFirst);
    FileLock second;
    EXPECT_EQ(CheckStationInstance(folder, second), StationCheck::kStationRunning);
    FileLock window;
    EXPECT_EQ(CheckSingleInstance(folder, window), InstanceCheck::kMultiPortRunning);
}

}  // namespace
}  // namespace velmora::testing
