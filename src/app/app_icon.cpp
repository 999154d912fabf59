#include "app/app_icon.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

namespace velmora::app {

namespace {

// A NAND package with pins and a download arrow, on a 64-unit square.
QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xB0, 0xB0, 0xB0));
    for (int i = 0; i < 5; ++i) {
        const double y = 14 + i * 8;
        p.drawRect(QRectF(4, y, 8, 4));
        p.drawRect(QRectF(52, y, 8, 4));
    }
    p.setBrush(QColor(0x2B, 0x2F, 0x3A));
    p.drawRoundedRect(QRectF(10, 8, 44, 48), 4, 4);
    p.setBrush(QColor(0x0B, 0xD4, 0x0B));
    QPainterPath arrow;
    arrow.moveTo(27, 16);
    arrow.lineTo(37, 16);
    arrow.lineTo(37, 32);
    arrow.lineTo(45, 32);
    arrow.lineTo(32, 47);
    arrow.lineTo(19, 32);
    arrow.lineTo(27, 32);
    arrow.closeSubpath();
    p.drawPath(arrow);
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128}) {
        icon.addPixmap(DrawIcon(size));
    }
    return icon;
}

void ApplyLook() {
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, QColor(150, 169, 186));
    palette.setColor(QPalette::WindowText, Qt::black);
    QApplication::setPalette(palette);
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("Noto Sans CJK SC")});
    font.setPointSize(9);
    QApplication::setFont(font);
    QApplication::setWindowIcon(AppIcon());
}

}  // namespace velmora::app
