#include <QImage>
#include <QTest>

#include "app/progress_bar.h"

using velmora::app::ProgressBar;

namespace {

constexpr QRgb kBlue = qRgb(0, 0, 200);  // the default bar colour 0xC80000

int BarPixels(const QImage& image, QRgb colour) {
    int count = 0;
    for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, 0) == colour) {
            ++count;
        }
    }
    return count;
}

QImage Render(ProgressBar& bar) {
    QImage image(bar.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    bar.render(&image);
    return image;
}

// True when some pixel of the middle band has the text colour (yellow).
bool HasText(const QImage& image) {
    for (int y = 2; y < image.height() - 2; ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 200 && c.blue() < 80) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

class ProgressBarTest : public QObject {
    Q_OBJECT
  private slots:
    void halfBarCarriesPercentage() {
        ProgressBar bar;
        bar.resize(200, 20);
        bar.SetRange(0, 100);
        bar.SetPercentDisplay(true);
        bar.SetPos(50);
        const QImage image = Render(bar);
        QCOMPARE(BarPixels(image, kBlue), 100);
        QCOMPARE(image.pixel(99, 0), kBlue);
        QVERIFY(image.pixel(100, 0) != kBlue);
        QCOMPARE(bar.paintedText(), QStringLiteral("50%"));
        QVERIFY(HasText(image));
    }

    void minimumShowsNothing() {
        ProgressBar bar;
        bar.resize(200, 20);
        bar.SetRange(0, 100);
        bar.SetPercentDisplay(true);
        const QImage image = Render(bar);
        QCOMPARE(BarPixels(image, kBlue), 0);
        QVERIFY(bar.paintedText().isEmpty());
        QVERIFY(!HasText(image));
        // The face colour covers everything, magenta nowhere.
        QCOMPARE(image.pixelColor(0, 0), bar.palette().color(QPalette::Button));
        QCOMPARE(image.pixelColor(199, 19), bar.palette().color(QPalette::Button));
    }

    // A failed job: text off and empty, red, full.
    void failedJobIsRedAndFull() {
        ProgressBar bar;
        bar.resize(200, 20);
        bar.SetPercentDisplay(true);
        bar.SetPos(40);
        bar.SetPercentDisplay(false);
        bar.SetBarColour(0x0000FF);
        QCOMPARE(bar.position(), 30);  // colour changes leave the position nudged down
        bar.SetPos(100);
        const QImage image = Render(bar);
        QCOMPARE(BarPixels(image, qRgb(255, 0, 0)), 200);
        QVERIFY(bar.paintedText().isEmpty());
        QVERIFY(!HasText(image));
    }

    void ownTextAndOutOfRange() {
        ProgressBar bar;
        bar.resize(200, 20);
        bar.SetPos(70);
        bar.SetText(QStringLiteral("OK"));
        QCOMPARE(bar.paintedText(), QStringLiteral("OK"));
        bar.SetPos(101);  // above the maximum paints like the minimum
        QCOMPARE(BarPixels(Render(bar), kBlue), 0);
    }
};

QTEST_MAIN(ProgressBarTest)
#include "progress_bar_test.moc"
