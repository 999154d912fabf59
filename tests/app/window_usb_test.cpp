#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "app/progress_bar.h"
#include "window_fixture.h"

using namespace velmora::app;

class WindowUsbTest : public QObject {
    Q_OBJECT
  private slots:
    // The serial box unchecked and "sim": a code upgrade over the USB stand-in, from
    // the boot ROM's DFU device to the RAM loader's bulk pipes; then an unusable text.
    void upgradeOverUsbAgainstTheSimulatedPhone() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        w.targetFile()->setText(QStringLiteral(VELMORA_BINARY_DIR "/examples/sample/sample.ptt"));
        w.serialCheck()->setChecked(false);
        w.portList()->setEditText(QStringLiteral("sim:chip=EC,A1"));
        w.StartJob();
        QVERIFY(w.jobRunning());
        QCOMPARE(w.startButton()->text(), QStringLiteral("代码升级"));
        QVERIFY(!w.startButton()->isEnabled() && w.stopButton()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!w.jobRunning(), 60000);
        QVERIFY(w.startButton()->isEnabled() && !w.stopButton()->isEnabled());
        QVERIFY(w.portList()->isEnabled() && w.serialCheck()->isEnabled());
        QCOMPARE(w.chipInfo()->text().remove(u' '), QStringLiteral("EC,A1,00,15"));
        QCOMPARE(w.progressBar()->barColour(), 0x0BD40Bu);
        QCOMPARE(w.progressBar()->paintedText(), QStringLiteral("100%"));
        QVERIFY(f.dialogs.messages.empty());

        w.portList()->setEditText(QStringLiteral("sim:busy=x"));
        w.StartJob();
        QVERIFY(!w.jobRunning());
        QCOMPARE(f.dialogs.messages.size(), size_t(1));
        QVERIFY(f.dialogs.messages[0].text.contains(QStringLiteral("busy")));
    }
};

QTEST_MAIN(WindowUsbTest)
#include "window_usb_test.moc"
