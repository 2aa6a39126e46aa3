#pragma once
// The server's front: the listening socket, every open connection and the worker pool.
//
// One thread (the caller of run()) accepts connections and reads requests, non-blocking,
// until each one is complete: its head within the size and line limits, its body within
// its length, all of it within a deadline whatever the pace it comes at. Only a complete
// request is handed to a worker, which runs httplib's parsing, routing and reply on the
// bytes already read and writes the reply within a deadline of its own. So a client that
// sends slowly, or never finishes, holds no worker; the number of connections one address
// may hold, and the number held in all, are bounded; a connection that breaks a limit gets
// its 4xx reply and is closed.

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

namespace plashwerk::server {

struct ServerLimits {
    int threads = 32;                  ///< workers; each serves one complete request at a time
    size_t max_queued = 1024;          ///< complete requests waiting for a worker
    size_t max_target = 4096;          ///< request path and query, bytes; a submission is < 2100
    size_t max_body = 4096;            ///< request body, bytes (no route takes one)
    size_t max_header_bytes = 16384;   ///< request line and headers together, bytes
    size_t max_header_lines = 100;     ///< header lines of one request
    int request_timeout_ms = 5000;     ///< a whole request, from accept or the previous reply
    int timeout_seconds = 5;           ///< writing a whole reply
    size_t keep_alive_requests = 100;  ///< requests on one connection before it is closed
    int max_per_address = 16;          ///< open connections from one client address
    int max_connections = 1000;        ///< open connections in all; more wait to be accepted
    int linger_ms = 1000;  ///< after a refusal, input is read and dropped this long at most
};

class HttpFront {
  public:
    explicit HttpFront(const ServerLimits& limits);
    ~HttpFront();
    HttpFront(const HttpFront&) = delete;
    HttpFront& operator=(const HttpFront&) = delete;

    /// The routes and handlers; set them up before run().
    httplib::Server& routes();

    /// Binds the address (numeric IPv4 or IPv6, or a name) and listens, without sharing the
    /// port with another socket; false with the reason (such as "address in use") in error.
    bool listen(const std::string& address, int port, std::string& error);
    /// The port listened on (the one picked when 0 was asked for).
    int port() const { return m_port; }

    /// Serves until stop(): then it stops accepting, closes the connections that wait for
    /// a request, lets the workers finish the replies they have begun, closes those
    /// connections and returns.
    void run();
    /// Asks run() to end; safe from any thread, before or during run().
    void stop();

    struct Connection;
    class Handler;

  private:
    struct State;
    std::unique_ptr<State> m_state;
    int m_port = 0;
};

}  // namespace plashwerk::server
