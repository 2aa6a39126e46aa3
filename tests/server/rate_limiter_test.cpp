// Submissions per address: a minute's worth at once, then one per interval; the wait told
// is the time to the next token; only a trusted proxy's header names the client.

#include "server/rate_limiter.h"

#include <gtest/gtest.h>

namespace plashwerk::server {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(RateLimiter, BurstThenOneTokenPerIntervalPerAddress) {
    RateLimiter limiter(10, 10);  // one token every 6 s
    const RateLimiter::Clock::time_point start{};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(limiter.take("a", start), 0) << i;
    EXPECT_EQ(limiter.take("a", start), 6);
    EXPECT_EQ(limiter.take("b", start), 0) << "another address has its own bucket";
    EXPECT_EQ(limiter.take("a", start + milliseconds(5500)), 1);
    EXPECT_EQ(limiter.take("a", start + seconds(6)), 0);
    EXPECT_EQ(limiter.take("a", start + seconds(6)), 6);
    // A long pause fills the bucket to its size, no further.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(limiter.take("a", start + seconds(3600)), 0) << i;
    EXPECT_GT(limiter.take("a", start + seconds(3600)), 0);
    // A clock that goes back takes nothing away and gives nothing.
    EXPECT_GT(limiter.take("a", start), 0);
}

TEST(RateLimiter, OffAtZeroAndForgetsAddressesWhoseBucketsRefilled) {
    RateLimiter off(0, 0);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(off.take("a"), 0);
    RateLimiter limiter(60, 1);
    const RateLimiter::Clock::time_point start{};
    // 20 000 addresses, a thousand every two seconds (a bucket refills in one): the ones
    // whose buckets are full again are dropped, so only the recent ones are kept.
    for (int round = 0; round < 20; ++round) {
        for (int i = 0; i < 1000; ++i)
            limiter.take(std::to_string(round) + "." + std::to_string(i),
                         start + seconds(2 * round));
    }
    EXPECT_LT(limiter.tracked(), 4000u);
    EXPECT_GT(limiter.take("19.1", start + seconds(38)), 0) << "a recent address is still known";
}

TEST(RateLimiter, ClientAddressBelievesOnlyTrustedProxies) {
    const std::vector<std::string> proxies = {"127.0.0.1", "::1"};
    EXPECT_EQ(clientAddress("203.0.113.5", "198.51.100.1", proxies), "203.0.113.5");
    EXPECT_EQ(clientAddress("127.0.0.1", "", proxies), "127.0.0.1");
    EXPECT_EQ(clientAddress("127.0.0.1", "198.51.100.1", proxies), "198.51.100.1");
    EXPECT_EQ(clientAddress("::1", "10.1.1.1, 2001:db8::7 ", proxies), "2001:db8::7");
    for (const char* bad : {"unknown", "1.2.3.4, ", "1.2.3.4,<script>", "a b"})
        EXPECT_EQ(clientAddress("127.0.0.1", bad, proxies), "127.0.0.1") << bad;
}

}  // namespace
}  // namespace plashwerk::server
