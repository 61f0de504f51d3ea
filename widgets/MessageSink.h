#pragma once
// Every message box the terminal shows goes through one sink: the real one
// opens a modal box captioned with the executable's base name, a test one
// records the texts.
#include <QString>
#include <functional>

class QWidget;

enum class MessageIcon { Exclamation, Stop };

class CMessageSink {
public:
    virtual ~CMessageSink() = default;
    // Shows the text with an OK button; returns when the operator closed it.
    virtual void Show(QWidget* parent, const QString& text, MessageIcon icon) = 0;
};

class CMessageBoxSink final : public CMessageSink {
public:
    void Show(QWidget* parent, const QString& text, MessageIcon icon) override;
};

// The caption of every message box: the running executable's base name.
QString ApplicationCaption();
