#include "widgets/CaretBlinkLimit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>

CCaretBlinkLimit::CCaretBlinkLimit(int stopAfterMs, QObject* parent)
    : QObject(parent), m_flashTime(QGuiApplication::styleHints()->cursorFlashTime()) {
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(stopAfterMs);
    connect(&m_quiet, &QTimer::timeout, this, &CCaretBlinkLimit::Stop);
    qApp->installEventFilter(this);
    m_quiet.start();
}

CCaretBlinkLimit::~CCaretBlinkLimit() {
    qApp->removeEventFilter(this);
    Resume();
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
        // Several objects see one key or click; the timer is restarted for
        // each, which is cheap, and the blinking resumed once.
        Resume();
        m_quiet.start();
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
}
