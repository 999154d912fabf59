// The window's English interface, the question before a running write is
// stopped by closing, and what the status line makes of the job's texts.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>

#include "app/language.h"
#include "app/progress_bar.h"
#include "app/status_text.h"
#include "app/window_jobs.h"
#include "window_fixture.h"

using namespace velmora::app;

namespace {

QString SettingsText(const WindowFixture& f) {
    QFile file(QString::fromStdString(f.home()) + QStringLiteral("velmora.ini"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Picks a language from the window's language menu, as the operator does.
void ChooseLanguage(MainWindow& w, const QString& name) {
    for (QAction* action : w.findChild<QToolButton*>("languageButton")->menu()->actions()) {
        if (action->text() == name) {
            action->trigger();
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no language entry ") + name));
}

// A job that waits for a phone that is never switched on, until stopped.
void StartWaitingJob(MainWindow& w, int work_mode) {
    Choose(w.findChild<QComboBox*>("workModeList"), work_mode);
    Choose(w.findChild<QComboBox*>("rangeList"),
           1);  // for a read, the EEROM: no partition table needed
    w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
    w.findChild<QComboBox*>("portList")->setEditText(QStringLiteral("sim:manual"));
    w.StartJob();
}

}  // namespace

class WindowLanguageTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { ApplyLanguage(Language::kChinese); }

    void languageKeysAndTheSystemLocale() {
        QCOMPARE(LanguageFromKey("en"), Language::kEnglish);
        QCOMPARE(LanguageFromKey("system"), Language::kSystem);
        QCOMPARE(LanguageFromKey("zh"), Language::kChinese);
        QCOMPARE(LanguageFromKey("klingon"), Language::kChinese);
        QCOMPARE(LanguageFromKey(""), Language::kChinese);
        for (const Language l : {Language::kChinese, Language::kEnglish, Language::kSystem}) {
            QCOMPARE(LanguageFromKey(LanguageKey(l)), l);
        }
        const auto chinese = velmora::text::Lang::kChinese;
        const auto english = velmora::text::Lang::kEnglish;
        QVERIFY(!ShowsEnglish(Language::kSystem, chinese));
        QVERIFY(ShowsEnglish(Language::kSystem, english));
        QVERIFY(!ShowsEnglish(Language::kChinese, english));
        QVERIFY(ShowsEnglish(Language::kEnglish, chinese));
    }

    // Chosen in the menu, English shows at once, is kept with the other
    // settings (as the file's last key) and comes back with the next start;
    // a file without the key opens in Chinese.
    void englishIsChosenKeptAndRestored() {
        WindowFixture f;
        QVERIFY(f.Open());
        QCOMPARE(f.window->findChild<QPushButton*>("startButton")->text(), QStringLiteral("开始"));
        Choose(f.window->findChild<QComboBox*>("workModeList"), 1);
        ChooseLanguage(*f.window, QStringLiteral("English"));
        MainWindow& w = *f.window;
        QCOMPARE(w.language(), Language::kEnglish);
        QCOMPARE(w.findChild<QPushButton*>("startButton")->text(), QStringLiteral("Start"));
        QCOMPARE(w.findChild<QPushButton*>("exitButton")->text(), QStringLiteral("Exit"));
        QCOMPARE(w.findChild<QCheckBox*>("backupCheck")->text(), QStringLiteral("Back up first"));
        QCOMPARE(w.findChild<QCheckBox*>("verifyCheck")->text(), QStringLiteral("Verify"));
        QCOMPARE(w.findChild<QLabel*>("rangeLabel")->text(), QStringLiteral("Read range:"));
        QCOMPARE(Entries(w.findChild<QComboBox*>("workModeList")),
                 (QStringList{QStringLiteral("Code upgrade"), QStringLiteral("Read code"),
                              QStringLiteral("Erase")}));
        QCOMPARE(w.findChild<QComboBox*>("workModeList")->currentIndex(),
                 1);  // the choice survives the change
        QCOMPARE(Entries(w.findChild<QComboBox*>("rangeList")).first(),
                 QStringLiteral("By partition table"));
        QVERIFY(!w.windowTitle().contains(QStringLiteral("中文")));
        f.Close();
        QVERIFY2(SettingsText(f).endsWith(QStringLiteral("EEROM_TWICE=1\nLANGUAGE=en\n")),
                 qPrintable(SettingsText(f)));

        ApplyLanguage(Language::kChinese);
        QVERIFY(f.Open());
        QCOMPARE(f.window->language(), Language::kEnglish);
        QCOMPARE(f.window->findChild<QPushButton*>("stopButton")->text(), QStringLiteral("Stop"));
        ChooseLanguage(*f.window, QStringLiteral("中文"));
        QCOMPARE(f.window->findChild<QPushButton*>("stopButton")->text(), QStringLiteral("停止"));
        f.Close();

        QFile old(QString::fromStdString(f.home()) + QStringLiteral("velmora.ini"));
        QVERIFY(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
        old.write("[PATH]\nPTT=\nCOMPORT=0\nWORKMODE=0\nBAUDRATE=2\nERASE_RANGE=0\n");
        old.close();
        ApplyLanguage(Language::kEnglish);  // what an earlier window left behind
        QVERIFY(f.Open());
        ChooseLanguage(*f.window, QStringLiteral("中文"));
        QCOMPARE(f.window->findChild<QPushButton*>("startButton")->text(), QStringLiteral("开始"));
    }

    // The library's texts follow the language through its catalogue, also
    // those with a path or a count, and a fixed sentence that opens a longer
    // text; either way the status line has no line breaks or blanks at its ends.
    void statusTextsAreTrimmedAndTranslated() {
        QCOMPARE(DisplayStatus("\n\n请打开手机！ \n"), QStringLiteral("请打开手机！"));
        QCOMPARE(DisplayStatus("\nno such text\r\n"), QStringLiteral("no such text"));
        QCOMPARE(DisplayStatus("Backing up to /b/20260312-142501/..."),
                 QStringLiteral("正在备份到 /b/20260312-142501/ ..."));
        QCOMPARE(DisplayStatus("The phone asks to wait: 12 s..."),
                 QStringLiteral("手机要求等待：12 秒..."));
        const std::string open_failed =
            "打开串口失败！ /dev/ttyUSB9: No such file or directory. Check the cable.";
        QVERIFY(
            DisplayStatus(open_failed).startsWith(QStringLiteral("打开串口失败！ /dev/ttyUSB9")));
        ApplyLanguage(Language::kEnglish);
        QCOMPARE(DisplayStatus("Backing up to /b/20260312-142501/..."),
                 QStringLiteral("Backing up to /b/20260312-142501/..."));
        QCOMPARE(DisplayStatus("\n请打开手机！\n"), QStringLiteral("Switch on the phone!"));
        const QString english = DisplayStatus(open_failed);
        QVERIFY2(english.startsWith(QStringLiteral("Cannot open the serial port! /dev/ttyUSB9")) &&
                     !velmora::text::HasCjk(english.toStdString()),
                 qPrintable(english));
        QCOMPARE(DoneText({}), QStringLiteral("Done"));
        QCOMPARE(DisplayStatus("1.25 S"), QStringLiteral("1.25 S"));
        for (const char* text : {"12秒", "配置文件：2026-12-06(V1.0)"}) {
            const QString shown = DisplayStatus(text);
            QVERIFY2(!velmora::text::HasCjk(shown.toStdString()) && shown.contains(u'2'),
                     qPrintable(shown));
        }
    }

    // A failed job in English: the status is the translated text, trimmed.
    void failureShowsTrimmedTranslatedStatus() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        ChooseLanguage(w, QStringLiteral("English"));
        Choose(w.findChild<QComboBox*>("workModeList"), 2);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w.findChild<QComboBox*>("portList")->setEditText(QStringLiteral("sim:id=12,34,00,15"));
        w.StartJob();
        QTRY_VERIFY_WITH_TIMEOUT(!w.jobRunning(), 60000);
        const QString status = w.findChild<QLabel*>("statusText")->text();
        QVERIFY2(status.startsWith(QStringLiteral("Unknown chip type!")), qPrintable(status));
        QCOMPARE(status, status.trimmed());
        QCOMPARE(w.findChild<QLabel*>("deviceText")->text().left(9), QStringLiteral("/dev/pts/"));
        // Beside it the code with its step, and the details a click away.
        QCOMPARE(w.findChild<QLabel*>("resultText")->text(),
                 QStringLiteral("-7 · NAND identification"));
        w.findChild<QPushButton*>("detailsButton")->click();
        const FailureReport& report = f.dialogs.failures.at(0);
        QVERIFY(!report.meaning.isEmpty() && !report.next_step.isEmpty());
        QCOMPARE(report.last_lines.last(), QStringLiteral("Unknown chip type!"));
        // The language changes under it, and a new job clears it.
        ChooseLanguage(w, QStringLiteral("中文"));
        QCOMPARE(w.findChild<QLabel*>("statusText")->text(), QStringLiteral("未知芯片类型！"));
        StartWaitingJob(w, 1);
        QVERIFY(!w.findChild<QPushButton*>("detailsButton")->isVisibleTo(&w));
        QVERIFY(w.findChild<QLabel*>("resultText")->text().isEmpty());
        w.StopJob();
        QTRY_VERIFY(!w.jobRunning());
        QVERIFY(!w.findChild<QPushButton*>("detailsButton")->isVisibleTo(&w));
    }

    // After a success the status says so instead of the last step's text, and
    // the write's rate and the USB device are on screen.
    void successShowsDoneRateAndDevice() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        w.findChild<QLabel*>("targetFile")
            ->setText(QStringLiteral(VELMORA_BINARY_DIR "/examples/sample/sample.ptt"));
        w.findChild<QCheckBox*>("serialCheck")->setChecked(false);
        w.findChild<QComboBox*>("portList")->setEditText(QStringLiteral("sim:chip=EC,A1"));
        w.StartJob();
        QVERIFY(w.jobRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!w.jobRunning(), 60000);
        QCOMPARE(w.findChild<ProgressBar*>("progressBar")->barColour(), 0x0BD40Bu);
        QCOMPARE(w.findChild<QLabel*>("statusText")->text(), QStringLiteral("完成"));
        QVERIFY2(w.findChild<QLabel*>("rateText")->text().endsWith(QStringLiteral("/s")),
                 qPrintable(w.findChild<QLabel*>("rateText")->text()));
        // "bus-port, vendor:product"
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+-[\\d.]+, [0-9a-f]{4}:[0-9a-f]{4}$"))
                     .match(w.findChild<QLabel*>("deviceText")->text())
                     .hasMatch(),
                 qPrintable(w.findChild<QLabel*>("deviceText")->text()));
    }

    // Closing during a write asks first: "no" keeps the job and the window,
    // "yes" stops it as Stop does. A read, and a signal, close without asking.
    void closingDuringAWriteAsks() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        w.show();
        StartWaitingJob(w, 2);
        QVERIFY(w.jobRunning());
        f.dialogs.stop_answers = {false};
        w.reject();  // Esc and the close box
        QCOMPARE(f.dialogs.stop_asked, 1);
        QVERIFY(w.jobRunning());
        QVERIFY(w.isVisible());
        w.findChild<QPushButton*>("exitButton")->click();
        QCOMPARE(f.dialogs.stop_asked, 2);  // answered "stop"
        QVERIFY(!w.jobRunning());
        QVERIFY(!w.isVisible());

        QVERIFY(f.Open());
        f.window->show();
        StartWaitingJob(*f.window, 1);
        QVERIFY(f.window->jobRunning());
        f.window->reject();
        QCOMPARE(f.dialogs.stop_asked, 2);
        QVERIFY(!f.window->jobRunning());

        QVERIFY(f.Open());
        StartWaitingJob(*f.window, 2);
        QVERIFY(f.window->jobRunning());
        f.window->CloseWithoutAsking();
        QCOMPARE(f.dialogs.stop_asked, 2);
        QVERIFY(!f.window->jobRunning());
    }
};

QTEST_MAIN(WindowLanguageTest)
#include "window_language_test.moc"
