#pragma once
// The bus as a gateway serves it: every frame seen on it, sent or received,
// as a candump log line to each client of a TCP port on this machine. A
// Signal K server (or `nc`) reads it with no CAN adapter and no kernel
// module, and reconnects by itself when the emulator comes back.
#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QThread;

namespace emulator {

class CCandumpGateway {
public:
    CCandumpGateway();
    ~CCandumpGateway();
    CCandumpGateway(const CCandumpGateway&) = delete;
    CCandumpGateway& operator=(const CCandumpGateway&) = delete;

    // Listens on 127.0.0.1:port; an empty text, or why it cannot. Called
    // before the bus thread starts, so a port that is taken ends the run at
    // once instead of leaving an emulator nobody can reach.
    QString Listen(uint16_t port);
    // From then on the server lives in `thread`, which must run an event
    // loop; Publish is called there.
    void MoveTo(QThread* thread);
    // One line, without its line end, to every client. A client that has not
    // read the last megabyte is dropped: a gateway does not hold a stuck
    // reader's backlog, and the client reconnects when it reads again.
    void Publish(std::string_view line);
    // Drops every client and stops listening; from the thread it lives in.
    void Close();

private:
    void Accept();

    std::unique_ptr<QTcpServer> m_server;
    std::vector<QTcpSocket*> m_clients; // owned by the server
};

} // namespace emulator
