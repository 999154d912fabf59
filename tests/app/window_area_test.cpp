// The window's specified-area erase: the dialog takes only addresses, and an
// area over block 0 or the EEROM is erased only when the operator says so.
#include <QCheckBox>

#include "app/window_jobs.h"
#include "window_fixture.h"

using namespace velmora::app;

class WindowAreaTest : public QObject {
    Q_OBJECT
    std::unique_ptr<WindowFixture> f;
    QString trace;
    int runs = 0;

    QByteArray Trace() const {
        QFile file(trace);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Chooses the area and starts; the job's result once the phone has seen the
    // port closed (its trace is written then).
    int EraseArea() {
        Choose(f->window->findChild<QComboBox*>("rangeList"), 1);
        f->window->StartJob();
        const bool ended = QTest::qWaitFor(
            [&] { return !f->window->jobRunning() && Trace().count("session_end") > runs; }, 30000);
        ++runs;
        return ended ? f->window->jobs().lastResult() : -1;
    }
    bool Erased() const { return Trace().contains(R"("event":"erase")"); }

  private slots:
    void init() {
        f = std::make_unique<WindowFixture>();
        QVERIFY(f->Open());
        trace = QString::fromStdString(f->home()) + QStringLiteral("trace.jsonl");
        runs = 0;
        f->window->findChild<QCheckBox*>("serialCheck")->setChecked(true);
        f->window->findChild<QComboBox*>("portList")
            ->setEditText(QStringLiteral("sim:trace=") + trace);
        Choose(f->window->findChild<QComboBox*>("workModeList"), 2);
    }

    // Taken as 0, the address once erased block 0 without a word.
    void anAddressBeyond32BitsErasesNothing() {
        f->dialogs.range_typed = {QStringLiteral("4000040000"), QStringLiteral("4000040000")};
        EraseArea();
        QVERIFY(!Erased());
        QVERIFY(f->dialogs.lastText().contains(QStringLiteral("4000040000")));
    }

    void anAreaOverBlockZeroOrTheEeromIsErasedOnlyWhenConfirmed() {
        f->dialogs.range_answer = {{0, 0x1FFFF}};
        QCOMPARE(EraseArea(), 121);
        QCOMPARE(f->dialogs.area_asked.size(), size_t(1));
        QVERIFY(f->dialogs.area_asked[0].boot);
        QCOMPARE(f->dialogs.area_asked[0].eerom_first, -1);
        QVERIFY(!Erased());

        // The EEROM, to an end past the chip: its last block is the end.
        f->dialogs.range_answer = {{0x7F00000, 0x9000000}};
        f->dialogs.area_answer = true;
        QCOMPARE(EraseArea(), 0);
        QCOMPARE(f->dialogs.area_asked.at(1).eerom_first, 1016);
        QVERIFY(Erased());
    }
};

QTEST_MAIN(WindowAreaTest)
#include "window_area_test.moc"
