#include <sqlite3.h>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <memory>

#include "app/application.h"
#include "app/language.h"
#include "app/progress_bar.h"
#include "app/single_instance.h"
#include "app/station_cell.h"
#include "app/station_window.h"
#include "fake_dialogs.h"
#include "station/station_log.h"

using namespace velmora::app;

namespace {

const QString kSamplePtt = QStringLiteral(VELMORA_BINARY_DIR "/examples/sample/sample.ptt");

struct StationFixture {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    std::unique_ptr<StationWindow> window;

    StationFixture() {
        QFile::copy(QStringLiteral(VELMORA_BIN_DIR "/FlashChip.ini"),
                    dir.path() + QStringLiteral("/FlashChip.ini"));
        StationWindow::Options options;
        options.home = dir.path().toStdString() + "/";
        options.probe_ports = [] { return std::vector<std::string>{"/dev/ttyUSB0"}; };
        window = std::make_unique<StationWindow>(dialogs, options);
    }
    std::string home() const { return dir.path().toStdString() + "/"; }
};

// While the station runs only Stop is enabled; between runs all but Stop.
bool SettingsShow(const StationWindow& w, bool idle) {
    const std::initializer_list<QWidget*> settings = {
        w.findChild<QPushButton*>("chooseButton"), w.findChild<QCheckBox*>("serialCheck"),
        w.findChild<QListWidget*>("portList"),     w.findChild<QLineEdit*>("portEntry"),
        w.findChild<QPushButton*>("addButton"),    w.findChild<QPushButton*>("removeButton"),
        w.findChild<QComboBox*>("baudList"),       w.findChild<QCheckBox*>("loopCheck"),
        w.findChild<QCheckBox*>("verifyCheck"),    w.findChild<QToolButton*>("languageButton"),
        w.findChild<QPushButton*>("startButton")};
    return std::all_of(settings.begin(), settings.end(),
                       [&](QWidget* c) { return c->isEnabled() == idle; }) &&
           w.findChild<QPushButton*>("stopButton")->isEnabled() == !idle;
}

}  // namespace

class StationWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { ApplyLanguage(Language::kChinese); }

    // The station takes the multi-port program's lock instead of the window's:
    // it refuses while a window runs, and a window refuses while it runs.
    void lockRules() {
        QTemporaryDir locks;
        const std::string folder = locks.path().toStdString() + "/";
        FakeDialogs host;
        SystemLanguage chinese("zh_CN.UTF-8");  // no settings: the system's language

        FileLock window_lock;
        QCOMPARE(CheckSingleInstance(folder, window_lock), InstanceCheck::kFirst);
        QCOMPARE(RunStation(host, folder, "/nonexistent/"), 1);
        QCOMPARE(host.lastText(), QStringLiteral("单口下载程序正在运行，请先关闭它！"));
        QVERIFY(host.messages.back().caption.isEmpty());  // the program's name
        QCOMPARE(host.port_search_shown, 0);
        {
            // The refused station left the multi-port lock free.
            FileLock probe;
            QCOMPARE(probe.TryLock(folder, kMultiPortLockName), FileLock::Result::kTaken);
        }
        window_lock.Release();

        FileLock station_lock;
        QCOMPARE(CheckStationInstance(folder, station_lock), StationCheck::kFirst);
        host.messages.clear();
        QCOMPARE(RunApplication(host, folder, "/nonexistent/"), 1);
        QCOMPARE(host.lastText(), QStringLiteral("多口下载程序正在运行！"));
        host.messages.clear();
        QCOMPARE(RunStation(host, folder, "/nonexistent/"), 1);  // a second station
        QCOMPARE(host.lastText(), QStringLiteral("多口下载程序正在运行！"));
        {
            // The refused window left its own lock free.
            FileLock probe;
            QCOMPARE(probe.TryLock(folder, kInstanceLockName), FileLock::Result::kTaken);
        }
        station_lock.Release();

        // Neither held: the station goes on to its catalogue check, which fails here.
        host.messages.clear();
        QCOMPARE(RunStation(host, folder, "/nonexistent/"), 1);
        QCOMPARE(host.lastText(),
                 QStringLiteral("读FlashChip.ini错误，请检查该文件是否存在或损坏！"));
        QCOMPARE(host.messages.back().caption, QStringLiteral("ERROR"));
    }

    // Three simulated phones, one of which fails to program a block: the other
    // two pass, each cell shows its own end, the counters add up, and the
    // settings are locked only while the station runs.
    void oneFailingSlotLeavesTheOthersAlone() {
        StationFixture f;
        StationWindow& w = *f.window;
        QVERIFY(w.Initialise());
        QVERIFY(SettingsShow(w, true));
        w.findChild<QLabel*>("targetFile")->setText(kSamplePtt);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w.AddPort(QStringLiteral("sim:chip=EC,A1"));
        w.AddPort(QStringLiteral("sim:chip=EC,A1,program-fail=2"));
        w.findChild<QLineEdit*>("portEntry")->setText(QStringLiteral(" sim:chip=EC,A1,bad=5 "));
        QTest::mouseClick(w.findChild<QPushButton*>("addButton"), Qt::LeftButton);
        QCOMPARE(w.checkedPorts().size(), 3);  // the listed /dev/ttyUSB0 is not ticked

        QTest::mouseClick(w.findChild<QPushButton*>("startButton"), Qt::LeftButton);
        QVERIFY(w.running());
        QVERIFY(SettingsShow(w, false));
        QCOMPARE(w.cells().size(), size_t(3));
        QTRY_VERIFY_WITH_TIMEOUT(!w.running(), 90000);
        QVERIFY(SettingsShow(w, true));
        QVERIFY(f.dialogs.messages.empty());

        const auto& cells = w.cells();
        for (int i : {0, 2}) {
            QCOMPARE(cells[i]->result(), SlotResult::kPassed);
            QCOMPARE(cells[i]->resultText(), QStringLiteral("通过"));
            QCOMPARE(cells[i]->progressBar()->barColour(), 0x0BD40Bu);
            QCOMPARE(cells[i]->percentText(), QStringLiteral("100%"));
        }
        QCOMPARE(cells[1]->port(), QStringLiteral("sim:chip=EC,A1,program-fail=2"));
        QCOMPARE(cells[1]->result(), SlotResult::kFailed);
        // The step and what it means, not the write's code text; the rest on click.
        QVERIFY2(cells[1]->resultText().startsWith(QStringLiteral("失败 · 100 · ")),
                 qPrintable(cells[1]->resultText()));
        QTest::mouseClick(cells[1]->findChild<QPushButton*>("detailsButton"), Qt::LeftButton);
        QVERIFY(f.dialogs.failures.at(0).reason.contains(QStringLiteral("#201")));
        QCOMPARE(cells[1]->progressBar()->barColour(), 0x0000FFu);
        QCOMPARE(cells[1]->phaseText(), QStringLiteral("写入"));
        QVERIFY(cells[1]->statusText().isEmpty());  // said once, in the result
        QCOMPARE(w.passedCount(), 2);
        QCOMPARE(w.failedCount(), 1);
        QCOMPARE(w.findChild<QLabel*>("passedText")->text(), QStringLiteral("通过：2"));
        QCOMPARE(w.findChild<QLabel*>("failedText")->text(), QStringLiteral("失败：1"));

        // Each phone is a row of the station log in the home folder.
        velmora::StationLog log;
        std::string error;
        QVERIFY2(log.OpenForReading(velmora::DefaultStationLogPath(f.home()), &error),
                 error.c_str());
        const std::vector<velmora::StationRow> rows = log.Rows();
        QCOMPARE(rows.size(), size_t(3));
        QCOMPARE(std::count_if(rows.begin(), rows.end(),
                               [](const velmora::StationRow& r) { return r.result == 0; }),
                 2);
    }

    // Stop, and the close box while slots run: every slot ends stopped through
    // the job engine; the close box asks first and keeps running on "no".
    void stopAndCloseEndEverySlot() {
        StationFixture f;
        StationWindow& w = *f.window;
        QVERIFY(w.Initialise());
        w.findChild<QLabel*>("targetFile")->setText(kSamplePtt);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        // Phones never switched on: each slot waits until stopped.
        w.AddPort(QStringLiteral("sim:manual"));
        w.AddPort(QStringLiteral("sim:manual,chip=EC,A1"));
        w.StartStation();
        QVERIFY(w.running());
        QTRY_VERIFY(std::all_of(w.cells().begin(), w.cells().end(), [](StationCell* c) {
            return c->statusText() == QStringLiteral("请打开手机！");
        }));
        QTest::mouseClick(w.findChild<QPushButton*>("stopButton"), Qt::LeftButton);
        QTRY_VERIFY(!w.running());
        QVERIFY(SettingsShow(w, true));
        for (StationCell* cell : w.cells()) {
            QCOMPARE(cell->result(), SlotResult::kStopped);
        }
        QCOMPARE(w.failedCount(), 0);

        w.StartStation();
        QVERIFY(w.running());
        f.dialogs.stop_answers = {false};
        w.reject();  // asked, and the operator keeps the station running
        QCOMPARE(f.dialogs.stop_asked, 1);
        QVERIFY(w.running());
        w.reject();  // asked again, and stopped
        QCOMPARE(f.dialogs.stop_asked, 2);
        QVERIFY(!w.running());
        QVERIFY(!w.isVisible());
    }

    // Another program holds the station log's write lock: the phone passes, its
    // cell and a box at the station's end say where its row waits.
    void aRowTheLogCannotTakeIsSaid() {
        StationFixture f;
        StationWindow& w = *f.window;
        QVERIFY(w.Initialise());
        const std::string pending = velmora::PendingRowsPath(w.log_path);
        {
            velmora::StationLog make;
            QVERIFY(make.Open(w.log_path, nullptr));
        }
        sqlite3* holder = nullptr;
        sqlite3_open(w.log_path.c_str(), &holder);
        QCOMPARE(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        w.findChild<QLabel*>("targetFile")->setText(kSamplePtt);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w.AddPort(QStringLiteral("sim:chip=EC,A1"));
        w.StartStation();
        QTRY_VERIFY_WITH_TIMEOUT(!w.running(), 60000);
        sqlite3_close(holder);

        QCOMPARE(w.cells()[0]->result(), SlotResult::kPassed);
        QVERIFY2(w.cells()[0]->logProblemText().contains(QString::fromStdString(pending)),
                 qPrintable(w.cells()[0]->logProblemText()));
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        QCOMPARE(f.dialogs.messages.back().icon, MessageIcon::Warning);
        QVERIFY(f.dialogs.lastText().contains(QString::fromStdString(pending)));
        QVERIFY(w.findChild<QLabel*>("logNote")->isVisibleTo(&w));
        QCOMPARE(velmora::ReadPendingRows(w.log_path).rows.back().result, 0);
    }

    // Nothing ticked, or no table: refused with a box, nothing runs.
    void refusedStartsStartNothing() {
        StationFixture f;
        StationWindow& w = *f.window;
        QVERIFY(w.Initialise());
        w.StartStation();
        QCOMPARE(f.dialogs.lastText(), QStringLiteral("请选择至少一个端口！"));
        QVERIFY(!w.running());
        w.findChild<QLabel*>("targetFile")->clear();
        w.AddPort(QStringLiteral("sim"));
        w.StartStation();
        QCOMPARE(f.dialogs.messages.size(), size_t(2));
        QCOMPARE(f.dialogs.messages.back().icon, MessageIcon::Error);
        QVERIFY(!w.running());
        QVERIFY(w.cells().empty());
        QVERIFY(SettingsShow(w, true));
    }

    // The station speaks English as the window does, its cells too.
    void speaksEnglish() {
        StationFixture f;
        StationWindow& w = *f.window;
        QVERIFY(w.Initialise());
        w.SetLanguage(Language::kEnglish);
        QCOMPARE(w.findChild<QLabel*>("passedText")->text(), QStringLiteral("Passed: 0"));
        QCOMPARE(w.findChild<QCheckBox*>("loopCheck")->text(),
                 QStringLiteral("Loop (wait for the next phone when done)"));
        w.findChild<QLabel*>("targetFile")->setText(kSamplePtt);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w.AddPort(QStringLiteral("sim:manual"));
        w.StartStation();
        w.StopStation();
        QTRY_VERIFY(!w.running());
        QCOMPARE(w.cells()[0]->resultText(), QStringLiteral("Stopped"));
        w.SetLanguage(Language::kChinese);
        QCOMPARE(w.cells()[0]->resultText(), QStringLiteral("已停止"));
    }
};

QTEST_MAIN(StationWindowTest)
#include "station_window_test.moc"
