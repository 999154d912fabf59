// Takes the window through its states under a real display (Xvfb) and saves
// pictures of them, or measures how responsive it stays during a paced job.
//   velmora-window-tour shots DIR
//   velmora-window-tour languages DIR   the main states in Chinese and in English
//   velmora-window-tour station DIR     the station view during a run and after a
//                                       failure, in both languages
//   velmora-window-tour measure
// Both run against the simulated phone inside the program, in a scratch home.
#include <time.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

#include "app/app_icon.h"
#include "app/block_map.h"
#include "app/dialog_host.h"
#include "app/dialogs.h"
#include "app/failure_details.h"
#include "app/language.h"
#include "app/main_window.h"
#include "app/progress_bar.h"
#include "app/ptt_viewer.h"
#include "app/station_cell.h"
#include "app/station_window.h"
#include "config/partition_table.h"

using namespace velmora::app;

namespace {

const QString kSamplePtt = QStringLiteral(VELMORA_BINARY_DIR "/examples/sample/sample.ptt");

// Lets the event loop run for `ms` milliseconds.
void Pump(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

// Waits until `done` holds or `ms` pass; false on time-out.
bool PumpUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Boxes that show themselves for a moment, are pictured when a name is set,
// and answer on their own: the tour never waits for an operator.
class TourDialogs : public DialogHost {
  public:
    explicit TourDialogs(QString folder) : folder_(std::move(folder)) {}
    QString next_shot;  // file name for the next box shown

    void Shoot(QWidget* widget, const QString& name) {
        widget->show();
        widget->raise();
        Pump(150);
        widget->grab().save(folder_ + u'/' + name);
        std::printf("saved %s\n", qPrintable(name));
    }

    void Message(QWidget* parent, MessageIcon icon, const QString& caption,
                 const QString& text) override {
        std::printf("box: %s\n", qPrintable(text));
        if (next_shot.isEmpty()) {
            return;
        }
        QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                        caption.isEmpty() ? QString::fromLatin1(kProgramName) : caption, text,
                        QMessageBox::Ok, parent);
        Shoot(&box, std::exchange(next_shot, {}));
    }
    QString warning_shot = QStringLiteral("dialog-warning.png");
    bool ConfirmEeromErase(QWidget* parent) override {
        WarningDialog dialog(parent);
        Shoot(&dialog, warning_shot);
        return false;
    }
    bool ConfirmAreaErase(QWidget* parent, const velmora::AreaQuestion& area) override {
        AreaEraseQuestion box(area, parent);
        Shoot(&box, QStringLiteral("dialog-area-question.png"));
        return false;
    }
    // Pictured, then answered as asked for.
    bool stop_answer = true;
    QString stop_shot = QStringLiteral("dialog-stop-question.png");
    bool ConfirmReplaceFiles(QWidget*, const QString&, const QString&) override { return true; }
    bool ConfirmStopJob(QWidget* parent) override {
        StopQuestion box(parent);
        Shoot(&box, stop_shot);
        return stop_answer;
    }
    bool EnterRange(QWidget* parent, uint32_t& start, uint32_t& end) override {
        RangeDialog dialog(*this, start, end, parent);
        dialog.startEdit()->setText(QStringLiteral("20000"));
        dialog.endEdit()->setText(QStringLiteral("3FFFF"));
        Shoot(&dialog, QStringLiteral("dialog-range.png"));
        dialog.accept();
        start = dialog.start();
        end = dialog.end();
        return true;
    }
    bool ViewPartitionTable(QWidget* parent, velmora::PartitionTable& table,
                            QString& path) override {
        PartitionTableViewer viewer(*this, table, path, parent);
        Shoot(&viewer, QStringLiteral("dialog-viewer.png"));
        return true;
    }
    void ShowAbout(QWidget* parent) override {
        AboutDialog dialog(parent);
        Shoot(&dialog, QStringLiteral("dialog-about.png"));
    }
    void ShowPortSearch(QWidget* parent) override {
        PortSearchDialog dialog(parent);
        dialog.show();
        Pump(100);
        if (!folder_.isEmpty()) {
            dialog.grab().save(folder_ + QStringLiteral("/dialog-port-search.png"));
            std::printf("saved dialog-port-search.png\n");
        }
        PumpUntil([&] { return !dialog.isVisible(); }, 2000);
    }
    QString backup_base;  // the folder the chooser answers with
    bool ChooseFolder(QWidget*, const QString&, QString& folder) override {
        folder = backup_base;
        return true;
    }
    bool ChooseSaveFile(QWidget*, const QString&, QString&) override { return false; }
    QString health_shot = QStringLiteral("dialog-health.png");
    void ShowHealthReport(QWidget* parent, const QString& text, const QString& json) override {
        HealthDialog dialog(*this, text, json, parent);
        Shoot(&dialog, health_shot);
    }

    // Pictured beside its window, with the window's status in view.
    QString failure_shot;
    void ShowFailure(QWidget* parent, const FailureReport& report) override {
        if (failure_shot.isEmpty() || parent == nullptr) {
            return;
        }
        // The window at the screen's left edge, so that both fit side by side.
        parent->move(0, parent->y());
        FailureDialog dialog(report, parent);
        dialog.show();
        Pump(100);
        const QRect window = parent->frameGeometry();
        dialog.move(window.right() + 8, window.top());
        dialog.raise();
        Pump(200);
        const QRect area = window.united(dialog.frameGeometry());
        parent->screen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .save(folder_ + u'/' + failure_shot);
        std::printf("saved %s\n", qPrintable(std::exchange(failure_shot, {})));
    }

  private:
    QString folder_;
};

struct Tour {
    QTemporaryDir home;
    TourDialogs dialogs;
    std::unique_ptr<MainWindow> window;

    explicit Tour(const QString& folder) : dialogs(folder) {
        QFile::copy(QStringLiteral(VELMORA_BIN_DIR "/FlashChip.ini"),
                    home.path() + QStringLiteral("/FlashChip.ini"));
        MainWindow::Options options;
        options.home = home.path().toStdString() + "/";
        options.probe_ports = [] { return std::vector<std::string>{"/dev/ttyS0", "/dev/ttyUSB0"}; };
        window = std::make_unique<MainWindow>(dialogs, options);
        dialogs.backup_base = home.path() + QStringLiteral("/backups");
    }

    // Erase or upgrade against a simulated phone given by its options, over the
    // serial link or the USB stand-in.
    void Start(int mode, int range, const QString& phone, bool serial = true) {
        MainWindow& w = *window;
        w.findChild<QComboBox*>("workModeList")->setCurrentIndex(mode);
        w.OnWorkModeChange();
        w.findChild<QComboBox*>("rangeList")->setCurrentIndex(range);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(serial);
        w.findChild<QComboBox*>("portList")->setEditText(phone);
        w.findChild<QLabel*>("targetFile")->setText(kSamplePtt);
        w.findChild<QPushButton*>("startButton")->click();
    }

    int Coloured() const {
        const velmora::BlockMap& map = window->findChild<BlockMapModel*>("blockMap")->map();
        int n = 0;
        for (int b = 0; b < map.block_count(); ++b) {
            n += map.Colour(b).has_value() ? 1 : 0;
        }
        return n;
    }
};

int Shots(const QString& folder) {
    QDir().mkpath(folder);
    Tour tour(folder);
    if (!tour.window->Initialise()) {
        return 1;
    }
    MainWindow& w = *tour.window;
    w.show();
    Pump(300);
    const auto shoot_window = [&](const QString& name) {
        Pump(100);
        w.grab().save(folder + u'/' + name);
        std::printf("saved %s\n", qPrintable(name));
    };
    shoot_window(QStringLiteral("window-idle.png"));

    tour.dialogs.ShowAbout(&w);
    w.findChild<QComboBox*>("workModeList")->setCurrentIndex(2);
    w.OnWorkModeChange();
    w.findChild<QComboBox*>("rangeList")->setCurrentIndex(4);
    w.OnRangeChange();  // the warning, answered "否"
    w.findChild<QComboBox*>("rangeList")->setCurrentIndex(1);
    w.OnRangeChange();  // the range entry, 0x20000 to 0x3FFFF
    {
        RangeDialog refused(tour.dialogs, 0, 0, &w);
        refused.startEdit()->setText(QStringLiteral("1FFFF"));
        refused.endEdit()->setText(QStringLiteral("1FFFE"));
        refused.show();
        tour.dialogs.next_shot = QStringLiteral("message-range-refused.png");
        refused.accept();
    }
    shoot_window(QStringLiteral("window-erase-area.png"));
    w.findChild<QLabel*>("targetFile")->setText(kSamplePtt);
    w.OnChooseFile();  // the viewer over the sample table
    w.findChild<QComboBox*>("workModeList")->setCurrentIndex(0);
    w.OnWorkModeChange();
    w.findChild<QLabel*>("targetFile")->clear();
    tour.dialogs.next_shot = QStringLiteral("message-no-ptt.png");
    w.StartJob();

    // A paced code upgrade, pictured once half the chip shows its colours (or,
    // should the job end before that, as it stood at its end).
    tour.Start(0, 0, QStringLiteral("sim:pace"));
    PumpUntil([&] { return tour.Coloured() >= 512 || !w.jobRunning(); }, 120000);
    shoot_window(QStringLiteral("window-upgrade-running.png"));
    w.StopJob();
    PumpUntil([&] { return !w.jobRunning(); }, 20000);
    shoot_window(QStringLiteral("window-upgrade-stopped.png"));

    // A job that fails: the phone reports a chip the catalogue does not know.
    tour.Start(2, 0, QStringLiteral("sim:id=12,34,00,15"));
    PumpUntil([&] { return !w.jobRunning(); }, 60000);
    shoot_window(QStringLiteral("window-failed.png"));

    // Over USB, a phone that cannot be opened: the status says why and what to do.
    tour.Start(2, 0, QStringLiteral("sim:deny=access"), false);
    PumpUntil([&] { return !w.jobRunning(); }, 60000);
    shoot_window(QStringLiteral("window-usb-unopenable.png"));

    // And one that succeeds, at the phone's full speed.
    tour.Start(0, 0, QStringLiteral("sim"));
    PumpUntil([&] { return !w.jobRunning(); }, 60000);
    shoot_window(QStringLiteral("window-upgrade-done.png"));
    w.accept();
    return 0;
}

// The window in each language: idle, writing (with the question that closing
// it then asks, answered "keep running"), after a failure, after a success
// over USB, which shows the device and the rate, after an upgrade backed up
// first and verified, and the debug mode's NAND health report.
int Languages(const QString& folder) {
    QDir().mkpath(folder);
    for (const Language language : {Language::kChinese, Language::kEnglish}) {
        const QString suffix =
            QStringLiteral("-%1.png").arg(QString::fromStdString(LanguageKey(language)));
        ApplyLanguage(language);
        Tour tour(folder);
        if (!tour.window->Initialise()) {
            return 1;
        }
        MainWindow& w = *tour.window;
        w.SetLanguage(language);
        w.show();
        Pump(300);
        const auto shoot_window = [&](const QString& name) {
            Pump(100);
            w.grab().save(folder + u'/' + name + suffix);
            std::printf("saved %s%s\n", qPrintable(name), qPrintable(suffix));
        };
        shoot_window(QStringLiteral("window-idle"));

        tour.Start(0, 0, QStringLiteral("sim:pace"));
        PumpUntil([&] { return tour.Coloured() >= 300 || !w.jobRunning(); }, 120000);
        PumpUntil(
            [&] { return !w.findChild<QLabel*>("rateText")->text().isEmpty() || !w.jobRunning(); },
            60000);
        shoot_window(QStringLiteral("window-upgrade-running"));
        tour.dialogs.stop_answer = false;
        tour.dialogs.stop_shot = QStringLiteral("dialog-stop-question") + suffix;
        w.reject();  // the close box: asked, and the job keeps running
        w.StopJob();
        PumpUntil([&] { return !w.jobRunning(); }, 20000);

        tour.Start(2, 0, QStringLiteral("sim:id=12,34,00,15"));
        PumpUntil([&] { return !w.jobRunning(); }, 60000);
        shoot_window(QStringLiteral("window-failed"));
        tour.dialogs.failure_shot = QStringLiteral("window-failed-details") + suffix;
        w.findChild<QPushButton*>("detailsButton")->click();

        // The question before the EEROM is erased, answered "否".
        tour.dialogs.warning_shot = QStringLiteral("dialog-warning") + suffix;
        w.findChild<QComboBox*>("workModeList")->setCurrentIndex(2);
        w.OnWorkModeChange();
        w.findChild<QComboBox*>("rangeList")->setCurrentIndex(4);
        w.OnRangeChange();

        tour.Start(0, 0, QStringLiteral("sim:chip=EC,A1"), false);
        PumpUntil([&] { return !w.jobRunning(); }, 60000);
        shoot_window(QStringLiteral("window-upgrade-done"));

        // Backed up first and verified after, then the debug mode's health report
        // of a chip with factory-bad and grown-bad blocks.
        w.findChild<QCheckBox*>("backupCheck")->setChecked(true);
        w.findChild<QCheckBox*>("verifyCheck")->setChecked(true);
        w.OnChooseBackupFolder();
        tour.Start(0, 0, QStringLiteral("sim:chip=EC,A1,bad=5+9,grown=700"));
        PumpUntil([&] { return !w.jobRunning(); }, 60000);
        shoot_window(QStringLiteral("window-backup-verify"));
        w.SetDebugMode(true);
        tour.dialogs.health_shot = QStringLiteral("dialog-health") + suffix;
        w.findChild<QPushButton*>("healthButton")->click();
        PumpUntil([&] { return !w.jobRunning(); }, 60000);
        w.SetDebugMode(false);
        w.accept();
    }
    return 0;
}

// The station view in each language, pictured while paced phones are being
// written and one has failed on a block that would not program, and after a
// run at full speed in which one failed.
int Station(const QString& folder) {
    QDir().mkpath(folder);
    for (const Language language : {Language::kChinese, Language::kEnglish}) {
        ApplyLanguage(language);
        QTemporaryDir home;
        QFile::copy(QStringLiteral(VELMORA_BIN_DIR "/FlashChip.ini"),
                    home.path() + QStringLiteral("/FlashChip.ini"));
        TourDialogs dialogs({});
        StationWindow::Options options;
        options.home = home.path().toStdString() + "/";
        options.probe_ports = [] { return std::vector<std::string>{"/dev/ttyUSB0"}; };
        StationWindow w(dialogs, options);
        if (!w.Initialise()) {
            return 1;
        }
        w.SetLanguage(language);
        w.findChild<QLabel*>("targetFile")->setText(kSamplePtt);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        for (const char* phone :
             {"sim:pace", "sim:pace,bad=5", "sim:pace,chip=20,A1", "sim:pace,program-fail=2",
              "sim:pace,bad=9", "sim:pace,bad=3+7"}) {
            w.AddPort(QString::fromLatin1(phone));
        }
        w.show();
        Pump(300);
        w.StartStation();
        const auto writing = [&] {
            int failed = 0;
            int under_way = 0;
            for (StationCell* cell : w.cells()) {
                failed += cell->result() == SlotResult::kFailed ? 1 : 0;
                under_way += cell->progressBar()->position() >= 30 ? 1 : 0;
            }
            return failed == 1 && under_way >= 5;
        };
        PumpUntil([&] { return writing() || !w.running(); }, 180000);
        Pump(300);
        const auto shoot = [&](const char* state) {
            const QString name =
                QStringLiteral("station-%1-%2.png")
                    .arg(QString::fromLatin1(state), QString::fromStdString(LanguageKey(language)));
            w.grab().save(folder + u'/' + name);
            std::printf("saved %s\n", qPrintable(name));
        };
        shoot("running");
        w.CloseWithoutAsking();

        // Three phones at full speed, one of which fails on a block that would
        // not program: its cell names the step and what it means.
        w.findChild<QListWidget*>("portList")->clear();
        for (const char* phone : {"sim", "sim:program-fail=2", "sim:bad=5"}) {
            w.AddPort(QString::fromLatin1(phone));
        }
        w.show();
        w.StartStation();
        PumpUntil([&] { return !w.running(); }, 180000);
        Pump(300);
        shoot("failed");
        w.CloseWithoutAsking();
    }
    return 0;
}

// The longest gap between two turns of the event loop while a paced upgrade of
// a 1,024-block chip runs, and the time from Stop to the controls coming back.
int Measure() {
    Tour tour({});
    if (!tour.window->Initialise()) {
        return 1;
    }
    MainWindow& w = *tour.window;
    w.show();
    Pump(200);

    // Wall time between two turns of the loop, and the thread's own CPU time in
    // that gap: a long gap with little CPU means the thread was waiting for a
    // core, not busy.
    const auto cpu_ms = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
    };
    QElapsedTimer clock;
    qint64 last = 0;
    double last_cpu = cpu_ms();
    qint64 longest = 0;
    double longest_cpu = 0;
    QString longest_during;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        const double now_cpu = cpu_ms();
        if (now - last > longest) {
            longest = now - last;
            longest_cpu = now_cpu - last_cpu;
            longest_during = w.findChild<QLabel*>("statusText")->text();
        }
        last = now;
        last_cpu = now_cpu;
    });

    clock.start();
    ticker.start(1);
    tour.Start(0, 0, QStringLiteral("sim:chip=EC,A1,pace"));
    const bool ended = PumpUntil([&] { return !w.jobRunning(); }, 600000);
    std::printf("paced upgrade: %s after %.1f s, status \"%s\", %d blocks coloured\n",
                ended ? "ended" : "still running", clock.elapsed() / 1000.0,
                qPrintable(w.findChild<QLabel*>("statusText")->text()), tour.Coloured());
    std::printf(
        "longest event-loop stall: %lld ms, %.1f ms of it on the CPU (status then: \"%s\")\n",
        static_cast<long long>(longest), longest_cpu, qPrintable(longest_during));

    // The same at the simulated phone's full speed, where the job's display
    // calls come as fast as the worker can make them.
    longest = 0;
    clock.restart();
    last = 0;
    last_cpu = cpu_ms();
    tour.Start(0, 0, QStringLiteral("sim:chip=EC,A1"));
    PumpUntil([&] { return !w.jobRunning(); }, 600000);
    std::printf(
        "unpaced upgrade: %.1f s, longest event-loop stall: %lld ms, %.1f ms of it on the CPU "
        "(status then: \"%s\")\n",
        clock.elapsed() / 1000.0, static_cast<long long>(longest), longest_cpu,
        qPrintable(longest_during));

    ticker.stop();

    // Stop in the middle of the next one, once its erase has gone a third of the way.
    tour.Start(0, 0, QStringLiteral("sim:chip=EC,A1,pace"));
    PumpUntil([&] { return w.findChild<BlockMapModel*>("blockMap")->rowCount() == 0; }, 10000);
    PumpUntil([&] { return tour.Coloured() >= 300 || !w.jobRunning(); }, 120000);
    const int coloured = tour.Coloured();
    QElapsedTimer stop_clock;
    stop_clock.start();
    w.findChild<QPushButton*>("stopButton")->click();
    PumpUntil([&] { return w.findChild<QPushButton*>("startButton")->isEnabled(); }, 60000);
    std::printf("Stop to controls back: %lld ms (stopped with %d blocks coloured)\n",
                static_cast<long long>(stop_clock.elapsed()), coloured);
    w.accept();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ApplyLook();
    const QStringList args = QApplication::arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("shots")) {
        return Shots(args[2]);
    }
    if (args.size() == 3 && args[1] == QStringLiteral("languages")) {
        return Languages(args[2]);
    }
    if (args.size() == 3 && args[1] == QStringLiteral("station")) {
        return Station(args[2]);
    }
    if (args.size() == 2 && args[1] == QStringLiteral("measure")) {
        return Measure();
    }
    std::fprintf(stderr,
                 "usage: velmora-window-tour shots DIR | languages DIR | station DIR | measure\n");
    return 2;
}
