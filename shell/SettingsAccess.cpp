// Reading and rewriting the settings file beside the executable.
#include "CTerminalDlg.h"
#include "SettingsFile.h"

#include <QFile>
#include <QSaveFile>
#include <QTimer>

namespace {

// Writes the whole file, replacing what was there only once the new content
// is complete. Returns an empty text, or the reason it failed.
QString ReplaceFile(const QString& path, const std::string& content) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(content.data(), static_cast<qint64>(content.size())) !=
        static_cast<qint64>(content.size())) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

} // namespace

void CTerminalDlg::ReadSettings() {
    m_strPort = QString::fromLatin1(settings::kDefaultPort);
    QFile file(m_settingsPath);
    if (!file.open(QIODevice::ReadOnly)) {
        // A file that is there but cannot be read is left as it is.
        if (file.exists()) {
            ReportSettingsFailure(QStringLiteral("cannot be read"), file.errorString());
            return;
        }
        // Missing: create it with the default content.
        const QString reason = ReplaceFile(m_settingsPath, settings::kDefaultContent);
        if (!reason.isEmpty())
            ReportSettingsFailure(QStringLiteral("cannot be created"), reason);
        return;
    }
    const QByteArray content = file.read(static_cast<qint64>(settings::kReadLimit));
    const bool readFailed = content.isEmpty() && file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed) {
        ReportSettingsFailure(QStringLiteral("cannot be read"), file.errorString());
        return;
    }
    if (content.isEmpty()) {
        const QString reason = ReplaceFile(m_settingsPath, settings::kDefaultContent);
        if (!reason.isEmpty())
            ReportSettingsFailure(QStringLiteral("cannot be written"), reason);
        return;
    }
    const settings::ParsedSettings parsed = settings::ParseSettings(
        std::string(content.constData(), static_cast<size_t>(content.size())));
    m_strPort = QString::fromLatin1(parsed.port.data(), static_cast<qsizetype>(parsed.port.size()));
    if (parsed.malformed)
        m_bSaveSettings = 1;
}

void CTerminalDlg::WriteSettings() {
    const QByteArray port = m_strPort.toLatin1();
    const QString reason = ReplaceFile(
        m_settingsPath,
        settings::SettingsText(std::string(port.constData(), static_cast<size_t>(port.size()))));
    m_bSaveSettings = 0;
    if (!reason.isEmpty())
        ReportSettingsFailure(QStringLiteral("cannot be written"), reason);
    else
        m_bSettingsFailureReported = false;
}

void CTerminalDlg::ReportSettingsFailure(const QString& what, const QString& reason) {
    if (m_bSettingsFailureReported)
        return;
    m_bSettingsFailureReported = true;
    const QString text = QStringLiteral("The settings file %1 %2: %3\n\nThe port is not remembered "
                                        "for the next start; the terminal goes on with %4.")
                             .arg(m_settingsPath, what, reason, m_strPort);
    // At start-up the window is not on screen yet: tell the operator once
    // it is.
    QTimer::singleShot(0, this, [this, text] { ShowMessage(text, MessageIcon::Exclamation); });
}
