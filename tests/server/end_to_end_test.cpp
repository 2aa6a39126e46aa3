// The whole server on loopback: a submission in the program's own bytes is stored and shows
// on its entry page, the list and the API; hostile requests are refused, store nothing and
// leave the server answering.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/server/server_test_support.h"

namespace plashwerk::server {
namespace {

using test::bodyOf;
using test::httpGet;
using test::LoopbackServer;
using test::makeRecord;
using test::roundTrip;
using test::statusOf;
using test::submitRequest;

TEST(ScoreServerOnLoopback, StoresASubmissionAndShowsItOnItsPageTheListAndTheApi) {
    LoopbackServer server;
    const std::string reply =
        roundTrip(server.port(), submitRequest(buildScorePayload(makeRecord(4321, "Speedy <b>"))));
    ASSERT_EQ(statusOf(reply), 200) << reply;
    EXPECT_EQ(bodyOf(reply), "[1]");

    const std::string page = httpGet(server.port(), "/benchmarks/plashwerk_140_score.php?id=1");
    ASSERT_EQ(statusOf(page), 200);
    EXPECT_NE(page.find("<b>4321</b>"), std::string::npos);
    EXPECT_NE(page.find("Speedy b"), std::string::npos);  // the client's cleaning took "<>"
    EXPECT_NE(page.find("AMD Radeon RX 6900 XT navi21 LLVM 15.0.6"), std::string::npos);
    EXPECT_EQ(page.find("0A-1B-2C"), std::string::npos) << "the hardware address is private";

    const std::string second =
        roundTrip(server.port(), submitRequest(buildScorePayload(makeRecord(9000, "Best"))));
    EXPECT_EQ(bodyOf(second), "[2]");
    EXPECT_NE(page.find("AMD Radeon RX 6800/6800 XT/6900 XT"), std::string::npos);
    const std::string list = bodyOf(httpGet(server.port(), "/scores?settings=all"));
    const size_t best = list.find(">9000</a>"), other = list.find(">4321</a>");
    ASSERT_NE(best, std::string::npos);
    ASSERT_NE(other, std::string::npos);
    EXPECT_LT(best, other);

    const std::string filtered =
        bodyOf(httpGet(server.port(), "/scores?settings=all&gpu=1002:73BF&page=1"));
    EXPECT_NE(filtered.find(">4321</a>"), std::string::npos);
    EXPECT_EQ(bodyOf(httpGet(server.port(), "/scores?gpu=10de:0001")).find(">4321</a>"),
              std::string::npos);

    const nlohmann::json api = nlohmann::json::parse(bodyOf(httpGet(server.port(), "/api/scores")));
    ASSERT_EQ(api["entries"].size(), 2u);
    EXPECT_EQ(api["entries"][0]["id"], 2);
    EXPECT_EQ(api["entries"][0]["rank"], 1);
    EXPECT_EQ(api["entries"][1]["nickname"], "Speedy b");
    const nlohmann::json entry =
        nlohmann::json::parse(bodyOf(httpGet(server.port(), "/api/entry?id=1")));
    EXPECT_EQ(entry["global_score"], 4321);
    EXPECT_EQ(entry["gpus"][0]["maxima"], "2500_1000_1150_71_99_280");
    EXPECT_FALSE(entry.contains("mac_address"));

    const std::string compare = bodyOf(httpGet(server.port(), "/compare?id=1"));
    EXPECT_NE(
        compare.find("Better than <b>0&nbsp;%</b> of 2 runs with this GPU and these settings"),
        std::string::npos)
        << compare;
    EXPECT_NE(compare.find("<svg"), std::string::npos);
}

TEST(ScoreServerOnLoopback, AnswersEveryPageAndRedirect) {
    LoopbackServer server;
    const std::pair<const char*, int> pages[] = {{"/", 200},
                                                 {"/latest", 200},
                                                 {"/news", 200},
                                                 {"/scores", 200},
                                                 {"/compare", 200},
                                                 {"/compare?id=5", 404},
                                                 {"/api/scores", 200},
                                                 {"/api/entry?id=5", 404},
                                                 {"/benchmarks/plashwerk_140_score.php?id=5", 404},
                                                 {"/redirect?id=1", 404},
                                                 {"/nowhere", 404}};
    for (const auto& [target, status] : pages) {
        EXPECT_EQ(statusOf(httpGet(server.port(), target)), status) << target;
    }
    EXPECT_NE(httpGet(server.port(), "/latest").find("1.5.4"), std::string::npos);

    const std::pair<const char*, const char*> redirects[] = {
        {"/redirect?id=11", "/"},         {"/redirect?id=302", "/latest"},
        {"/redirect?id=306", "/scores"},  {"/redirect?id=305&entry=12", "/compare?id=12"},
        {"/redirect?id=305", "/compare"}, {"/redirect?id=307", "/news"}};
    for (const auto& [target, location] : redirects) {
        const std::string reply = httpGet(server.port(), target);
        EXPECT_EQ(statusOf(reply), 302) << target;
        EXPECT_NE(reply.find("Location: " + std::string(location) + "\r\n"), std::string::npos)
            << target;
    }
}

// Under /api/ every refusal is JSON with its status, whoever made it: a route, a check
// before routing, or httplib's own 404.
TEST(ScoreServerOnLoopback, AnswersApiErrorsAsJson) {
    LoopbackServer server;
    for (const auto& [target, status] : {std::pair{"/api/entry?id=5", 404},
                                         {"/api/entry?id=x", 400},
                                         {"/api/scores?page=0", 400},
                                         {"/api/scores?settings=bogus", 400},
                                         {"/api/nowhere", 404}}) {
        const std::string reply = httpGet(server.port(), target);
        EXPECT_EQ(statusOf(reply), status) << target;
        EXPECT_NE(reply.find("Content-Type: application/json"), std::string::npos) << target;
        const nlohmann::json body = nlohmann::json::parse(bodyOf(reply), nullptr, false);
        ASSERT_TRUE(body.is_object()) << reply;
        EXPECT_TRUE(body["error"].is_string()) << reply;
    }
    const std::string long_target = "/api/scores?renderer=" + std::string(5000, 'r');
    const std::string too_long = httpGet(server.port(), long_target);
    EXPECT_EQ(statusOf(too_long), 414);
    EXPECT_TRUE(nlohmann::json::parse(bodyOf(too_long), nullptr, false).contains("error"));
    const std::string page = httpGet(server.port(), "/scores?settings=bogus");
    EXPECT_EQ(statusOf(page), 400);
    EXPECT_NE(page.find("<!DOCTYPE html>"), std::string::npos) << "pages keep HTML errors";
}

// Submissions from one address: a minute's worth at once, then 429 with the seconds to wait;
// behind a trusted proxy, each client address counts on its own, and a header from anyone
// else counts for nothing.
TEST(ScoreServerOnLoopback, LimitsSubmissionsPerClientAddress) {
    SiteSetup site;
    site.submit_per_minute = 3;
    site.trusted_proxies = {"127.0.0.2"};
    LoopbackServer server({}, site);
    const std::string payload = buildScorePayload(makeRecord(1000));
    const auto submitFrom = [&](const char* source, const std::string& forwarded) {
        std::string request = submitRequest(payload);
        if (!forwarded.empty())
            request.insert(request.find("\r\n") + 2, "X-Forwarded-For: " + forwarded + "\r\n");
        return roundTrip(server.port(), request, source);
    };
    for (int i = 0; i < 3; ++i) EXPECT_EQ(statusOf(submitFrom("127.0.0.1", "")), 200);
    // Not trusted: its header is ignored and the peer's bucket is empty.
    const std::string refused = submitFrom("127.0.0.1", "198.51.100.7");
    EXPECT_EQ(statusOf(refused), 429) << refused;
    EXPECT_NE(refused.find("Retry-After: 20\r\n"), std::string::npos) << refused;
    EXPECT_EQ(bodyOf(refused).find('['), std::string::npos);
    // Through the proxy: clients apart, the last address of the header counts.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(statusOf(submitFrom("127.0.0.2", "10.0.0.9, 198.51.100.7")), 200);
    EXPECT_EQ(statusOf(submitFrom("127.0.0.2", "198.51.100.7")), 429);
    EXPECT_EQ(statusOf(submitFrom("127.0.0.2", "198.51.100.8")), 200);
    EXPECT_EQ(server.store().count(), 7);
}

// Each hostile request, sent again and again: a 4xx reply (or, for bytes that are no HTTP at
// all, at most a closed connection), never an id, and the server answers a page afterwards.
TEST(ScoreServerOnLoopback, RefusesHostileRequestsStoresNothingAndKeepsAnswering) {
    ServerLimits limits;
    limits.request_timeout_ms = 300;  // the cut-short "binary" head waits for it
    test::LoopbackServer server(limits);
    const std::string good = buildScorePayload(makeRecord(1000));
    const ScrambledPayload scrambled = scrambleScorePayload(good);
    const std::string sum = std::to_string(scrambled.checksum);
    const auto submit = [](const std::string& query) {
        return "GET /benchmarks/plashwerk_140_submit.php?" + query + " HTTP/1.1\r\nHost: x\r\n\r\n";
    };
    std::string bad_hex = scrambled.hex;
    bad_hex[10] = 'G';
    const std::string fields35 = good.substr(0, good.rfind('|'));
    ScoreRecord wide = makeRecord(1000);
    wide.width = 40000;
    const std::string bracketed =  // a refused field's text must not read as an id
        good.substr(0, good.find("tester")) + "[77]" + good.substr(good.find("tester") + 6);

    const std::vector<std::pair<std::string, std::string>> requests = {
        {"bad hex", submit("d=" + bad_hex + "&s=" + sum)},
        {"odd length", submit("d=" + scrambled.hex.substr(1) + "&s=" + sum)},
        {"wrong checksum",
         submit("d=" + scrambled.hex + "&s=" + std::to_string(scrambled.checksum + 1))},
        {"35 fields", submitRequest(fields35)},
        {"37 fields", submitRequest(good + "|NULL")},
        {"out of range", submitRequest(buildScorePayload(wide))},
        {"bracket in a field", submitRequest(bracketed)},
        {"no checksum", submit("d=" + scrambled.hex)},
        {"two payloads", submit("d=" + scrambled.hex + "&d=" + bad_hex + "&s=" + sum)},
        {"10 MB query", submit("d=" + std::string(10 << 20, 'A') + "&s=1")},
        {"binary", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\0\0\xff\r\n\r\n", 17)},
        {"bad id",
         "GET /benchmarks/plashwerk_140_score.php?id=1%27%20OR%20%271%27%3D%271 HTTP/1.1\r\n\r\n"},
        {"bad page", "GET /scores?page=-1 HTTP/1.1\r\n\r\n"},
        {"bad gpu", "GET /scores?gpu=zzzz:0000 HTTP/1.1\r\n\r\n"},
        {"long renderer", "GET /scores?renderer=" + std::string(200, 'r') + " HTTP/1.1\r\n\r\n"},
        {"huge body",
         "GET / HTTP/1.1\r\nContent-Length: 100000\r\n\r\n" + std::string(100000, 'x')},
    };
    for (int round = 0; round < 3; ++round) {
        for (const auto& [name, request] : requests) {
            const std::string reply = roundTrip(server.port(), request);
            const int status = statusOf(reply);
            if (name == "binary" || name == "10 MB query") {
                EXPECT_TRUE(status == 0 || (status >= 400 && status < 500))
                    << name << ": " << reply;
            } else {
                EXPECT_GE(status, 400) << name << ": " << reply;
                EXPECT_LT(status, 500) << name << ": " << reply;
            }
            EXPECT_EQ(bodyOf(reply).find('['), std::string::npos) << name;
            EXPECT_EQ(statusOf(httpGet(server.port(), "/scores")), 200) << "after " << name;
        }
    }
    EXPECT_EQ(server.store().count(), 0);
    EXPECT_EQ(bodyOf(roundTrip(server.port(), submitRequest(good))), "[1]");
}

// The renderer filter takes the client's longest text, 127 characters, and no more.
TEST(ScoreServerOnLoopback, TakesARendererFilterOfExactlyItsLengthLimit) {
    LoopbackServer server;
    ScoreEntry entry = test::makeEntry(777, std::string(127, 'R'));
    ASSERT_EQ(server.store().insert(entry), 1);
    for (const char* path : {"/scores", "/api/scores"}) {
        const std::string at_limit = httpGet(
            server.port(), std::string(path) + "?settings=all&renderer=" + std::string(127, 'R'));
        EXPECT_EQ(statusOf(at_limit), 200) << path;
        EXPECT_NE(bodyOf(at_limit).find("777"), std::string::npos) << path;
        EXPECT_EQ(statusOf(httpGet(server.port(),
                                   std::string(path) + "?renderer=" + std::string(128, 'R'))),
                  400)
            << path;
    }
}

// A server dropped the moment it is made must still stop: its stop may not be lost to a
// thread that has not begun to listen yet.
TEST(ScoreServerOnLoopback, StopsWhenDestroyedRightAfterItIsMade) {
    for (int i = 0; i < 20; ++i) {
        LoopbackServer server;
        EXPECT_GT(server.port(), 0);
    }
    LoopbackServer answering;
    EXPECT_EQ(statusOf(httpGet(answering.port(), "/scores")), 200);
}

}  // namespace
}  // namespace plashwerk::server
