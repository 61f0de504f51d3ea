#include "window/StatusLog.h"

#include "core/PacedSender.h"

std::unique_ptr<CStatusLog> CStatusLog::FromEnvironment() {
    const QString path = qEnvironmentVariable("BRENDLOW_STATUS_LOG");
    return path.isEmpty() ? nullptr : Open(path);
}

std::unique_ptr<CStatusLog> CStatusLog::Open(const QString& path) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        qWarning("%s",
                 qPrintable(
                     tr("The status log %1 cannot be opened: %2").arg(path, file->errorString())));
        return nullptr;
    }
    return std::unique_ptr<CStatusLog>(new CStatusLog(std::move(file)));
}

CStatusLog::~CStatusLog() {
    Flush();
}

void CStatusLog::Hold(const char* what, const QString& detail) {
    if (!m_file)
        return;
    // Appended piece by piece: in a flood this runs for every broadcast.
    m_held += what;
    m_held += ' ';
    m_held += detail.toUtf8();
    m_held += ' ';
    m_held += QByteArray::number(static_cast<qlonglong>(proto::SteadyNs()));
    m_held += '\n';
}

void CStatusLog::Write(const char* what, const QString& detail) {
    Hold(what, detail);
    Flush();
}

void CStatusLog::Flush() {
    if (m_held.isEmpty() || !m_file)
        return;
    if (m_file->write(m_held) != m_held.size()) {
        qWarning("%s", qPrintable(tr("The status log %1 cannot be written, and stops here: %2")
                                      .arg(m_file->fileName(), m_file->errorString())));
        m_file.reset();
    }
    m_held.clear();
}
