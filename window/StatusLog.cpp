#include "window/StatusLog.h"

#include "core/PacedSender.h"

std::unique_ptr<CStatusLog> CStatusLog::FromEnvironment() {
    const QString path = qEnvironmentVariable("BRENDLOW_STATUS_LOG");
    return path.isEmpty() ? nullptr : Open(path);
}

std::unique_ptr<CStatusLog> CStatusLog::Open(const QString& path) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return nullptr;
    return std::unique_ptr<CStatusLog>(new CStatusLog(std::move(file)));
}

CStatusLog::~CStatusLog() {
    Flush();
}

void CStatusLog::Hold(const char* what, const QString& detail) {
    m_held += QStringLiteral("%1 %2 %3\n")
                  .arg(QLatin1String(what), detail)
                  .arg(proto::SteadyNs())
                  .toUtf8();
}

void CStatusLog::Write(const char* what, const QString& detail) {
    Hold(what, detail);
    Flush();
}

void CStatusLog::Flush() {
    if (m_held.isEmpty())
        return;
    m_file->write(m_held);
    m_held.clear();
}
