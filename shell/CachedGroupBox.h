#pragma once
// A group box that keeps a picture of itself. The panel's slider and text
// boxes are transparent, so each change of theirs repaints the group box
// behind them; under a stream of level broadcasts that is a hundred times
// a second, and the style lays out the title and draws the frame each time.
// From its second paint on (a box painted once is never asked again), the
// box draws the picture it made, which it makes again when anything the
// style draws it from has changed.
#include <QGroupBox>
#include <QPixmap>
#include <QStyleOptionGroupBox>

class CCachedGroupBox : public QGroupBox {
public:
    explicit CCachedGroupBox(const QString& title, QWidget* parent = nullptr);

    // The box is drawn from its picture (for tests).
    bool IsCached() const { return !m_picture.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // What the style draws the box from, besides the widget's font.
    struct Look {
        QStyleOptionGroupBox option;
        QString font;
        qreal ratio = 1.0;
        bool operator==(const Look& other) const;
    };
    Look CurrentLook() const;

    int m_paints = 0;
    bool m_drawing = false;    // making the picture
    bool m_pictureDue = false; // asked to make it after the current paint
    void MakePicture();
    Look m_look;
    QPixmap m_picture;
};
