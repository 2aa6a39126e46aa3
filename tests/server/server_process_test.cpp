// The real plashwerk-scores on loopback, as a hostile or careless client meets it: slow and
// oversized heads, range replies, a stop by signal, a busy port, a database it cannot write.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "tests/server/server_test_support.h"

namespace plashwerk::server {
namespace {

using test::connectFrom;

using Clock = std::chrono::steady_clock;
using test::bodyOf;
using test::statusOf;

// One plashwerk-scores process on a free loopback port with a database in a folder of its
// own; killed if a test leaves it running.
class ScoresProcess {
  public:
    /// run_as: another user to run as (the tests may run as root, who may write anything).
    explicit ScoresProcess(std::vector<std::string> args, std::string db = "", uid_t run_as = 0)
        : db_path(db.empty() ? folder.path() + "/scores.sqlite" : std::move(db)) {
        start(std::move(args), run_as);
    }
    ~ScoresProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    ScoresProcess(const ScoresProcess&) = delete;
    ScoresProcess& operator=(const ScoresProcess&) = delete;

    /// Waits (10 s at most) for the start line and reads the port from it; false when the
    /// process ended first.
    bool waitUntilListening() {
        for (int waited = 0; waited < 1000; ++waited) {
            const std::string text = out();
            if (const size_t at = text.find("listening on http://"); at != std::string::npos) {
                const size_t colon = text.find("]:", at) != std::string::npos
                                         ? text.find("]:", at) + 1
                                         : text.find(':', at + 20);
                m_port = std::atoi(text.c_str() + colon + 1);
                return true;
            }
            if (ended()) return false;
            usleep(10000);
        }
        return false;
    }
    /// The exit status (128 + the signal when killed), waiting 10 s at most before a kill.
    int finish() {
        for (int waited = 0; waited < 1000 && !ended(); ++waited) usleep(10000);
        if (!ended()) {
            ADD_FAILURE() << "still running after 10 s";
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &m_status, 0);
            m_pid = -1;
        }
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : 128 + WTERMSIG(m_status);
    }
    bool ended() {
        if (m_pid > 0 && waitpid(m_pid, &m_status, WNOHANG) == m_pid) m_pid = -1;
        return m_pid <= 0;
    }
    void signal(int number) { kill(m_pid, number); }

    int port() const { return m_port; }
    std::string out() const { return test::slurp(folder.path() + "/stdout"); }
    std::string err() const { return test::slurp(folder.path() + "/stderr"); }

    test::TempFolder folder{"plashwerk_scores_process"};
    std::string db_path;

  private:
    void start(std::vector<std::string> args, uid_t run_as) {
        args.insert(args.begin(), {PLASHWERK_SCORES_EXE, "--db", db_path});
        if (std::find(args.begin(), args.end(), "--port") == args.end())
            args.insert(args.end(), {"--port", "0"});
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        const std::string out_path = folder.path() + "/stdout";
        const std::string err_path = folder.path() + "/stderr";
        m_pid = fork();
        if (m_pid == 0) {
            dup2(open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            dup2(open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            if (run_as != 0 && (setgid(run_as) != 0 || setuid(run_as) != 0)) _exit(122);
            execv(argv[0], argv.data());
            _exit(121);
        }
    }

    pid_t m_pid = -1;
    int m_status = 0;
    int m_port = 0;
};

// A connection from a chosen loopback address (all of 127/8 is this machine), so that one
// test can be many clients; every wait gives up after `seconds`.

// Everything the server sends until it closes (or the receive time-out); `closed` tells
// which of the two ended it.
std::string readUntilClosed(int fd, bool& closed) {
    std::string reply;
    char buffer[65536];
    for (;;) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed = n == 0 || errno == ECONNRESET;
            return reply;
        }
        reply.append(buffer, static_cast<size_t>(n));
    }
}

std::string get(const std::string& target, const std::string& extra = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

// One request and its whole reply on a connection of its own that the server closes.
std::string askAndRead(int port, const std::string& request, const char* source = "127.0.0.1") {
    const int fd = connectFrom(source, port);
    if (fd < 0) return {};
    test::sendAll(fd, request);
    bool closed = false;
    std::string reply = readUntilClosed(fd, closed);
    close(fd);
    return reply;
}

TEST(ScoreServerProcess, SlowHeadsHoldNoWorkerAndAreCutAtTheDeadline) {
    ScoresProcess server({"--threads", "2", "--request-timeout", "1"});
    ASSERT_TRUE(server.waitUntilListening()) << server.err();
    // Six clients, three times the workers, each sending its head a line at a time.
    std::vector<int> slow;
    for (int i = 0; i < 6; ++i) {
        const std::string source = "127.0.0." + std::to_string(10 + i);
        slow.push_back(connectFrom(source.c_str(), server.port()));
        ASSERT_GE(slow.back(), 0);
        test::sendAll(slow.back(), "GET /scores HTTP/1.1\r\n");
    }
    // Another client is answered at once.
    const std::string reply =
        askAndRead(server.port(), get("/scores", "Connection: close\r\n"), "127.0.0.2");
    EXPECT_EQ(statusOf(reply), 200) << reply;

    // However steadily the slow ones send, each is refused and closed at its deadline.
    std::vector<bool> cut(slow.size(), false);
    const Clock::time_point give_up = Clock::now() + std::chrono::seconds(4);
    while (Clock::now() < give_up && std::find(cut.begin(), cut.end(), false) != cut.end()) {
        for (size_t i = 0; i < slow.size(); ++i) {
            if (cut[i]) continue;
            char byte = 0;
            const ssize_t n = recv(slow[i], &byte, 1, MSG_DONTWAIT | MSG_PEEK);
            if (n >= 0 || errno == ECONNRESET) {
                bool closed = false;
                const std::string refusal = readUntilClosed(slow[i], closed);
                EXPECT_TRUE(refusal.empty() || statusOf(refusal) == 408) << refusal;
                cut[i] = true;
                continue;
            }
            test::sendAll(slow[i], "X-Slow: 1\r\n");
        }
        usleep(200000);
    }
    for (size_t i = 0; i < slow.size(); ++i) {
        EXPECT_TRUE(cut[i]) << "slow client " << i << " still open";
        close(slow[i]);
    }
}

TEST(ScoreServerProcess, LimitsTheConnectionsOfOneAddress) {
    ScoresProcess server({"--max-per-address", "3"});
    ASSERT_TRUE(server.waitUntilListening()) << server.err();
    std::vector<int> held;
    for (int i = 0; i < 3; ++i) held.push_back(connectFrom("127.0.0.1", server.port()));
    // The fourth from that address is refused; another address is served.
    const std::string refused = askAndRead(server.port(), get("/news"), "127.0.0.1");
    EXPECT_TRUE(refused.empty() || statusOf(refused) == 503) << refused;
    EXPECT_EQ(
        statusOf(askAndRead(server.port(), get("/news", "Connection: close\r\n"), "127.0.0.3")),
        200);
    close(held.back());
    held.pop_back();
    usleep(200000);
    EXPECT_EQ(statusOf(askAndRead(server.port(), get("/news", "Connection: close\r\n"))), 200);
    for (int fd : held) close(fd);
}

TEST(ScoreServerProcess, RefusesTooManyOrTooLongHeaderLinesAndCloses) {
    ScoresProcess server({});
    ASSERT_TRUE(server.waitUntilListening()) << server.err();
    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred += "X-Header-" + std::to_string(i) + ": x\r\n";
    const std::pair<const char*, std::string> heads[] = {
        {"101 lines", hundred + "X-One-More: x\r\n"},
        {"17 KiB in 3 lines", "A: " + std::string(8000, 'a') + "\r\nB: " + std::string(8000, 'b') +
                                  "\r\nC: " + std::string(1100, 'c') + "\r\n"},
        {"100 000 lines, sent on regardless",
         [] {
             std::string many;
             for (int i = 0; i < 100000; ++i) many += "H: v\r\n";
             return many;
         }()},
    };
    for (const auto& [name, lines] : heads) {
        const int fd = connectFrom("127.0.0.1", server.port(), 2);
        test::sendAll(fd, "GET /scores HTTP/1.1\r\nHost: x\r\n" + lines + "\r\n");
        bool closed = false;
        const std::string reply = readUntilClosed(fd, closed);
        close(fd);
        EXPECT_TRUE(statusOf(reply) == 431 || (reply.empty() && closed)) << name << ": " << reply;
        EXPECT_TRUE(closed) << name << ": the connection stays open";
    }
    // With Host and Connection: 100 lines are taken, 101 are not.
    std::string lines;
    for (int i = 0; i < 98; ++i) lines += "X-Header: x\r\n";
    EXPECT_EQ(statusOf(askAndRead(server.port(), get("/news", lines + "Connection: close\r\n"))),
              200);
    lines += "X-Header: x\r\n";
    EXPECT_EQ(statusOf(askAndRead(server.port(), get("/news", lines + "Connection: close\r\n"))),
              431);
}

TEST(ScoreServerProcess, SendsPagesWholeWhateverTheRangeAsked) {
    ScoresProcess server({});
    ASSERT_TRUE(server.waitUntilListening()) << server.err();
    std::string ranges = "Range: bytes=0-";
    for (int i = 0; i < 2600; ++i) ranges += ",0-";
    for (const char* target : {"/scores", "/api/scores", "/news"}) {
        const std::string whole = askAndRead(server.port(), get(target, "Connection: close\r\n"));
        const std::string asked =
            askAndRead(server.port(), get(target, ranges + "\r\nConnection: close\r\n"));
        EXPECT_EQ(statusOf(asked), 200) << target;
        EXPECT_EQ(bodyOf(asked), bodyOf(whole)) << target;
        const std::string one =
            askAndRead(server.port(), get(target, "Range: bytes=0-9\r\nConnection: close\r\n"));
        EXPECT_EQ(bodyOf(one), bodyOf(whole)) << target;
    }
}

// Clients keep asking while the stop comes: each reply that began is whole, the server
// says it stopped and ends with status 0.
TEST(ScoreServerProcess, StopsCleanlyOnSigtermAndSigint) {
    for (const int number : {SIGTERM, SIGINT}) {
        ScoresProcess server({});
        ASSERT_TRUE(server.waitUntilListening()) << server.err();
        std::atomic<int> whole{0}, cut{0};
        std::atomic<bool> go{true};
        std::vector<std::thread> clients;
        for (int c = 0; c < 8; ++c) {
            clients.emplace_back([&, source = "127.0.0." + std::to_string(20 + c)] {
                while (go) {
                    const std::string reply = askAndRead(
                        server.port(), get("/scores", "Connection: close\r\n"), source.c_str());
                    if (reply.empty()) continue;  // refused or closed before a reply began
                    const std::string length = "Content-Length: ";
                    const size_t at = reply.find(length);
                    if (statusOf(reply) == 200 && at != std::string::npos &&
                        bodyOf(reply).size() == std::stoul(reply.substr(at + length.size()))) {
                        ++whole;
                    } else {
                        ++cut;
                    }
                }
            });
        }
        for (int waited = 0; waited < 500 && whole < 20; ++waited) usleep(10000);
        server.signal(number);
        const int status = server.finish();
        go = false;
        for (std::thread& client : clients) client.join();
        EXPECT_EQ(status, 0) << "signal " << number << "\n" << server.err();
        EXPECT_NE(server.out().find("plashwerk-scores: stopped\n"), std::string::npos)
            << server.out();
        EXPECT_EQ(cut, 0) << "replies cut by the stop";
    }
}

TEST(ScoreServerProcess, RefusesAPortAnotherServerListensOn) {
    ScoresProcess first({});
    ASSERT_TRUE(first.waitUntilListening()) << first.err();
    const std::string port = std::to_string(first.port());
    ScoresProcess second({"--port", port});
    EXPECT_EQ(second.finish(), 1);
    EXPECT_NE(second.err().find("cannot listen on 127.0.0.1 port " + port + ": address in use"),
              std::string::npos)
        << second.err();
    EXPECT_EQ(statusOf(askAndRead(first.port(), get("/news", "Connection: close\r\n"))), 200);
}

// A database the server may read but not write: a write-protected file, or (when the tests
// run as root, who may write anything) a file of another user.
TEST(ScoreServerProcess, RefusesToStartOnADatabaseItCannotWrite) {
    test::TempFolder folder("plashwerk_scores_readonly");
    const std::string db = folder.path() + "/scores.sqlite";
    {
        std::string error;
        ASSERT_TRUE(ScoreStore::open(db, error)) << error;
    }
    chmod(folder.path().c_str(), 0777);
    chmod(db.c_str(), 0444);
    ScoresProcess server({}, db, geteuid() == 0 ? 65534 : 0);
    EXPECT_EQ(server.finish(), 1) << server.out();
    EXPECT_NE(server.err().find("cannot open " + db + ": it cannot be written: "),
              std::string::npos)
        << server.err();
    EXPECT_EQ(server.out().find("listening"), std::string::npos);
}

// A write that fails later (here a trigger that refuses every entry) is answered 503 and
// logged once with SQLite's reason, not once per submission.
TEST(ScoreServerProcess, LogsAFailingWriteOnce) {
    ScoresProcess server({});
    ASSERT_TRUE(server.waitUntilListening()) << server.err();
    const std::string submission = test::submitRequest(buildScorePayload(test::makeRecord(1)));
    EXPECT_EQ(bodyOf(test::roundTrip(server.port(), submission)), "[1]");
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(server.db_path.c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER refuse BEFORE INSERT ON entries "
                           "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(statusOf(test::roundTrip(server.port(), submission)), 503);
    const std::string line = "a score could not be stored: refused by the test\n";
    const std::string err = server.err();
    EXPECT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(err.find(line), err.rfind(line)) << "logged more than once:\n" << err;
    ASSERT_EQ(sqlite3_exec(db, "DROP TRIGGER refuse;", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(bodyOf(test::roundTrip(server.port(), submission)), "[2]") << server.err();
}

TEST(ScoreServerProcess, BracketsAnIpv6AddressAndClosesAfterA413) {
    {
        ScoresProcess server({"--bind", "::1"});
        if (!server.waitUntilListening()) GTEST_SKIP() << "no IPv6 loopback: " << server.err();
        EXPECT_NE(server.out().find("listening on http://[::1]:" + std::to_string(server.port()) +
                                    "/ with "),
                  std::string::npos)
            << server.out();
    }
    ScoresProcess server({});
    ASSERT_TRUE(server.waitUntilListening()) << server.err();
    const int fd = connectFrom("127.0.0.1", server.port(), 2);
    test::sendAll(fd, "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n");
    bool closed = false;
    const std::string reply = readUntilClosed(fd, closed);
    close(fd);
    EXPECT_EQ(statusOf(reply), 413) << reply;
    EXPECT_NE(reply.find("Connection: close\r\n"), std::string::npos);
    EXPECT_TRUE(closed) << "the connection stays open";
}

}  // namespace
}  // namespace plashwerk::server

namespace plashwerk::server {
namespace {

// Two servers, as on two machines, on one PostgreSQL database: a score sent to either is on
// both lists, with ids that never collide; the start line shows no password.
TEST(ScoreServerProcess, TwoServersShareOnePostgresDatabase) {
    if (!test::PostgresCluster::get().available())
        GTEST_SKIP() << test::PostgresCluster::get().reason();
    std::string uri = test::PostgresCluster::get().freshDatabase();
    ASSERT_FALSE(uri.empty());
    uri.replace(uri.find("plashwerk@"), 10, "plashwerk:secret@");  // trust: any password works
    ScoresProcess first({"--submit-rate", "0"}, uri), second({"--submit-rate", "0"}, uri);
    ASSERT_TRUE(first.waitUntilListening()) << first.err();
    ASSERT_TRUE(second.waitUntilListening()) << second.err();
    EXPECT_EQ(first.out().find("secret"), std::string::npos) << first.out();
    EXPECT_NE(first.out().find("plashwerk:***@"), std::string::npos) << first.out();
    std::set<std::string> ids;
    for (int i = 0; i < 6; ++i) {
        const std::string submission =
            test::submitRequest(buildScorePayload(test::makeRecord(1000 + i)));
        ids.insert(bodyOf(test::roundTrip((i % 2 ? first : second).port(), submission)));
    }
    EXPECT_EQ(ids, (std::set<std::string>{"[1]", "[2]", "[3]", "[4]", "[5]", "[6]"}));
    for (ScoresProcess* server : {&first, &second}) {
        const std::string list = bodyOf(test::httpGet(server->port(), "/api/scores"));
        EXPECT_NE(list.find("\"global_score\":1005"), std::string::npos) << list;
        EXPECT_NE(list.find("\"global_score\":1000"), std::string::npos) << list;
    }
}

}  // namespace
}  // namespace plashwerk::server
