#pragma once
// The serial component: one port, opened by number with fixed line settings,
// delivering received bytes through a receive event. The paced sender writes
// through it one byte at a time.
#include "core/PacedSender.h"
#include "session/SerialBackend.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

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
    // Hands the bytes to the device now; raises CSerialError with the reason.
    void Write(const char* data, int length);

    std::unique_ptr<CSerialBackend> m_backend;
    int m_port = 1;
    int m_baud = 115200;
    QString m_settings = QStringLiteral("115200,n,8,1");
    int m_commEvent = 0;
};
