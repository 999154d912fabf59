// The window's net around a write: the backup and verify boxes, kept in the
// settings and carried into the job, and the debug mode's NAND health report.
#include <QCheckBox>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "app/dialogs.h"
#include "app/progress_bar.h"
#include "app/status_text.h"
#include "app/window_jobs.h"
#include "window_fixture.h"

using namespace velmora::app;

namespace {

const QString kSamplePtt = QStringLiteral(VELMORA_BINARY_DIR "/examples/sample/sample.ptt");

QString SettingsText(const WindowFixture& f) {
    QFile file(f.window ? f.window->settingsPath()
                        : QString::fromStdString(f.home()) + QStringLiteral("velmora.ini"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A code upgrade of the sample firmware over the serial link, to its end.
void RunUpgrade(MainWindow& w, const QString& port) {
    w.findChild<QLabel*>("targetFile")->setText(kSamplePtt);
    w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
    w.findChild<QComboBox*>("portList")->setEditText(port);
    w.StartJob();
    QVERIFY(w.jobRunning());
    // Locked with the other controls while the job runs.
    QVERIFY(!w.findChild<QCheckBox*>("backupCheck")->isEnabled());
    QVERIFY(!w.findChild<QPushButton*>("backupFolderButton")->isEnabled());
    QVERIFY(!w.findChild<QCheckBox*>("verifyCheck")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!w.jobRunning(), 60000);
    QVERIFY(w.findChild<QCheckBox*>("verifyCheck")->isEnabled());
}

}  // namespace

class WindowSafetyTest : public QObject {
    Q_OBJECT
  private slots:
    // Each box is enabled where it applies; the choices and the folder survive
    // a restart; a backup without a folder asks for one and, refused, starts nothing.
    void boxesApplyWhereTheyMeanSomethingAndAreKept() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow* w = f.window.get();
        QVERIFY(!w->findChild<QCheckBox*>("backupCheck")->isChecked());
        QVERIFY(!w->findChild<QCheckBox*>("verifyCheck")->isChecked());
        QVERIFY(w->findChild<QCheckBox*>("eeromTwiceCheck")->isChecked());
        const struct {
            int mode;
            bool backup;
            bool verify;
        } modes[] = {{1, false, false}, {2, true, false}, {0, true, true}};
        for (const auto& m : modes) {
            Choose(w->findChild<QComboBox*>("workModeList"), m.mode);
            QCOMPARE(w->findChild<QCheckBox*>("backupCheck")->isEnabled(), m.backup);
            QCOMPARE(w->findChild<QPushButton*>("backupFolderButton")->isEnabled(), m.backup);
            QCOMPARE(w->findChild<QCheckBox*>("verifyCheck")->isEnabled(), m.verify);
            QVERIFY(!w->findChild<QCheckBox*>("eeromTwiceCheck")
                         ->isEnabled());  // only a backup reads the EEROM
        }

        w->findChild<QCheckBox*>("backupCheck")->setChecked(true);
        QVERIFY(w->findChild<QCheckBox*>("eeromTwiceCheck")->isEnabled());
        w->findChild<QLabel*>("targetFile")->setText(kSamplePtt);
        w->findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w->findChild<QComboBox*>("portList")->setEditText(QStringLiteral("sim:manual"));
        w->StartJob();  // no folder yet, and the chooser is cancelled
        QCOMPARE(f.dialogs.folder_asked, 1);
        QVERIFY(!w->jobRunning());
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        QVERIFY(f.dialogs.lastText().contains(QStringLiteral("备份需要一个文件夹")));
        QCOMPARE(w->findChild<QPushButton*>("startButton")->text(), QStringLiteral("开始"));

        const QString base = QString::fromStdString(f.home()) + QStringLiteral("backups");
        f.dialogs.chosen_folder = base;
        QTest::mouseClick(w->findChild<QPushButton*>("backupFolderButton"), Qt::LeftButton);
        QCOMPARE(w->backupFolder(), base);
        QVERIFY2(SettingsText(f).contains(QStringLiteral("BACKUP_FIRST=1\nBACKUP_DIR=") + base +
                                          QStringLiteral("\nVERIFY=0\n")),
                 qPrintable(SettingsText(f)));
        w->findChild<QCheckBox*>("verifyCheck")->setChecked(true);
        w->findChild<QCheckBox*>("eeromTwiceCheck")->setChecked(false);
        f.Close();
        QVERIFY(SettingsText(f).contains(QStringLiteral("VERIFY=1\nEEROM_TWICE=0\n")));

        QVERIFY(f.Open());
        w = f.window.get();
        QVERIFY(w->findChild<QCheckBox*>("backupCheck")->isChecked());
        QVERIFY(w->findChild<QCheckBox*>("verifyCheck")->isChecked());
        QVERIFY(!w->findChild<QCheckBox*>("eeromTwiceCheck")->isChecked());
        QCOMPARE(w->backupFolder(), base);
        QCOMPARE(w->findChild<QLabel*>("backupFolderText")->text(), base);
        w->findChild<QCheckBox*>("backupCheck")->setChecked(false);
        f.Close();
        QVERIFY(f.Open());
        QVERIFY(!f.window->findChild<QCheckBox*>("backupCheck")->isChecked());
        QVERIFY(f.window->findChild<QCheckBox*>("verifyCheck")->isChecked());
    }

    // Two upgrades with both boxes ticked against the simulated phone: each
    // succeeds and leaves a whole backup in a folder of its own, even when both
    // start within the same second. The first reads the EEROM twice, the second,
    // with that box cleared, once.
    void upgradeBacksUpAndVerifies() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        const QString base = QString::fromStdString(f.home()) + QStringLiteral("backups");
        f.dialogs.chosen_folder = base;
        w.findChild<QCheckBox*>("backupCheck")->setChecked(true);
        w.findChild<QCheckBox*>("verifyCheck")->setChecked(true);
        const QString trace = QString::fromStdString(f.home()) + QStringLiteral("trace.jsonl");
        for (int run = 1; run <= 2; ++run) {
            w.findChild<QCheckBox*>("eeromTwiceCheck")->setChecked(run == 1);
            RunUpgrade(w, QStringLiteral("sim:chip=EC,A1,bad=5,trace=") + trace);
            QFile lines(trace);
            QVERIFY(lines.open(QIODevice::ReadOnly));
            QCOMPARE(lines.readAll().count(R"({"block":1000,"cmd":11,"count")"), run + 1);
            QVERIFY2(f.dialogs.messages.empty(), qPrintable(f.dialogs.lastText()));
            QCOMPARE(w.jobs().lastResult(), 0);
            QCOMPARE(w.findChild<ProgressBar*>("progressBar")->barColour(), 0x0BD40Bu);
            const QStringList backups = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            QCOMPARE(backups.size(), run);
            for (const QString& name : backups) {
                QVERIFY(QRegularExpression(QStringLiteral("^\\d{8}-\\d{6}(-\\d+)?$"))
                            .match(name)
                            .hasMatch());
                QVERIFY2(QFile::exists(base + u'/' + name + QStringLiteral("/manifest.json")),
                         qPrintable(name));
            }
        }
        QCOMPARE(f.dialogs.folder_asked, 1);  // chosen once, at the first Start
    }

    // A chip that stores one byte of a written block wrongly without saying so:
    // the verify finds it, the job fails with its own result and the status
    // names the block.
    void verifyFindsALyingBlock() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        w.findChild<QCheckBox*>("verifyCheck")->setChecked(true);
        RunUpgrade(w, QStringLiteral("sim:chip=EC,A1,flip=1:100"));
        QCOMPARE(w.jobs().lastResult(), 122);
        const std::string& error = w.jobs().failure()->end.error_text;
        QVERIFY2(error.find("block 1 ") != std::string::npos, error.c_str());
        QCOMPARE(w.findChild<QLabel*>("statusText")->text(), DisplayStatus(error));
        QCOMPARE(w.findChild<ProgressBar*>("progressBar")->barColour(), 0x0000FFu);
        QVERIFY(f.dialogs.messages.empty());  // outside debug mode: no boxes
    }

    // The health button exists in debug mode only; its job's report is shown
    // as text and saved as the job's JSON.
    void healthReportInDebugMode() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        QVERIFY(w.findChild<QPushButton*>("healthButton")->isHidden());
        QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
        QVERIFY(!w.findChild<QPushButton*>("healthButton")->isHidden());
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w.findChild<QComboBox*>("portList")->setEditText(QStringLiteral("sim:chip=EC,A1,bad=5+9"));
        f.dialogs.on_message = [](const QString&) {};  // debug mode's step boxes
        QTest::mouseClick(w.findChild<QPushButton*>("healthButton"), Qt::LeftButton);
        QVERIFY(w.jobRunning());
        QVERIFY(!w.findChild<QPushButton*>("healthButton")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!w.jobRunning(), 60000);
        QCOMPARE(w.jobs().lastResult(), 0);
        QCOMPARE(f.dialogs.reports.size(), size_t(1));
        const auto& report = f.dialogs.reports[0];
        QVERIFY2(report.text.contains(QStringLiteral("Bad blocks: 2")), qPrintable(report.text));
        const QJsonDocument json = QJsonDocument::fromJson(report.json.toUtf8());
        QVERIFY(json.object().contains(QStringLiteral("bad_blocks")));

        HealthDialog dialog(f.dialogs, report.text, report.json);
        QCOMPARE(dialog.reportView()->toPlainText(), report.text);
        QVERIFY(dialog.reportView()->isReadOnly());
        QVERIFY(!dialog.Save());  // cancelled
        const QString saved = QString::fromStdString(f.home()) + QStringLiteral("health.json");
        f.dialogs.chosen_save_file = saved;
        QVERIFY(dialog.Save());
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), report.json);

        QTest::keyClick(&w, Qt::Key_N, Qt::ControlModifier);
        QVERIFY(w.findChild<QPushButton*>("healthButton")->isHidden());
    }
};

QTEST_MAIN(WindowSafetyTest)
#include "window_safety_test.moc"
