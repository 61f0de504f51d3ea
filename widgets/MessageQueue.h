#pragma once
// Message boxes one at a time: a message that arises while a box or modal
// dialog of ours is open waits until it closes, and a text already waiting
// is not queued again, so a failing device never piles boxes up.
#include "widgets/MessageSink.h"

#include <QList>
#include <QPair>
#include <QString>
#include <functional>

class QWidget;

class CMessageQueue {
public:
    CMessageQueue(CMessageSink& sink, QWidget* parent) : m_sink(sink), m_parent(parent) {}

    // Shows the message now, or after the box or dialog that is open.
    void Show(const QString& text, MessageIcon icon);
    // Runs a modal box or dialog; messages that arise meanwhile follow it.
    void RunModal(const std::function<void()>& modal);

    CMessageSink& Sink() const { return m_sink; }

private:
    CMessageSink& m_sink;
    QWidget* m_parent;
    int m_depth = 0; // boxes and dialogs of ours open now
    QList<QPair<QString, MessageIcon>> m_waiting;
};
