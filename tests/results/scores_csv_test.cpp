// The scores file: its header and rows byte for byte, the quoting of texts that hold a
// comma, when the header is written, and files that are not what they should be.
#include "results/scores_csv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "results/results_json.h"
#include "tests/results/results_test_support.h"
#include "tests/support/blocking.h"
#include "tests/support/files.h"

namespace plashwerk {
namespace {

using test::slurp;
using test::writeFile;

// The columns a CSV reader finds in one line: commas outside double quotes split, two
// double quotes inside a quoted field are one.
std::vector<std::string> columns(const std::string& line) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            out.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

// The second row of the golden file: a software renderer whose name holds commas and
// quotes, from a short run on a machine without GPU readings.
RunRecord softwareRecord() {
    RunRecord r;
    r.renderer = "Mesa, Inc. \"llvmpipe\" (LLVM 15.0.6, 256 bits)";
    r.driver = "4.5 (Compatibility Profile) Mesa 22.3.6";
    r.width = 800;
    r.height = 600;
    r.max_time_ms = 1000;
    r.num_particles = 120000;
    r.result.global_score = 12;
    r.result.start_temperature = 20.0f;
    r.result.end_temperature = 21.0f;
    r.result.fps_avg = 7;
    r.result.fps_min = 5;
    r.result.fps_max = 9;
    return r;
}

class ScoresFile : public ::testing::Test {
  protected:
    test::TempFolder folder{"plashwerk_scores"};
    std::string path = folder.path() + "/Plashwerk_Scores.csv";
};

TEST(ScoresRows, HeaderIs199BytesWithTheSingleByteDegreeSign) {
    const std::string& header = scoresHeader();
    ASSERT_EQ(header.size(), 199u);
    EXPECT_EQ(header.back(), '\n');
    EXPECT_EQ(header.find('\r'), std::string::npos) << "Linux line ends";
    EXPECT_NE(header.find("GPU temp start(\xB0"
                          "C)"),
              std::string::npos);
    EXPECT_EQ(columns(header.substr(0, header.size() - 1)).size(), 18u);
}

TEST(ScoresRows, FieldsWithCommasOrQuotesAreQuotedAndOthersLeftAlone) {
    EXPECT_EQ(csvField("GeForce GTX 1080/PCIe/SSE2"), "GeForce GTX 1080/PCIe/SSE2");
    EXPECT_EQ(csvField(""), "");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");

    RunRecord r = softwareRecord();
    r.driver = "\"\",,\"";
    const std::string row = formatScoresRow(r);
    const std::vector<std::string> cells = columns(row.substr(0, row.size() - 1));
    ASSERT_EQ(cells.size(), 18u) << row;
    EXPECT_EQ(cells[0], r.renderer);
    EXPECT_EQ(cells[1], r.driver);
    EXPECT_EQ(cells[17], "120000");
}

TEST(ScoresRows, TextsLongerThanAnyLineBufferAreKeptWhole) {
    RunRecord r = softwareRecord();
    r.renderer = std::string(600, 'r');
    const std::string row = formatScoresRow(r);
    EXPECT_EQ(row.rfind(std::string(600, 'r') + ",4.5 (Compat", 0), 0u);
    EXPECT_EQ(columns(row.substr(0, row.size() - 1)).size(), 18u);
}

// The first benchmark starts the file with the header; later ones add a row each.
TEST_F(ScoresFile, HeaderOnceThenOneRowPerRunMatchesTheGoldenFile) {
    ASSERT_TRUE(appendScoresRow(path.c_str(), test::knownRecord()));
    ASSERT_TRUE(appendScoresRow(path.c_str(), softwareRecord()));
    const std::string golden = slurp(PLASHWERK_TEST_DATA "/scores_golden.csv");
    ASSERT_EQ(golden.size(), 476u);
    EXPECT_EQ(slurp(path), golden);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777 & ~0644, 0u) << "no execute or world-write bits";
}

TEST_F(ScoresFile, AFileWithContentNeverGetsAHeader) {
    writeFile(path, "my own first line\n");
    ASSERT_TRUE(appendScoresRow(path.c_str(), softwareRecord()));
    EXPECT_EQ(slurp(path), "my own first line\n" + formatScoresRow(softwareRecord()));
}

// An empty file has nothing a header could disagree with: it is started like a new one.
TEST_F(ScoresFile, AnEmptyFileIsStartedWithTheHeader) {
    writeFile(path, "");
    ASSERT_TRUE(appendScoresRow(path.c_str(), softwareRecord()));
    EXPECT_EQ(slurp(path), scoresHeader() + formatScoresRow(softwareRecord()));
}

// A last row without its line end (cut off, or edited by hand) keeps its own line.
TEST_F(ScoresFile, ALastLineWithoutItsLineEndIsEndedFirst) {
    const std::string old = scoresHeader() + "a,b,1";
    writeFile(path, old);
    ASSERT_TRUE(appendScoresRow(path.c_str(), softwareRecord()));
    EXPECT_EQ(slurp(path), old + "\n" + formatScoresRow(softwareRecord()));
}

TEST_F(ScoresFile, PlacesThatCannotHoldTheFileFailWithoutBlockingOrChangingThem) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        appendScoresRow((folder.path() + "/missing/scores.csv").c_str(), softwareRecord()));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("could not append the scores row to " + folder.path() + "/missing"),
              std::string::npos)
        << said;

    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(appendScoresRow(path.c_str(), softwareRecord()));
    testing::internal::GetCapturedStderr();
    rmdir(path.c_str());

    test::Fifo fifo(path);
    bool appended = true;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(test::finishes([&] { appended = appendScoresRow(path.c_str(), softwareRecord()); },
                               [&] { fifo.unblock(); }));
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(appended);
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the pipe is left in place";
}

// What a finished run leaves: a row only for a benchmark with log_score, the document for
// any run with a path.
TEST_F(ScoresFile, OnlyABenchmarkWithLogScoreWritesARow) {
    KeepSettings o;
    RunRecord r = test::knownRecord();

    EXPECT_TRUE(keepFinishedBenchmark(r, o, path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(path)) << "without log_score nothing is created";

    o.log_score = true;
    o.results_json = folder.path() + "/results.json";
    r.run_mode = RunMode::StabilityTest;
    EXPECT_TRUE(keepFinishedBenchmark(r, o, path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(path)) << "a stability test leaves no scores row";
    EXPECT_EQ(slurp(o.results_json), formatResultsJson(r)) << "but its document";

    r.run_mode = RunMode::Benchmark;
    EXPECT_TRUE(keepFinishedBenchmark(r, o, path.c_str()));
    EXPECT_EQ(slurp(path), scoresHeader() + formatScoresRow(r));
    EXPECT_EQ(slurp(o.results_json), formatResultsJson(r));

    // The document lost is a failure for whoever asked for it; the row is still written.
    o.results_json = folder.path() + "/missing/results.json";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(keepFinishedBenchmark(r, o, path.c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(slurp(path), scoresHeader() + formatScoresRow(r) + formatScoresRow(r));
}

}  // namespace
}  // namespace plashwerk
