#pragma once
// Fakes for testing the main window alone: an in-memory serial port, a
// settable millisecond clock and a message sink that records instead of
// showing boxes.
#include "core/PacedSender.h"
#include "core/ReportLines.h"
#include "session/CMSComm.h"
#include "widgets/MessageSink.h"
#include "window/CTerminalDlg.h"

#include <QFile>
#include <QStringList>
#include <string>
#include <vector>

inline QByteArray Bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}
inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}
inline const QByteArray kIdQuery("AT ID?\r\n");
inline const QByteArray kIdReport = Bytes(proto::BuildIdReportLine('9', 1, 9)); // serial 1, " 1.0A"

class CFakeSerialBackend final : public CSerialBackend {
public:
    QString openError;      // a failing open reports this
    bool stuckOpen = false; // the port keeps reporting open after a close
    QString writeError;     // a failing write reports this (the line hung up)
    bool open = false;
    int openedPort = 0;
    int opens = 0;
    QByteArray pending; // received, not read yet
    std::vector<QByteArray> writes;

    QString Open(int portNumber, int) override {
        ++opens;
        if (!openError.isEmpty())
            return openError;
        open = true;
        openedPort = portNumber;
        return {};
    }
    QString SetBaudRate(int) override { return {}; }
    void Close() override {
        if (!stuckOpen)
            open = false;
    }
    bool IsOpen() const override { return open; }
    QByteArray ReadAll() override {
        QByteArray bytes;
        bytes.swap(pending);
        return bytes;
    }
    QString Write(const char* data, int length) override {
        if (!writeError.isEmpty())
            return writeError;
        writes.emplace_back(data, length);
        return {};
    }

    // Bytes arrive from the device.
    void Receive(const QByteArray& bytes) {
        pending += bytes;
        emit BytesArrived();
    }
    QByteArray Written() const {
        QByteArray all;
        for (const QByteArray& w : writes)
            all += w;
        return all;
    }
    void ClearWrites() { writes.clear(); }
};

// Each reading advances the clock by one millisecond, so pauses end.
class CFakeClock final : public proto::CMillisecondClock {
public:
    uint32_t now = 0;
    uint32_t Now() override { return now++; }
};

class CRecordingSink final : public CMessageSink {
public:
    QStringList texts;
    QList<MessageIcon> icons;
    void Show(QWidget*, const QString& text, MessageIcon icon) override {
        texts << text;
        icons << icon;
    }
};

// A main window on fakes; the settings file lives at `settingsPath`.
struct FakeTerminal {
    CFakeSerialBackend* serial;
    CFakeClock clock;
    CRecordingSink messages;
    int64_t historyMs = 0; // the read-out history's clock
    std::unique_ptr<CTerminalDlg> dlg;

    explicit FakeTerminal(const QString& settingsPath) {
        auto backend = std::make_unique<CFakeSerialBackend>();
        serial = backend.get();
        TerminalEnvironment env;
        env.serial = std::move(backend);
        env.clock = &clock;
        env.messages = &messages;
        env.settingsPath = settingsPath;
        env.historyClock = [this] { return historyMs; };
        dlg = std::make_unique<CTerminalDlg>(std::move(env));
    }
};
