// Every window and box the program shows, in English: no Chinese character in
// any text the operator can see (the language menu's "中文" entry aside). In
// Chinese the texts the phones' tools have always shown stay as they were.
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
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

// The texts of `root` and its visible children: titles, labels, buttons, list
// entries, fields, tool tips, menus and the block map's headers.
QStringList VisibleTexts(QWidget* root) {
    QStringList out{root->windowTitle()};
    for (QAction* action : root->actions()) {
        out << action->text();
    }
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        if (w != root && !w->isVisibleTo(root)) {
            continue;
        }
        out << w->toolTip();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            out << label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            out << button->text();
            if (auto* tool = qobject_cast<QToolButton*>(w); tool && tool->menu()) {
                for (QAction* action : tool->menu()->actions()) {
                    out << (action->text() == QStringLiteral("中文") ? QString() : action->text());
                }
            }
        } else if (auto* list = qobject_cast<QComboBox*>(w)) {
            out << Entries(list);
        } else if (auto* field = qobject_cast<QLineEdit*>(w)) {
            out << field->text() << field->placeholderText();
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            out << group->title();
        } else if (auto* text = qobject_cast<QPlainTextEdit*>(w)) {
            out << text->toPlainText();
        } else if (auto* bar = qobject_cast<ProgressBar*>(w)) {
            out << bar->paintedText();
        } else if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model()) {
            const QAbstractItemModel* model = view->model();
            for (int c = 0; c < model->columnCount(); ++c) {
                out << model->headerData(c, Qt::Horizontal).toString();
                for (int r = 0; r < model->rowCount(); ++r) {
                    out << model->index(r, c).data().toString();
                }
            }
        }
    }
    return out;
}

// The texts among `texts` that hold a CJK character, for the failure's message.
QString Chinese(const QStringList& texts) {
    QStringList found;
    for (const QString& text : texts) {
        if (velmora::text::HasCjk(text.toStdString())) {
            found << text;
        }
    }
    return found.join(QStringLiteral(" | "));
}

#define VERIFY_ENGLISH(widget)                                           \
    do {                                                                 \
        const QString chinese = Chinese(VisibleTexts(widget));           \
        QVERIFY2(chinese.isEmpty(), qPrintable(#widget ": " + chinese)); \
    } while (false)

void RunToEnd(MainWindow& w, int mode, int range, const char* phone) {
    Choose(w.findChild<QComboBox*>("workModeList"), mode);
    Choose(w.findChild<QComboBox*>("rangeList"), range);
    w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
    w.findChild<QComboBox*>("portList")->setEditText(QString::fromLatin1(phone));
    w.StartJob();
    QTRY_VERIFY_WITH_TIMEOUT(!w.jobRunning(), 60000);
}

}  // namespace

class WindowEnglishTest : public QObject {
    Q_OBJECT
  private slots:
    void init() { ApplyLanguage(Language::kEnglish); }
    void cleanup() { ApplyLanguage(Language::kChinese); }

    // Idle, in debug mode, running, failed with its details, the boxes its
    // refusals and its health job bring, and every dialog it opens.
    void theMainWindowAndItsBoxes() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        QCOMPARE(w.windowTitle(),
                 QStringLiteral("Velmora ") + QString::fromLatin1(velmora::kVersion));
        VERIFY_ENGLISH(&w);
        w.SetDebugMode(true);
        VERIFY_ENGLISH(&w);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w.findChild<QComboBox*>("portList")->setEditText(QStringLiteral("sim:chip=EC,A1"));
        w.findChild<QPushButton*>("healthButton")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w.jobRunning(), 60000);
        QCOMPARE(f.dialogs.reports.size(), size_t(1));
        HealthDialog health(f.dialogs, f.dialogs.reports[0].text, f.dialogs.reports[0].json);
        VERIFY_ENGLISH(&health);
        w.SetDebugMode(false);

        Choose(w.findChild<QComboBox*>("workModeList"), 1);
        Choose(w.findChild<QComboBox*>("rangeList"), 1);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(true);
        w.findChild<QComboBox*>("portList")->setEditText(QStringLiteral("sim:manual"));
        w.StartJob();
        QTRY_COMPARE(w.findChild<QLabel*>("statusText")->text(),
                     QStringLiteral("Switch on the phone!"));
        VERIFY_ENGLISH(&w);
        w.StopJob();
        QTRY_VERIFY(!w.jobRunning());

        RunToEnd(w, 2, 0, "sim:id=12,34,00,15");
        QVERIFY(w.findChild<QPushButton*>("detailsButton")->isVisibleTo(&w));
        VERIFY_ENGLISH(&w);
        w.findChild<QPushButton*>("detailsButton")->click();
        QCOMPARE(f.dialogs.failures.size(), size_t(1));
        FailureDialog details(f.dialogs.failures[0]);
        VERIFY_ENGLISH(&details);

        // Refusals: no table, a table that is not there, a backup without a folder,
        // a port text that is no link, areas that are not areas.
        Choose(w.findChild<QComboBox*>("workModeList"), 0);
        w.findChild<QLabel*>("targetFile")->clear();
        w.StartJob();
        w.findChild<QLabel*>("targetFile")->setText(QStringLiteral("/nonexistent/x.ptt"));
        w.StartJob();
        w.findChild<QLabel*>("targetFile")->setText(kSamplePtt);
        w.findChild<QCheckBox*>("backupCheck")->setChecked(true);
        w.StartJob();
        w.findChild<QCheckBox*>("backupCheck")->setChecked(false);
        w.findChild<QCheckBox*>("serialCheck")->setChecked(false);
        w.findChild<QComboBox*>("portList")->setEditText(QStringLiteral("dfu=nothing"));
        w.StartJob();
        Choose(w.findChild<QComboBox*>("workModeList"), 2);
        for (const auto& [start, end] : {std::pair{"1FFFF", "1FFFE"}, std::pair{"x", "10"}}) {
            f.dialogs.range_typed = {QString::fromLatin1(start), QString::fromLatin1(end)};
            Choose(w.findChild<QComboBox*>("rangeList"), 1);
        }
        QVERIFY(f.dialogs.messages.size() >= 6);
        for (const FakeDialogs::Shown& box : f.dialogs.messages) {
            QVERIFY2(!velmora::text::HasCjk((box.caption + box.text).toStdString()),
                     qPrintable(box.text));
        }

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
        for (QWidget* dialog : std::initializer_list<QWidget*>{
                 &about, &warning, &range, &stop, &area_question, &replace, &search, &viewer}) {
            VERIFY_ENGLISH(dialog);
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
        VERIFY_ENGLISH(&w);
        QTRY_VERIFY_WITH_TIMEOUT(!w.running(), 90000);
        StationCell* failed = w.cells()[1];
        QCOMPARE(failed->result(), SlotResult::kFailed);
        QVERIFY2(failed->resultText().startsWith(QStringLiteral("Failed · 100 · ")),
                 qPrintable(failed->resultText()));
        VERIFY_ENGLISH(&w);
        QTest::mouseClick(failed, Qt::LeftButton);
        QCOMPARE(dialogs.failures.size(), size_t(1));
        FailureDialog details(dialogs.failures[0]);
        VERIFY_ENGLISH(&details);
        w.findChild<QListWidget*>("portList")->clear();  // refused: nothing ticked
        w.StartStation();
        QCOMPARE(dialogs.messages.size(), size_t(1));
        QVERIFY(!velmora::text::HasCjk(dialogs.lastText().toStdString()));
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
        QVERIFY(texts.contains(QStringLiteral("Velmora(中文版) 7.03")));
        QVERIFY(texts.contains(QStringLiteral("NXP pnx5220 platform NAND FLASH Downlaod.")));
        QCOMPARE(about.findChild<QLabel*>("versionText")->text(),
                 QStringLiteral("程序版本：") + QString::fromLatin1(velmora::kVersion));
        WarningDialog warning;
        QVERIFY(VisibleTexts(&warning).contains(QStringLiteral(
            "注意：\n选择该项，将擦除手机内部的所有数据，包括射频校准参数、IMEI号码等！\n")));
    }
};

QTEST_MAIN(WindowEnglishTest)
#include "window_english_test.moc"
