#include "results/score_site.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace plashwerk {
namespace {

TEST(ScoreSite, ReadsHostAndPort) {
    struct Case {
        const char* text;
        const char* host;
        int port;
    };
    const Case good[] = {
        {"localhost", "localhost", 80},  {"scores.example.org:8080", "scores.example.org", 8080},
        {"127.0.0.1:1", "127.0.0.1", 1}, {"my_host-2:65535", "my_host-2", 65535},
        {"[::1]:8080", "::1", 8080},     {"[fe80::1%eth0]", "fe80::1%eth0", 80},
    };
    for (const Case& c : good) {
        ScoreSite site;
        std::string problem;
        ASSERT_TRUE(parseScoreSite(c.text, site, problem)) << c.text << ": " << problem;
        EXPECT_EQ(site.host, c.host);
        EXPECT_EQ(site.port, c.port) << c.text;
    }
}

TEST(ScoreSite, RefusesBadAddressesAndKeepsTheSite) {
    const char* bad[] = {
        "",          ":8080",     "host:",    "host:0",     "host:65536", "host:99999999999",
        "host:80x",  "host:-1",   "host:+80", "host:80:81", "ho st",      "host\r\nX-Injected: 1",
        "user@host", "host/path", "[::1",     "[::1]x",     "[]:80",      "::1"};
    for (const char* text : bad) {
        ScoreSite site{"kept", 1234};
        std::string problem;
        EXPECT_FALSE(parseScoreSite(text, site, problem)) << text;
        EXPECT_FALSE(problem.empty()) << text;
        EXPECT_EQ(site, (ScoreSite{"kept", 1234})) << text;
    }
    EXPECT_FALSE([] {
        ScoreSite site;
        std::string problem;
        return parseScoreSite(std::string(254, 'a'), site, problem);
    }());
}

TEST(ScoreSite, CommandLineWinsThenEnvironmentThenDefault) {
    EXPECT_EQ(resolveScoreSite("cli.example:81", "env.example:82"), (ScoreSite{"cli.example", 81}));
    EXPECT_EQ(resolveScoreSite("", "env.example:82"), (ScoreSite{"env.example", 82}));
    EXPECT_EQ(resolveScoreSite(nullptr, "env.example"), (ScoreSite{"env.example", 80}));
    EXPECT_EQ(resolveScoreSite(nullptr, nullptr), (ScoreSite{"localhost", 80}));
    EXPECT_EQ(resolveScoreSite("", ""), (ScoreSite{"localhost", 80}));
    // A bad text falls through to the next source.
    EXPECT_EQ(resolveScoreSite("cli:0", "env.example:82"), (ScoreSite{"env.example", 82}));
    EXPECT_EQ(resolveScoreSite("cli:0", "env:x"), (ScoreSite{"localhost", 80}));

    ::setenv(kScoreServerEnvironment, "from-env:8181", 1);
    EXPECT_EQ(currentScoreSite(""), (ScoreSite{"from-env", 8181}));
    EXPECT_EQ(currentScoreSite("cli"), (ScoreSite{"cli", 80}));
    ::unsetenv(kScoreServerEnvironment);
    EXPECT_EQ(currentScoreSite(""), (ScoreSite{"localhost", 80}));
}

TEST(ScoreSite, BuildsTheAddressesOfItsPages) {
    const ScoreSite plain{"scores.example.org", 80};
    const ScoreSite ported{"127.0.0.1", 8080};
    const ScoreSite v6{"::1", 8080};
    EXPECT_EQ(scoreSiteAuthority(plain), "scores.example.org");
    EXPECT_EQ(scoreSiteAuthority(ported), "127.0.0.1:8080");
    EXPECT_EQ(scoreSiteAuthority(v6), "[::1]:8080");
    EXPECT_EQ(scoreRedirectUrl(plain, kRedirectScores),
              "http://scores.example.org/redirect?id=306");
    EXPECT_EQ(scoreRedirectUrl(ported, kRedirectCompare, 42),
              "http://127.0.0.1:8080/redirect?id=305&entry=42");
    EXPECT_EQ(scoreRedirectUrl(v6, kRedirectHome), "http://[::1]:8080/redirect?id=11");
    EXPECT_EQ(scoreEntryUrl(ported, 7),
              "http://127.0.0.1:8080/benchmarks/plashwerk_140_score.php?id=7");
    EXPECT_EQ(scoreSubmitPath("6A69", 131), "/benchmarks/plashwerk_140_submit.php?d=6A69&s=131");
}

}  // namespace
}  // namespace plashwerk
