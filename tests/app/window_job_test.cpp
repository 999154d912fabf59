#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <thread>

#include "app/block_map.h"
#include "app/progress_bar.h"
#include "app/window_jobs.h"
#include "config/chip_catalogue.h"
#include "integration/nand_harness.h"
#include "sim/nand.h"
#include "window_fixture.h"

using namespace velmora::app;

namespace {

// Between jobs every job control is enabled but Stop; during one, only Stop.
bool ControlsShow(const MainWindow& w, bool idle) {
    const std::initializer_list<QWidget*> choices = {
        w.findChild<QComboBox*>("baudList"),       w.findChild<QComboBox*>("portList"),
        w.findChild<QPushButton*>("chooseButton"), w.findChild<QComboBox*>("workModeList"),
        w.findChild<QComboBox*>("rangeList"),      w.findChild<QCheckBox*>("serialCheck")};
    const bool all = std::all_of(choices.begin(), choices.end(),
                                 [&](QWidget* c) { return c->isEnabled() == idle; });
    return all && w.findChild<QPushButton*>("startButton")->isEnabled() == idle &&
           w.findChild<QPushButton*>("stopButton")->isEnabled() == !idle;
}

void ExpectIdle(const MainWindow& w) {
    QVERIFY(ControlsShow(w, true));
    QCOMPARE(w.findChild<QPushButton*>("startButton")->text(), QStringLiteral("开始"));
}

void ExpectBusy(const MainWindow& w) {
    QVERIFY(ControlsShow(w, false));
}

// A simulated phone never switched on: a job waits for it until stopped.
const QString kSilentPhone = QStringLiteral("sim:manual");

// Starts an erase that waits for the phone.
void StartWaitingJob(WindowFixture& f) {
    MainWindow& w = *f.window;
    Choose(w.findChild<QComboBox*>("workModeList"), 2);
    w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
    w.findChild<QComboBox*>("portList")->setEditText(kSilentPhone);
    QTest::mouseClick(w.findChild<QPushButton*>("startButton"), Qt::LeftButton);
}

// A code upgrade of the sample firmware against the simulated phone, to its end:
// green and full, the chip shown, and no boxes outside debug mode.
void RunSampleUpgrade(WindowFixture& f, bool serial, const char* port) {
    MainWindow& w = *f.window;
    w.findChild<QLabel*>("targetFile")
        ->setText(QStringLiteral(VELMORA_BINARY_DIR "/examples/sample/sample.ptt"));
    w.findChild<QCheckBox*>("serialCheck")->setChecked(serial);
    w.findChild<QComboBox*>("portList")->setEditText(QString::fromLatin1(port));
    w.StartJob();
    QVERIFY(w.jobRunning());
    ExpectBusy(w);
    QCOMPARE(w.findChild<QPushButton*>("startButton")->text(), QStringLiteral("代码升级"));
    QTRY_VERIFY_WITH_TIMEOUT(!w.jobRunning(), 60000);
    ExpectIdle(w);
    QCOMPARE(w.findChild<QLabel*>("chipInfo")->text().remove(u' '), QStringLiteral("EC,A1,00,15"));
    QCOMPARE(w.findChild<ProgressBar*>("progressBar")->barColour(), 0x0BD40Bu);
    QCOMPARE(w.findChild<ProgressBar*>("progressBar")->paintedText(), QStringLiteral("100%"));
    QVERIFY(f.dialogs.messages.empty());
}

}  // namespace

class WindowJobTest : public QObject {
    Q_OBJECT
  private slots:
    void refusedStartStartsNothing() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        w.StartJob();  // code upgrade without a table
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        QCOMPARE(f.dialogs.messages[0].caption, QStringLiteral("错误"));
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("请选择PTT文件！"));
        QCOMPARE(f.dialogs.messages[0].icon, MessageIcon::Error);
        QVERIFY(!w.jobRunning());
        ExpectIdle(w);
    }

    // Stop, then closing the window during a job: each ends the job and the
    // controls come back; closing also saves the settings.
    void stopOrCloseEndsTheJob() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        StartWaitingJob(f);
        QVERIFY(w.jobRunning());
        ExpectBusy(w);
        QCOMPARE(w.findChild<QPushButton*>("startButton")->text(), QStringLiteral("ERASE FLASH"));
        QTRY_COMPARE(w.findChild<QLabel*>("statusText")->text(), QStringLiteral("请打开手机！"));
        QTest::mouseClick(w.findChild<QPushButton*>("stopButton"), Qt::LeftButton);
        QVERIFY(w.findChild<QLabel*>("statusText")->text().isEmpty());
        QTRY_VERIFY(!w.jobRunning());
        ExpectIdle(w);

        StartWaitingJob(f);
        QVERIFY(w.jobRunning());
        w.reject();  // the close box and Esc
        QVERIFY(!w.jobRunning());
        ExpectIdle(w);
        QFile settings(w.settingsPath());
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QVERIFY(settings.readAll().contains("WORKMODE=2"));
    }

    // Closing the window once block 0 is erased waits for its write: the phone,
    // which paces the write at the line rate, keeps a whole new boot block.
    void closeWhileBlockZeroIsWrittenWaitsForTheWholeBlock() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        const std::string dir = f.home();
        const std::vector<uint8_t> boot = velmora::testing::BootImage(2);
        velmora::testing::WriteSmallFirmware(dir, boot);
        w.findChild<QLabel*>("targetFile")->setText(QString::fromStdString(dir + "fw.ptt"));
        Choose(w.findChild<QComboBox*>("rangeList"),
               1);  // the partitions' blocks only: a short job
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w.findChild<QComboBox*>("portList")
            ->setEditText(QString::fromStdString("sim:pace,nand=" + dir + "phone.nand"));
        w.StartJob();
        QVERIFY(w.jobRunning());
        const BlockMapModel& map = *w.findChild<BlockMapModel*>("blockMap");
        QTRY_VERIFY_WITH_TIMEOUT(
            map.rowCount() > 0 &&
                map.data(map.index(0, 2), Qt::DisplayRole).toString() == QStringLiteral("G"),
            30000);
        w.reject();
        QVERIFY(!w.jobRunning());
        QCOMPARE(w.findChild<ProgressBar*>("progressBar")->barColour(), 0x0BD40Bu);
        f.window.reset();  // lets go of the simulated phone and its chip file

        velmora::sim::ChipDescription chip;
        QCOMPARE(velmora::LookupChip(dir, "EC,A1", chip.geometry), 0);
        velmora::sim::NandChip nand;
        QVERIFY(nand.Open(chip, dir + "phone.nand").empty());
        const auto block0 = nand.ReadBlock(0, false);
        QVERIFY(std::equal(boot.begin(), boot.begin() + 0x400, block0.begin()));
        QVERIFY(std::equal(boot.begin() + 0x1000, boot.end(), block0.begin() + 0x1000));
        QCOMPARE(block0[0x4000], uint8_t{0xFF});
    }

    void readCodeNamesItsOutput() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        Choose(w.findChild<QComboBox*>("workModeList"), 1);
        Choose(w.findChild<QComboBox*>("rangeList"), 1);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w.findChild<QComboBox*>("portList")->setEditText(kSilentPhone);
        w.StartJob();
        const QString output =
            QString::fromStdString(f.home()) + QStringLiteral("upload_nand/upload_eerom.bin");
        QCOMPARE(f.dialogs.lastText(), QStringLiteral("读取代码文件存储为: ") + output);
        QCOMPARE(w.findChild<QLabel*>("targetFile")->text(), output);
        QCOMPARE(w.findChild<QPushButton*>("startButton")->text(), QStringLiteral("读FLASH数据"));
        w.StopJob();
        QTRY_VERIFY(!w.jobRunning());

        // The files of an earlier read are replaced only when the operator says so.
        std::ofstream(output.toStdString()) << "last phone's EEROM";
        w.StartJob();
        QCOMPARE(f.dialogs.replace_asked.size(), size_t(1));
        QCOMPARE(f.dialogs.replace_asked[0], QStringLiteral("upload_eerom.bin"));
        QVERIFY(!w.jobRunning());
        f.dialogs.replace_answer = true;
        w.StartJob();
        QVERIFY(w.jobRunning());
        w.StopJob();
        QTRY_VERIFY(!w.jobRunning());
    }

    // A whole code upgrade against the simulated phone, then a job that fails.
    void wholeJobsAgainstTheSimulatedPhone() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        RunSampleUpgrade(f, true, "sim:chip=EC,A1,bad=5");
        const BlockMapModel& map = *w.findChild<BlockMapModel*>("blockMap");
        const auto colour = [&](int block) {
            return map.data(map.index(block, 0), Qt::BackgroundRole).value<QColor>();
        };
        const auto status = [&](int block) {
            return map.data(map.index(block, 2), Qt::DisplayRole).toString();
        };
        QCOMPARE(map.rowCount(), 1024);
        QCOMPARE(map.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("STATUS"));
        QCOMPARE(map.data(map.index(1023, 1), Qt::DisplayRole).toString(),
                 QStringLiteral("0x07FE0000"));
        QCOMPARE(colour(0), QColor(0, 192, 0));  // the boot block, programmed
        QCOMPARE(colour(1), QColor(0, 192, 0));
        QCOMPARE(status(1), QStringLiteral("G"));
        QCOMPARE(status(5), QStringLiteral("NG"));     // the factory bad block
        QCOMPARE(colour(500), QColor(255, 128, 255));  // erased, never programmed

        // A chip the catalogue does not know: the job fails, red and full.
        Choose(w.findChild<QComboBox*>("workModeList"), 2);
        w.findChild<QComboBox*>("portList")->setEditText(QStringLiteral("sim:id=12,34,00,15"));
        w.StartJob();
        QTRY_VERIFY_WITH_TIMEOUT(!w.jobRunning(), 60000);
        ExpectIdle(w);
        QCOMPARE(w.findChild<QLabel*>("statusText")->text(), QStringLiteral("未知芯片类型！"));
        QCOMPARE(w.findChild<ProgressBar*>("progressBar")->position(), 100);
        QCOMPARE(w.findChild<ProgressBar*>("progressBar")->barColour(), 0x0000FFu);
        QVERIFY(w.findChild<ProgressBar*>("progressBar")->paintedText().isEmpty());
    }

    // Display calls from another thread arrive in the order they were made; a
    // step message holds its caller until the box is closed.
    void displayCallsKeepTheirOrder() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        WindowJobs& sink = w.jobs();
        std::atomic<bool> returned{false};
        bool held = false;
        QThread* gui = QThread::currentThread();
        f.dialogs.on_message = [&](const QString&) {
            held = !returned.load() && QThread::currentThread() == gui;
        };

        std::thread worker([&] {
            sink.OnBlockMapInit(4096, 0x20000);
            for (int b = 0; b < 4096; ++b) {
                sink.OnBlockColour(b, b < 2048 ? 0x00C000 : 0xFF80FF, b <= 4 ? 1 : b - 3);
                sink.OnProgress(b * 100 / 4096);
            }
            sink.OnBlockText(4095, 2, "NG");
            sink.OnBlockColour(10, 0x1414C8, 7);
            sink.OnStatus("first");
            sink.OnStatus("second");
            sink.OnBarColour(0x0BD40B);
            sink.OnProgress(100);
            sink.OnStepMessage("step");
            returned = true;
            sink.OnChipInfo(" EC, A1, 00, 15");
        });
        QTRY_VERIFY(returned.load());
        worker.join();
        QCoreApplication::processEvents();
        QVERIFY(held);
        QCOMPARE(f.dialogs.lastText(), QStringLiteral("step"));
        QCOMPARE(w.findChild<QLabel*>("statusText")->text(), QStringLiteral("second"));
        QCOMPARE(w.findChild<QLabel*>("chipInfo")->text(), QStringLiteral(" EC, A1, 00, 15"));
        QCOMPARE(w.findChild<ProgressBar*>("progressBar")->position(), 100);
        QCOMPARE(w.findChild<ProgressBar*>("progressBar")->barColour(), 0x0BD40Bu);
        const BlockMapModel& map = *w.findChild<BlockMapModel*>("blockMap");
        QCOMPARE(map.rowCount(), 4096);
        QCOMPARE(map.data(map.index(4095, 2), Qt::DisplayRole).toString(), QStringLiteral("NG"));
        QCOMPARE(map.data(map.index(4095, 0), Qt::BackgroundRole).value<QColor>(),
                 QColor(255, 128, 255));
        QCOMPARE(map.data(map.index(10, 2), Qt::BackgroundRole).value<QColor>(),
                 QColor(200, 20, 20));
        QCOMPARE(w.findChild<BlockMapView*>("blockMapView")->topBlock(), 6);
    }

    // The serial box unchecked and "sim": a code upgrade over the USB stand-in, from
    // the boot ROM's DFU device to the RAM loader's bulk pipes; then an unusable text.
    void upgradeOverUsbAgainstTheSimulatedPhone() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        RunSampleUpgrade(f, false, "sim:chip=EC,A1");

        w.findChild<QComboBox*>("portList")->setEditText(QStringLiteral("sim:busy=x"));
        w.StartJob();
        QVERIFY(!w.jobRunning());
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        QVERIFY(f.dialogs.messages[0].text.contains(QStringLiteral("busy")));
    }

    // A malformed USB link text is refused as the command line refuses it, never
    // replaced by the default search; a serial port's name still means the default.
    // The USB choice and the text are kept with the other settings.
    void usbOverrideIsCheckedAndKept() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        w.findChild<QCheckBox*>("serialCheck")->setChecked(false);
        for (const char* bad : {"dfu=xyz", "path=1-4-2", "1-4.2"}) {
            f.dialogs.messages.clear();
            w.findChild<QComboBox*>("portList")->setEditText(QString::fromLatin1(bad));
            w.StartJob();
            QVERIFY(!w.jobRunning());
            QCOMPARE(f.dialogs.messages.size(), size_t(1));
            QVERIFY2(f.dialogs.messages[0].text.contains(QString::fromLatin1(bad)), bad);
        }
        w.findChild<QComboBox*>("portList")->setEditText(QStringLiteral("path=1-4.2,dlv=1209"));
        f.Close();
        QFile file(QString::fromStdString(f.home()) + QStringLiteral("velmora.ini"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString saved = QString::fromUtf8(file.readAll());
        QVERIFY2(saved.contains(QStringLiteral("SERIAL=0\nUSBPORT=path=1-4.2,dlv=1209\n")),
                 qPrintable(saved));

        QVERIFY(f.Open());
        QVERIFY(!f.window->findChild<QCheckBox*>("serialCheck")->isChecked());
        QCOMPARE(f.window->findChild<QComboBox*>("portList")->currentText(),
                 QStringLiteral("path=1-4.2,dlv=1209"));
        f.window->findChild<QCheckBox*>("serialCheck")->setChecked(true);
        f.Close();
        QVERIFY(f.Open());
        QVERIFY(f.window->findChild<QCheckBox*>("serialCheck")->isChecked());
        QCOMPARE(f.window->findChild<QComboBox*>("portList")->currentText(),
                 QStringLiteral("/dev/ttyUSB0"));
    }
};

QTEST_MAIN(WindowJobTest)
#include "window_job_test.moc"
