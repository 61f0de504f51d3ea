#include "widgets/CachedGroupBox.h"

#include <QPaintEvent>
#include <QPainter>

CCachedGroupBox::CCachedGroupBox(const QString& title, QWidget* parent)
    : QGroupBox(title, parent) {}

CCachedGroupBox::Look CCachedGroupBox::CurrentLook() const {
    Look look;
    look.size = size();
    look.ratio = devicePixelRatioF();
    look.enabled = isEnabled();
    look.active = isActiveWindow();
    look.flat = isFlat();
    look.alignment = alignment();
    look.direction = layoutDirection();
    look.title = title();
    look.font = font();
    look.palette = palette().cacheKey();
    look.style = style();
    return look;
}

void CCachedGroupBox::paintEvent(QPaintEvent* event) {
    if (isCheckable()) {
        QGroupBox::paintEvent(event);
        return;
    }
    if (m_picture.isNull() || !(CurrentLook() == m_look)) {
        QGroupBox::paintEvent(event);
        // A box painted again will be again: its picture is made after this
        // paint, since a widget cannot be rendered while it is painted.
        if (++m_paints >= 2 && !m_pictureDue) {
            m_pictureDue = true;
            QMetaObject::invokeMethod(this, &CCachedGroupBox::MakePicture, Qt::QueuedConnection);
        }
        return;
    }
    const QRect area = event->rect();
    const qreal ratio = m_look.ratio;
    QPainter painter(this);
    painter.drawPixmap(
        area, m_picture,
        QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio));
}

void CCachedGroupBox::MakePicture() {
    Look look = CurrentLook();
    // Drawn by QGroupBox itself (no background, no children), as on screen;
    // the paint this makes does not ask for another picture while one is due.
    QPixmap picture(look.size * look.ratio);
    picture.setDevicePixelRatio(look.ratio);
    picture.fill(Qt::transparent);
    render(&picture, QPoint(), QRegion(), QWidget::RenderFlags());
    m_pictureDue = false;
    m_picture = std::move(picture);
    m_look = std::move(look);
}
