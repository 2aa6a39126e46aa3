#include "results/score_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace plashwerk {
namespace {

// A machine with two GPUs, an empty nickname, e-mail and password, and texts that need
// cleaning.
ScoreRecord twoGpuRecord() {
    ScoreRecord r;
    r.global_score = 1913;
    r.max_time_ms = 60000;
    r.time_based = 1;
    r.width = 1280;
    r.height = 720;
    r.msaa = 4;
    r.fullscreen = 0;
    r.gpu_vendor_id = 0x10DE;
    r.gpu_device_id = 7045;
    r.cpu_mhz = 3600;
    r.gpu_count = 2;
    r.cpu_name = "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz";
    r.os_name = "Debian GNU/Linux 13 (trixie)";
    r.renderer = "NVIDIA GeForce RTX 2080/PCIe/SSE2";
    r.driver = "4.6.0 NVIDIA 535.104.05";
    r.mac_address = "00-1A-2B-3C-4D-5E";
    r.physx_system_version = 2083;
    r.physx_device = 2;
    r.start_temperature = 41;
    r.end_temperature = 67;
    r.core_clock_max = 1905;
    r.memory_clock_max = 7000;
    r.run_details = {1913, 678, 1234, 60000, 8, 1, 0, 1, 10, 300, 1, 4, 113, 205, 0};
    r.gpus[0] = {true, 0x10DE, 7045, 1905, 7000, 1050, 67, 99, 215};
    r.gpus[1] = {true, 0x10DE, 7045, 1800, 7000, 1000, 60, 95, 200};
    return r;
}

TEST(ScoreCodec, CleaningKeepsTheAllowedCharactersAndNamesEmptyTextsNull) {
    EXPECT_EQ(cleanScoreText("NVIDIA GeForce RTX 2080/PCIe/SSE2"),
              "NVIDIA GeForce RTX 2080/PCIe/SSE2");
    EXPECT_EQ(cleanScoreText("Radeon (TM) RX 480, Graphics_x|y"), "Radeon TM RX 480 Graphicsxy");
    EXPECT_EQ(cleanScoreText("me@example.org #1"), "me@example.org #1");
    EXPECT_EQ(cleanScoreText(""), "NULL");
    // Nothing left after cleaning is no empty field either.
    EXPECT_EQ(cleanScoreText("(),;|"), "NULL");
    EXPECT_EQ(cleanScoreText("d\xC3\xA9j\xC3\xA0 vu"), "dj vu");
    // At most the first 127 characters of the source are looked at.
    const std::string longName = std::string(126, 'a') + "()" + std::string(10, 'b');
    EXPECT_EQ(cleanScoreText(longName), std::string(126, 'a'));
}

TEST(ScoreCodec, PayloadOfTwoGpusAndTwoEmptySlots) {
    EXPECT_EQ(buildScorePayload(twoGpuRecord()),
              "1913|60000|1|1280|720|4|0|4318|7045|3600|2|Anonymous|"
              "IntelR CoreTM i7-8700 CPU @ 3.20GHz|Debian GNU/Linux 13 trixie|"
              "NVIDIA GeForce RTX 2080/PCIe/SSE2|4.6.0 NVIDIA 535.104.05|00-1A-2B-3C-4D-5E|"
              "2083|2|41_67|1905_7000_0|1913_678_1234_60000_8_1_0_1_10_300_1_4_113_205_0|"
              "4318|7045|1905_7000_1050_67_99_215|4318|7045|1800_7000_1000_60_95_200|"
              "0|0|0_0_0|0|0|0_0_0|NULL|NULL");
}

TEST(ScoreCodec, PayloadTextsCannotAddFieldsAndLongPayloadsAreCut) {
    ScoreRecord r = twoGpuRecord();
    r.nickname = "a|b";
    r.mac_address = "0a-|1b";
    const std::string payload = buildScorePayload(r);
    EXPECT_NE(payload.find("|ab|"), std::string::npos);
    EXPECT_NE(payload.find("|0A-1B|"), std::string::npos);

    r.nickname = r.cpu_name = r.os_name = r.renderer = r.driver = r.account_email =
        r.account_password = std::string(200, 'x');
    EXPECT_EQ(buildScorePayload(r).size(), kScorePayloadMax);
}

TEST(ScoreCodec, ChecksumAndScramblingByHand) {
    // 'A' 0x41 ^ 0x2B = 0x6A, 'B' 0x42 ^ 0x2B = 0x69; 65 + 66 = 131.
    const ScrambledPayload ab = scrambleScorePayload("AB");
    EXPECT_EQ(ab.hex, "6A69");
    EXPECT_EQ(ab.checksum, 131u);
    // "0|x": 48 + 124 + 120; '|' 0x7C ^ 0x2B = 0x57.
    const ScrambledPayload bar = scrambleScorePayload("0|x");
    EXPECT_EQ(bar.hex, "1B5753");
    EXPECT_EQ(bar.checksum, 292u);
    // A byte above 0x7F counts as a negative number.
    EXPECT_EQ(scrambleScorePayload("\xFF").checksum, 0xFFFFFFFFu);
    EXPECT_EQ(scrambleScorePayload("\xFF"
                                   "A")
                  .checksum,
              64u);
}

TEST(ScoreCodec, RoundTripGivesTheCleanedRecordBack) {
    ScoreRecord sent = twoGpuRecord();
    sent.nickname = "Speedy (the 2nd)";
    sent.account_email = "me@example.org";
    sent.gpus[3] = {true, 0x1002, 0x67DF, 1266, 2000, 1150, 80, 100, 150};
    sent.start_temperature = -5;
    const ScrambledPayload wire = scrambleScorePayload(buildScorePayload(sent));
    const ScoreDecodeResult got = decodeScoreSubmission(wire.hex, std::to_string(wire.checksum));
    ASSERT_TRUE(got.ok) << got.error;

    ScoreRecord expected = sent;
    expected.nickname = "Speedy the 2nd";
    expected.cpu_name = "IntelR CoreTM i7-8700 CPU @ 3.20GHz";
    expected.os_name = "Debian GNU/Linux 13 trixie";
    expected.account_password = "NULL";
    EXPECT_EQ(got.record, expected);
    EXPECT_EQ(buildScorePayload(got.record), buildScorePayload(sent));

    // Lower-case hex is read as well.
    std::string lower = wire.hex;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(decodeScoreSubmission(lower, std::to_string(wire.checksum)).ok);
}

TEST(ScoreCodec, RoundTripOfEmptyTextsAndNoAdapterAddress) {
    ScoreRecord sent;
    sent.mac_address = "";
    const ScrambledPayload wire = scrambleScorePayload(buildScorePayload(sent));
    const ScoreDecodeResult got = decodeScoreSubmission(wire.hex, std::to_string(wire.checksum));
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(got.record.nickname, "Anonymous");
    EXPECT_EQ(got.record.renderer, "NULL");
    EXPECT_EQ(got.record.mac_address, "");
    EXPECT_FALSE(got.record.gpus[0].present);
}

std::string wireOf(std::string_view payload) {
    return scrambleScorePayload(payload).hex;
}
std::string sumOf(std::string_view payload) {
    return std::to_string(scrambleScorePayload(payload).checksum);
}

// A good payload of `length` characters: every text but the nickname at its 127 characters,
// the nickname taking up the rest. Built by hand, so it may be longer than the sender sends.
std::string payloadOfLength(std::size_t length) {
    ScoreRecord r = twoGpuRecord();
    r.cpu_name = r.os_name = r.renderer = r.driver = r.account_email = r.account_password =
        std::string(kScoreTextMax, 'x');
    r.nickname = "n";
    std::string payload = buildScorePayload(r);
    const std::size_t at = payload.find("|n|") + 1;
    payload.insert(at, length - payload.size(), 'n');
    return payload;
}

TEST(ScoreCodec, DecoderTakesTheLongestPayloadAndNotOneByteMore) {
    const std::string longest = payloadOfLength(kScorePayloadMax);
    ASSERT_EQ(longest.size(), 1023u);
    const ScoreDecodeResult got = decodeScoreSubmission(wireOf(longest), sumOf(longest));
    ASSERT_TRUE(got.ok) << got.error;
    EXPECT_EQ(buildScorePayload(got.record), longest);

    // One byte more is a good payload in every field, refused for its length alone.
    const std::string over = payloadOfLength(kScorePayloadMax + 1);
    ASSERT_TRUE(parseScorePayload(over).ok);
    const ScoreDecodeResult refused = decodeScoreSubmission(wireOf(over), sumOf(over));
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("longer than 1023"), std::string::npos) << refused.error;
}

TEST(ScoreCodec, DecoderRefusesBrokenHexAndChecksums) {
    const std::string payload = buildScorePayload(twoGpuRecord());
    const std::string hex = wireOf(payload);
    const std::string sum = sumOf(payload);
    EXPECT_FALSE(decodeScoreSubmission("", "0").ok);
    EXPECT_FALSE(decodeScoreSubmission(hex.substr(1), sum).ok);  // odd length
    std::string badDigit = hex;
    badDigit[10] = 'G';
    const ScoreDecodeResult bad = decodeScoreSubmission(badDigit, sum);
    EXPECT_FALSE(bad.ok);
    EXPECT_NE(bad.error.find("hex"), std::string::npos);
    // Scrambled NUL, newline and bytes above 0x7E are no text.
    EXPECT_FALSE(decodeScoreSubmission("2B", "0").ok);
    EXPECT_FALSE(decodeScoreSubmission("21", "10").ok);
    EXPECT_FALSE(decodeScoreSubmission("D4", "255").ok);
    EXPECT_FALSE(decodeScoreSubmission(std::string(2 * kScorePayloadMax + 2, 'A'), "0").ok);

    for (const char* wrongSum : {"", "12a", "-1", "+1", "4294967296", "99999999999"}) {
        EXPECT_FALSE(decodeScoreSubmission(hex, wrongSum).ok) << wrongSum;
    }
    const ScoreDecodeResult mismatch =
        decodeScoreSubmission(hex, std::to_string(std::stoul(sum) + 1));
    EXPECT_FALSE(mismatch.ok);
    EXPECT_NE(mismatch.error.find("checksum"), std::string::npos);
}

// Replaces field `index` (0-based) of a good payload.
std::string withField(std::size_t index, const std::string& value) {
    std::string payload = buildScorePayload(twoGpuRecord());
    std::size_t start = 0;
    for (std::size_t i = 0; i < index; ++i) start = payload.find('|', start) + 1;
    const std::size_t end = payload.find('|', start);
    payload.replace(start, end == std::string::npos ? std::string::npos : end - start, value);
    return payload;
}

TEST(ScoreCodec, ParserCountsTheFields) {
    const std::string good = buildScorePayload(twoGpuRecord());
    EXPECT_TRUE(parseScorePayload(good).ok);
    const ScoreDecodeResult fewer = parseScorePayload(good.substr(0, good.rfind('|')));
    EXPECT_FALSE(fewer.ok);
    EXPECT_NE(fewer.error.find("35 fields"), std::string::npos);
    EXPECT_FALSE(parseScorePayload(good + "|NULL").ok);
    EXPECT_FALSE(parseScorePayload("").ok);
}

TEST(ScoreCodec, ParserChecksEachFieldsTypeLengthAndRange) {
    struct Case {
        std::size_t field;
        std::string value;
    };
    const Case refused[] = {
        {0, "-1"},
        {0, "12x"},
        {0, ""},
        {0, "2147483648"},
        {0, "+5"},
        {2, "2"},
        {3, "40000"},
        {5, "65"},
        {7, "65536"},
        {10, "65"},
        {11, "bad,name"},
        {11, ""},
        {12, std::string(128, 'c')},
        {16, "00-1A-2B-3C-4D-5"},
        {16, "00:1A:2B:3C:4D:5E"},
        {16, "0a-1b"},
        {18, "3"},
        {19, "41"},
        {19, "41_67_0"},
        {19, "41_5000"},
        {20, "1905_7000"},
        {20, "1905_7000_1"},
        {21, "1_2_3"},
        {22, "-4"},
        {24, "1_2_3_4_5"},
        {24, "0_0"},
        {24, "1_2_3_4_200000_6"},
        {34, "a b|c"},
        {35, ""},
    };
    for (const Case& c : refused) {
        const ScoreDecodeResult r = parseScorePayload(withField(c.field, c.value));
        EXPECT_FALSE(r.ok) << "field " << c.field + 1 << " = \"" << c.value << "\"";
        if (!r.ok && c.field != 34) {
            EXPECT_NE(r.error.find("Field " + std::to_string(c.field + 1) + " "), std::string::npos)
                << r.error;
        }
    }
    const Case accepted[] = {{0, "2147483647"},
                             {16, ""},
                             {16, "00-11-22-33-44-55-66-77"},
                             {19, "-300_1000"},
                             {24, "0_0_0"}};
    for (const Case& c : accepted) {
        EXPECT_TRUE(parseScorePayload(withField(c.field, c.value)).ok)
            << "field " << c.field + 1 << " = \"" << c.value << "\"";
    }
}

}  // namespace
}  // namespace plashwerk
