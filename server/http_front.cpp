#include "server/http_front.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "server/pages.h"
#include "server/request_head.h"
#include "server/task_queue.h"

namespace plashwerk::server {

using Clock = std::chrono::steady_clock;

namespace {

// How long a connection over its address's limit waits for a place before its 503.
constexpr auto kSlotWait = std::chrono::milliseconds(250);

const char* reasonPhrase(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 408:
            return "Request Timeout";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        default:
            return "Service Unavailable";
    }
}

const char* refusalText(int status) {
    switch (status) {
        case 400:
            return "The request is not valid.";
        case 408:
            return "The request did not arrive in time.";
        case 411:
            return "A request body needs a Content-Length.";
        case 413:
            return "The request is too large.";
        case 431:
            return "The request's header lines are too many or too long.";
        default:
            return "Too many connections from your address; try again later.";
    }
}

// A whole reply that closes the connection, for refusals made before any worker sees the
// request.
std::string refusal(int status) {
    const std::string body = errorPage(status, refusalText(status));
    return "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) +
           "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// The numeric address and port of a socket address.
void describe(const sockaddr_storage& address, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    } else {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    }
    ip = text;
}

// Sends what the socket takes at once; a refusal to a client that does not read is cut.
void sendNow(int fd, const std::string& text) {
    [[maybe_unused]] const ssize_t ignored =
        ::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

struct HttpFront::Connection {
    // Waiting: its address has all its connections; it is not read until one of them
    // closes, and is refused if none does soon.
    enum class Phase { Waiting, Reading, Working, Lingering };
    int fd = -1;
    std::string address;
    int port = 0;
    std::string input;    ///< bytes read and not yet handed on
    std::string request;  ///< the complete request a worker serves
    Clock::time_point deadline;
    size_t served = 0;
    Phase phase = Phase::Reading;
    bool registered = false;  ///< in the epoll set
    bool counted = false;     ///< in its address's count of connections
    bool continue_sent = false;
    bool peer_done = false;    ///< the client has ended its side
    bool close_after = false;  ///< set by the worker: close once the reply is out
};

/// httplib's server, used for the parsing, routing and writing of one request at a time.
class HttpFront::Handler : public httplib::Server {
  public:
    using httplib::Server::process_request;
};

namespace {

// One request's bytes for httplib to read, and the connection's socket to write the reply
// to, all of it before a deadline: a client that reads slowly holds a worker that long at
// most.
class RequestStream final : public httplib::Stream {
  public:
    RequestStream(int fd, const std::string& request, const std::string& address, int port,
                  Clock::time_point deadline)
        : m_fd(fd), m_request(request), m_address(address), m_port(port), m_deadline(deadline) {}

    bool is_readable() const override { return m_read < m_request.size(); }
    bool is_writable() const override {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd wanted{m_fd, POLLOUT, 0};
        return ::poll(&wanted, 1, static_cast<int>(left.count())) == 1 &&
               (wanted.revents & POLLOUT) != 0;
    }
    ssize_t read(char* ptr, size_t size) override {
        const size_t n = std::min(size, m_request.size() - m_read);
        std::memcpy(ptr, m_request.data() + m_read, n);
        m_read += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        if (m_status == 0 && size >= 12 && std::memcmp(ptr, "HTTP/1.", 7) == 0)
            m_status = std::atoi(std::string(ptr + 9, 3).c_str());
        size_t sent = 0;
        while (sent < size) {
            const ssize_t n = ::send(m_fd, ptr + sent, size - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && is_writable()) {
                continue;
            } else {
                return -1;
            }
        }
        return static_cast<ssize_t>(sent);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = m_address;
        port = m_port;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage local{};
        socklen_t length = sizeof local;
        ip.clear();
        port = 0;
        if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) == 0)
            describe(local, ip, port);
    }
    socket_t socket() const override { return m_fd; }

    int status() const { return m_status; }

  private:
    int m_fd;
    const std::string& m_request;
    const std::string& m_address;
    int m_port;
    Clock::time_point m_deadline;
    size_t m_read = 0;
    int m_status = 0;
};

}  // namespace

struct HttpFront::State {
    explicit State(const ServerLimits& given) : limits(given) {
        head_limits.max_bytes = limits.max_header_bytes;
        head_limits.max_lines = limits.max_header_lines;
        head_limits.max_body = limits.max_body;
        epoll_fd = epoll_create1(EPOLL_CLOEXEC);
        wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    ~State() {
        for (auto& [fd, connection] : connections) ::close(fd);
        if (listen_fd >= 0) ::close(listen_fd);
        if (wake_fd >= 0) ::close(wake_fd);
        if (epoll_fd >= 0) ::close(epoll_fd);
    }

    ServerLimits limits;
    HeadLimits head_limits;
    Handler handler;
    int epoll_fd = -1;
    int wake_fd = -1;
    int listen_fd = -1;
    bool accepting = false;
    Clock::time_point accept_pause_end;
    std::atomic<bool> stopping{false};
    bool intake_closed = false;

    std::unordered_map<int, std::unique_ptr<Connection>> connections;
    std::unordered_map<std::string, int> per_address;          ///< counted connections
    std::unordered_map<std::string, int> waiting_per_address;  ///< waiting ones
    size_t working = 0;
    std::unique_ptr<BoundedTaskQueue> workers;

    std::mutex returned_mutex;
    std::vector<Connection*> returned;  ///< served by a worker, back to the reading thread

    // The most a connection's input holds: a head at its limit and a body at its limit
    // always fit, so a full input is always either a complete request or a refused one.
    size_t inputCap() const { return limits.max_header_bytes + limits.max_body + 1; }

    void wake() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wake_fd, &one, sizeof one);
    }

    void watch(int fd, bool on) {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.fd = fd;
        epoll_ctl(epoll_fd, on ? EPOLL_CTL_ADD : EPOLL_CTL_DEL, fd, &event);
    }
    void watch(Connection& c, bool on) {
        if (c.registered == on) return;
        watch(c.fd, on);
        c.registered = on;
    }

    void setAccepting(bool on) {
        if (listen_fd < 0 || accepting == on) return;
        watch(listen_fd, on);
        accepting = on;
    }

    void acceptAll() {
        for (;;) {
            if (connections.size() >= static_cast<size_t>(limits.max_connections)) {
                // The rest wait in the kernel's queue until a connection closes.
                setAccepting(false);
                return;
            }
            sockaddr_storage peer{};
            socklen_t length = sizeof peer;
            const int fd = accept4(listen_fd, reinterpret_cast<sockaddr*>(&peer), &length,
                                   SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    // Out of descriptors or memory: try again a little later.
                    setAccepting(false);
                    accept_pause_end = Clock::now() + std::chrono::milliseconds(100);
                }
                return;
            }
            auto c = std::make_unique<Connection>();
            c->fd = fd;
            describe(peer, c->address, c->port);
            const int yes = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
            Connection& added = *connections.emplace(fd, std::move(c)).first->second;
            if (per_address[added.address] < limits.max_per_address) {
                admit(added);
            } else if (waiting_per_address[added.address] < limits.max_per_address) {
                // A client told that its connection closes may open the next one a moment
                // before the old one is closed here: it waits for that moment.
                added.phase = Connection::Phase::Waiting;
                added.counted = false;
                added.deadline = Clock::now() + kSlotWait;
                ++waiting_per_address[added.address];
            } else {
                sendNow(fd, refusal(503));
                closeNow(added);
            }
        }
    }

    // Counts the connection for its address and starts reading from it.
    void admit(Connection& c) {
        ++per_address[c.address];
        c.counted = true;
        c.phase = Connection::Phase::Reading;
        c.deadline = Clock::now() + std::chrono::milliseconds(limits.request_timeout_ms);
        watch(c, true);
    }

    void unwait(Connection& c) {
        if (c.phase != Connection::Phase::Waiting) return;
        if (auto it = waiting_per_address.find(c.address);
            it != waiting_per_address.end() && --it->second <= 0)
            waiting_per_address.erase(it);
    }

    void closeNow(Connection& c) {
        unwait(c);
        watch(c, false);
        ::close(c.fd);
        uncount(c);
        connections.erase(c.fd);  // c is gone from here on
        if (!intake_closed && Clock::now() >= accept_pause_end &&
            connections.size() < static_cast<size_t>(limits.max_connections)) {
            setAccepting(true);
        }
    }

    // Frees the connection's place in its address's count, for a waiting one if any.
    void uncount(Connection& c) {
        if (!c.counted) return;
        c.counted = false;
        if (auto it = per_address.find(c.address); it != per_address.end() && --it->second <= 0)
            per_address.erase(it);
        if (waiting_per_address.count(c.address) == 0) return;
        for (auto& [fd, other] : connections) {
            if (other->phase == Connection::Phase::Waiting && other->address == c.address) {
                unwait(*other);
                admit(*other);
                return;
            }
        }
    }

    // Ends our side and reads what the client still sends, for a while, so that the reply
    // is not lost to a reset that unread input would cause. A lingering connection no
    // longer counts for its address, whose client may open the next one at once (it still
    // counts in all, for linger_ms at most).
    void linger(Connection& c) {
        ::shutdown(c.fd, SHUT_WR);
        uncount(c);
        c.phase = Connection::Phase::Lingering;
        c.input.clear();
        c.input.shrink_to_fit();
        c.deadline = Clock::now() + std::chrono::milliseconds(limits.linger_ms);
        watch(c, true);
    }

    void refuse(Connection& c, int status) {
        sendNow(c.fd, refusal(status));
        linger(c);
    }

    // Reads what the socket has, up to the input's cap, and acts on it.
    void readFrom(Connection& c) {
        char buffer[16384];
        const bool lingering = c.phase == Connection::Phase::Lingering;
        // A client that sends fast while lingering is read in turns with the others.
        for (int turn = 0; !lingering || turn < 16; ++turn) {
            const size_t room = lingering ? sizeof buffer : inputCap() - c.input.size();
            if (room == 0) break;
            const ssize_t n = ::recv(c.fd, buffer, std::min(room, sizeof buffer), 0);
            if (n > 0) {
                if (!lingering) c.input.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n < 0 || lingering) return closeNow(c);
            c.peer_done = true;
            break;
        }
        if (!lingering) examine(c);
    }

    // Hands a complete request to a worker, refuses a bad one, or waits for more.
    void examine(Connection& c) {
        HeadScan scan = scanRequestHead(c.input, head_limits);
        switch (scan.verdict) {
            case HeadScan::Verdict::Refused:
                return refuse(c, scan.status);
            case HeadScan::Verdict::Incomplete:
                if (c.peer_done) closeNow(c);
                return;
            case HeadScan::Verdict::Complete:
                break;
        }
        const size_t total = scan.head_length + scan.body_length;
        if (c.input.size() < total) {
            if (c.peer_done) return closeNow(c);
            if (scan.expects_continue && !c.continue_sent) {
                sendNow(c.fd, "HTTP/1.1 100 Continue\r\n\r\n");
                c.continue_sent = true;
            }
            return;
        }
        c.request = std::move(scan.head);
        c.request.append(c.input, scan.head_length, scan.body_length);
        c.input.erase(0, total);
        watch(c, false);
        c.phase = Connection::Phase::Working;
        ++working;
        workers->enqueue([this, connection = &c] { serve(*connection); });
    }

    // On a worker: parses, routes and answers the request, then gives the connection back.
    void serve(Connection& c) {
        const bool last = c.peer_done || c.served + 1 >= limits.keep_alive_requests || stopping;
        RequestStream stream(c.fd, c.request, c.address, c.port,
                             Clock::now() + std::chrono::seconds(limits.timeout_seconds));
        bool closed = false;
        bool written = false;
        try {
            written = handler.process_request(stream, last, closed, nullptr);
        } catch (...) {
            written = false;
        }
        ++c.served;
        // After a 400 the request's framing is in doubt: nothing more is read from it.
        c.close_after = last || closed || !written || stream.status() == 400;
        c.request.clear();
        {
            std::lock_guard lock(returned_mutex);
            returned.push_back(&c);
        }
        wake();
    }

    void takeReturned() {
        std::vector<Connection*> back;
        {
            std::lock_guard lock(returned_mutex);
            back.swap(returned);
        }
        for (Connection* c : back) {
            --working;
            if (intake_closed) {
                ::shutdown(c->fd, SHUT_WR);
                closeNow(*c);
            } else if (c->close_after) {
                linger(*c);
            } else {
                c->phase = Connection::Phase::Reading;
                c->continue_sent = false;
                c->deadline = Clock::now() + std::chrono::milliseconds(limits.request_timeout_ms);
                if (!c->peer_done) watch(*c, true);
                examine(*c);  // a pipelined request may be there already
            }
        }
    }

    // Deadlines: a request not complete in time gets a 408 (a connection that sent nothing
    // is simply closed), a lingering connection is closed.
    void sweep() {
        const Clock::time_point now = Clock::now();
        std::vector<Connection*> late;
        for (auto& [fd, c] : connections) {
            if (c->phase != Connection::Phase::Working && now >= c->deadline)
                late.push_back(c.get());
        }
        for (Connection* c : late) {
            const bool idle = c->input.find_first_not_of("\r\n") == std::string::npos;
            if (c->phase == Connection::Phase::Reading && !idle) {
                refuse(*c, 408);
            } else if (c->phase == Connection::Phase::Waiting) {
                sendNow(c->fd, refusal(503));
                closeNow(*c);
            } else {
                closeNow(*c);
            }
        }
        if (!accepting && !intake_closed && now >= accept_pause_end &&
            connections.size() < static_cast<size_t>(limits.max_connections)) {
            setAccepting(true);
        }
    }

    void closeIntake() {
        intake_closed = true;
        setAccepting(false);
        if (listen_fd >= 0) ::close(listen_fd);
        listen_fd = -1;
        std::vector<Connection*> waiting;
        for (auto& [fd, c] : connections) {
            if (c->phase != Connection::Phase::Working) waiting.push_back(c.get());
        }
        for (Connection* c : waiting) closeNow(*c);
    }

    void run() {
        workers = std::make_unique<BoundedTaskQueue>(limits.threads, limits.max_queued);
        watch(wake_fd, true);
        setAccepting(true);
        constexpr auto kSweep = std::chrono::milliseconds(100);  // the deadlines' resolution
        Clock::time_point next_sweep = Clock::now() + kSweep;
        epoll_event events[64];
        for (;;) {
            if (stopping && !intake_closed) closeIntake();
            if (intake_closed && working == 0) break;
            const auto wait =
                std::chrono::duration_cast<std::chrono::milliseconds>(next_sweep - Clock::now());
            const int n = epoll_wait(epoll_fd, events, 64,
                                     static_cast<int>(std::max<int64_t>(0, wait.count())));
            for (int i = 0; i < n; ++i) {
                const int fd = events[i].data.fd;
                if (fd == wake_fd) {
                    uint64_t count = 0;
                    [[maybe_unused]] const ssize_t ignored = ::read(wake_fd, &count, sizeof count);
                    takeReturned();
                } else if (fd == listen_fd) {
                    if (accepting) acceptAll();
                } else if (auto it = connections.find(fd); it != connections.end()) {
                    if (it->second->phase != Connection::Phase::Working) readFrom(*it->second);
                }
            }
            if (Clock::now() >= next_sweep) {
                sweep();
                next_sweep = Clock::now() + kSweep;
            }
        }
        workers->shutdown();
        workers.reset();
    }
};

HttpFront::HttpFront(const ServerLimits& limits) : m_state(std::make_unique<State>(limits)) {}

HttpFront::~HttpFront() = default;

httplib::Server& HttpFront::routes() {
    return m_state->handler;
}

bool HttpFront::listen(const std::string& address, int port, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (const int failure =
            getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found)) {
        error = gai_strerror(failure);
        return false;
    }
    int last_error = EADDRNOTAVAIL;
    int fd = -1;
    for (addrinfo* at = found; at && fd < 0; at = at->ai_next) {
        fd = ::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                      at->ai_protocol);
        if (fd < 0) {
            last_error = errno;
            continue;
        }
        // SO_REUSEADDR lets a restarted server bind while its old connections linger in
        // TIME_WAIT; unlike SO_REUSEPORT it never lets a second server listen on the port.
        const int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, at->ai_addr, at->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
            last_error = errno;
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) {
        error = last_error == EADDRINUSE ? "address in use" : std::strerror(last_error);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    std::string ip;
    describe(bound, ip, m_port);
    if (m_state->listen_fd >= 0) ::close(m_state->listen_fd);
    m_state->listen_fd = fd;
    return true;
}

void HttpFront::run() {
    if (m_state->listen_fd < 0) return;
    m_state->run();
}

void HttpFront::stop() {
    m_state->stopping = true;
    m_state->wake();
}

}  // namespace plashwerk::server
