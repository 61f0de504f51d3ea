#include "emulator/CandumpGateway.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace emulator {

namespace {

constexpr qint64 kMostBehind = 1 << 20; // bytes not yet taken by a client

} // namespace

CCandumpGateway::CCandumpGateway() = default;
CCandumpGateway::~CCandumpGateway() = default;

QString CCandumpGateway::Listen(uint16_t port) {
    m_server = std::make_unique<QTcpServer>();
    if (!m_server->listen(QHostAddress::LocalHost, port)) {
        const QString error = m_server->errorString();
        m_server.reset();
        return error;
    }
    QObject::connect(m_server.get(), &QTcpServer::newConnection, [this] { Accept(); });
    return {};
}

void CCandumpGateway::MoveTo(QThread* thread) {
    if (m_server)
        m_server->moveToThread(thread);
}

void CCandumpGateway::Accept() {
    while (QTcpSocket* client = m_server->nextPendingConnection()) {
        m_clients.push_back(client);
        // Only the TCP connection's own end matters: what a client sends is
        // not read, and a closed one is forgotten.
        QObject::connect(client, &QTcpSocket::disconnected, client, [this, client] {
            std::erase(m_clients, client);
            client->deleteLater();
        });
    }
}

void CCandumpGateway::Publish(std::string_view line) {
    // From the back: abort() emits disconnected at once, whose handler above
    // takes the client out of the list; the ones before it stay in place.
    for (size_t i = m_clients.size(); i-- > 0;) {
        QTcpSocket* client = m_clients[i];
        if (client->bytesToWrite() > kMostBehind) {
            client->abort();
            continue;
        }
        client->write(line.data(), static_cast<qint64>(line.size()));
        client->write("\n", 1);
    }
}

void CCandumpGateway::Close() {
    m_clients.clear();
    m_server.reset(); // its clients with it
}

} // namespace emulator
