#pragma once
// Loopback sockets for tests: a listener on a free port, a port nothing listens on, a
// connection whose waits are cut short, and sends of whole texts.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>

namespace plashwerk::test {

/// A socket bound to a free loopback port, which goes to `port`; -1 when none can be had.
inline int bindLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

/// A socket listening on a free loopback port, which goes to `port`; -1 when none can be had.
inline int listenOnLoopback(int& port) {
    const int fd = bindLoopback(port);
    if (fd >= 0 && ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// A loopback port that nothing listens on: one that was free a moment ago, bound and then
/// closed. 0 when none can be had.
inline int unusedLoopbackPort() {
    int port = 0;
    const int fd = bindLoopback(port);
    if (fd < 0) return 0;
    ::close(fd);
    return port;
}

/// A connection to a loopback port whose every send and receive gives up after `seconds`, so
/// that a test cannot hang on a silent peer; -1 when it cannot be made.
inline int connectToLoopback(int port, int seconds = 10) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    timeval wait{seconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// Sends all of `text`; stops early when the peer has gone (no SIGPIPE then).
inline void sendAll(int fd, std::string_view text) {
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

}  // namespace plashwerk::test
