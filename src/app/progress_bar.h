#pragma once
// The job's progress bar: a flat bar in a chosen colour with the percentage or a
// text of its own centred on top.
#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace velmora::app {

class ProgressBar : public QWidget {
    Q_OBJECT
  public:
    explicit ProgressBar(QWidget* parent = nullptr);

    void SetRange(int minimum, int maximum);
    void SetPos(int position);
    // Leaves the stored position `kNudge` below where it was; callers set the
    // wanted position right after.
    void SetBarColour(uint32_t colour);
    void SetText(const QString& text);
    void SetPercentDisplay(bool on);
    void SetTextColour(uint32_t colour);
    void SetBackgroundColour(const QColor& colour) { background_ = colour; }

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int position() const { return position_; }
    uint32_t barColour() const { return bar_colour_; }
    bool percentDisplay() const { return percent_display_; }
    QString text() const { return text_; }
    // The text painted on top for the current state; empty when none is.
    QString paintedText() const;

    static constexpr int kNudge = 10;
    static constexpr uint32_t kDefaultBarColour = 0xC80000;
    static constexpr uint32_t kDefaultTextColour = 0x00FFFF;

    QSize sizeHint() const override { return {200, 18}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool Filled() const { return minimum_ < position_ && position_ <= maximum_; }

    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    uint32_t bar_colour_ = kDefaultBarColour;
    uint32_t text_colour_ = kDefaultTextColour;
    QColor background_;
    QColor face_;
    bool percent_display_ = false;
    QString text_;
};

}  // namespace velmora::app
