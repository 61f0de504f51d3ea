#pragma once
// The serial component: one port, opened by number with fixed line settings,
// delivering received bytes through a receive event. Operations that fail
// raise CSerialError with the serial layer's own description.
#include "core/PacedSender.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
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

class CMSComm : public QObject, public proto::CByteSink {
    Q_OBJECT
public:
    explicit CMSComm(std::unique_ptr<CSerialBackend> backend, QObject* parent = nullptr);

    static constexpr int kEventReceive = 2;

    int GetCommPort() const { return m_port; }
    void SetCommPort(int port) { m_port = port; }
    bool GetPortOpen() const { return m_backend->IsOpen(); }
    // Opening raises CSerialError when the port cannot be opened.
    void SetPortOpen(bool open);
    // "115200,n,8,1"; an unsupported text raises CSerialError.
    void SetSettings(const QString& settings);
    QString GetSettings() const { return m_settings; }
    // Every byte received so far, removed from the port.
    QByteArray GetInput();
    // Writes the bytes to the device now; raises CSerialError with the reason.
    void SetOutput(const QByteArray& bytes);
    void WriteByte(uint8_t byte) override;
    int GetCommEvent() const { return m_commEvent; }

    CSerialBackend& Backend() { return *m_backend; }

signals:
    void OnComm();   // the receive event; GetCommEvent() tells what happened
    void PortLost(); // the device went away and the port is closed

private:
    std::unique_ptr<CSerialBackend> m_backend;
    int m_port = 1;
    int m_baud = 115200;
    QString m_settings = QStringLiteral("115200,n,8,1");
    int m_commEvent = 0;
};

// The real port, over QSerialPort: port n opens what ports::Resolve says
// for `dataFolder`; with a `fixedPath`, every port number opens that device.
std::unique_ptr<CSerialBackend> CreateSystemSerialBackend(const QString& dataFolder,
                                                          const QString& fixedPath = {});
