// Every window and box the program shows, in English: no Chinese character in
// any text the operator can see (the language menu's "中文" entry aside). In
// Chinese the texts the phones' tools have always shown stay as they were.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include "app/dialogs.h"
#include "app/failure_details.h"
#include "app/progress_bar.h"
#include "app/ptt_viewer.h"
#include "app/station_cell.h"
#include "app/station_window.h"
#include "config/partition_table.h"
#include "job/download_job.h"
#include "velmora_version.h"
#include "window_fixture.h"

using namespace velmora::app;

namespace {

const QString kSamplePtt = QStringLiteral(VELMORA_BINARY_DIR "/examples/sample/sample.ptt");

// The texts of `root` and its visible children: titles, labels, buttons, fields,
// tool tips, menus, list entries and item views.
QStringList VisibleTexts(QWidget* root) {
    QStringList out;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (w != root && !w->isVisibleTo(root)) {
            continue;
        }
        for (const char* name :
             {"windowTitle", "toolTip", "text", "title", "placeholderText", "plainText"}) {
            out << w->property(name).toString();
        }
        QList<QAction*> actions = w->actions();
        if (auto* tool = qobject_cast<QToolButton*>(w); tool && tool->menu()) {
            actions += tool->menu()->actions();
        }
        for (QAction* action : actions) {
            out << (action->text() == QStringLiteral("中文") ? QString() : action->text());
        }
        if (auto* list = qobject_cast<QComboBox*>(w)) {
            out << Entries(list);
        } else if (auto* bar = qobject_cast<ProgressBar*>(w)) {
            out << bar->paintedText();
        } else if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model()) {
            for (int c = 0; c < view->model()->columnCount(); ++c) {
                out << view->model()->headerData(c, Qt::Horizontal).toString();
                for (int r = 0; r < view->model()->rowCount(); ++r) {
                    out << view->model()->index(r, c).data().toString();
                }
            }
        }
    }
    return out;
}

// The texts among `texts` that hold a CJK character.
QString Chinese(const QStringList& texts) {
    QStringList found;
    for (const QString& text : texts) {
        if (velmora::text::HasCjk(text.toStdString())) {
            found << text;
        }
    }
    return found.join(QStringLiteral(" | "));
}

#define VERIFY_ENGLISH(texts) QVERIFY2(Chinese(texts).isEmpty(), qPrintable(Chinese(texts)))

void Start(MainWindow& w, int mode, int range, const char* phone) {
    Choose(w.findChild<QComboBox*>("workModeList"), mode);
    Choose(w.findChild<QComboBox*>("rangeList"), range);
    w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
    w.findChild<QComboBox*>("portList")->setEditText(QString::fromLatin1(phone));
    w.StartJob();
}

}  // namespace

class WindowEnglishTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { ApplyLanguage(Language::kEnglish); }
    void cleanup() { ApplyLanguage(Language::kChinese); }

    // Idle, running, failed with its details, the boxes its refusals bring,
    // and every dialog it opens.
    void theMainWindowAndItsBoxes() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        QCOMPARE(w.windowTitle(),
                 QStringLiteral("Velmora ") + QString::fromLatin1(velmora::kVersion));
        VERIFY_ENGLISH(VisibleTexts(&w));
        Start(w, 1, 1, "sim:manual");  // the EEROM read waits for its phone
        QTRY_COMPARE(w.findChild<QLabel*>("statusText")->text(),
                     QStringLiteral("Switch on the phone!"));
        VERIFY_ENGLISH(VisibleTexts(&w));
        w.StopJob();
        QTRY_VERIFY(!w.jobRunning());
        Start(w, 2, 0, "sim:id=12,34,00,15");
        QTRY_VERIFY_WITH_TIMEOUT(!w.jobRunning(), 60000);
        QVERIFY(w.findChild<QPushButton*>("detailsButton")->isVisibleTo(&w));
        VERIFY_ENGLISH(VisibleTexts(&w));
        w.findChild<QPushButton*>("detailsButton")->click();
        FailureDialog details(f.dialogs.failures.at(0));
        VERIFY_ENGLISH(VisibleTexts(&details));

        // Refusals: no table, a table that is not there, an area that is no area.
        Choose(w.findChild<QComboBox*>("workModeList"), 0);
        for (const QString& table : {QString(), QStringLiteral("/nonexistent/x.ptt")}) {
            w.findChild<QLabel*>("targetFile")->setText(table);
            w.StartJob();
        }
        Choose(w.findChild<QComboBox*>("workModeList"), 2);
        f.dialogs.range_typed = {QStringLiteral("x"), QStringLiteral("10")};
        Choose(w.findChild<QComboBox*>("rangeList"), 1);
        QStringList boxes;
        for (const FakeDialogs::Shown& box : f.dialogs.messages) {
            boxes << box.caption << box.text;
        }
        QVERIFY(boxes.size() >= 2 * 4);  // the read's notice and the three refusals
        VERIFY_ENGLISH(boxes);

        AboutDialog about;
        WarningDialog warning;
        RangeDialog range(f.dialogs, 0, 0);
        StopQuestion stop;
        velmora::AreaQuestion area{0, 0x7FFFFFF, 0, 1023, true, 950, 1023};
        AreaEraseQuestion area_question(area);
        ReplaceQuestion replace(QStringLiteral("/home/upload_nand/"), QStringLiteral("a.bin"));
        PortSearchDialog search;
        velmora::PartitionTable table;
        PartitionTableViewer viewer(f.dialogs, table, kSamplePtt);
        HealthDialog health(f.dialogs, QStringLiteral("report"), QStringLiteral("{}"));
        for (QWidget* dialog :
             std::initializer_list<QWidget*>{&about, &warning, &range, &stop, &area_question,
                                             &replace, &search, &viewer, &health}) {
            VERIFY_ENGLISH(VisibleTexts(dialog));
        }
    }

    // The station and its cells after one phone failed, and that failure's details.
    void theStationAfterAFailure() {
        QTemporaryDir home;
        QFile::copy(QStringLiteral(VELMORA_BIN_DIR "/FlashChip.ini"),
                    home.path() + QStringLiteral("/FlashChip.ini"));
        FakeDialogs dialogs;
        StationWindow w(dialogs, {home.path().toStdString() + "/",
                                  [] { return std::vector<std::string>{"/dev/ttyUSB0"}; }});
        QVERIFY(w.Initialise());
        w.findChild<QLabel*>("targetFile")->setText(kSamplePtt);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w.AddPort(QStringLiteral("sim:chip=EC,A1"));
        w.AddPort(QStringLiteral("sim:chip=EC,A1,program-fail=2"));
        w.StartStation();
        VERIFY_ENGLISH(VisibleTexts(&w));
        QTRY_VERIFY_WITH_TIMEOUT(!w.running(), 90000);
        StationCell* failed = w.cells()[1];
        QCOMPARE(failed->result(), SlotResult::kFailed);
        QVERIFY2(failed->resultText().startsWith(QStringLiteral("Failed · 100 · ")),
                 qPrintable(failed->resultText()));
        VERIFY_ENGLISH(VisibleTexts(&w));
        QTest::mouseClick(failed, Qt::LeftButton);
        FailureDialog details(dialogs.failures.at(0));
        VERIFY_ENGLISH(VisibleTexts(&details));
    }

    // Chinese: the title and the About texts as the phones' tools show them,
    // the program's version on a line of its own; the warning word for word.
    void chineseKeepsItsTexts() {
        ApplyLanguage(Language::kChinese);
        WindowFixture f;
        QVERIFY(f.Open());
        QCOMPARE(f.window->windowTitle(), QStringLiteral("Velmora(中文版)7.03"));
        AboutDialog about;
        const QStringList texts = VisibleTexts(&about);
        for (const QString& text :
             {QStringLiteral("Velmora(中文版) 7.03"),
              QStringLiteral("NXP pnx5220 platform NAND FLASH Downlaod."),
              QStringLiteral("程序版本：") + QString::fromLatin1(velmora::kVersion)}) {
            QVERIFY2(texts.contains(text), qPrintable(text));
        }
        WarningDialog warning;
        QVERIFY(VisibleTexts(&warning).contains(QStringLiteral(
            "注意：\n选择该项，将擦除手机内部的所有数据，包括射频校准参数、IMEI号码等！\n")));
    }
};

QTEST_MAIN(WindowEnglishTest)
#include "window_english_test.moc"
