#pragma once
// A read-out of the instrument panel: one line of text (a number with its
// unit, "5000.00 RPM"), bold lime on black. It shows what it is given; the
// window decides what that is and how often it changes.
#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QString>
#include <QWidget>

class CiAnalogDisplayX : public QWidget {
    Q_OBJECT
public:
    explicit CiAnalogDisplayX(QWidget* parent = nullptr);

    // Shows the text; repaints only when it differs from the one shown.
    void SetText(const QString& text);
    const QString& Text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_text;

    // Finding a text's glyphs and their places costs more than drawing them,
    // and a read-out shows one text per level and warnings state, a few
    // hundred at most: it keeps the glyphs of every text it has drawn, placed
    // where QPainter::drawText(TextArea(), Qt::AlignCenter, text) puts them.
    struct PlacedText {
        bool fits = false; // false: drawn by drawText, which clips it
        QPointF origin;
        QList<QGlyphRun> runs;
    };
    static constexpr qsizetype kMaxPlacedTexts = 256;
    QRect TextArea() const { return rect().adjusted(2, 0, -2, 0); }
    const PlacedText& Placed(); // m_text's glyphs
    QHash<QString, PlacedText> m_placed;
};
