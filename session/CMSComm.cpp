#include "session/CMSComm.h"

#include <QStringList>

CMSComm::CMSComm(std::unique_ptr<CSerialBackend> backend, QObject* parent)
    : QObject(parent), m_backend(std::move(backend)) {
    connect(m_backend.get(), &CSerialBackend::BytesArrived, this, [this] {
        m_commEvent = kEventReceive;
        emit OnComm();
    });
    connect(m_backend.get(), &CSerialBackend::Vanished, this, &CMSComm::PortLost);
}

void CMSComm::SetPortOpen(bool open) {
    if (!open) {
        m_backend->Close();
        return;
    }
    if (m_backend->IsOpen())
        return;
    const QString error = m_backend->Open(m_port, m_baud);
    if (!error.isEmpty())
        throw CSerialError(error);
}

void CMSComm::SetSettings(const QString& settings) {
    const QStringList parts = settings.split(',');
    bool ok = parts.size() == 4;
    const int baud = ok ? parts[0].toInt(&ok) : 0;
    if (!ok || baud <= 0 || parts[1].compare("n", Qt::CaseInsensitive) != 0 || parts[2] != "8" ||
        parts[3] != "1")
        throw CSerialError("Invalid port settings: " + settings);
    m_settings = settings;
    m_baud = baud;
    if (m_backend->IsOpen()) {
        const QString error = m_backend->SetBaudRate(baud);
        if (!error.isEmpty())
            throw CSerialError(error);
    }
}

QByteArray CMSComm::GetInput() {
    return m_backend->IsOpen() ? m_backend->ReadAll() : QByteArray();
}

void CMSComm::SetOutput(const QByteArray& bytes) {
    Write(bytes.constData(), static_cast<int>(bytes.size()));
}

void CMSComm::WriteByte(uint8_t byte) {
    const char c = static_cast<char>(byte);
    Write(&c, 1);
}

void CMSComm::Write(const char* data, int length) {
    if (!m_backend->IsOpen())
        throw CSerialError("Port is closed.");
    const QString error = m_backend->Write(data, length);
    if (!error.isEmpty())
        throw CSerialError(error);
}
