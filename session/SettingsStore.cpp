#include "session/SettingsStore.h"
#include "core/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace settings {

namespace {

// Our own temporaries are named <file>.saving-XXXXXX.
constexpr char kOurs[] = "saving-";

// What the settings path is, found with lstat and stat only: opening a FIFO
// can block, opening a device can act on it.
struct Entry {
    enum Kind { Missing, Regular, Refused } kind;
    QByteArray file; // Missing, Regular: what to read and replace (a link resolved)
    QString what;    // Refused: the message's %2 and %3
    QString reason;
};

QString NotRegular(mode_t mode, bool link) {
    if (S_ISDIR(mode))
        return link ? CSettingsStore::tr("is a link to a directory")
                    : CSettingsStore::tr("is a directory");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return link ? CSettingsStore::tr("is a link to a device")
                    : CSettingsStore::tr("is not a regular file (a device)");
    if (S_ISFIFO(mode))
        return link ? CSettingsStore::tr("is a link to a FIFO")
                    : CSettingsStore::tr("is not a regular file (a FIFO)");
    if (S_ISSOCK(mode))
        return link ? CSettingsStore::tr("is a link to a socket")
                    : CSettingsStore::tr("is not a regular file (a socket)");
    return link ? CSettingsStore::tr("is a link to something other than a regular file")
                : CSettingsStore::tr("is not a regular file");
}

Entry Examine(const QByteArray& path) {
    struct stat st {};
    if (lstat(path.constData(), &st) != 0)
        return errno == ENOENT ? Entry{Entry::Missing, path, {}, {}}
                               : Entry{Entry::Refused,
                                       {},
                                       CSettingsStore::tr("cannot be read"),
                                       qt_error_string()};
    if (S_ISREG(st.st_mode))
        return {Entry::Regular, path, {}, {}};
    if (!S_ISLNK(st.st_mode))
        return {Entry::Refused,
                {},
                NotRegular(st.st_mode, false),
                CSettingsStore::tr("it is left as it is")};

    char target[PATH_MAX];
    const ssize_t length = readlink(path.constData(), target, sizeof target);
    const QString points = CSettingsStore::tr("it points to %1")
                               .arg(QFile::decodeName(QByteArray(target, length > 0 ? length : 0)));
    if (stat(path.constData(), &st) != 0) {
        if (errno == ELOOP)
            return {Entry::Refused, {}, CSettingsStore::tr("is a link loop"), points};
        if (errno == ENOENT || errno == ENOTDIR)
            return {Entry::Refused, {}, CSettingsStore::tr("is a dangling link"), points};
        return {Entry::Refused, {}, CSettingsStore::tr("cannot be read"), qt_error_string()};
    }
    if (!S_ISREG(st.st_mode))
        return {Entry::Refused, {}, NotRegular(st.st_mode, true), points};
    // The file the link names is rewritten in its own folder; the link stays.
    char* resolved = realpath(path.constData(), nullptr);
    if (resolved == nullptr)
        return {Entry::Refused, {}, CSettingsStore::tr("cannot be read"), qt_error_string()};
    Entry entry{Entry::Regular, QByteArray(resolved), {}, {}};
    std::free(resolved);
    return entry;
}

// Reads at most kReadLimit bytes. O_NONBLOCK and the fstat: should the entry
// have been replaced by a FIFO since Examine, the open returns at once and
// the FIFO is refused.
bool ReadRegular(const QByteArray& file, QByteArray& content, struct stat& st, QString& reason) {
    const int fd =
        open(file.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = qt_error_string();
        return false;
    }
    if (fstat(fd, &st) != 0)
        reason = qt_error_string();
    else if (!S_ISREG(st.st_mode))
        reason = NotRegular(st.st_mode, false);
    if (!reason.isEmpty()) {
        close(fd);
        return false;
    }
    content.resize(static_cast<qsizetype>(kReadLimit));
    qsizetype size = 0;
    while (size < content.size()) {
        const ssize_t n =
            read(fd, content.data() + size, static_cast<size_t>(content.size() - size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            reason = qt_error_string();
        if (n <= 0)
            break;
        size += n;
    }
    close(fd);
    content.truncate(size);
    return reason.isEmpty();
}

// Replaces `file` with `content` through a new file beside it, renamed over
// it only once all bytes are on disk: on any failure the old file is still
// there byte for byte, or there is still no file. `old`: the file's status
// when it exists, so that the new one keeps its owner and permissions.
QString Replace(const QByteArray& file, const struct stat* old, const std::string& content,
                const CSettingsStore::WriteHook& hook) {
    // A read-only file is the operator's choice to keep its content, although
    // the rename would get past it.
    if (old != nullptr && access(file.constData(), W_OK) != 0)
        return qt_error_string();
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = file + '.' + kOurs;
        for (int i = 0; i < 6; ++i)
            temp += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
        fd = open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return qt_error_string();
    }
    if (fd < 0)
        return qt_error_string(EEXIST);
    if (old != nullptr) {
        // Only root may hand a file to another owner; anyone else keeps theirs.
        if (fchown(fd, old->st_uid, old->st_gid) != 0) {
        }
        fchmod(fd, old->st_mode & 07777);
    }

    QString reason;
    {
        // Unbuffered: every byte reaches write(2) here, where a full disk
        // shows, not in a later flush whose failure might go unnoticed.
        QFile out;
        out.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle);
        const qint64 size = static_cast<qint64>(content.size());
        const qint64 written =
            hook ? hook(out, content.data(), size) : out.write(content.data(), size);
        if (written != size)
            reason = out.error() != QFileDevice::NoError
                         ? out.errorString()
                         : CSettingsStore::tr("only %1 of %2 bytes were written")
                               .arg(std::max<qint64>(written, 0))
                               .arg(size);
    }
    if (reason.isEmpty() && fsync(fd) != 0)
        reason = qt_error_string();
    if (close(fd) != 0 && reason.isEmpty())
        reason = qt_error_string();
    if (reason.isEmpty() && rename(temp.constData(), file.constData()) != 0)
        reason = qt_error_string();
    if (!reason.isEmpty()) {
        unlink(temp.constData());
        return reason;
    }
    // The rename itself reaches the disk with the folder. The new file is in
    // place whatever this returns.
    const int folder = open(QFile::encodeName(QFileInfo(QFile::decodeName(file)).absolutePath()),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return {};
}

// Files our writer, or the one before it (QSaveFile: <file>.XXXXXX, six
// letters drawn from both cases), left when the terminal stopped between
// creating and renaming them. Only regular files go; a suffix in one case
// only is more likely someone's own copy (Quarnel.ini.backup) and stays.
void RemoveStaleTemporaries(const QByteArray& file) {
    const QFileInfo info(QFile::decodeName(file));
    const QString prefix = info.fileName() + u'.';
    QDir folder = info.absoluteDir();
    for (const QString& name :
         folder.entryList(QDir::Files | QDir::NoSymLinks | QDir::Hidden, QDir::NoSort)) {
        if (!name.startsWith(prefix))
            continue;
        QStringView rest = QStringView(name).mid(prefix.size());
        const bool ours = rest.startsWith(QLatin1String(kOurs));
        if (ours)
            rest = rest.mid(qsizetype(sizeof kOurs) - 1);
        bool upper = false, lower = false, other = false;
        for (QChar c : rest) {
            upper |= c >= u'A' && c <= u'Z';
            lower |= c >= u'a' && c <= u'z';
            other |= !(c >= u'A' && c <= u'Z') && !(c >= u'a' && c <= u'z') &&
                     !(ours && c >= u'0' && c <= u'9');
        }
        if (rest.size() == 6 && !other && (ours || (upper && lower)))
            folder.remove(name);
    }
}

} // namespace

CSettingsStore::CSettingsStore(QString path) : m_path(std::move(path)) {}

void CSettingsStore::SetWriteHookForTests(WriteHook hook) {
    m_write = std::move(hook);
}

QString CSettingsStore::Message(const QString& what, const QString& reason,
                                const std::string& port) const {
    return tr("The settings file %1 %2: %3\n\nThe port is not remembered for the next start; the "
              "terminal goes on with %4.")
        .arg(m_path, what, reason, QString::fromStdString(port));
}

LoadResult CSettingsStore::Load() {
    LoadResult result;
    result.port = kDefaultPort;
    const QByteArray path = QFile::encodeName(m_path);
    const Entry entry = Examine(path);
    RemoveStaleTemporaries(path);
    if (entry.kind == Entry::Regular && entry.file != path)
        RemoveStaleTemporaries(entry.file);

    if (entry.kind == Entry::Refused) {
        result.failure = Message(entry.what, entry.reason, result.port);
        return result;
    }
    if (entry.kind == Entry::Missing) {
        const QString reason = Replace(path, nullptr, kDefaultContent, m_write);
        if (!reason.isEmpty())
            result.failure = Message(tr("cannot be created"), reason, result.port);
        return result;
    }
    QByteArray content;
    struct stat st {};
    QString reason;
    if (!ReadRegular(entry.file, content, st, reason)) {
        result.failure = Message(tr("cannot be read"), reason, result.port);
        return result;
    }
    if (content.isEmpty()) {
        reason = Replace(entry.file, &st, kDefaultContent, m_write);
        if (!reason.isEmpty())
            result.failure = Message(tr("cannot be written"), reason, result.port);
        return result;
    }
    const ParsedSettings parsed = ParseSettings(content.toStdString());
    result.port = parsed.port;
    result.rewrite = parsed.malformed;
    return result;
}

QString CSettingsStore::Save(const std::string& port) {
    const std::string text = SettingsText(port);
    const Entry entry = Examine(QFile::encodeName(m_path));
    if (entry.kind == Entry::Refused)
        return Message(entry.what, entry.reason, port);
    if (entry.kind == Entry::Missing) {
        const QString reason = Replace(entry.file, nullptr, text, m_write);
        return reason.isEmpty() ? reason : Message(tr("cannot be created"), reason, port);
    }
    QByteArray content;
    struct stat st {};
    QString reason;
    if (!ReadRegular(entry.file, content, st, reason))
        return Message(tr("cannot be read"), reason, port);
    if (content.toStdString() == text)
        return {};
    reason = Replace(entry.file, &st, text, m_write);
    return reason.isEmpty() ? reason : Message(tr("cannot be written"), reason, port);
}

} // namespace settings
