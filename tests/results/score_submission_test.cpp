#include "results/score_submission.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/loopback.h"

namespace plashwerk {
namespace {

ScoreSubmissionInputs sampleInputs() {
    ScoreSubmissionInputs in;
    in.result.global_score = 1913;
    in.result.physx_score = 678.9f;
    in.result.graphx_score = 1234.5f;
    in.result.fps_avg = 205;
    in.result.sps_avg = 113;
    in.result.start_temperature = 41.9f;
    in.result.end_temperature = 67.2f;
    in.result.physx_on_gpu = false;
    in.max_time_ms = 60000;
    in.width = 1280;
    in.height = 720;
    in.msaa = 4;
    in.gpu_vendor_id = 0x10DE;
    in.gpu_device_id = 7045;
    in.cpu_mhz = 3600;
    in.cpu_name = "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz";
    in.os_name = "Debian GNU/Linux 13";
    in.renderer = "NVIDIA GeForce RTX 2080/PCIe/SSE2";
    in.driver = "4.6.0 NVIDIA 535.104.05";
    in.gpu_count = 2;
    in.gpus = {{0x10DE, 7045, 1905.7f, 7000.2f, 1.05f, 67.5f, 99.0f, 215.3f},
               {0x10DE, 7045, 1800.0f, 7000.0f, 1.0f, 60.0f, 95.0f, 200.0f}};
    in.physx_system_version = 2083;
    in.num_particles = 60000;
    in.num_fluid_emitters = 8;
    in.multithreaded_physx = true;
    in.threads_sync = false;
    in.add_post_fx = true;
    in.particles_lifetime = 10.8f;
    in.emitter_rate = 300;
    in.use_sph = true;
    in.physx_fluid_velocity = 4.9f;
    in.multicore_cpu_physx = false;
    return in;
}

TEST(ScoreRecordFromRun, TakesEachFieldFromItsSource) {
    const ScoreRecord r = makeScoreRecord(sampleInputs(), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(buildScorePayload(r),
              "1913|60000|1|1280|720|4|0|4318|7045|3600|2|Anonymous|"
              "IntelR CoreTM i7-8700 CPU @ 3.20GHz|Debian GNU/Linux 13|"
              "NVIDIA GeForce RTX 2080/PCIe/SSE2|4.6.0 NVIDIA 535.104.05|00-1A-2B-3C-4D-5E|"
              "2083|1|41_67|1905_7000_0|1913_678_1234_60000_8_1_1_1_10_300_1_4_113_205_0|"
              "4318|7045|1905_7000_1050_67_99_215|4318|7045|1800_7000_1000_60_95_200|"
              "0|0|0_0_0|0|0|0_0_0|NULL|NULL");
}

TEST(ScoreRecordFromRun, PasswordNeverSentAndLongTextsCut) {
    ScoreSubmissionInputs in = sampleInputs();
    in.nickname = std::string(70, 'n');
    in.email = std::string(40, 'e');
    in.result.physx_on_gpu = true;
    in.result.start_temperature = NAN;
    in.result.end_temperature = 1e20f;
    for (int i = 0; i < 4; ++i) in.gpus.push_back(in.gpus[0]);
    const ScoreRecord r = makeScoreRecord(in, "");
    EXPECT_EQ(r.nickname.size(), 63u);
    EXPECT_EQ(r.account_email.size(), 30u);
    EXPECT_EQ(r.account_password, "NULL");
    EXPECT_EQ(r.physx_device, 2);
    EXPECT_EQ(r.start_temperature, 0);
    EXPECT_EQ(r.end_temperature, 2147483647);
    // GPUs beyond the fourth are not sent.
    EXPECT_TRUE(r.gpus[3].present);
    EXPECT_EQ(r.gpus[3].vddc_mv, 1050);

    // Without monitored GPUs the clocks field falls back to the result's maxima.
    in.gpus.clear();
    in.result.gpu_core_clock_max = 1500.9f;
    in.result.gpu_memory_clock_max = 6000.0f;
    const ScoreRecord bare = makeScoreRecord(in, "");
    EXPECT_EQ(bare.core_clock_max, 1500);
    EXPECT_EQ(bare.memory_clock_max, 6000);
    EXPECT_FALSE(bare.gpus[0].present);
}

TEST(MacAddress, FirstAdapterWithAnAddressLoopbackExcluded) {
    const std::vector<NetworkAdapter> adapters = {
        {"lo", true, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {"tun0", false, {}},
        {"dummy0", false, {0, 0, 0, 0, 0, 0}},
        {"eth0", false, {0x00, 0x1a, 0x2b, 0xc3, 0x0d, 0xfe}},
        {"wlan0", false, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}},
    };
    EXPECT_EQ(chooseMacAddress(adapters, true), "00-1A-2B-C3-0D-FE");
    EXPECT_EQ(chooseMacAddress({{"ib0", false, {0xAB, 0x01}}}, true), "AB-01");
    EXPECT_EQ(chooseMacAddress({}, true), "00-00-00-00-00-00");
    EXPECT_EQ(chooseMacAddress({{"lo", true, {1, 2, 3, 4, 5, 6}}}, true), "00-00-00-00-00-00");
    EXPECT_EQ(chooseMacAddress(adapters, false), "00-00-00-00-00-00");
}

TEST(MacAddress, ThisMachinesListIsReadable) {
    std::vector<NetworkAdapter> adapters;
    ASSERT_TRUE(listNetworkAdapters(adapters));
    const std::string mac = chooseMacAddress(adapters, true);
    EXPECT_EQ(mac.size() % 3, 2u) << mac;
}

TEST(ScoreRequest, BytesAreExactlyTheGetLineAndThreeHeaders) {
    ScoreRecord r;
    r.mac_address = "";
    const std::string request = buildScoreRequest({"127.0.0.1", 8080}, r);
    const std::string payload = buildScorePayload(r);
    ASSERT_EQ(payload,
              "0|0|0|0|0|0|0|0|0|0|0|Anonymous|NULL|NULL|NULL|NULL||0|1|0_0|0_0_0|"
              "0_0_0_0_0_0_0_0_0_0_0_0_0_0_0|0|0|0_0_0|0|0|0_0_0|0|0|0_0_0|0|0|0_0_0|NULL|NULL");
    EXPECT_EQ(request,
              "GET /benchmarks/plashwerk_140_submit.php?d="
              "1B571B571B571B571B571B571B571B571B571B571B576A4544455246445E5857"
              "657E676757657E676757657E676757657E676757571B571A571B741B571B741B"
              "741B571B741B741B741B741B741B741B741B741B741B741B741B741B741B741B"
              "571B571B571B741B741B571B571B571B741B741B571B571B571B741B741B571B"
              "571B571B741B741B57657E676757657E6767"
              "&s=12119 HTTP/1.1\r\n"
              "Host: 127.0.0.1:8080\r\n"
              "User-Agent: Quorvex_Plashwerk_v1.5.4_Build_Mar 23 2020_at_10:28:47\r\n"
              "Referer: Quorvex_Plashwerk_v1.5.4_Build_Mar 23 2020_at_10:28:47\r\n\r\n");
    EXPECT_EQ(
        buildScoreRequest({"scores.example.org", 80}, r).find("\r\nHost: scores.example.org\r\n"),
        request.find("\r\nHost: "));
}

TEST(ScoreReply, FramingDecidesWhenAReplyIsComplete) {
    std::string body;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n";
    EXPECT_EQ(readScoreReply(head + "Content-Length: 4\r\n\r\n[12", false, body),
              ReplyProgress::Incomplete);
    EXPECT_EQ(readScoreReply(head + "Content-Length: 4\r\n\r\n[12", true, body),
              ReplyProgress::Failed);
    EXPECT_EQ(readScoreReply(head + "content-length:4\r\n\r\n[12]junk", false, body),
              ReplyProgress::Complete);
    EXPECT_EQ(body, "[12]");
    EXPECT_EQ(readScoreReply(head + "Content-Length: x\r\n\r\n[12]", false, body),
              ReplyProgress::Failed);

    const std::string chunked = head + "Transfer-Encoding: chunked\r\n\r\n";
    EXPECT_EQ(readScoreReply(chunked + "2\r\n[3\r\n", false, body), ReplyProgress::Incomplete);
    EXPECT_EQ(readScoreReply(chunked + "2\r\n[3\r\n2;x=1\r\n4]\r\n0\r\n\r\n", false, body),
              ReplyProgress::Complete);
    EXPECT_EQ(body, "[34]");
    EXPECT_EQ(readScoreReply(chunked + "zz\r\n", false, body), ReplyProgress::Failed);
    EXPECT_EQ(readScoreReply(chunked + "2\r\n[3xx", false, body), ReplyProgress::Failed);

    // Without a length the body ends when the server closes.
    EXPECT_EQ(readScoreReply(head + "\r\n[5]", false, body), ReplyProgress::Incomplete);
    EXPECT_EQ(readScoreReply(head + "\r\n[5]", true, body), ReplyProgress::Complete);
    EXPECT_EQ(body, "[5]");
    EXPECT_EQ(readScoreReply("HTT", false, body), ReplyProgress::Incomplete);
    EXPECT_EQ(readScoreReply("[6]", true, body), ReplyProgress::Complete);
    EXPECT_EQ(body, "[6]");
    EXPECT_EQ(readScoreReply("HTTP/1.1 200 OK\r\nConn", true, body), ReplyProgress::Failed);

    // A refusal is no success, whatever its body says.
    EXPECT_EQ(
        readScoreReply("HTTP/1.1 400 Bad Request\r\nContent-Length: 3\r\n\r\n[7]", false, body),
        ReplyProgress::Failed);
}

TEST(ScoreReply, OnlyABracketedIdOfAtLeastOneCounts) {
    EXPECT_EQ(parseScoreReply("[1234]"), 1234);
    EXPECT_EQ(parseScoreReply("[1]"), 1);
    EXPECT_EQ(parseScoreReply(" \r\n[42]\r\n\t "), 42);
    EXPECT_EQ(parseScoreReply("[2147483647]"), 2147483647);
    EXPECT_EQ(parseScoreReply("[" + std::string(30, '0') + "7]"), 7);

    // Pages and documents of other web servers that merely hold brackets.
    EXPECT_EQ(parseScoreReply("<html><!--[if lt IE 9]><script></script><![endif]--></html>"), -1);
    EXPECT_EQ(parseScoreReply("{\"items\":[17,18]}"), -1);
    EXPECT_EQ(parseScoreReply("ok [42] thanks"), -1);
    EXPECT_EQ(parseScoreReply("[42] [43]"), -1);
    EXPECT_EQ(parseScoreReply("[42]x"), -1);

    // No id, no entry 0, nothing but digits, nothing beyond an int.
    for (const char* bad : {"", "  ", "[]", "[0]", "[000]", "[abc]", "[12ab]", "[ 12]", "[+5]",
                            "[-5]", "[12", "12]", "]12[", "[2147483648]", "[1.5]"})
        EXPECT_EQ(parseScoreReply(bad), -1) << bad;
    EXPECT_EQ(parseScoreReply("[" + std::string(31, '1') + "]"), -1);
}

// A one-connection server on loopback: reads the request's headers, then plays `reply`.
class LoopbackServer {
  public:
    explicit LoopbackServer(std::function<void(int)> reply) {
        m_listener = test::listenOnLoopback(m_port);
        if (m_listener < 0) {
            ADD_FAILURE() << "no loopback listener";
            return;
        }
        m_thread = std::thread([this, reply = std::move(reply)] {
            const int fd = ::accept(m_listener, nullptr, nullptr);
            if (fd < 0) return;
            char buffer[4096];
            while (m_request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                m_request.append(buffer, static_cast<size_t>(got));
            }
            reply(fd);
            ::close(fd);
        });
    }
    ~LoopbackServer() {
        if (m_thread.joinable()) m_thread.join();
        if (m_listener >= 0) ::close(m_listener);
    }
    ScoreSite site() const { return {"127.0.0.1", m_port}; }
    // Valid once the client has returned and the server thread is done.
    const std::string& request() {
        if (m_thread.joinable()) m_thread.join();
        return m_request;
    }

  private:
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::string m_request;
};

// Waits until the client has gone (its end closed), so a server that "never closes" still
// ends with the test.
void waitForClientToLeave(int fd) {
    char byte;
    while (::recv(fd, &byte, 1, 0) > 0) {
    }
}

const ScoreRecord kRecord = makeScoreRecord(sampleInputs(), "00-1A-2B-3C-4D-5E");
// Short, so that the cases where the server stalls end quickly; the late reply below uses the
// program's own limit.
const ScoreClientLimits kShort{400, 64 * 1024};

TEST(ScoreSubmissionOverLoopback, ValidReplySendsTheRequestBytes) {
    LoopbackServer server([](int fd) {
        test::sendAll(
            fd, "HTTP/1.1 200 OK\r\nContent-Length: 6\r\nConnection: keep-alive\r\n\r\n[4711]");
        waitForClientToLeave(fd);
    });
    EXPECT_EQ(submitScore(server.site(), kRecord), 4711);
    EXPECT_EQ(server.request(), buildScoreRequest(server.site(), kRecord));
}

TEST(ScoreSubmissionOverLoopback, ReplyInPiecesArrivingLate) {
    LoopbackServer server([](int fd) {
        test::sendAll(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        test::sendAll(fd, "\r\n3\r\n[98");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        test::sendAll(fd, "\r\n2\r\n7]\r\n0\r\n\r\n");
        waitForClientToLeave(fd);
    });
    EXPECT_EQ(submitScore(server.site(), kRecord), 987);
}

TEST(ScoreSubmissionOverLoopback, EveryBadServerGivesMinusOne) {
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::function<void(int)> servers[] = {
        // Replies nothing and never closes.
        [](int fd) { waitForClientToLeave(fd); },
        // Closes without a word.
        [](int) {},
        // Headers, then stalls before the announced body.
        [ok](int fd) {
            test::sendAll(fd, ok + "Content-Length: 10\r\n\r\n[1");
            waitForClientToLeave(fd);
        },
        // One megabyte.
        [ok](int fd) { test::sendAll(fd, ok + "\r\n" + std::string(1 << 20, '[')); },
        // "[" with no "]".
        [ok](int fd) { test::sendAll(fd, ok + "Content-Length: 4\r\n\r\n[123"); },
        // Ids of 31 and 32 digits.
        [ok](int fd) { test::sendAll(fd, ok + "\r\n[" + std::string(31, '9') + "]"); },
        [ok](int fd) { test::sendAll(fd, ok + "\r\n[" + std::string(32, '9') + "]"); },
        // Another web server's page and JSON on the address.
        [ok](int fd) {
            test::sendAll(fd, ok + "Content-Type: text/html\r\n\r\n<html><!--[if lt IE 9]>"
                                   "<script src=\"x.js\"></script><![endif]--></html>");
        },
        [ok](int fd) { test::sendAll(fd, ok + "Content-Length: 17\r\n\r\n{\"items\":[17,18]}"); },
        // A refusal.
        [](int fd) {
            test::sendAll(fd, "HTTP/1.1 400 Bad Request\r\nContent-Length: 3\r\n\r\n[1]");
        },
    };
    int index = 0;
    for (const auto& play : servers) {
        LoopbackServer server(play);
        EXPECT_EQ(submitScore(server.site(), kRecord, kShort), -1) << "server " << index;
        ++index;
    }
}

TEST(ScoreSubmissionOverLoopback, NoServerListening) {
    const int port = test::unusedLoopbackPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(submitScore({"127.0.0.1", port}, kRecord, kShort), -1);
}

}  // namespace
}  // namespace plashwerk
