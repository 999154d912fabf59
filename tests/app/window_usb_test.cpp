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

    // A malformed USB link text is refused as the command line refuses it, never
    // replaced by the default search; a serial port's name still means the default.
    // The USB choice and the text are kept with the other settings.
    void usbOverrideIsCheckedAndKept() {
        WindowFixture f;
        QVERIFY(f.Open());
        MainWindow& w = *f.window;
        w.serialCheck()->setChecked(false);
        for (const char* bad : {"dfu=xyz", "path=1-4-2", "1-4.2"}) {
            f.dialogs.messages.clear();
            w.portList()->setEditText(QString::fromLatin1(bad));
            w.StartJob();
            QVERIFY(!w.jobRunning());
            QCOMPARE(f.dialogs.messages.size(), size_t(1));
            QVERIFY2(f.dialogs.messages[0].text.contains(QStringLiteral("unknown USB link item")),
                     bad);
        }
        w.portList()->setEditText(QStringLiteral("path=1-4.2,dlv=1209"));
        f.Close();
        QFile file(QString::fromStdString(f.home()) + QStringLiteral("velmora.ini"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString saved = QString::fromUtf8(file.readAll());
        QVERIFY2(saved.contains(QStringLiteral("SERIAL=0\nUSBPORT=path=1-4.2,dlv=1209\n")),
                 qPrintable(saved));

        QVERIFY(f.Open());
        QVERIFY(!f.window->serialCheck()->isChecked());
        QCOMPARE(f.window->portList()->currentText(), QStringLiteral("path=1-4.2,dlv=1209"));
        f.window->serialCheck()->setChecked(true);
        f.Close();
        QVERIFY(f.Open());
        QVERIFY(f.window->serialCheck()->isChecked());
        QCOMPARE(f.window->portList()->currentText(), QStringLiteral("/dev/ttyUSB0"));
    }
};

QTEST_MAIN(WindowUsbTest)
#include "window_usb_test.moc"
