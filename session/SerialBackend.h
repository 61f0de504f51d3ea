#pragma once
// What the serial component drives: a real serial port, or an in-memory
// port in tests. Operations that fail raise CSerialError with the serial
// layer's own description.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <stdexcept>

class CSerialError : public std::runtime_error {
public:
    explicit CSerialError(const QString& description)
        : std::runtime_error(description.toStdString()), m_description(description) {}
    const QString& description() const { return m_description; }

private:
    QString m_description;
};

// What CMSComm drives: a real serial port, or an in-memory port in tests.
class CSerialBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Opens the port with number 1..65535; returns an empty text on success,
    // otherwise the reason.
    virtual QString Open(int portNumber, int baud) = 0;
    // Applies the baud rate to the open port; an empty text on success.
    virtual QString SetBaudRate(int baud) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual QByteArray ReadAll() = 0;
    // Writes and hands the bytes to the device at once; returns an empty text
    // on success, otherwise the reason.
    virtual QString Write(const char* data, int length) = 0;
signals:
    void BytesArrived();
    // The device went away (unplugged, or the line hung up); the port is
    // closed already.
    void Vanished();
};
