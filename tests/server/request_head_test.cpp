// The checks of a request's head before a worker sees it: limits at their edges, the body's
// length, and the lines left out of what httplib reads.

#include "server/request_head.h"

#include <gtest/gtest.h>

namespace plashwerk::server {
namespace {

using Verdict = HeadScan::Verdict;

std::string withLines(int count, const std::string& line = "X-A: b\r\n") {
    std::string head = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < count; ++i) head += line;
    return head;
}

TEST(RequestHead, HoldsTheLineAndByteLimitsWhateverArrivedSoFar) {
    const HeadLimits limits;  // 16 KiB, 100 lines
    EXPECT_EQ(scanRequestHead(withLines(100) + "\r\n", limits).verdict, Verdict::Complete);
    EXPECT_EQ(scanRequestHead(withLines(101) + "\r\n", limits).status, 431);
    // Refused as soon as the limit is passed, before the head ends.
    EXPECT_EQ(scanRequestHead(withLines(101), limits).status, 431);
    EXPECT_EQ(scanRequestHead(withLines(50), limits).verdict, Verdict::Incomplete);

    const std::string request_line = "GET / HTTP/1.1\r\n";
    const std::string fill(limits.max_bytes - request_line.size() - 2 - 5, 'x');
    const std::string at_limit = request_line + "A: " + fill + "\r\n\r\n";
    ASSERT_EQ(at_limit.size(), limits.max_bytes);
    EXPECT_EQ(scanRequestHead(at_limit, limits).verdict, Verdict::Complete);
    EXPECT_EQ(scanRequestHead(request_line + "A: " + fill + "x\r\n\r\n", limits).status, 431);
    // One endless line, or endless blank lines before the request line.
    EXPECT_EQ(scanRequestHead("GET /" + std::string(limits.max_bytes, 'a'), limits).status, 431);
    EXPECT_EQ(scanRequestHead(std::string(limits.max_bytes + 1, '\n'), limits).status, 431);
}

TEST(RequestHead, ReadsTheBodyLengthAndRefusesWhatNoRouteTakes) {
    const HeadLimits limits;
    const HeadScan scan = scanRequestHead("GET / HTTP/1.1\r\nContent-Length: 10\r\n\r\n", limits);
    EXPECT_EQ(scan.verdict, Verdict::Complete);
    EXPECT_EQ(scan.body_length, 10u);
    EXPECT_EQ(scan.head_length, 38u);
    const std::pair<const char*, int> refused[] = {
        {"Content-Length: 4097", 413},
        {"Content-Length: 99999999999999999999", 400},
        {"Content-Length: -1", 400},
        {"Content-Length: 1e3", 400},
        {"Content-Length: 5\r\nContent-Length: 6", 400},
        {"Transfer-Encoding: chunked", 411},
        {" folded: line", 400},
        {"no colon", 400},
    };
    for (const auto& [line, status] : refused) {
        EXPECT_EQ(
            scanRequestHead("GET / HTTP/1.1\r\n" + std::string(line) + "\r\n\r\n", limits).status,
            status)
            << line;
    }
    EXPECT_EQ(scanRequestHead("GET / HTTP/1.1\r\nContent-Length: 4096\r\n\r\n", limits).verdict,
              Verdict::Complete);
}

TEST(RequestHead, PassesTheHeadOnWithoutRangeIfRangeAndExpect) {
    const HeadScan scan = scanRequestHead(
        "\r\nGET /scores HTTP/1.1\r\nHost: x\r\nrange: bytes=0-,0-\r\nIf-Range: x\r\n"
        "Expect: 100-continue\r\nContent-Length: 2\r\n\r\nabGET",
        HeadLimits{});
    ASSERT_EQ(scan.verdict, Verdict::Complete);
    EXPECT_EQ(scan.head, "GET /scores HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n");
    EXPECT_TRUE(scan.expects_continue);
    EXPECT_EQ(scan.body_length, 2u);
    EXPECT_EQ(scan.head_length, 109u);
}

}  // namespace
}  // namespace plashwerk::server
