#pragma once
// A read-out of the instrument panel: a number with a fixed count of
// decimals followed by a unit text, bold lime on black.
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QString>
#include <QWidget>

class CiAnalogDisplayX : public QWidget {
    Q_OBJECT
public:
    CiAnalogDisplayX(int decimals, QString unit, QWidget* parent = nullptr);

    void SetValue(double value);
    double GetValue() const { return m_value; }
    // What the read-out shows, e.g. "5000.00 RPM".
    const QString& Text() const { return m_text; }
    int Decimals() const { return m_decimals; }
    const QString& Unit() const { return m_unit; }

    // The text for a value: fixed decimals, no "-" in front of a zero.
    static QString Format(double value, int decimals, const QString& unit);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    int m_decimals;
    QString m_unit;
    double m_value = 0.0;
    QString m_text;
    // Repaints at most once a frame: a change within kFrameMs of the last
    // repaint waits for the frame's end.
    static constexpr int kFrameMs = 16;
    void ScheduleRepaint();
    QBasicTimer m_repaintTimer;
    QElapsedTimer m_sinceRepaint;
};
