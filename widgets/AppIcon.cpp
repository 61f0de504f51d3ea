#include "widgets/AppIcon.h"

#include <QPainter>

QPixmap DrawApplicationIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A dark gauge face with a lime needle: the panel's read-outs in small.
    p.setBrush(QColor(20, 30, 60));
    p.setPen(QPen(QColor(200, 200, 210), s / 16));
    p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
    p.setPen(QPen(QColor(0, 255, 0), s / 10, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s * 0.5, s * 0.5), QPointF(s * 0.78, s * 0.26));
    p.setBrush(QColor(0, 255, 0));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(s * 0.5, s * 0.5), s * 0.08, s * 0.08);
    return pixmap;
}

QIcon ApplicationIcon() {
    QIcon icon;
    icon.addPixmap(DrawApplicationIcon(32));
    icon.addPixmap(DrawApplicationIcon(16));
    return icon;
}
