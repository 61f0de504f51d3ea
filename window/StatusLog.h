#pragma once
// The status log, for scripts and measurements: where BRENDLOW_STATUS_LOG
// points, one line per event ("identified Brendlow E-100 <ns>", "level 42
// <ns>", "tick watchdog <ns>", "painted window <ns>") with the steady clock's
// nanoseconds. Without the variable there is no log and nothing costs.
//
// A log that cannot be opened or written is said once on stderr and goes no
// further: a measurement must not read a log with lines silently missing.
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <memory>

class CStatusLog {
    Q_DECLARE_TR_FUNCTIONS(CStatusLog)

public:
    // The log the environment names, or nullptr.
    static std::unique_ptr<CStatusLog> FromEnvironment();
    // Nullptr when the file cannot be opened for appending.
    static std::unique_ptr<CStatusLog> Open(const QString& path);
    ~CStatusLog();

    // Writes the line, and any held before it, now.
    void Write(const char* what, const QString& detail);
    // Keeps the line until the next Write or Flush: a flood's level lines go
    // out once a frame, together, not one write each.
    void Hold(const char* what, const QString& detail);
    void Flush();

private:
    explicit CStatusLog(std::unique_ptr<QFile> file) : m_file(std::move(file)) {}

    std::unique_ptr<QFile> m_file; // nullptr once a write failed
    QByteArray m_held;
};
