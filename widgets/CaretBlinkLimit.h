#pragma once
// Text cursors stop blinking once the operator has left the program alone
// for a while, as desktop toolkits do: the terminal is often the active
// window on a test bench for hours while nobody types, and each blink wakes
// the program and repaints the edit field and what lies behind it. The
// cursor stays shown, solid; any key, click, wheel turn or change of focus
// starts the blinking again.
#include <QObject>
#include <QTimer>
#include <functional>

class CCaretBlinkLimit : public QObject {
public:
    // Ten seconds of no input, the usual desktop setting.
    static constexpr int kStopAfterMs = 10000;
    // Milliseconds from a fixed start; never goes back.
    using Now = std::function<qint64()>;

    // Watches the whole application's input; the blinking is the
    // application's (QStyleHints::cursorFlashTime). An empty `now` is real
    // time.
    explicit CCaretBlinkLimit(int stopAfterMs = kStopAfterMs, QObject* parent = nullptr,
                              Now now = {});
    // Leaves the blinking as it found it.
    ~CCaretBlinkLimit() override;

    bool Stopped() const { return m_stopped; }
    // Stops the blinking when the quiet has lasted long enough, otherwise
    // waits for the rest of it. The timer calls it; a test with a time of
    // its own calls it instead of waiting for the timer.
    void CheckQuiet();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Stop();
    void Resume();

    Now m_now;
    const int m_stopAfterMs;
    qint64 m_lastInput; // when the operator last did something
    // Wakes when the quiet may have lasted long enough: input only notes
    // its time, so a stream of events never restarts a timer.
    QTimer m_quiet;
    int m_flashTime; // the blinking to resume with
    bool m_stopped = false;
};
