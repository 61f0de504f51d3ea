#include "widgets/CiAnalogDisplayX.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

CiAnalogDisplayX::CiAnalogDisplayX(QWidget* parent) : QWidget(parent) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(11);
    setFont(font);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CiAnalogDisplayX::SetText(const QString& text) {
    if (text == m_text)
        return;
    m_text = text;
    update();
}

void CiAnalogDisplayX::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(isEnabled() ? QColor(0, 255, 0) : QColor(0, 128, 0));
    const PlacedText& placed = Placed();
    if (!placed.fits) {
        painter.drawText(TextArea(), Qt::AlignCenter, m_text);
        return;
    }
    for (const QGlyphRun& run : placed.runs)
        painter.drawGlyphRun(placed.origin, run);
}

const CiAnalogDisplayX::PlacedText& CiAnalogDisplayX::Placed() {
    if (const auto known = m_placed.constFind(m_text); known != m_placed.cend())
        return *known;
    if (m_placed.size() >= kMaxPlacedTexts)
        m_placed.clear();
    // Laid out and placed as drawText lays out and places one line of text
    // centred in a rectangle: left-aligned in the painter's direction, with
    // no width limit, moved by half the room left over; the vertical offset
    // is rounded to whole pixels as drawText rounds it.
    QTextLayout layout(m_text, font(), this);
    QTextOption option;
    option.setTextDirection(layoutDirection());
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(0x01000000);
    layout.endLayout();
    const QRectF area(TextArea());
    const qreal yOffset = -qRound(-(area.height() - line.height()) / 2);
    const QRectF bounds(area.x() + qRound((area.width() - line.naturalTextWidth()) / 2),
                        area.y() + yOffset, line.naturalTextWidth(), line.height());
    PlacedText placed;
    placed.fits = area.contains(bounds);
    placed.origin =
        QPointF(area.x() + (area.width() - line.horizontalAdvance()) / 2, area.y() + yOffset);
    if (placed.fits)
        placed.runs = layout.glyphRuns();
    return *m_placed.insert(m_text, std::move(placed));
}

void CiAnalogDisplayX::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::LayoutDirectionChange)
        m_placed.clear();
    QWidget::changeEvent(event);
}

void CiAnalogDisplayX::resizeEvent(QResizeEvent* event) {
    m_placed.clear();
    QWidget::resizeEvent(event);
}
