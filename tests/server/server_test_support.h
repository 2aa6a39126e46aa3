#pragma once
// Entries and stores for the score server's tests.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>

#include "results/score_codec.h"
#include "server/http_front.h"
#include "server/routes.h"
#include "server/score_store.h"
#include "tests/server/postgres_fixture.h"
#include "tests/support/files.h"
#include "tests/support/loopback.h"

namespace plashwerk::test {

/// A plausible entry: a 60 s benchmark on one GPU; the caller changes what a test is about.
inline server::ScoreEntry makeEntry(int score, std::string renderer = "Mesa llvmpipe",
                                    int vendor_id = 0x10de, int device_id = 0x2684,
                                    std::string nickname = "Anonymous") {
    server::ScoreEntry entry;
    entry.global_score = score;
    entry.max_time_ms = 60000;
    entry.time_based = 1;
    entry.width = 1920;
    entry.height = 1080;
    entry.msaa = 4;
    entry.gpu_vendor_id = vendor_id;
    entry.gpu_device_id = device_id;
    entry.cpu_mhz = 3600;
    entry.gpu_count = 1;
    entry.nickname = std::move(nickname);
    entry.cpu_name = "AMD Ryzen 7 5800X";
    entry.os_name = "Debian GNU/Linux 12";
    entry.renderer = std::move(renderer);
    entry.driver = "Mesa 22.3.6";
    entry.mac_address = "00-11-22-33-44-55";
    entry.physx_device = 1;
    entry.temperatures = "41_67";
    entry.clocks = "1800_7000_0";
    entry.run_details = std::to_string(score) + "_1200_3400_60000_4_1_0_1_8_250_1_2_45_30_1";
    entry.gpus[0] = {vendor_id, device_id, "1800_7000_1050_67_99_220"};
    entry.account_email = "NULL";
    return entry;
}

enum class Backend { Sqlite, Postgres };

/// A fresh database: an SQLite file in a temporary folder, or a new database on the tests'
/// PostgreSQL cluster (path is then its URI; empty, with no store, when there is none).
struct TempStore {
    explicit TempStore(Backend backend = Backend::Sqlite)
        : path(backend == Backend::Sqlite           ? folder.path() + "/scores.sqlite"
               : PostgresCluster::get().available() ? PostgresCluster::get().freshDatabase()
                                                    : std::string()) {
        if (!path.empty()) store = open();
    }

    TempFolder folder{"plashwerk_scores"};
    std::string path;
    std::unique_ptr<server::ScoreStore> store;

    std::unique_ptr<server::ScoreStore> open() {
        std::string error;
        auto opened = server::ScoreStore::open(path, error);
        if (!opened) ADD_FAILURE() << "cannot open " << path << ": " << error;
        return opened;
    }
};

/// A record as the program fills it after a benchmark on one GPU.
inline ScoreRecord makeRecord(int score, std::string nickname = "tester") {
    ScoreRecord record;
    record.global_score = score;
    record.max_time_ms = 60000;
    record.time_based = 1;
    record.width = 1280;
    record.height = 720;
    record.msaa = 2;
    record.gpu_vendor_id = 0x1002;
    record.gpu_device_id = 0x73bf;
    record.cpu_mhz = 4200;
    record.gpu_count = 1;
    record.nickname = std::move(nickname);
    record.cpu_name = "Intel Core i7-9700K";
    record.os_name = "Debian GNU/Linux 12";
    record.renderer = "AMD Radeon RX 6900 XT (navi21, LLVM 15.0.6)";
    record.driver = "4.6 Mesa 22.3.6";
    record.mac_address = "0A-1B-2C-3D-4E-5F";
    record.start_temperature = 40;
    record.end_temperature = 71;
    record.core_clock_max = 2500;
    record.memory_clock_max = 1000;
    record.run_details = {score, 1500, 2600, 60000, 4, 1, 0, 1, 8, 250, 1, 2, 55, 41, 1};
    record.gpus[0] = {true, 0x1002, 0x73bf, 2500, 1000, 1150, 71, 99, 280};
    record.account_email = "NULL";
    record.account_password = "NULL";
    return record;
}

/// The request bytes the program sends for a payload: the path with d and s, and the Host,
/// User-Agent and Referer lines, nothing else.
inline std::string submitRequest(std::string_view payload, const std::string& host = "127.0.0.1") {
    const ScrambledPayload scrambled = scrambleScorePayload(payload);
    const std::string agent = "Quorvex_Plashwerk_v1.5.4_Build_Mar 23 2020_at_10:28:47";
    return "GET /benchmarks/plashwerk_140_submit.php?d=" + scrambled.hex +
           "&s=" + std::to_string(scrambled.checksum) + " HTTP/1.1\r\nHost: " + host +
           "\r\nUser-Agent: " + agent + "\r\nReferer: " + agent + "\r\n\r\n";
}

/// A configured score server listening on a free loopback port, on a thread of its own,
/// with a fresh database; stopped when the object goes.
class LoopbackServer {
  public:
    explicit LoopbackServer(server::ServerLimits limits = {}, const server::SiteSetup& site = {})
        : m_front(limits) {
        server::configureServer(m_front.routes(), *db.store, limits, site);
        std::string error;
        if (!m_front.listen("127.0.0.1", 0, error)) {
            ADD_FAILURE() << "cannot listen on a loopback port: " << error;
            return;
        }
        m_thread = std::thread([this] { m_front.run(); });
    }
    ~LoopbackServer() {
        if (!m_thread.joinable()) return;
        m_front.stop();
        m_thread.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return m_front.port(); }
    server::ScoreStore& store() { return *db.store; }

    TempStore db;

  private:
    server::HttpFront m_front;
    std::thread m_thread;
};

/// A connection to the loopback port from the loopback address source (127.0.0.0/8: each
/// address stands for another client); -1 when it fails.
inline int connectFrom(const char* source, int port, int seconds = 3) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval wait{seconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, source, &address.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

/// Sends the bytes on a fresh connection and reads the reply: up to the end of its body
/// when it says how long that is, else until the server closes. Empty when the connection
/// failed or nothing came back; every wait is cut at 10 s so that a test cannot hang.
inline std::string roundTrip(int port, const std::string& request, const char* source = nullptr) {
    const int fd = source ? connectFrom(source, port, 10) : connectToLoopback(port);
    if (fd < 0) return {};
    // The server may answer and close before a huge request is all sent: sending stops then.
    sendAll(fd, request);
    std::string reply;
    char buffer[4096];
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        reply.append(buffer, static_cast<size_t>(n));
        const size_t head_end = reply.find("\r\n\r\n");
        const size_t length_at = reply.find("Content-Length: ");
        if (head_end != std::string::npos && length_at != std::string::npos &&
            length_at < head_end &&
            reply.size() >= head_end + 4 + std::stoul(reply.substr(length_at + 16))) {
            break;
        }
    }
    close(fd);
    return reply;
}

/// A GET of `target` on a connection that the server closes after its reply.
inline std::string httpGet(int port, const std::string& target) {
    return roundTrip(port,
                     "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

/// The status code of a raw reply, 0 when there is none.
inline int statusOf(const std::string& reply) {
    if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || reply.size() < 12) return 0;
    return std::atoi(reply.substr(9, 3).c_str());
}

inline std::string bodyOf(const std::string& reply) {
    const size_t head_end = reply.find("\r\n\r\n");
    return head_end == std::string::npos ? std::string() : reply.substr(head_end + 4);
}

}  // namespace plashwerk::test
