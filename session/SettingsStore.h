#pragma once
// The settings file on disk, for whoever holds the device conversation: read
// at start-up, rewritten when the port changes. QtCore only.
//
// It writes only to a regular file, or through a link to the regular file the
// link names (the link stays a link); a device, FIFO, socket, directory or a
// dangling or looping link is reported and left alone. It never opens an
// entry before knowing it is a regular file, so a FIFO cannot hold up the
// start. A new content goes to a file beside the old one that is renamed over
// it once all its bytes are on disk: a full disk or a failed write leaves the
// old file as it was, byte for byte.
#include <QCoreApplication>
#include <QFileDevice>
#include <QString>

#include <functional>
#include <string>

namespace settings {

struct LoadResult {
    std::string port;     // the port to start with: the default when the file names none
    bool rewrite = false; // the port line was malformed: Save once a port is known
    QString failure;      // empty, or the one message to show the operator
};

class CSettingsStore {
    Q_DECLARE_TR_FUNCTIONS(CSettingsStore)

public:
    // Writes the new file's bytes; returns what QIODevice::write returns.
    using WriteHook = std::function<qint64(QFileDevice&, const char*, qint64)>;

    explicit CSettingsStore(QString path);
    const QString& Path() const { return m_path; }

    // Removes temporaries an interrupted write left beside the file, then
    // reads it: a missing or empty file gets the default content.
    LoadResult Load();
    // Empty when the file holds `port` afterwards (written or already so),
    // else the message to show the operator.
    QString Save(const std::string& port);

    void SetWriteHookForTests(WriteHook hook);

private:
    QString Message(const QString& what, const QString& reason, const std::string& port) const;

    QString m_path;
    WriteHook m_write;
};

} // namespace settings
