#include "session/SystemSerialBackend.h"

#include "session/PortMap.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

#ifndef Q_OS_WIN
#include <poll.h>
#endif

namespace {

// The device a path given by the operator stands for. A path with a slash is
// a path, relative to the current folder (QSerialPort would look for a
// relative one under /dev); a bare name is one under /dev, as QSerialPort has
// it. The device is opened by its own name, whatever link led to it, because
// QSerialPort names its lock after the name it opens: two programs reaching
// one device by two links would otherwise both drive it.
QString DeviceOf(const QString& given) {
#ifdef Q_OS_WIN
    return given;
#else
    const QFileInfo info(given.contains(QLatin1Char('/')) ? QDir::current().absoluteFilePath(given)
                                                          : QStringLiteral("/dev/") + given);
    const QString device = info.canonicalFilePath();
    return device.isEmpty() ? info.absoluteFilePath() : device;
#endif
}

class CSystemSerialBackend final : public CSerialBackend {
public:
    CSystemSerialBackend(QString executableFolder, QString fixedPath)
        : m_folder(std::move(executableFolder)), m_fixedPath(std::move(fixedPath)) {
        connect(&m_port, &QSerialPort::readyRead, this, &CSystemSerialBackend::OnReadyRead);
        m_resume.setSingleShot(true);
        m_resume.setTimerType(Qt::PreciseTimer);
        connect(&m_resume, &QTimer::timeout, this, [this] {
            m_sinceRead.start(); // bytes waiting now are read at once, as part of the stream
            SetWatching(true);
        });
        connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
            // A vanished device leaves a port that reports errors at every
            // turn of the event loop: a removed adapter as a resource error,
            // a hung-up line (the other end of a pseudo-terminal closed) as
            // a read that finds nothing. Close it at the first and let the
            // session know at once.
            if ((e == QSerialPort::ResourceError || (e == QSerialPort::ReadError && HungUp())) &&
                m_port.isOpen()) {
                m_port.close();
                emit Vanished();
            }
        });
    }

    QString Open(int portNumber, int baud) override {
        const ports::Resolution where = m_fixedPath.isEmpty()
                                            ? ports::Resolve(portNumber, m_folder)
                                            : ports::Resolution{DeviceOf(m_fixedPath), {}};
        // A port with no device behind it stays closed: nothing is written
        // to a device the operator did not choose.
        if (where.path.isEmpty())
            return ports::OpenFailureText(portNumber, {}, QSerialPort::DeviceNotFoundError,
                                          where.problem);
        const QString& path = where.path;
        // A device given by its path is named by it alone.
        const int number = m_fixedPath.isEmpty() ? portNumber : 0;
        m_port.setPortName(path);
        if (!m_port.open(QIODevice::ReadWrite))
            return ports::OpenFailureText(number, path, m_port.error(), m_port.errorString());
        if (!m_port.setBaudRate(baud) || !m_port.setDataBits(QSerialPort::Data8) ||
            !m_port.setParity(QSerialPort::NoParity) || !m_port.setStopBits(QSerialPort::OneStop)) {
            const QString error = m_port.errorString();
            m_port.close();
            return QStringLiteral("Cannot set up %1: %2")
                .arg(ports::PortLabel(number, path), error);
        }
        return {};
    }
    QString SetBaudRate(int baud) override {
        return m_port.setBaudRate(baud) ? QString() : m_port.errorString();
    }
    void Close() override {
        m_resume.stop();
        m_sinceRead.invalidate();
        if (m_port.isOpen())
            m_port.close();
    }
    bool IsOpen() const override { return m_port.isOpen(); }
    QByteArray ReadAll() override { return m_port.readAll(); }
    QString Write(const char* data, int length) override {
        if (m_port.write(data, length) != length)
            return QStringLiteral("Write to %1 failed: %2")
                .arg(m_port.portName(), m_port.errorString());
        // Hand the bytes to the device now, not at the next turn of the loop.
        m_port.flush();
        if (m_port.bytesToWrite() > 0 && !m_port.waitForBytesWritten(100) &&
            m_port.bytesToWrite() > 0)
            return QStringLiteral("Write to %1 failed: %2")
                .arg(m_port.portName(), m_port.errorString());
        return {};
    }

private:
    // A device that streams hands its bytes over a few at a time (a
    // pseudo-terminal every few milliseconds), and each arrival would wake
    // the program to read a broadcast or two. While bytes keep coming, reads
    // are kReadGapMs apart: a read that follows the previous one sooner
    // stops the port being watched for the rest of that time, and the bytes
    // wait in the system's buffer (4 KB, a third of a second of the line).
    // A line that was quiet is read at once, so an answer to a command is
    // never held back; one in a stream waits kReadGapMs at most.
    static constexpr int kReadGapMs = 8;

    void OnReadyRead() {
        const bool streaming = m_sinceRead.isValid() && m_sinceRead.elapsed() < kReadGapMs;
        m_sinceRead.start();
        emit BytesArrived();
        if (streaming && m_port.isOpen() && SetWatching(false))
            m_resume.start(kReadGapMs);
    }

    // QSerialPort has no call to stop watching its port for a while. It
    // reads when its read notifier (a child of it) fires, and turns that on
    // again at each read from it; where there is no such notifier (another
    // platform, another version), reads are simply not spaced.
    bool SetWatching(bool on) {
        const auto notifiers = m_port.findChildren<QSocketNotifier*>(Qt::FindDirectChildrenOnly);
        for (QSocketNotifier* notifier : notifiers)
            if (notifier->type() == QSocketNotifier::Read) {
                notifier->setEnabled(on);
                return true;
            }
        return false;
    }

    // A read error is a hang-up only when the line says so; a read that
    // merely found nothing to read leaves the port as it is.
    bool HungUp() const {
#ifdef Q_OS_WIN
        return false;
#else
        pollfd p{static_cast<int>(m_port.handle()), POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#endif
    }

    QString m_folder;
    QString m_fixedPath;
    QSerialPort m_port;
    QElapsedTimer m_sinceRead;
    QTimer m_resume; // watches the port again after a pause between reads
};

} // namespace

std::unique_ptr<CSerialBackend> CreateSystemSerialBackend(const QString& executableFolder,
                                                          const QString& fixedPath) {
    return std::make_unique<CSystemSerialBackend>(executableFolder, fixedPath);
}
