#include "CiAnalogDisplayX.h"

#include "PanelSnapshot.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>
#include <bit>

CiAnalogDisplayX::CiAnalogDisplayX(int decimals, QString unit, QWidget* parent)
    : QWidget(parent), m_decimals(decimals), m_unit(std::move(unit)),
      m_text(Format(0.0, decimals, m_unit)), m_requested(m_text) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(11);
    setFont(font);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QString CiAnalogDisplayX::Format(double value, int decimals, const QString& unit) {
    return panel::FormatReadout(value, decimals, unit);
}

void CiAnalogDisplayX::SetValue(double value) {
    if (std::bit_cast<quint64>(value) == std::bit_cast<quint64>(m_value))
        return; // the same text
    m_value = value;
    m_textStale = true;
    m_repaint.Request();
}

const QString& CiAnalogDisplayX::Text() const {
    if (m_textStale) {
        m_text = Format(m_value, m_decimals, m_unit);
        m_textStale = false;
    }
    return m_text;
}

void CiAnalogDisplayX::RepaintIfChanged() {
    if (Text() == m_requested)
        return; // another value, the same text
    m_requested = Text();
    update();
}

void CiAnalogDisplayX::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(isEnabled() ? QColor(0, 255, 0) : QColor(0, 128, 0));
    const PlacedText& placed = PlacedValue();
    if (!placed.fits) {
        painter.drawText(TextArea(), Qt::AlignCenter, Text());
        return;
    }
    for (const QGlyphRun& run : placed.runs)
        painter.drawGlyphRun(placed.origin, run);
}

const CiAnalogDisplayX::PlacedText& CiAnalogDisplayX::PlacedValue() {
    const auto key = std::bit_cast<quint64>(m_value);
    if (const auto known = m_placed.constFind(key); known != m_placed.cend())
        return *known;
    if (m_placed.size() >= kMaxPlacedTexts)
        m_placed.clear();
    // Laid out and placed as drawText lays out and places one line of text
    // centred in a rectangle: left-aligned in the painter's direction, with
    // no width limit, moved by half the room left over; the vertical offset
    // is rounded to whole pixels as drawText rounds it.
    QTextLayout layout(Text(), font(), this);
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
    return *m_placed.insert(key, std::move(placed));
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
