#pragma once
// A group box that keeps a picture of itself. The panel's slider and text
// boxes are transparent, so each change of theirs repaints the group box
// behind them; under a stream of level broadcasts that is a hundred times
// a second, and the style lays out the title and draws the frame each time.
// From its second paint on (a box painted once is never asked again), the
// box draws the picture that Qt drew of it, made again when its size, state,
// title, font, palette or style has changed.
#include <QGroupBox>
#include <QPixmap>

class CCachedGroupBox : public QGroupBox {
public:
    explicit CCachedGroupBox(const QString& title, QWidget* parent = nullptr);

    // The box is drawn from its picture (for tests).
    bool IsCached() const { return !m_picture.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // What the style draws a plain box from. Read at every paint, so only
    // what is quick to read: the style's own option would cost as much as
    // the drawing it spares. A checkable box is never drawn from a picture
    // (it changes with the pointer and the focus).
    struct Look {
        QSize size;
        qreal ratio = 1.0;
        bool enabled = true;
        bool active = true;
        bool flat = false;
        Qt::Alignment alignment;
        Qt::LayoutDirection direction = Qt::LeftToRight;
        QString title;
        QFont font;
        qint64 palette = 0;
        const QStyle* style = nullptr;
        bool operator==(const Look&) const = default;
    };
    Look CurrentLook() const;

    int m_paints = 0;
    bool m_pictureDue = false; // asked to make it after the current paint
    void MakePicture();
    Look m_look;
    QPixmap m_picture;
};
