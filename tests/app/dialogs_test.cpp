#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "app/dialogs.h"
#include "app/language.h"
#include "app/ptt_viewer.h"
#include "app/single_instance.h"
#include "config/partition_table.h"
#include "fake_dialogs.h"

using namespace velmora::app;

class DialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { ApplyLanguage(Language::kChinese); }

    void rangeDialogTakesOnlyAnArea() {
        FakeDialogs host;
        RangeDialog dialog(host, 7, 9);
        QVERIFY(dialog.startEdit()->text().isEmpty());  // texts start empty every time
        dialog.show();
        dialog.startEdit()->setText(QStringLiteral("1FFFF"));
        dialog.endEdit()->setText(QStringLiteral("1FFFE"));
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(host.messages.size(), size_t(1));
        QCOMPARE(host.messages[0].caption, QStringLiteral("错误"));
        QCOMPARE(host.messages[0].text, QStringLiteral("输入参数错误，结束地址小于开始地址！"));
        QCOMPARE(host.messages[0].icon, MessageIcon::Error);
        QCOMPARE(dialog.startEdit()->text(), QStringLiteral("1FFFF"));
        QCOMPARE(dialog.start(), 7u);
        QCOMPARE(dialog.end(), 9u);
        // A text that is not an address is refused in the command line's words,
        // never taken as 0; 0x may come before the digits.
        QVERIFY(ApplyLanguage(Language::kEnglish));
        dialog.endEdit()->clear();
        dialog.accept();
        ApplyLanguage(Language::kChinese);
        QCOMPARE(host.lastText(), QStringLiteral("the area's end \"\" is not an address: give 1 to "
                                                 "8 hexadecimal digits, with or without 0x"));
        dialog.endEdit()->setText(QStringLiteral("0x3fFfF"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.start(), 0x1FFFFu);
        QCOMPARE(dialog.end(), 0x3FFFFu);
    }

    void portSearchCountsToSixteenAndCloses() {
        PortSearchDialog dialog;
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        dialog.show();
        QVERIFY(accepted.wait(2000));
        QCOMPARE(dialog.counterText(), QStringLiteral("16"));
    }

    // The viewer parses what it is given; a file that does not parse shows its
    // path above the summary of the last table that did.
    void viewerKeepsTheLastGoodSummary() {
        FakeDialogs host;
        velmora::PartitionTable table;
        const QString sample = QStringLiteral(VELMORA_BINARY_DIR "/examples/sample/sample.ptt");
        PartitionTableViewer viewer(host, table, sample);
        QVERIFY(viewer.summary().startsWith(QStringLiteral("Total partition number = 3.\n")));
        QVERIFY(viewer.summary().contains(QStringLiteral("file               = images\\lang.bin")));
        const QString shown = viewer.summary();

        QTemporaryDir dir;
        const QString broken = dir.path() + QStringLiteral("/broken.ptt");
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[partition#01]\nid=1\n");
        file.close();
        viewer.Choose(broken);
        QCOMPARE(viewer.path(), broken);
        QCOMPARE(viewer.summary(), shown);
    }

    void secondInstanceIsRefused() {
        QTemporaryDir locks;
        const std::string folder = locks.path().toStdString() + "/";
        FileLock first;
        QCOMPARE(CheckSingleInstance(folder, first), InstanceCheck::kFirst);

        FakeDialogs host;
        // Without settings the window follows the system, from its first box on.
        {
            SystemLanguage english("en_GB.UTF-8");
            QCOMPARE(RunApplication(host, folder, "/nonexistent/"), 1);
            QCOMPARE(host.lastText(), QStringLiteral("The program is already running!"));
        }
        host.messages.clear();
        SystemLanguage chinese("zh_CN.UTF-8");
        QCOMPARE(RunApplication(host, folder, "/nonexistent/"), 1);
        QCOMPARE(host.messages.size(), size_t(1));
        QCOMPARE(host.messages[0].text, QStringLiteral("程序正在运行！"));
        QVERIFY(host.messages[0].caption.isEmpty());  // the program's name
        QCOMPARE(host.port_search_shown, 0);          // no window came up

        // Once the first instance is gone the multi-port program's lock counts.
        first.Release();
        FileLock multi_port;
        QCOMPARE(multi_port.TryLock(folder, kMultiPortLockName), FileLock::Result::kTaken);
        host.messages.clear();
        QCOMPARE(RunApplication(host, folder, "/nonexistent/"), 1);
        QCOMPARE(host.lastText(), QStringLiteral("多口下载程序正在运行！"));
        multi_port.Release();

        // Neither held: the program goes on to its catalogue check, which fails here.
        host.messages.clear();
        QCOMPARE(RunApplication(host, folder, "/nonexistent/"), 1);
        QCOMPARE(host.lastText(),
                 QStringLiteral("读FlashChip.ini错误，请检查该文件是否存在或损坏！"));
        QCOMPARE(host.messages[0].caption, QStringLiteral("ERROR"));
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
