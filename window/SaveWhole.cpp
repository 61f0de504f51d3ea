#include "window/SaveWhole.h"

#include <QSaveFile>

QString SaveWhole(const QString& path, const QByteArray& bytes, bool text) {
    // QSaveFile commits even when the flush inside commit() fails, and a
    // small save only reaches the disk there: a full disk would swap the old
    // file for an empty one. So the bytes are written here, unbuffered, until
    // all of them are out or a write fails; a write that stops short says
    // nothing, the next one says why.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered |
                   (text ? QIODevice::Text : QIODevice::NotOpen)))
        return file.errorString();
    qint64 done = 0;
    for (qint64 n = 0; done < bytes.size() &&
                       (n = file.write(bytes.constData() + done, bytes.size() - done)) > 0;)
        done += n;
    if (done < bytes.size() || !file.flush()) {
        const QString problem = file.errorString();
        file.cancelWriting();
        return problem;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}
