#pragma once
// Once-a-frame repaints for the widgets a device changes hundreds of times a
// second (the read-outs and the slider under a flood of level broadcasts).
//
// Every throttle runs on one frame clock shared by all of them. A change in a
// frame in which its widget has not been repainted yet is drawn at once; a
// later change in the same frame waits for the next frame's start, where one
// timer repaints every widget that is waiting. So the panel is drawn in one
// paint pass a frame, not one per widget, and the last change is always drawn.
#include <QBasicTimer>
#include <QObject>
#include <functional>
#include <vector>

class CRepaintThrottle;

// Frames of CRepaintThrottle::kFrameMs, counted from the clock's start, and
// the one timer that ends a frame for every throttle waiting for it. The
// application's throttles share one (Shared()); a test makes its own on a
// time it sets, and ends its frames itself.
class CFrameClock final : public QObject {
public:
    // Milliseconds from a fixed start; never goes back.
    using Now = std::function<qint64()>;

    // An empty `now` is real time from the clock's construction.
    explicit CFrameClock(Now now = {}, QObject* parent = nullptr);
    // Throttles still waiting on it wait no longer: the frame end they
    // waited for never comes.
    ~CFrameClock() override;
    CFrameClock(const CFrameClock&) = delete;
    CFrameClock& operator=(const CFrameClock&) = delete;

    // The application's clock, made on first use; it goes with the
    // application.
    static CFrameClock& Shared();

    qint64 Frame() const;
    // Repaints every throttle waiting for the current frame to end. The
    // timer calls it when the frame ends; a test with a time of its own
    // calls it instead of waiting for the timer.
    void EndFrame();
    // A throttle is waiting and the timer is set for the frame's end.
    bool EndScheduled() const { return m_timer.isActive(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    friend class CRepaintThrottle;
    void Wait(CRepaintThrottle* throttle);
    void Forget(CRepaintThrottle* throttle);

    Now m_now;
    QBasicTimer m_timer;
    std::vector<CRepaintThrottle*> m_waiting;
    std::vector<CRepaintThrottle*> m_due; // being repainted now
};

class CRepaintThrottle {
public:
    // 30 frames a second. Under a stream of level broadcasts every frame
    // repaints the whole panel (44 read-outs, the slider, the text boxes),
    // which at 60 frames took as much CPU as everything else the terminal
    // does; a number that changes more often than this cannot be read, and
    // a lone change is still drawn at once.
    static constexpr int kFrameMs = 33;

    // On the application's frame clock.
    explicit CRepaintThrottle(std::function<void()> repaint);
    // On `clock`, which outlives the throttle.
    CRepaintThrottle(std::function<void()> repaint, CFrameClock& clock);
    ~CRepaintThrottle();
    CRepaintThrottle(const CRepaintThrottle&) = delete;
    CRepaintThrottle& operator=(const CRepaintThrottle&) = delete;

    // Calls the repaint function at once when it has not been called in the
    // current frame, otherwise at the start of the next frame (once, however
    // often this is asked meanwhile).
    void Request();
    // A repaint is waiting for the next frame.
    bool Waiting() const { return m_waiting; }

private:
    friend class CFrameClock;
    CFrameClock& Clock() const { return m_clock != nullptr ? *m_clock : CFrameClock::Shared(); }
    void Repaint(qint64 frame);

    std::function<void()> m_repaint;
    CFrameClock* m_clock = nullptr; // none: the application's
    qint64 m_lastFrame = -1;        // the frame of the latest repaint
    bool m_waiting = false;
};
