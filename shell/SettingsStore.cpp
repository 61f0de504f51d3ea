#include "SettingsStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

namespace settings {

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

QString CSettingsStore::Failure(const QString& what, const QString& reason,
                                const std::string& port) const {
    return QCoreApplication::translate("settings",
                                       "The settings file %1 %2: %3\n\nThe port is not remembered "
                                       "for the next start; the terminal goes on with %4.")
        .arg(m_path, what, reason, QString::fromStdString(port));
}

LoadResult CSettingsStore::Load() {
    LoadResult result;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.exists()) {
            result.failure =
                Failure(QStringLiteral("cannot be read"), file.errorString(), result.port);
            return result;
        }
        const QString reason = ReplaceFile(m_path, kDefaultContent);
        if (!reason.isEmpty())
            result.failure = Failure(QStringLiteral("cannot be created"), reason, result.port);
        return result;
    }
    const QByteArray content = file.read(static_cast<qint64>(kReadLimit));
    const bool readFailed = content.isEmpty() && file.error() != QFileDevice::NoError;
    file.close();
    if (readFailed) {
        result.failure = Failure(QStringLiteral("cannot be read"), file.errorString(), result.port);
        return result;
    }
    if (content.isEmpty()) {
        const QString reason = ReplaceFile(m_path, kDefaultContent);
        if (!reason.isEmpty())
            result.failure = Failure(QStringLiteral("cannot be written"), reason, result.port);
        return result;
    }
    const ParsedSettings parsed =
        ParseSettings(std::string(content.constData(), static_cast<size_t>(content.size())));
    result.port = parsed.port;
    result.rewrite = parsed.malformed;
    return result;
}

QString CSettingsStore::Save(const std::string& port) {
    const QString reason = ReplaceFile(m_path, SettingsText(port));
    return reason.isEmpty() ? QString()
                            : Failure(QStringLiteral("cannot be written"), reason, port);
}

} // namespace settings
