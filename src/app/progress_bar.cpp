#include "app/progress_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "app/colours.h"

namespace velmora::app {

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent) {
    // The whole client area is painted each time; nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    face_ = palette().color(QPalette::Button);
    background_ = face_;
}

void ProgressBar::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = minimum;
    update();
}

void ProgressBar::SetPos(int position) {
    if (position != position_) {
        position_ = position;
        update();
    }
}

void ProgressBar::SetBarColour(uint32_t colour) {
    bar_colour_ = colour;
    SetPos(position_ - kNudge);
    SetPos(position_);
    update();
}

void ProgressBar::SetText(const QString& text) {
    text_ = text;
    update();
}

void ProgressBar::SetPercentDisplay(bool on) {
    percent_display_ = on;
    update();
}

void ProgressBar::SetTextColour(uint32_t colour) {
    text_colour_ = colour;
    update();
}

QString ProgressBar::paintedText() const {
    if (!Filled()) {
        return {};
    }
    if (percent_display_) {
        if (maximum_ == 0) {
            return QStringLiteral("100%");
        }
        const int percent = static_cast<int>(static_cast<long double>(position_) * 100.0L /
                                             static_cast<long double>(maximum_));
        return QStringLiteral("%1%").arg(percent);
    }
    return text_;
}

void ProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect r = rect();
    if (!Filled()) {
        painter.fillRect(r, face_);
        return;
    }
    // A range ending at 0 or below cannot be shared out; such a bar shows full.
    int x = r.width();
    if (maximum_ != 0) {
        const long double share = static_cast<long double>(position_) / maximum_;
        x = std::clamp(static_cast<int>(share * r.width()), 0, r.width());
    }
    painter.fillRect(QRect(r.left(), r.top(), x, r.height()), FromColourValue(bar_colour_));
    painter.fillRect(QRect(x, 0, r.width() - x, r.height()), background_);
    const QString label = paintedText();
    if (!label.isEmpty()) {
        painter.setPen(FromColourValue(text_colour_));
        painter.drawText(r, Qt::AlignCenter | Qt::TextSingleLine, label);
    }
}

}  // namespace velmora::app
