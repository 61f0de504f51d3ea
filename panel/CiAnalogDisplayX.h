#pragma once
// A read-out of the instrument panel: a number with a fixed count of
// decimals followed by a unit text, bold lime on black.
#include "RepaintThrottle.h"

#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QString>
#include <QWidget>

class CiAnalogDisplayX : public QWidget {
    Q_OBJECT
public:
    CiAnalogDisplayX(int decimals, QString unit, QWidget* parent = nullptr);

    void SetValue(double value);
    double GetValue() const { return m_value; }
    // What the read-out shows, e.g. "5000.00 RPM" (on screen within a frame).
    const QString& Text() const;
    int Decimals() const { return m_decimals; }
    const QString& Unit() const { return m_unit; }

    // The text for a value: fixed decimals, no "-" in front of a zero.
    static QString Format(double value, int decimals, const QString& unit);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int m_decimals;
    QString m_unit;
    double m_value = 0.0;
    // The text of m_value, made when asked for: a device can change the value
    // hundreds of times a frame, and only the frame's last one is drawn.
    mutable QString m_text;
    mutable bool m_textStale = false;
    // A changed text is drawn at most once a frame.
    QString m_requested; // the text of the latest repaint
    void RepaintIfChanged();
    CRepaintThrottle m_repaint{[this] { RepaintIfChanged(); }};

    // Finding a text's glyphs and their places costs more than drawing them,
    // and a read-out shows one text per level and warnings state, a few
    // hundred at most: it keeps the glyphs of every text it has drawn, placed
    // where QPainter::drawText(TextArea(), Qt::AlignCenter, text) puts them.
    // They are found by the value shown (its bits), which is quicker to look
    // up than the text it gives.
    struct PlacedText {
        bool fits = false; // false: drawn by drawText, which clips it
        QPointF origin;
        QList<QGlyphRun> runs;
    };
    static constexpr qsizetype kMaxPlacedTexts = 256;
    QRect TextArea() const { return rect().adjusted(2, 0, -2, 0); }
    const PlacedText& PlacedValue(); // m_text, the text of m_value
    QHash<quint64, PlacedText> m_placed;
};
