#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "app/block_map.h"
#include "window_fixture.h"

using namespace velmora::app;

class MainWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void startsWithItsLists() {
        WindowFixture f;
        f.ports = {"/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyUSB10"};
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        QCOMPARE(f.dialogs.port_search_shown, 1);
        QCOMPARE(w.windowTitle(), QStringLiteral("Velmora(中文版)7.03"));
        QCOMPARE(w.findChild<QLabel*>("catalogueDate")->text(),
                 QStringLiteral("配置文件：2026-12-06(V1.0)"));
        // Sorted as text, the first one chosen.
        QCOMPARE(Entries(w.findChild<QComboBox*>("portList")),
                 QStringList({"/dev/ttyS0", "/dev/ttyUSB1", "/dev/ttyUSB10"}));
        QCOMPARE(w.findChild<QComboBox*>("portList")->currentIndex(), 0);
        QCOMPARE(Entries(w.findChild<QComboBox*>("baudList")),
                 QStringList({"115200", "460800", "921600"}));
        QCOMPARE(w.findChild<QComboBox*>("baudList")->currentIndex(), 2);
        QCOMPARE(w.findChild<QComboBox*>("workModeList")->currentIndex(), 0);
        QCOMPARE(w.findChild<QComboBox*>("rangeList")->currentIndex(), 0);
        QVERIFY(!w.findChild<QPushButton*>("stopButton")->isEnabled());
        QCOMPARE(w.findChild<BlockMapModel*>("blockMap")->rowCount(), 0);
    }

    void brokenCatalogueEndsWithoutSaving() {
        WindowFixture f;
        QFile catalogue(f.dir.path() + QStringLiteral("/FlashChip.ini"));
        QVERIFY(catalogue.open(QIODevice::WriteOnly | QIODevice::Truncate));
        catalogue.write("[VERSION]\nDATE=2026-12-06\n");  // no VER
        catalogue.close();
        QVERIFY(!f.Open());
        QCOMPARE(f.dialogs.lastText(),
                 QStringLiteral("读FlashChip.ini错误，请检查该文件是否存在或损坏！"));
        f.Close();
        QVERIFY(!QFile::exists(f.dir.path() + "/velmora.ini"));
    }

    void rangeListFollowsWorkMode() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        Choose(w.findChild<QComboBox*>("workModeList"), 1);
        QCOMPARE(w.findChild<QLabel*>("rangeLabel")->text(), QStringLiteral("读取范围："));
        QCOMPARE(Entries(w.findChild<QComboBox*>("rangeList")),
                 QStringList({"依据分区表", "EEROM", "指定区域"}));
        QCOMPARE(w.findChild<QComboBox*>("rangeList")->currentIndex(), 0);
        Choose(w.findChild<QComboBox*>("workModeList"), 2);
        QCOMPARE(w.findChild<QLabel*>("rangeLabel")->text(), QStringLiteral("擦除范围："));
        QCOMPARE(Entries(w.findChild<QComboBox*>("rangeList")),
                 QStringList({"文件系统", "指定区域", "代码区域", "代码和文件系统", "EEROM"}));
        Choose(w.findChild<QComboBox*>("workModeList"), 0);
        QCOMPARE(w.findChild<QLabel*>("rangeLabel")->text(), QStringLiteral("擦除范围："));
        QCOMPARE(Entries(w.findChild<QComboBox*>("rangeList")),
                 QStringList({"代码和文件系统", "代码区域"}));
        QVERIFY(f.dialogs.messages.empty());
    }

    void specifiedAreaTexts() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        f.dialogs.range_answer = {0x20000, 0x3FFFF};

        Choose(w.findChild<QComboBox*>("workModeList"), 2);
        Choose(w.findChild<QComboBox*>("rangeList"), 1);
        QCOMPARE(w.findChild<QLabel*>("rangeStartLabel")->text(), QStringLiteral("开始："));
        QCOMPARE(w.findChild<QLabel*>("rangeEndLabel")->text(), QStringLiteral("结束："));
        QCOMPARE(w.findChild<QLabel*>("rangeStartText")->text(), QStringLiteral("0x00020000"));
        QCOMPARE(w.findChild<QLabel*>("rangeEndText")->text(), QStringLiteral("0x0003ffff"));

        Choose(w.findChild<QComboBox*>("workModeList"), 1);
        Choose(w.findChild<QComboBox*>("rangeList"), 2);
        QCOMPARE(w.findChild<QLabel*>("rangeEndText")->text(), QStringLiteral("0x0003FFFF"));
        QCOMPARE(w.rangeStart(), 0x20000u);

        // Another range clears the texts; the area itself is kept.
        Choose(w.findChild<QComboBox*>("rangeList"), 1);
        QVERIFY(w.findChild<QLabel*>("rangeStartText")->text().isEmpty());
        QVERIFY(w.findChild<QLabel*>("rangeEndLabel")->text().isEmpty());
        QCOMPARE(w.rangeEnd(), 0x3FFFFu);

        // Cancelling the entry returns the list to its first entry.
        f.dialogs.range_answer.reset();
        Choose(w.findChild<QComboBox*>("rangeList"), 2);
        QCOMPARE(w.findChild<QComboBox*>("rangeList")->currentText(), QStringLiteral("依据分区表"));
        QVERIFY(w.findChild<QLabel*>("rangeStartText")->text().isEmpty());
    }

    void eeromEraseNeedsYes() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        Choose(w.findChild<QComboBox*>("workModeList"), 2);
        f.dialogs.eerom_answers = {false, true};
        Choose(w.findChild<QComboBox*>("rangeList"), 4);
        QCOMPARE(f.dialogs.eerom_asked, 1);
        QCOMPARE(w.findChild<QComboBox*>("rangeList")->currentText(), QStringLiteral("文件系统"));
        Choose(w.findChild<QComboBox*>("rangeList"), 4);
        QCOMPARE(w.findChild<QComboBox*>("rangeList")->currentText(), QStringLiteral("EEROM"));
        Choose(w.findChild<QComboBox*>("rangeList"), 2);
        QCOMPARE(f.dialogs.eerom_asked, 2);
    }

    void debugModeKeys() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        w.show();
        QTest::keyClick(w.findChild<QPushButton*>("startButton"), Qt::Key_D, Qt::ControlModifier);
        QVERIFY(w.debugMode());
        QCOMPARE(w.windowTitle(), QStringLiteral("Velmora(中文版)7.03 (调试模式)"));
        QTest::keyClick(w.findChild<QComboBox*>("portList"), Qt::Key_N, Qt::ControlModifier);
        QVERIFY(!w.debugMode());
        QCOMPARE(w.windowTitle(), QStringLiteral("Velmora(中文版)7.03"));
    }

    void settingsRoundTrip() {
        WindowFixture f;
        f.ports = {"/dev/ttyS0", "/dev/ttyUSB0"};
        QFile file(f.dir.path() + QStringLiteral("/velmora.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "[PATH]\r\nPTT=/fw/a.ptt\r\nCOMPORT=1\r\nWORKMODE=2\r\nBAUDRATE=7\r\n"
            "ERASE_RANGE=3\r\n");
        file.close();
        QVERIFY(f.Open());
        MainWindow* w = f.window.get();
        QCOMPARE(w->findChild<QLabel*>("targetFile")->text(), QStringLiteral("/fw/a.ptt"));
        QCOMPARE(w->findChild<QComboBox*>("portList")->currentIndex(), 1);
        QCOMPARE(w->findChild<QComboBox*>("baudList")->currentIndex(), 0);  // 7 is beyond the list
        QCOMPARE(w->findChild<QComboBox*>("workModeList")->currentIndex(), 2);
        QCOMPARE(w->findChild<QComboBox*>("rangeList")->currentText(),
                 QStringLiteral("代码和文件系统"));

        // In read-code mode the field may show an output path; the table's path
        // is what the settings keep.
        Choose(w->findChild<QComboBox*>("workModeList"), 1);
        Choose(w->findChild<QComboBox*>("rangeList"), 1);
        w->findChild<QLabel*>("targetFile")
            ->setText(QStringLiteral("/home/op/upload_nand/upload_eerom.bin"));
        f.Close();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 QStringLiteral("[PATH]\nPTT=/fw/a.ptt\nCOMPORT=1\nWORKMODE=1\nBAUDRATE=0\n"
                                "ERASE_RANGE=1\nSERIAL=0\nUSBPORT=\nBACKUP_FIRST=0\nBACKUP_DIR="
                                "\nVERIFY=0\nEEROM_TWICE=1\n"
                                "LANGUAGE=zh\n"));
        file.close();

        QVERIFY(f.Open());
        w = f.window.get();
        QCOMPARE(w->findChild<QComboBox*>("workModeList")->currentIndex(), 1);
        QCOMPARE(w->findChild<QLabel*>("rangeLabel")->text(), QStringLiteral("读取范围："));
        QCOMPARE(w->findChild<QComboBox*>("rangeList")->currentText(), QStringLiteral("EEROM"));
        QCOMPARE(w->findChild<QLabel*>("targetFile")->text(), QStringLiteral("/fw/a.ptt"));
    }

    void choosingAFileSavesIt() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        f.dialogs.chosen_ptt = QStringLiteral("/data/fw/phone.ptt");
        w.OnChooseFile();
        QCOMPARE(w.findChild<QLabel*>("targetFile")->text(), QStringLiteral("/data/fw/phone.ptt"));
        QVERIFY(QFile::exists(w.settingsPath()));
        f.dialogs.chosen_ptt.reset();
        w.OnChooseFile();
        QCOMPARE(w.findChild<QLabel*>("targetFile")->text(), QStringLiteral("/data/fw/phone.ptt"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
