// Load test of the score server on loopback: many clients submitting at once (stored
// submissions per second, 99th-percentile latency), then the scores list served from a
// database of many entries (pages per second). Bounded in count and in time.
//
//   scores_server_bench [--clients N] [--submissions N] [--entries N] [--pages N] [--seconds S]
//                       [--db postgresql://...] [--processes N]
//
// Without --db each phase has an SQLite file of its own. With --db the phases use that
// PostgreSQL database, whose entries are deleted before each phase. --processes N serves
// from N server processes on the one database, the clients spread over them, as servers on
// several machines would share it.

#include <httplib.h>
#include <libpq-fe.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "results/score_codec.h"
#include "server/http_front.h"
#include "server/routes.h"
#include "server/score_store.h"
#include "server/submission.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace plashwerk;

struct Settings {
    std::string db;     ///< a PostgreSQL URI; empty: SQLite files
    int processes = 1;  ///< server processes on the one database
    int clients = 16;
    int submissions = 20000;
    int entries = 100000;
    int pages = 20000;
    int seconds = 30;  ///< per phase
};

struct Outcome {
    int done = 0;
    int failed = 0;
    double seconds = 0;
    double p50_ms = 0;
    double p99_ms = 0;
};

// Runs `total` requests spread over the clients, each client on one kept-alive connection;
// request(client, i) makes the i-th request's target. Stops early at the deadline.
template <typename Target>
Outcome hammer(const std::vector<int>& ports, const Settings& settings, int total, Target target) {
    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    std::vector<std::vector<double>> latencies(static_cast<size_t>(settings.clients));
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::seconds(settings.seconds);
    std::vector<std::thread> threads;
    for (int c = 0; c < settings.clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", ports[static_cast<size_t>(c) % ports.size()]);
            client.set_keep_alive(true);
            const httplib::Headers headers = {
                {"User-Agent", "Quorvex_Plashwerk_v1.5.4_Build_Mar 23 2020_at_10:28:47"}};
            std::vector<double>& mine = latencies[static_cast<size_t>(c)];
            for (int i = next++; i < total && Clock::now() < deadline; i = next++) {
                const Clock::time_point sent = Clock::now();
                const httplib::Result reply = client.Get(target(i), headers);
                mine.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
                if (!reply || reply->status != 200) ++failed;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    Outcome outcome;
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::vector<double> all;
    for (const auto& mine : latencies) all.insert(all.end(), mine.begin(), mine.end());
    std::sort(all.begin(), all.end());
    outcome.done = static_cast<int>(all.size());
    outcome.failed = failed;
    if (!all.empty()) {
        outcome.p50_ms = all[all.size() / 2];
        outcome.p99_ms = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    }
    return outcome;
}

void report(const char* what, const Outcome& outcome) {
    std::printf(
        "%-28s %7d requests (%d failed) in %6.2f s: %8.0f per second, p50 %6.2f ms, "
        "p99 %6.2f ms\n",
        what, outcome.done, outcome.failed, outcome.seconds,
        outcome.seconds > 0 ? (outcome.done - outcome.failed) / outcome.seconds : 0.0,
        outcome.p50_ms, outcome.p99_ms);
}

// Empties the entries of a PostgreSQL database and restarts its ids; the table is made by
// the first store opened on it.
void emptyPostgres(const std::string& uri) {
    PGconn* db = PQconnectdb(uri.c_str());
    PGresult* result = PQexec(db, "TRUNCATE entries RESTART IDENTITY");
    PQclear(result);
    PQfinish(db);
}

// A served database on free loopback ports, in a folder removed at the end: one server in
// this process, and processes - 1 more forked before any thread starts, each with a store
// of its own on the same database.
struct Served {
    std::filesystem::path folder;
    std::string target;
    std::unique_ptr<server::ScoreStore> store;
    server::HttpFront http;
    std::thread thread;
    std::vector<int> ports;
    std::vector<pid_t> children;

    static server::ServerLimits limits(int clients) {
        server::ServerLimits limits;
        limits.max_per_address = std::max(limits.max_per_address, clients);
        return limits;
    }
    Served(const char* name, const Settings& settings) : http(limits(settings.clients)) {
        folder = std::filesystem::temp_directory_path() /
                 (std::string("plashwerk_bench_") + name + "_" + std::to_string(getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        target = settings.db.empty() ? (folder / "scores.sqlite").string() : settings.db;
        std::string error;
        store = server::ScoreStore::open(target, error);
        if (!store) {
            std::fprintf(stderr, "cannot open the database: %s\n", error.c_str());
            std::exit(1);
        }
        if (!settings.db.empty()) emptyPostgres(settings.db);
        server::configureServer(http.routes(), *store, limits(settings.clients));
        if (!http.listen("127.0.0.1", 0, error)) {
            std::fprintf(stderr, "cannot listen: %s\n", error.c_str());
            std::exit(1);
        }
        ports.push_back(http.port());
        for (int p = 1; p < settings.processes; ++p) fork(settings.clients);
    }
    // Another server process on the same database; its port comes back through a pipe.
    void fork(int clients) {
        int pipe_ends[2];
        if (pipe(pipe_ends) != 0) std::exit(1);
        const pid_t child = ::fork();
        if (child == 0) {
            close(pipe_ends[0]);
            std::string error;
            std::unique_ptr<server::ScoreStore> own = server::ScoreStore::open(target, error);
            server::HttpFront front(limits(clients));
            server::configureServer(front.routes(), *own, limits(clients));
            int port = own && front.listen("127.0.0.1", 0, error) ? front.port() : 0;
            if (write(pipe_ends[1], &port, sizeof port) != sizeof port || port == 0) _exit(1);
            front.run();
            _exit(0);
        }
        close(pipe_ends[1]);
        int port = 0;
        if (read(pipe_ends[0], &port, sizeof port) != sizeof port || port == 0) {
            std::fprintf(stderr, "a server process did not start\n");
            std::exit(1);
        }
        close(pipe_ends[0]);
        children.push_back(child);
        ports.push_back(port);
    }
    void start() {
        thread = std::thread([this] { http.run(); });
    }
    // The size of the write-ahead log beside the database, bytes.
    uintmax_t walBytes() const {
        std::error_code missing;
        const uintmax_t size = std::filesystem::file_size(folder / "scores.sqlite-wal", missing);
        return missing ? 0 : size;
    }
    ~Served() {
        for (const pid_t child : children) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        http.stop();
        if (thread.joinable()) thread.join();
        store.reset();
        std::filesystem::remove_all(folder);
    }
};

ScoreRecord record(std::mt19937& random, int index) {
    static const char* const kRenderers[] = {
        "NVIDIA GeForce RTX 4090/PCIe/SSE2", "AMD Radeon RX 7900 XTX",
        "Mesa Intel UHD Graphics 770", "llvmpipe LLVM 15.0.6 256 bits"};
    static const int kDevices[] = {0x2684, 0x744c, 0x4680, 0};
    const int kind = index % 4;
    ScoreRecord r;
    r.global_score = static_cast<int>(random() % 20000);
    r.max_time_ms = 60000;
    r.time_based = 1;
    r.width = 1920;
    r.height = 1080;
    r.msaa = 4;
    r.gpu_vendor_id = kind == 3 ? 0 : 0x10de;
    r.gpu_device_id = kDevices[kind];
    r.cpu_mhz = 4000;
    r.gpu_count = 1;
    r.nickname = "bench" + std::to_string(index);
    r.cpu_name = "AMD Ryzen 9 7950X";
    r.os_name = "Debian GNU/Linux 12";
    r.renderer = kRenderers[kind];
    r.driver = "4.6.0 NVIDIA 535.104.05";
    r.start_temperature = 40;
    r.end_temperature = 70;
    r.run_details = {r.global_score, 1000, 2000, 60000, 4, 1, 0, 1, 8, 250, 1, 2, 50, 40, 1};
    r.gpus[0] = {true, r.gpu_vendor_id, r.gpu_device_id, 2500, 10000, 1050, 70, 99, 400};
    r.account_email = "NULL";
    r.account_password = "NULL";
    return r;
}

std::string readText(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == name) return argv[i + 1];
    }
    return {};
}

int readArg(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == name) return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    settings.clients = readArg(argc, argv, "--clients", settings.clients);
    settings.submissions = readArg(argc, argv, "--submissions", settings.submissions);
    settings.entries = readArg(argc, argv, "--entries", settings.entries);
    settings.pages = readArg(argc, argv, "--pages", settings.pages);
    settings.seconds = readArg(argc, argv, "--seconds", settings.seconds);
    settings.db = readText(argc, argv, "--db");
    settings.processes = readArg(argc, argv, "--processes", settings.processes);
    std::printf("database: %s, %d server process%s\n",
                settings.db.empty() ? "SQLite" : "PostgreSQL", settings.processes,
                settings.processes == 1 ? "" : "es");
    std::mt19937 random(20200323);

    {
        // Submissions: every request a different record, in the program's encoding.
        std::vector<std::string> targets;
        for (int i = 0; i < settings.submissions; ++i) {
            const ScrambledPayload sent =
                scrambleScorePayload(buildScorePayload(record(random, i)));
            targets.push_back("/benchmarks/plashwerk_140_submit.php?d=" + sent.hex +
                              "&s=" + std::to_string(sent.checksum));
        }
        Served served("submit", settings);
        served.start();
        // The log's size is sampled while the submissions run: its largest is what the
        // checkpoints let it reach.
        std::atomic<bool> sampling{true};
        std::atomic<uintmax_t> largest_wal{0};
        std::thread sampler([&] {
            while (sampling) {
                largest_wal = std::max<uintmax_t>(largest_wal, served.walBytes());
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        const Outcome outcome = hammer(served.ports, settings, settings.submissions,
                                       [&](int i) { return targets[static_cast<size_t>(i)]; });
        sampling = false;
        sampler.join();
        report("submissions", outcome);
        std::printf("%-28s %7lld entries in the database\n", "stored",
                    static_cast<long long>(served.store->count()));
        std::printf("%-28s %7.1f MB at most, %.1f MB at the end\n", "write-ahead log",
                    static_cast<double>(largest_wal) / 1e6,
                    static_cast<double>(served.walBytes()) / 1e6);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        std::printf("%-28s %7.1f MB 0.6 s after the load\n", "write-ahead log",
                    static_cast<double>(served.walBytes()) / 1e6);
    }
    {
        Served served("list", settings);
        std::printf("filling a database with %d entries...\n", settings.entries);
        // Decoded here, stored from as many threads as there are clients.
        std::vector<server::ScoreEntry> entries(static_cast<size_t>(settings.entries));
        for (int i = 0; i < settings.entries; ++i) {
            const ScrambledPayload sent =
                scrambleScorePayload(buildScorePayload(record(random, i)));
            std::string error;
            if (!server::decodeSubmission(sent.hex, std::to_string(sent.checksum),
                                          entries[static_cast<size_t>(i)], error)) {
                std::fprintf(stderr, "could not decode entry %d: %s\n", i, error.c_str());
                return 1;
            }
        }
        std::atomic<int> next{0}, failed{0};
        std::vector<std::thread> fillers;
        for (int t = 0; t < settings.clients; ++t) {
            fillers.emplace_back([&] {
                for (int i = next++; i < settings.entries; i = next++)
                    if (served.store->insert(entries[static_cast<size_t>(i)]) < 0) ++failed;
            });
        }
        for (std::thread& filler : fillers) filler.join();
        if (failed > 0) {
            std::fprintf(stderr, "%d entries could not be stored\n", failed.load());
            return 1;
        }
        served.start();
        report("list page 1", hammer(served.ports, settings, settings.pages,
                                     [](int) { return std::string("/scores?settings=all"); }));
        report("list pages 1-40, filtered",
               hammer(served.ports, settings, settings.pages, [](int i) {
                   return "/scores?settings=all&page=" + std::to_string(i % 40 + 1) +
                          (i % 2 ? "&gpu=10de:2684" : "&renderer=AMD%20Radeon%20RX%207900%20XTX");
               }));
        report("compare page", hammer(served.ports, settings, settings.pages / 10, [&](int i) {
                   return "/compare?id=" + std::to_string(1 + i * 7919 % settings.entries);
               }));
    }
    return 0;
}
