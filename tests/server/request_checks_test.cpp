// What the routes accept before touching the store: ids, pages, GPU filters, redirect ids,
// the submission's decoding into an entry, and the server's command line.

#include <gtest/gtest.h>

#include "server/options.h"
#include "server/routes.h"
#include "server/submission.h"
#include "tests/server/server_test_support.h"

namespace plashwerk::server {
namespace {

TEST(RequestChecks, IdsPagesAndGpuFilters) {
    EXPECT_EQ(parseId("1"), 1);
    EXPECT_EQ(parseId("9223372036854775807"), INT64_MAX);
    for (const char* bad : {"", "0", "-1", "+1", " 1", "1 ", "1e3", "0x10", "9223372036854775808",
                            "99999999999999999999", "1' OR '1'='1"}) {
        EXPECT_FALSE(parseId(bad)) << bad;
    }
    EXPECT_EQ(parsePage("1"), 1);
    EXPECT_EQ(parsePage("100000"), 100000);
    for (const char* bad : {"", "0", "100001", "-2", "2.5", "9999999999"}) {
        EXPECT_FALSE(parsePage(bad)) << bad;
    }
    const std::optional<GpuId> gpu = parseGpu("10DE:2684");
    ASSERT_TRUE(gpu);
    EXPECT_EQ(gpu->vendor_id, 0x10de);
    EXPECT_EQ(gpu->device_id, 0x2684);
    for (const char* bad : {"", "10de", "10de:268", "10de-2684", "10de:2684 ", "zzzz:0000",
                            "+1de:2684", "10de:-684"}) {
        EXPECT_FALSE(parseGpu(bad)) << bad;
    }
}

TEST(RequestChecks, RedirectIdsGoToTheirPages) {
    EXPECT_EQ(redirectTarget(11, std::nullopt), "/");
    EXPECT_EQ(redirectTarget(302, std::nullopt), "/latest");
    EXPECT_EQ(redirectTarget(306, 5), "/scores");
    EXPECT_EQ(redirectTarget(305, 42), "/compare?id=42");
    EXPECT_EQ(redirectTarget(305, std::nullopt), "/compare");
    EXPECT_EQ(redirectTarget(307, std::nullopt), "/news");
    EXPECT_FALSE(redirectTarget(1, std::nullopt));
    EXPECT_FALSE(redirectTarget(303, std::nullopt));
}

TEST(Submission, DecodesTheProgramsRecordIntoAnEntryWithoutThePassword) {
    ScoreRecord record = test::makeRecord(2468, "");
    record.account_password = "secret";
    record.gpus[1] = {true, 0x10de, 0x2684, 2100, 10500, 1050, 66, 97, 350};
    const ScrambledPayload sent = scrambleScorePayload(buildScorePayload(record));
    ScoreEntry entry;
    std::string error;
    ASSERT_TRUE(decodeSubmission(sent.hex, std::to_string(sent.checksum), entry, error)) << error;
    EXPECT_EQ(entry.global_score, 2468);
    EXPECT_EQ(entry.nickname, "Anonymous");
    EXPECT_EQ(entry.renderer, "AMD Radeon RX 6900 XT navi21 LLVM 15.0.6");
    EXPECT_EQ(entry.mac_address, "0A-1B-2C-3D-4E-5F");
    EXPECT_EQ(entry.temperatures, "40_71");
    EXPECT_EQ(entry.clocks, "2500_1000_0");
    EXPECT_EQ(entry.run_details, "2468_1500_2600_60000_4_1_0_1_8_250_1_2_55_41_1");
    EXPECT_EQ(parseRunDetails(entry.run_details).fps_avg, 41);
    EXPECT_EQ(entry.gpus[0].maxima, "2500_1000_1150_71_99_280");
    EXPECT_EQ(entry.gpus[1].vendor_id, 0x10de);
    EXPECT_EQ(entry.gpus[1].maxima, "2100_10500_1050_66_97_350");
    EXPECT_EQ(entry.gpus[2].maxima, "0_0_0");
    EXPECT_EQ(entry.account_email, "NULL");
    EXPECT_EQ(entry.id, 0);
}

TEST(Submission, ARefusedSubmissionLeavesTheEntryAsItWas) {
    const ScrambledPayload sent = scrambleScorePayload(buildScorePayload(test::makeRecord(1)));
    ScoreEntry entry = test::makeEntry(31);
    std::string error;
    EXPECT_FALSE(decodeSubmission(sent.hex, std::to_string(sent.checksum + 1), entry, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(decodeSubmission(sent.hex.substr(2), std::to_string(sent.checksum), entry, error));
    EXPECT_FALSE(decodeSubmission("", "0", entry, error));
    EXPECT_EQ(entry.global_score, 31);
}

TEST(ServerOptions, ReadsEveryOptionAndRefusesBadOnes) {
    ServerOptions options;
    std::string error;
    ASSERT_TRUE(parseServerOptions({"--port", "9090", "--db=x.sqlite", "--threads", "4", "--bind",
                                    "0.0.0.0", "--request-timeout", "2", "--max-per-address=64"},
                                   options, error))
        << error;
    EXPECT_EQ(options.request_timeout, 2);
    EXPECT_EQ(options.max_per_address, 64);
    EXPECT_EQ(options.port, 9090);
    EXPECT_EQ(options.db_path, "x.sqlite");
    EXPECT_EQ(options.threads, 4);
    EXPECT_EQ(options.bind_address, "0.0.0.0");

    const ServerOptions defaults;
    EXPECT_EQ(defaults.port, 8080);
    EXPECT_EQ(defaults.bind_address, "127.0.0.1");
    EXPECT_NE(serverUsage().find("default 127.0.0.1"), std::string::npos);

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--port"},
                                               {"--port", "65536"},
                                               {"--port", "80x"},
                                               {"--threads", "0"},
                                               {"--request-timeout", "0"},
                                               {"--max-per-address", "0"},
                                               {"--db="},
                                               {"--verbose"},
                                               {"8080"}}) {
        ServerOptions untouched;
        EXPECT_FALSE(parseServerOptions(bad, untouched, error)) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    ServerOptions help;
    EXPECT_TRUE(parseServerOptions({"--help"}, help, error));
    EXPECT_TRUE(help.help);
}

}  // namespace
}  // namespace plashwerk::server
