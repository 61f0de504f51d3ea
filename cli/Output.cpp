#include "cli/Output.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

QString Tr(const char* text) {
    return QCoreApplication::translate("brendlowctl", text);
}

void HoldClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // Opened read-only, /dev/null takes the lowest free number, this
            // one, and turns each write into EBADF.
            const int held = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (held != fd && held >= 0)
                ::close(held);
        }
}

bool FlushOutput() {
    static bool told = false;
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0)
        return true;
    const int error = errno != 0 ? errno : EIO;
    if (!told)
        Complain(
            Tr("cannot write to stdout: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
    told = true;
    return false;
}

bool Print(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return FlushOutput();
}

void Complain(const QString& message) {
    std::fprintf(stderr, "brendlowctl: %s\n", message.toLocal8Bit().constData());
}

QByteArray CompactJson(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray JsonLine(const QJsonObject& object) {
    return CompactJson(object) + '\n';
}

QByteArray JsonLine(const QJsonObject& object, const QByteArray& written) {
    if (object.isEmpty())
        return written + '\n';
    // "{a}" and "{b}" make "{a,b}".
    QByteArray line = CompactJson(object);
    line.back() = ',';
    line.append(QByteArrayView(written).sliced(1));
    return line + '\n';
}

} // namespace cli
