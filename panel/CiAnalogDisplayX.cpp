#include "CiAnalogDisplayX.h"

#include <QPainter>
#include <cmath>

CiAnalogDisplayX::CiAnalogDisplayX(int decimals, QString unit, QWidget* parent)
    : QWidget(parent), m_decimals(decimals), m_unit(std::move(unit)),
      m_text(Format(0.0, decimals, m_unit)) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(11);
    setFont(font);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QString CiAnalogDisplayX::Format(double value, int decimals, const QString& unit) {
    QString number = QString::number(value, 'f', decimals);
    if (number.startsWith('-')) {
        bool allZero = true;
        for (QChar c : number)
            allZero = allZero && (c == '-' || c == '0' || c == '.');
        if (allZero)
            number.remove(0, 1);
    }
    return number + unit;
}

void CiAnalogDisplayX::SetValue(double value) {
    if (value == m_value && std::signbit(value) == std::signbit(m_value))
        return; // the same text
    m_value = value;
    QString text = Format(value, m_decimals, m_unit);
    if (text == m_text)
        return;
    m_text = std::move(text);
    m_repaint.Request();
}

void CiAnalogDisplayX::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(isEnabled() ? QColor(0, 255, 0) : QColor(0, 128, 0));
    painter.drawText(rect().adjusted(2, 0, -2, 0), Qt::AlignCenter, m_text);
}
