#include "ui/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillon {
namespace {

const QColor kFrame(0x2b, 0x4a, 0x7a);
const QColor kFace(0xdf, 0xe7, 0xf2);
const QColor kCable(0xe0, 0x80, 0x2b);

// Drawn on a 64 × 64 grid and scaled: a keyboard with a serial cable leaving it.
QPixmap PaintIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    painter.setPen(Qt::NoPen);

    painter.setBrush(kFrame);
    painter.drawRoundedRect(QRectF(4, 14, 56, 36), 6, 6);
    painter.setBrush(kFace);
    painter.drawRoundedRect(QRectF(8, 18, 48, 28), 3, 3);

    painter.setBrush(kFrame);
    const QRectF keys[] = {{12, 22, 6, 5},  {20, 22, 6, 5}, {28, 22, 6, 5}, {36, 22, 6, 5},
                           {44, 22, 8, 5},  {12, 30, 8, 5}, {22, 30, 6, 5}, {30, 30, 6, 5},
                           {38, 30, 14, 5}, {18, 38, 28, 4}};
    for (const QRectF& key : keys) {
        painter.drawRoundedRect(key, 1, 1);
    }

    QPainterPath cable;
    cable.moveTo(32, 50);
    cable.lineTo(32, 56);
    cable.lineTo(52, 56);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kCable, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(cable);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kCable);
    painter.drawEllipse(QPointF(52, 56), 4, 4);
    return pixmap;
}

}  // namespace

QIcon MakeApplicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(PaintIcon(size));
    }
    return icon;
}

}  // namespace quillon
