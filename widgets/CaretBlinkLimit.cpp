#include "widgets/CaretBlinkLimit.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>

namespace {

CCaretBlinkLimit::Now RealTime() {
    QElapsedTimer timer;
    timer.start();
    return [timer] { return timer.elapsed(); };
}

} // namespace

CCaretBlinkLimit::CCaretBlinkLimit(int stopAfterMs, QObject* parent, Now now)
    : QObject(parent), m_now(now ? std::move(now) : RealTime()), m_stopAfterMs(stopAfterMs),
      m_lastInput(m_now()), m_flashTime(QGuiApplication::styleHints()->cursorFlashTime()) {
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &CCaretBlinkLimit::CheckQuiet);
    qApp->installEventFilter(this);
    m_quiet.start(m_stopAfterMs);
}

CCaretBlinkLimit::~CCaretBlinkLimit() {
    qApp->removeEventFilter(this);
    Resume();
}

void CCaretBlinkLimit::CheckQuiet() {
    const qint64 quiet = m_now() - m_lastInput;
    if (quiet >= m_stopAfterMs)
        Stop();
    else
        m_quiet.start(static_cast<int>(m_stopAfterMs - quiet));
}

bool CCaretBlinkLimit::eventFilter(QObject* /*watched*/, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::FocusIn:
    case QEvent::WindowActivate:
        // Several objects see one key or click; each notes the time, which
        // is cheap, and the blinking is resumed once.
        m_lastInput = m_now();
        Resume();
        break;
    default:
        break;
    }
    return false;
}

void CCaretBlinkLimit::Stop() {
    // A flash time of 0 is "does not blink": edit fields show their cursor
    // steadily.
    m_stopped = true;
    QGuiApplication::styleHints()->setCursorFlashTime(0);
}

void CCaretBlinkLimit::Resume() {
    if (!m_stopped)
        return;
    m_stopped = false;
    QGuiApplication::styleHints()->setCursorFlashTime(m_flashTime);
    m_quiet.start(m_stopAfterMs);
}
