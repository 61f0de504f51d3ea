#pragma once
// Reading and rewriting the settings file.
#include "SettingsFile.h"

#include <QString>
#include <string>

namespace settings {

struct LoadResult {
    std::string port = kDefaultPort;
    bool rewrite = false; // a malformed port line: rewrite the file at the next chance
    QString failure;      // empty, or the one message to show
};

class CSettingsStore {
public:
    explicit CSettingsStore(QString path) : m_path(std::move(path)) {}
    const QString& Path() const { return m_path; }
    LoadResult Load();
    QString Save(const std::string& port);

private:
    QString Failure(const QString& what, const QString& reason, const std::string& port) const;
    QString m_path;
};

} // namespace settings
