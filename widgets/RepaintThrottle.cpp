#include "widgets/RepaintThrottle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimerEvent>
#include <algorithm>

namespace {

CFrameClock::Now RealTime() {
    QElapsedTimer timer;
    timer.start();
    return [timer] { return timer.elapsed(); };
}

QPointer<CFrameClock>& SharedClock() {
    static QPointer<CFrameClock> clock;
    return clock;
}

} // namespace

CFrameClock::CFrameClock(Now now, QObject* parent)
    : QObject(parent), m_now(now ? std::move(now) : RealTime()) {}

CFrameClock::~CFrameClock() {
    for (const std::vector<CRepaintThrottle*>* list : {&m_waiting, &m_due})
        for (CRepaintThrottle* throttle : *list)
            if (throttle != nullptr)
                throttle->m_waiting = false;
}

CFrameClock& CFrameClock::Shared() {
    QPointer<CFrameClock>& clock = SharedClock();
    if (clock.isNull())
        clock = new CFrameClock({}, QCoreApplication::instance());
    return *clock;
}

qint64 CFrameClock::Frame() const {
    return m_now() / CRepaintThrottle::kFrameMs;
}

void CFrameClock::Wait(CRepaintThrottle* throttle) {
    m_waiting.push_back(throttle);
    if (!m_timer.isActive()) {
        const qint64 now = m_now();
        const qint64 untilNext =
            (now / CRepaintThrottle::kFrameMs + 1) * CRepaintThrottle::kFrameMs - now;
        m_timer.start(static_cast<int>(untilNext), Qt::PreciseTimer, this);
    }
}

void CFrameClock::Forget(CRepaintThrottle* throttle) {
    m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), throttle), m_waiting.end());
    std::replace(m_due.begin(), m_due.end(), throttle, static_cast<CRepaintThrottle*>(nullptr));
}

void CFrameClock::EndFrame() {
    m_timer.stop();
    const qint64 frame = Frame();
    m_due.swap(m_waiting); // a repaint that asks again waits for the frame after
    for (size_t i = 0; i < m_due.size(); ++i)
        if (CRepaintThrottle* throttle = m_due[i])
            throttle->Repaint(frame);
    m_due.clear();
}

void CFrameClock::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId())
        EndFrame();
    else
        QObject::timerEvent(event);
}

CRepaintThrottle::CRepaintThrottle(std::function<void()> repaint) : m_repaint(std::move(repaint)) {}

CRepaintThrottle::CRepaintThrottle(std::function<void()> repaint, CFrameClock& clock)
    : m_repaint(std::move(repaint)), m_clock(&clock) {}

CRepaintThrottle::~CRepaintThrottle() {
    // Waiting means the clock is still there: a clock going first lets its
    // throttles stop waiting.
    if (m_waiting)
        Clock().Forget(this);
}

void CRepaintThrottle::Request() {
    if (m_waiting)
        return; // the next frame's repaint draws this change as well
    CFrameClock& clock = Clock();
    const qint64 frame = clock.Frame();
    if (frame != m_lastFrame) {
        Repaint(frame);
        return;
    }
    m_waiting = true;
    clock.Wait(this);
}

void CRepaintThrottle::Repaint(qint64 frame) {
    m_waiting = false;
    m_lastFrame = frame;
    m_repaint();
}
