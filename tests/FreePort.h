#pragma once
// A TCP port nobody listens on now, so that a test's virtual CAN bus is its
// own (the first program to open the port hosts the bus).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

inline int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    const bool ok = bind(s, reinterpret_cast<sockaddr*>(&a), size) == 0 &&
                    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0;
    close(s);
    return ok ? ntohs(a.sin_port) : -1;
}
