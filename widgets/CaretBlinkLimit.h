#pragma once
// Text cursors stop blinking once the operator has left the program alone
// for a while, as desktop toolkits do: the terminal is often the active
// window on a test bench for hours while nobody types, and each blink wakes
// the program and repaints the edit field and what lies behind it. The
// cursor stays shown, solid; any key, click, wheel turn or change of focus
// starts the blinking again.
#include <QObject>
#include <QTimer>

class CCaretBlinkLimit : public QObject {
public:
    // Ten seconds of no input, the usual desktop setting.
    static constexpr int kStopAfterMs = 10000;

    // Watches the whole application's input; the blinking is the
    // application's (QStyleHints::cursorFlashTime).
    explicit CCaretBlinkLimit(int stopAfterMs = kStopAfterMs, QObject* parent = nullptr);
    // Leaves the blinking as it found it.
    ~CCaretBlinkLimit() override;

    bool Stopped() const { return m_stopped; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Stop();
    void Resume();

    QTimer m_quiet;
    int m_flashTime; // the blinking to resume with
    bool m_stopped = false;
};
