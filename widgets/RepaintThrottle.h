#pragma once
// Once-a-frame repaints for the widgets a device changes hundreds of times a
// second (the read-outs and the slider under a flood of level broadcasts).
//
// Every throttle runs on one frame clock shared by all of them. A change in a
// frame in which its widget has not been repainted yet is drawn at once; a
// later change in the same frame waits for the next frame's start, where one
// timer repaints every widget that is waiting. So the panel is drawn in one
// paint pass a frame, not one per widget, and the last change is always drawn.
#include <functional>

class CRepaintThrottle {
public:
    // 30 frames a second. Under a stream of level broadcasts every frame
    // repaints the whole panel (44 read-outs, the slider, the text boxes),
    // which at 60 frames took as much CPU as everything else the terminal
    // does; a number that changes more often than this cannot be read, and
    // a lone change is still drawn at once.
    static constexpr int kFrameMs = 33;

    explicit CRepaintThrottle(std::function<void()> repaint);
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
    void Repaint(long long frame);

    std::function<void()> m_repaint;
    long long m_lastFrame = -1; // the frame of the latest repaint
    bool m_waiting = false;
};
