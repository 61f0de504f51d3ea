#pragma once
// The level slider: horizontal, positions 0..100, eleven major ticks with
// labels, arrow step 1, page step 10, wheel step 1; a click moves the pointer
// straight to the clicked place. Its pointer, key and change notifications
// are signals for the window to act on.
#include "widgets/RepaintThrottle.h"

#include <QWidget>

class QSlider;

class CiSliderX : public QWidget {
    Q_OBJECT
public:
    explicit CiSliderX(QWidget* parent = nullptr);

    double GetPosition() const;
    void SetPosition(double position);

    QSlider* Slider() const { return m_slider; }

signals:
    // Pointer press and release; buttonMask has bit 0 for the primary button.
    void MouseDown(short buttonMask, short shift, int x, int y);
    void MouseUp(short buttonMask, short shift, int x, int y);
    // Key press and release of a key that moves the pointer.
    void KeyDown(short key, short shift);
    void KeyUp(short key, short shift);
    // A change that is neither a pointer nor a key action (the wheel) begins
    // and ends.
    void PositionChangeBegin();
    void PositionChangeEnd();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int LabelHeight() const;

    int m_wheelDelta = 0; // wheel movement not yet worth a step
    QSlider* m_slider;
    // A device that reports its level hundreds of times a second moves the
    // pointer at most once a frame: the slider's value changes at once, but
    // its repaints are held until the frame's repaint lets them through.
    CRepaintThrottle m_repaint{[this] { DrawPointer(); }};
    void DrawPointer();
};
