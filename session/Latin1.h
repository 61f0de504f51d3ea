#pragma once
// The device's texts, the settings file and the panel's tables are plain
// ASCII held in std::string by the core; these carry them across to Qt's
// texts and back, byte for byte.
#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

namespace text {

inline QString FromStd(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string ToStd(const QString& s) {
    const QByteArray bytes = s.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

inline std::string ToStd(const QByteArray& bytes) {
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace text
