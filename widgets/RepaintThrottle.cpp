#include "widgets/RepaintThrottle.h"

#include <QBasicTimer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimerEvent>
#include <algorithm>
#include <vector>

// The frame clock: frames are kFrameMs long, counted from the clock's start,
// and one timer ends the frame for every throttle waiting for it.
class CFrameClock final : public QObject {
public:
    // Made on first use; it goes with the application.
    static CFrameClock& Instance() {
        if (Existing() == nullptr)
            Pointer() = new CFrameClock(QCoreApplication::instance());
        return *Existing();
    }
    static CFrameClock* Existing() { return Pointer().data(); }

    long long Frame() const { return m_clock.elapsed() / CRepaintThrottle::kFrameMs; }

    void Wait(CRepaintThrottle* throttle) {
        m_waiting.push_back(throttle);
        if (!m_timer.isActive()) {
            const long long untilNext =
                (Frame() + 1) * CRepaintThrottle::kFrameMs - m_clock.elapsed();
            m_timer.start(static_cast<int>(std::max(1LL, untilNext)), Qt::PreciseTimer, this);
        }
    }

    void Forget(CRepaintThrottle* throttle) {
        m_waiting.erase(std::remove(m_waiting.begin(), m_waiting.end(), throttle), m_waiting.end());
        std::replace(m_due.begin(), m_due.end(), throttle, static_cast<CRepaintThrottle*>(nullptr));
    }

protected:
    void timerEvent(QTimerEvent* event) override {
        if (event->timerId() != m_timer.timerId()) {
            QObject::timerEvent(event);
            return;
        }
        m_timer.stop();
        const long long frame = Frame();
        m_due.swap(m_waiting); // a repaint that asks again waits for the frame after
        for (size_t i = 0; i < m_due.size(); ++i)
            if (CRepaintThrottle* throttle = m_due[i])
                throttle->Repaint(frame);
        m_due.clear();
    }

private:
    explicit CFrameClock(QObject* parent) : QObject(parent) { m_clock.start(); }
    static QPointer<CFrameClock>& Pointer() {
        static QPointer<CFrameClock> clock;
        return clock;
    }

    QElapsedTimer m_clock;
    QBasicTimer m_timer;
    std::vector<CRepaintThrottle*> m_waiting;
    std::vector<CRepaintThrottle*> m_due; // being repainted now
};

CRepaintThrottle::CRepaintThrottle(std::function<void()> repaint) : m_repaint(std::move(repaint)) {}

CRepaintThrottle::~CRepaintThrottle() {
    if (CFrameClock* clock = CFrameClock::Existing(); clock != nullptr && m_waiting)
        clock->Forget(this);
}

void CRepaintThrottle::Request() {
    if (m_waiting)
        return; // the next frame's repaint draws this change as well
    CFrameClock& clock = CFrameClock::Instance();
    const long long frame = clock.Frame();
    if (frame != m_lastFrame) {
        Repaint(frame);
        return;
    }
    m_waiting = true;
    clock.Wait(this);
}

void CRepaintThrottle::Repaint(long long frame) {
    m_waiting = false;
    m_lastFrame = frame;
    m_repaint();
}
