#include "widgets/CiSliderX.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>
#include <cmath>

namespace {

short ButtonMask(Qt::MouseButtons buttons) {
    short mask = 0;
    if (buttons & Qt::LeftButton)
        mask |= 1;
    if (buttons & Qt::RightButton)
        mask |= 2;
    if (buttons & Qt::MiddleButton)
        mask |= 4;
    return mask;
}

short ShiftMask(Qt::KeyboardModifiers modifiers) {
    short mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= 1;
    if (modifiers & Qt::ControlModifier)
        mask |= 2;
    if (modifiers & Qt::AltModifier)
        mask |= 4;
    return mask;
}

bool MovesPointer(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

} // namespace

CiSliderX::CiSliderX(QWidget* parent)
    : QWidget(parent), m_slider(new QSlider(Qt::Horizontal, this)) {
    m_slider->setRange(0, 100);
    m_slider->setSingleStep(1);
    m_slider->setPageStep(10);
    m_slider->setTickPosition(QSlider::TicksAbove);
    m_slider->setTickInterval(10);
    m_slider->installEventFilter(this);
    QPalette track = m_slider->palette(); // a blue track up to the pointer
    track.setColor(QPalette::Highlight, Qt::blue);
    m_slider->setPalette(track);
    setFocusProxy(m_slider);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);
}

double CiSliderX::GetPosition() const {
    return m_slider->value();
}

void CiSliderX::SetPosition(double position) {
    const int value = static_cast<int>(std::trunc(std::clamp(position, 0.0, 100.0)));
    if (value == m_slider->value())
        return;
    if (m_slider->updatesEnabled())
        m_slider->setUpdatesEnabled(false);
    m_slider->setValue(value);
    m_repaint.Request(); // at once when the pointer has not moved in this frame
}

void CiSliderX::DrawPointer() {
    m_slider->setUpdatesEnabled(true); // repaints the pointer where it now is
}

int CiSliderX::LabelHeight() const {
    return fontMetrics().height();
}

void CiSliderX::resizeEvent(QResizeEvent*) {
    m_slider->setGeometry(0, 0, width(), std::max(0, height() - LabelHeight()));
}

bool CiSliderX::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_slider || !m_slider->isEnabled())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: { // a double click's second press comes as this
        auto* e = static_cast<QMouseEvent*>(event);
        const QPoint p = e->position().toPoint();
        emit MouseDown(ButtonMask(e->buttons() | e->button()), ShiftMask(e->modifiers()), p.x(),
                       p.y());
        if (e->button() == Qt::LeftButton) {
            // The pointer goes straight to the clicked place, then follows a drag.
            QStyleOptionSlider option;
            option.initFrom(m_slider);
            option.orientation = Qt::Horizontal;
            option.minimum = m_slider->minimum();
            option.maximum = m_slider->maximum();
            const QRect handle = m_slider->style()->subControlRect(
                QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, m_slider);
            const int span = m_slider->width() - handle.width();
            m_slider->setValue(QStyle::sliderValueFromPosition(
                m_slider->minimum(), m_slider->maximum(), p.x() - handle.width() / 2, span));
        }
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        const QPoint p = e->position().toPoint();
        emit MouseUp(ButtonMask(e->buttons() | e->button()), ShiftMask(e->modifiers()), p.x(),
                     p.y());
        break;
    }
    case QEvent::KeyPress: {
        auto* e = static_cast<QKeyEvent*>(event);
        if (MovesPointer(e->key()))
            emit KeyDown(static_cast<short>(e->key() & 0x7FFF), ShiftMask(e->modifiers()));
        break;
    }
    case QEvent::KeyRelease: {
        auto* e = static_cast<QKeyEvent*>(event);
        if (MovesPointer(e->key()) && !e->isAutoRepeat())
            emit KeyUp(static_cast<short>(e->key() & 0x7FFF), ShiftMask(e->modifiers()));
        break;
    }
    case QEvent::Wheel: {
        auto* e = static_cast<QWheelEvent*>(event);
        // One step a notch; fine-grained wheels and touchpads add up to one.
        m_wheelDelta += e->angleDelta().y();
        const int steps = m_wheelDelta / 120;
        m_wheelDelta -= steps * 120;
        if (steps != 0) {
            emit PositionChangeBegin();
            m_slider->setValue(m_slider->value() + steps);
            emit PositionChangeEnd();
        }
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void CiSliderX::paintEvent(QPaintEvent* event) {
    // Tick labels 0, 10, ... 100 under the slider's ticks. A repaint for the
    // pointer alone does not reach them.
    if (!event->region().intersects(QRect(0, height() - LabelHeight(), width(), LabelHeight())))
        return;
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    QStyleOptionSlider option;
    option.initFrom(m_slider);
    option.orientation = Qt::Horizontal;
    option.minimum = 0;
    option.maximum = 100;
    const QRect handle = m_slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                           QStyle::SC_SliderHandle, m_slider);
    const int span = m_slider->width() - handle.width();
    const int top = height() - LabelHeight();
    for (int value = 0; value <= 100; value += 10) {
        const int x = QStyle::sliderPositionFromValue(0, 100, value, span) + handle.width() / 2;
        const QString label = QString::number(value);
        const int w = fontMetrics().horizontalAdvance(label);
        const int left = std::clamp(x - w / 2, 0, std::max(0, width() - w));
        painter.drawText(QRect(left, top, w, LabelHeight()), Qt::AlignCenter, label);
    }
}
