// Runs the built program in a temporary folder, as a script would, and checks its exit
// status, its output and the files it leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "app/startup_dialog_view.h"
#include "platform/window/menu_bar.h"
#include "platform/window/window.h"
#include "tests/support/files.h"

namespace {

using plashwerk::test::slurp;

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

struct Result {
    int status = -1;
    std::string out, err;
};

class Program : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/plashwerk_process_XXXXXX";
        dir = mkdtemp(pattern);
        // The program reads its options file from its own folder: give it a folder of its
        // own, apart from the working directory it writes into.
        bin_dir = dir + "/bin";
        work_dir = dir + "/work";
        mkdir(bin_dir.c_str(), 0755);
        mkdir(work_dir.c_str(), 0755);
        // A run reads its pictures from data/ in the working directory.
        ASSERT_EQ(symlink(PLASHWERK_DATA_DIR, (work_dir + "/data").c_str()), 0);
        exe = bin_dir + "/plashwerk";
        ASSERT_EQ(std::system(("cp '" PLASHWERK_EXE "' '" + exe + "'").c_str()), 0);
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    pid_t spawn(const std::vector<std::string>& args, const std::string& cwd = "",
                const std::vector<std::string>& launcher = {}) {
        const std::string out_path = dir + "/stdout", err_path = dir + "/stderr";
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir((cwd.empty() ? work_dir : cwd).c_str()) != 0) _exit(120);
            int out = stdout_fd >= 0 ? stdout_fd
                                     : open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            if (!display_name.empty()) {
                setenv("DISPLAY", display_name.c_str(), 1);
                unsetenv("WAYLAND_DISPLAY");
            } else {
                unsetenv("DISPLAY");
                unsetenv("WAYLAND_DISPLAY");
            }
            std::vector<char*> argv;
            for (const std::string& a : launcher) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(const_cast<char*>(exe.c_str()));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(121);
        }
        return pid;
    }
    Result finish(pid_t pid) {
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        return collect(wstatus);
    }
    // The status of an ended program with what it wrote.
    Result collect(int wstatus) {
        Result r;
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        r.out = slurp(dir + "/stdout");
        r.err = slurp(dir + "/stderr");
        return r;
    }
    Result run(const std::vector<std::string>& args, const std::string& cwd = "") {
        return finish(spawn(args, cwd));
    }
    // Like run, with standard output on `fd` (closed here once the program has it).
    Result runWithStandardOutput(int fd, const std::vector<std::string>& args) {
        stdout_fd = fd;
        const pid_t pid = spawn(args);
        stdout_fd = -1;
        close(fd);
        return finish(pid);
    }
    // Waits for the program, killing it when it has not ended after `seconds`: a guard
    // against a hang, not a measure of speed.
    Result finishWithin(pid_t pid, int seconds) {
        for (int waited_ms = 0; waited_ms < seconds * 1000; waited_ms += 100) {
            int wstatus = 0;
            if (waitpid(pid, &wstatus, WNOHANG) == pid) return collect(wstatus);
            usleep(100000);
        }
        kill(pid, SIGKILL);
        ADD_FAILURE() << "still running " << seconds << " s after the stop\n" << traceLog();
        return finish(pid);
    }
    // Waits until the trace log shows `line`; false when the program ended first.
    bool waitUntilLogged(pid_t pid, const std::string& line) {
        while (traceLog().find(line) == std::string::npos) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                ADD_FAILURE() << "ended before logging: " << line << "\n" << traceLog();
                return false;
            }
            usleep(20000);
        }
        return true;
    }
    // Runs until the trace log shows `line`, then stops the program the way a script ends
    // a stability test: with SIGTERM.
    Result runUntilLogged(const std::vector<std::string>& args, const std::string& line) {
        std::remove((work_dir + "/Plashwerk_trace.log").c_str());
        const pid_t pid = spawn(args);
        if (!waitUntilLogged(pid, line)) return Result{};
        kill(pid, SIGTERM);
        return finish(pid);
    }
    // A run that fills its fluids within a second of simulated time: four emitters of 300
    // particles per second living one second each.
    void writeQuickRunOptions(const std::string& extra = "") {
        std::ofstream(bin_dir + "/startup_options.xml")
            << "<plashwerk><startup_options use_particle_count=\"0\" particles_rate=\"300\" "
               "particles_lifetime=\"1.0\" "
            << extra << "/></plashwerk>";
    }
    // A benchmark over in seconds: particles that live a tenth of a second fill the fluids
    // within a few frames, and nothing is drawn. Used with kShortBenchmark.
    void writeShortRunOptions() {
        std::ofstream(bin_dir + "/startup_options.xml")
            << "<plashwerk><startup_options use_particle_count=\"0\" particles_rate=\"300\" "
               "particles_lifetime=\"0.1\" render_scene=\"0\"/></plashwerk>";
    }
    std::string traceLog() { return slurp(work_dir + "/Plashwerk_trace.log"); }

    std::string dir, bin_dir, work_dir, exe;
    int stdout_fd = -1;        ///< where the next program's standard output goes; -1: a file
    std::string display_name;  ///< when set, the program's display; else none
};

const std::vector<std::string> kShortBenchmark = {"/nogui", "/run_mode=1", "/max_time=1000",
                                                  "/width=320", "/height=240"};

// How often `text` occurs in `in`.
size_t count(const std::string& in, const std::string& text) {
    size_t n = 0;
    for (size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + 1)) ++n;
    return n;
}

// Standard error less the progress lines of a run without a window.
std::string withoutProgress(const std::string& err) {
    std::istringstream in(err);
    std::string kept;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("Fluid initialization: ", 0) != 0 && line != "WARMING-UP..." &&
            line.find(" % - GraphX FPS: ") == std::string::npos)
            kept += line + "\n";
    return kept;
}

// Whether every line shows in `log`, in the given order.
template <size_t N>
::testing::AssertionResult inOrder(const std::string& log, const char* const (&lines)[N]) {
    size_t at = 0;
    for (const char* line : lines) {
        const size_t found = log.find(line, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "missing or out of order: " << line << "\n"
                                                 << log;
        at = found;
    }
    return ::testing::AssertionSuccess();
}

TEST_F(Program, VersionShowsTheBoxAndStartsNothingElse) {
    Result r = run({"/version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Plashwerk v1.5.4"), std::string::npos) << r.out;
    const std::string log = traceLog();
    EXPECT_NE(log.find("Plashwerk 1.5.4 startup..."), std::string::npos);
    EXPECT_EQ(log.find("Checking NVIDIA PhysX hardware..."), std::string::npos);
}

TEST_F(Program, VersionFromTheOptionsFileInTheProgramFolder) {
    std::ofstream(bin_dir + "/startup_options.xml")
        << "<plashwerk><startup_options display_version=\"1\"/></plashwerk>";
    Result r = run({"/nogui"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Plashwerk v1.5.4"), std::string::npos);
    // An options file in the working directory is not the one that is read.
    writeQuickRunOptions();
    std::ofstream(work_dir + "/startup_options.xml")
        << "<plashwerk><startup_options display_version=\"1\"/></plashwerk>";
    EXPECT_EQ(run({"/nogui", "/run_mode=1", "/max_time=1000"}).out.find("v1.5.4"),
              std::string::npos);
}

TEST_F(Program, StartWithoutDialogLogsStartUpAndShutDownInOrder) {
    writeQuickRunOptions();
    Result r = run({"/nogui", "/run_mode=1", "/max_time=1000"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string log = traceLog();
    const char* expected[] = {
        "Plashwerk 1.5.4 startup...",
        "Checking NVIDIA PhysX hardware...",
        "NVIDIA PhysX engine version 2.8.4 successfully started.",
        "NVIDIA PhysX engine - found 0 PhysX GPU(s).",
        "Plashwerk shutdown OK.",
    };
    ASSERT_TRUE(inOrder(log, expected));
    EXPECT_FALSE(exists(work_dir + "/startup_options.xml"))
        << "a start without dialog never writes the options file";
}

TEST_F(Program, DialogWithoutDisplayFailsAndPointsToNogui) {
    Result r = run({});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("/nogui"), std::string::npos) << r.err;
}

// Every start-up step that fails with its message ends the program with status 1, so a
// script can tell a failed start from a finished run.
TEST_F(Program, FailedStartsEndWithStatusOne) {
    writeQuickRunOptions();
    Result r = run({"/nogui", "/msaa=-1", "/run_mode=1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Could not create a render window. Plashwerk startup failed."),
              std::string::npos)
        << r.err;

    // A working directory without the data folder, then with a damaged picture, then with
    // a FIFO in its place (which must not be waited on).
    const std::string bare = dir + "/bare";
    mkdir(bare.c_str(), 0755);
    mkdir((bare + "/data").c_str(), 0755);
    for (int variant = 0; variant < 3; ++variant) {
        const std::string smiley = bare + "/data/smiley.jpg";
        std::remove(smiley.c_str());
        if (variant == 1) std::ofstream(smiley) << "not a picture";
        if (variant == 2) ASSERT_EQ(mkfifo(smiley.c_str(), 0600), 0);
        r = run({"/nogui", "/run_mode=1", "/max_time=1000"}, bare);
        EXPECT_EQ(r.status, 1) << "variant " << variant;
        EXPECT_NE(r.err.find("could not load particle texture!"), std::string::npos)
            << "variant " << variant << ": " << r.err;
    }

    // No emitter can live a negative time: the run ends at once instead of filling for ever.
    std::ofstream(bin_dir + "/startup_options.xml")
        << "<plashwerk><startup_options particles_lifetime=\"-5\"/></plashwerk>";
    r = run({"/nogui", "/run_mode=1", "/max_time=1000"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No fluid emitter could be created. Plashwerk startup failed."),
              std::string::npos)
        << r.err;
}

TEST_F(Program, HelpPrintsTheOptionsAndStartsNothing) {
    for (const char* ask : {"--help", "-h", "/?"}) {
        Result r = run({"/nogui", ask, "/run_mode=1"});
        EXPECT_EQ(r.status, 0) << ask;
        EXPECT_EQ(r.out.rfind("Usage: plashwerk [options]\n", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("  /max_time=N "), std::string::npos);
        EXPECT_TRUE(r.err.empty()) << r.err;
        EXPECT_FALSE(exists(work_dir + "/Plashwerk_trace.log")) << "nothing was started";
    }
}

// A FIFO where the options file should be is passed over, not waited on.
TEST_F(Program, AFifoInPlaceOfTheOptionsFileIsPassedOver) {
    ASSERT_EQ(mkfifo((bin_dir + "/startup_options.xml").c_str(), 0600), 0);
    Result r = run({"/version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Plashwerk v1.5.4"), std::string::npos) << r.out;
}

TEST_F(Program, GarbageCommandLinesAndAnUnwritableDirectoryDoNotCrash) {
    std::string garbage;
    for (int i = 1; i < 256; ++i) garbage += static_cast<char>(i);
    writeQuickRunOptions();
    EXPECT_EQ(run({"/nogui", "/run_mode=1", "/max_time=1000", garbage, std::string(100000, '/'),
                   "/width=", "/osi=", "/num_fluid_emitters="})
                  .status,
              0);
    // /proc refuses new files even to root: no trace log, no options file, still a clean run.
    EXPECT_EQ(run({"/version"}, "/proc").status, 0);
}

TEST_F(Program, DamagedOptionsFilesAreSurvived) {
    const std::string file = bin_dir + "/startup_options.xml";
    const char* damaged[] = {"", "<plashwerk><startup_options width=\"", "\xff\xfe\x00<",
                             "<startup_options max_time=\"-5\" run_mode=\"BENCHMARK\"/>"};
    // With the defaults a benchmark fills 120000 particles: each run is stopped once its
    // render window exists.
    for (const char* text : damaged) {
        std::ofstream(file, std::ios::binary) << text;
        EXPECT_EQ(
            runUntilLogged({"/nogui", "/run_mode=1", "/max_time=1000"}, "render window").status, 0)
            << text;
    }
    std::remove(file.c_str());
    mkdir(file.c_str(), 0755);
    EXPECT_EQ(runUntilLogged({"/nogui", "/run_mode=1", "/max_time=1000"}, "render window").status,
              0)
        << "an options file that is a directory";
}

// The number after `label` in the first line of the log that has it; -1 without one.
long numberAfter(const std::string& log, const std::string& label) {
    const size_t at = log.find(label);
    return at == std::string::npos ? -1 : std::strtol(log.c_str() + at + label.size(), nullptr, 10);
}

class Benchmark : public Program, public ::testing::WithParamInterface<const char*> {};

// A whole benchmark without display, in each threading arrangement the settings reach:
// in-frame, one physics thread in lock-step, one free-running.
TEST_P(Benchmark, FinishesWithItsSummaryAndResults) {
    writeQuickRunOptions(GetParam());
    // 5000 ms: the first one-second sample restarts the clock, so the run is measured for
    // about six seconds and has averages even when a loaded machine draws a frame a second.
    Result r = run({"/nogui", "/run_mode=1", "/max_time=5000"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string log = traceLog();
    const char* expected[] = {
        "PhysX - WARM-UP over - starting benchmarking...",
        "- Total number of PhysX simulations: ",
        "- Total number of GraphX frames: ",
        "- PhysX Avg SPS (Simulations Per Second): ",
        "- GraphX Avg FPS (Frames Per Second): ",
        "- PhysX score: ",
        "- GraphX score: ",
        "- Plashwerk global score: ",
        "Plashwerk shutdown OK.",
    };
    ASSERT_TRUE(inOrder(log, expected));
    const long sims = numberAfter(log, "- Total number of PhysX simulations: ");
    const long frames = numberAfter(log, "- Total number of GraphX frames: ");
    const long global = numberAfter(log, "- Plashwerk global score: ");
    EXPECT_GT(frames, 0);
    EXPECT_GT(sims, 0);
    EXPECT_EQ(global, static_cast<long>(static_cast<float>(frames) * 0.1f +
                                        static_cast<float>(sims) * 0.1f));

    // The results texts on standard output, score line first, clocks line last.
    std::vector<std::string> lines;
    std::istringstream out(r.out);
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 12u) << r.out;
    EXPECT_EQ(lines[0],
              "Global SCORE: " + std::to_string(global) + " points (5000 ms) - CPU PhysX");
    EXPECT_EQ(lines[1].rfind("PhysX: " + std::to_string(sims / 10) + " (", 0), 0u) << lines[1];
    EXPECT_GT(numberAfter(log, "- PhysX Avg SPS (Simulations Per Second): "), 0);
    EXPECT_GT(numberAfter(log, "- GraphX Avg FPS (Frames Per Second): "), 0);
    EXPECT_EQ(lines[2], "4 emitters - Particles: 120000");
    EXPECT_EQ(lines[3].rfind("Multithreaded:", 0), 0u);
    EXPECT_EQ(lines[4].find("(W) - MSAA:0X - PostFX:OFF"), lines[4].size() - 26);
    EXPECT_FALSE(lines[5].empty()) << "the renderer line";
    EXPECT_EQ(lines[11], "clocks not available");
}

INSTANTIATE_TEST_SUITE_P(Arrangements, Benchmark,
                         ::testing::Values("multithreaded_physx=\"0\"", "", "threads_sync=\"0\""));

// The columns a CSV reader finds in a line (quoted commas do not split).
size_t csvColumns(const std::string& line) {
    size_t n = 1;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) ++n;
    }
    return n;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Each benchmark with /log_score adds its row under the one header; /results_json leaves the
// document, and a document that cannot be written ends the program with status 1 after the
// row was still added. The software renderer's name holds commas: its field is quoted.
TEST_F(Program, BenchmarksLeaveTheirScoresRowsAndResultsDocument) {
    writeShortRunOptions();
    ASSERT_EQ(mkdir((work_dir + "/out").c_str(), 0755), 0);
    std::vector<std::string> args = kShortBenchmark;
    args.push_back("/log_score");
    args.push_back("/results_json=out/results.json");
    Result r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string csv_path = work_dir + "/Plashwerk_Scores.csv";
    std::vector<std::string> lines = linesOf(slurp(csv_path));
    ASSERT_EQ(lines.size(), 2u) << slurp(csv_path);
    EXPECT_EQ(lines[0].size(), 198u) << "the 199-byte header less its line end";
    EXPECT_EQ(csvColumns(lines[1]), 18u) << lines[1];
    EXPECT_NE(lines[1].find(",NO,YES,1000,"), std::string::npos) << lines[1];
    const long global = numberAfter(traceLog(), "- Plashwerk global score: ");
    EXPECT_NE(lines[1].find(",1000," + std::to_string(global) + ","), std::string::npos)
        << lines[1];
    const std::string document = slurp(work_dir + "/out/results.json");
    EXPECT_NE(document.find("\"global\": " + std::to_string(global) + ","), std::string::npos)
        << document;
    EXPECT_NE(document.find("\"duration_ms\": 1000,"), std::string::npos);
    EXPECT_NE(document.find("\"results_json\": \"out/results.json\""), std::string::npos);

    const std::string fifo = work_dir + "/out/pipe.json";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    args.back() = "/results_json=out/pipe.json";
    r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Plashwerk: could not write the results to out/pipe.json: "),
              std::string::npos)
        << r.err;
    lines = linesOf(slurp(csv_path));
    ASSERT_EQ(lines.size(), 3u) << "one more row, no second header";
    EXPECT_EQ(csvColumns(lines[2]), 18u) << lines[2];

    // A stability test adds nothing.
    EXPECT_EQ(runUntilLogged({"/nogui", "/run_mode=2", "/log_score"}, "render window").status, 0);
    EXPECT_EQ(linesOf(slurp(csv_path)).size(), 3u);
}

TEST_F(Program, NoScoreKeepsTheResultsOffStandardOutput) {
    writeQuickRunOptions();
    Result r = run({"/nogui", "/run_mode=1", "/max_time=1000", "/noscore"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(traceLog().find("- Plashwerk global score: "), std::string::npos);
}

TEST_F(Program, SigtermEndsAStabilityTestWithAFullShutDown) {
    writeQuickRunOptions();
    Result r = runUntilLogged({"/nogui", "/run_mode=2"}, "WARM-UP over");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string log = traceLog();
    const size_t stop = log.find("Stop signal received");
    ASSERT_NE(stop, std::string::npos) << log;
    EXPECT_NE(log.find("NVIDIA PhysX shutdown ok.", stop), std::string::npos);
    EXPECT_NE(log.find("Plashwerk shutdown OK.", stop), std::string::npos);
    EXPECT_EQ(log.find("global score"), std::string::npos) << "a stability test has no score";
    EXPECT_EQ(r.out, "");
}

TEST_F(Program, SigtermDuringTheWarmUpOfABenchmarkShowsNoScore) {
    Result r = runUntilLogged({"/nogui", "/run_mode=1"}, "render window");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(traceLog().find("global score"), std::string::npos);
    EXPECT_NE(traceLog().find("Plashwerk shutdown OK."), std::string::npos);
}

TEST_F(Program, ADesktopSmallerThanTheWindowIsRefused) {
    writeQuickRunOptions();
    Result r = run({"/nogui", "/run_mode=1", "/width=100000", "/height=600"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("is smaller than the required window size (100000x600)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(traceLog().find("Plashwerk shutdown OK."), std::string::npos);
}

// Results that cannot be written are said once on standard error and in the trace log, and
// the shut-down still runs to its end, and the status says the results were lost: 1 for a
// pipe whose reader has gone as for a full disk.
TEST_F(Program, ResultsThatCannotBeWrittenAreReportedAfterAFullShutDown) {
    writeShortRunOptions();
    const char* message = "could not write the results to standard output";
    {
        SCOPED_TRACE("a pipe whose reader has gone");
        int ends[2];
        ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
        close(ends[0]);
        Result r = runWithStandardOutput(ends[1], kShortBenchmark);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(count(r.err, message), 1u) << r.err;
        const std::string log = traceLog();
        EXPECT_NE(log.find("Could not write the results to standard output: "), std::string::npos);
        const size_t physx = log.find("NVIDIA PhysX shutdown ok.");
        ASSERT_NE(physx, std::string::npos) << log;
        EXPECT_NE(log.find("Plashwerk shutdown OK.", physx), std::string::npos) << log;
    }
    {
        SCOPED_TRACE("a full disk");
        Result r = runWithStandardOutput(open("/dev/full", O_WRONLY | O_CLOEXEC), kShortBenchmark);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(count(r.err, message), 1u) << r.err;
        EXPECT_NE(traceLog().find("Plashwerk shutdown OK."), std::string::npos);
    }
    {
        SCOPED_TRACE("the version on a full disk");
        Result r = runWithStandardOutput(open("/dev/full", O_WRONLY | O_CLOEXEC), {"/version"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(count(r.err, "could not write the version to standard output"), 1u) << r.err;
    }
}

// A trace log that cannot be created or written is said once on standard error; the run
// goes on and its results are printed.
TEST_F(Program, ATraceLogThatCannotBeKeptIsReportedOnceAndTheRunGoesOn) {
    writeShortRunOptions();
    const std::string log = work_dir + "/Plashwerk_trace.log";
    {
        SCOPED_TRACE("a read-only working directory");
        ASSERT_EQ(chmod(work_dir.c_str(), 0555), 0);
        // Where the directory's permissions do not hold (the test runs as root), the log's
        // name is taken by a directory: the file cannot be created either way.
        const std::string probe = work_dir + "/probe";
        if (mkdir(probe.c_str(), 0755) == 0) {
            rmdir(probe.c_str());
            ASSERT_EQ(mkdir(log.c_str(), 0755), 0);
        }
        Result r = run(kShortBenchmark);
        chmod(work_dir.c_str(), 0755);
        rmdir(log.c_str());
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(count(r.err, "the trace log Plashwerk_trace.log cannot be created"), 1u) << r.err;
        EXPECT_EQ(count(withoutProgress(r.err), "\n"), 1u) << "one message only\n" << r.err;
        EXPECT_EQ(r.out.rfind("Global SCORE: ", 0), 0u) << r.out;
    }
    {
        SCOPED_TRACE("a FIFO in its place");
        ASSERT_EQ(mkfifo(log.c_str(), 0600), 0);
        Result r = run(kShortBenchmark);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(count(r.err, "the trace log Plashwerk_trace.log cannot be created"), 1u) << r.err;
        EXPECT_EQ(count(withoutProgress(r.err), "\n"), 1u) << "one message only\n" << r.err;
        EXPECT_EQ(r.out.rfind("Global SCORE: ", 0), 0u) << r.out;
        std::remove(log.c_str());
    }
    {
        // A disk that fills up: a file size limit of 1 KB (SIGXFSZ ignored, so writes past
        // it fail with EFBIG instead of ending the process) stops the trace log partway.
        SCOPED_TRACE("a full disk");
        Result r =
            finish(spawn(kShortBenchmark, "",
                         {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 2; exec \"$0\" \"$@\""}));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(count(r.err, "the trace log Plashwerk_trace.log could not be written"), 1u)
            << r.err;
        EXPECT_EQ(count(withoutProgress(r.err), "\n"), 1u) << "one message only\n" << r.err;
        EXPECT_EQ(r.out.rfind("Global SCORE: ", 0), 0u) << r.out;
    }
}

// The render slow-down sleeps after every frame; a stop must not wait for it to pass.
TEST_F(Program, AStopIsNotHeldUpByALongRenderDelay) {
    writeShortRunOptions();
    const pid_t pid = spawn({"/nogui", "/run_mode=2", "/width=320", "/height=240",
                             "/render_slowdown_delay=2147483647"});
    ASSERT_TRUE(waitUntilLogged(pid, "render window"));
    // Time for the scene to be finished and the first frame to begin its delay.
    sleep(2);
    kill(pid, SIGTERM);
    Result r = finishWithin(pid, 60);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(traceLog().find("Plashwerk shutdown OK."), std::string::npos) << traceLog();
}

class ProgramStop : public Program {
  protected:
    // Sends `signals` (with `gap_us` between them) to a stability test that logs its GPU
    // readings, once the log has its first one, and expects one stop with the whole
    // shut-down: status 0, no forced exit, the monitoring log closed.
    void expectOneStopWithAFullShutDown(std::initializer_list<int> signals, useconds_t gap_us);
};

void ProgramStop::expectOneStopWithAFullShutDown(std::initializer_list<int> signals,
                                                 useconds_t gap_us) {
    writeShortRunOptions();
    const std::string xml_path = bin_dir + "/plashwerk-gpu-monitoring.xml";
    const pid_t pid =
        spawn({"/nogui", "/run_mode=2", "/width=320", "/height=240", "/log_temperature"});
    ASSERT_TRUE(waitUntilLogged(pid, "render window"));
    // The monitoring log has its first reading once a second has passed at the latest.
    for (int i = 0; i < 600 && slurp(xml_path).find("<gpu_data") == std::string::npos; ++i)
        usleep(100000);
    for (int signal_number : signals) {
        kill(pid, signal_number);
        usleep(gap_us);
    }
    Result r = finish(pid);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("second stop signal"), std::string::npos) << r.err;
    const char* const lines[] = {"Stop signal received", "NVIDIA PhysX shutdown ok.",
                                 "Plashwerk shutdown OK."};
    EXPECT_TRUE(inOrder(traceLog(), lines)) << traceLog();
    const std::string xml = slurp(xml_path);
    ASSERT_NE(xml.find("<gpu_data"), std::string::npos) << xml;
    const size_t end = xml.rfind("</gpuTemperature>");
    ASSERT_NE(end, std::string::npos) << xml;
    EXPECT_EQ(xml.substr(end), "</gpuTemperature>\n");
}

// A closed terminal (SIGHUP) stops a stability test like SIGTERM.
TEST_F(ProgramStop, SighupEndsAStabilityTestWithAFullShutDown) {
    expectOneStopWithAFullShutDown({SIGHUP}, 0);
}

// GNU timeout stops a program with SIGTERM to it and again to its process group, and a
// terminal's Ctrl+C can come with a script's SIGTERM: signals within a moment of each other
// are one stop. (Two of one kind sent together may merge into one; a different one never
// does.)
TEST_F(ProgramStop, StopSignalsWithinAMomentAreOneStopWithAFullShutDown) {
    expectOneStopWithAFullShutDown({SIGTERM, SIGINT, SIGTERM}, 25000);
}

// A second program started in the folder of a running one leaves the first one's trace log
// alone and writes its own, named with its pid.
TEST_F(Program, ASecondProgramInTheSameFolderWritesATraceLogOfItsOwn) {
    writeShortRunOptions();
    const pid_t first = spawn({"/nogui", "/run_mode=2", "/width=320", "/height=240"});
    ASSERT_TRUE(waitUntilLogged(first, "render window"));
    dir += "/second";  // standard output and error of the second program apart
    mkdir(dir.c_str(), 0755);
    const pid_t second = spawn({"/version"});
    Result r = finish(second);
    dir.resize(dir.size() - 7);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string own = "Plashwerk_trace." + std::to_string(second) + ".log";
    EXPECT_NE(r.err.find("the trace log Plashwerk_trace.log is in use by another program; "
                         "this one writes " +
                         own),
              std::string::npos)
        << r.err;
    EXPECT_NE(slurp(work_dir + "/" + own).find("Plashwerk 1.5.4 startup..."), std::string::npos);

    kill(first, SIGTERM);
    EXPECT_EQ(finish(first).status, 0);
    const std::string log = traceLog();
    const char* const lines[] = {"Plashwerk 1.5.4 startup...", "render window",
                                 "Stop signal received", "Plashwerk shutdown OK."};
    EXPECT_TRUE(inOrder(log, lines));
    EXPECT_EQ(count(log, "startup..."), 1u) << "the second program's lines are not in it\n" << log;
}
}  // namespace

namespace {

// The output of a shell command, and whether it succeeded.
bool shellOutput(const std::string& command, std::string& out) {
    out.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return false;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    return pclose(pipe) == 0;
}

bool hasScreenshot(const std::string& folder) {
    std::string found;
    return shellOutput("ls '" + folder + "' | grep -E '^[pP]lashwerk_[0-9]{6}\\.jpg$'", found) &&
           !found.empty();
}

}  // namespace

namespace {

// An X server of the test's own, with a desktop that holds the startup dialog and a run's
// window beside each other.
class VirtualDisplay {
  public:
    ~VirtualDisplay() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    // False when there is no Xvfb or it does not come up.
    bool start() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
                   "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // Xvfb writes its display number once it accepts clients; EOF means it died.
        std::string number;
        char c = 0;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return false;
        name = ":" + number;
        return true;
    }
    std::string name;

  private:
    pid_t m_pid = -1;
};

// The program on an X server of the test's own, and what a person does with it: xdotool
// finds windows by their titles, clicks and presses keys. The program and xdotool see only
// this display's windows, so tests that run side by side cannot find each other's.
class DisplaySession : public Program {
  protected:
    // Starts the program with `args` on the display and waits for its first visible window
    // titled like `title`: that window's id, or empty when the display cannot be had
    // (`skipped` is set then without xdotool or Xvfb) or the window never showed.
    std::string startOnOwnDisplay(const std::vector<std::string>& args, const std::string& title) {
        std::string ignored;
        if (!shellOutput("command -v xdotool", ignored) ||
            !shellOutput("command -v Xvfb", ignored)) {
            skipped = true;
            return "";
        }
        if (!x.start()) {
            ADD_FAILURE() << "Xvfb did not start";
            return "";
        }
        xdo = "DISPLAY=" + x.name + " xdotool ";
        display_name = x.name;
        pid = spawn(args);
        display_name.clear();
        std::string id;
        if (!waitFor([&] { return windowNamed(title, id); }, "window '" + title + "'")) return "";
        return id;
    }
    // Polls `done` until it holds; ends the program after a failure. Guards against a hang,
    // not measures of speed: windows map within seconds.
    bool waitFor(const std::function<bool()>& done, const std::string& what) {
        for (int tries = 0; tries < 900; ++tries) {
            if (done()) return true;
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                ADD_FAILURE() << "ended while waiting for " << what << "\n" << traceLog();
                return false;
            }
            usleep(200000);
        }
        ADD_FAILURE() << "no " << what << "\n" << traceLog();
        kill(pid, SIGKILL);
        finish(pid);
        return false;
    }
    // The first visible window whose title matches `pattern`.
    bool windowNamed(const std::string& pattern, std::string& id) {
        if (!xdotool("search --onlyvisible --name '" + pattern + "'", id)) return false;
        id = id.substr(0, id.find('\n'));
        return !id.empty();
    }
    bool xdotool(const std::string& arguments, std::string& out) {
        return shellOutput(xdo + arguments, out);
    }
    bool xdotool(const std::string& arguments) {
        std::string ignored;
        return xdotool(arguments, ignored);
    }
    // Waits for a screenshot in the working folder.
    bool screenshotTaken() {
        for (int tries = 0; tries < 600 && !hasScreenshot(work_dir); ++tries) usleep(200000);
        return hasScreenshot(work_dir);
    }
    void click(int control) {
        float cx = 0, cy = 0;
        plashwerk::buttonCentre(control, cx, cy);
        xdotool("mousemove --window " + dialog + " " + std::to_string(static_cast<int>(cx)) + " " +
                std::to_string(static_cast<int>(cy)) + " click 1");
    }

    VirtualDisplay x;
    std::string xdo, dialog;
    pid_t pid = -1;
    bool skipped = false;
};

const char* const kRunningTitle = "Quorvex Plashwerk . Running";
const char* const kDialogTitle = "PhysX benchmark$";
const std::vector<std::string> kWindowedStabilityTest = {"/nogui", "/run_mode=2", "/width=400",
                                                         "/height=300"};

}  // namespace

// Without a window the run's progress goes to standard error, a line per phase and per
// tenth when that is not a terminal; standard output keeps only the results.
TEST_F(Program, AHeadlessBenchmarkShowsItsProgressOnStandardError) {
    writeQuickRunOptions("render_scene=\"0\"");
    Result r = run(kShortBenchmark);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Fluid initialization: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("WARMING-UP...\n"), std::string::npos) << r.err;
    EXPECT_GE(count(r.err, " % - GraphX FPS: "), 2u) << r.err;
    EXPECT_NE(r.err.find("100 % - GraphX FPS: "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no in-place updates off a terminal";
    EXPECT_LE(count(r.err, "\n"), 30u) << r.err;
    EXPECT_EQ(r.out.rfind("Global SCORE: ", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("WARMING-UP"), std::string::npos);
    EXPECT_EQ(r.out.find(" % - "), std::string::npos);
}

// A benchmark without the dialog on a display: drawn in its window, its results go to
// standard output as ever and to their dialog in a window of its own, which Escape closes;
// then the program ends.
TEST_F(DisplaySession, AWindowedBenchmarkShowsItsResultsDialogOnTheDisplay) {
    writeQuickRunOptions();
    const std::string id =
        startOnOwnDisplay({"/nogui", "/run_mode=1", "/max_time=2000"}, kDialogTitle);
    if (skipped) GTEST_SKIP() << "no Xvfb or xdotool";
    ASSERT_FALSE(id.empty()) << "no results dialog";
    xdotool("key --window " + id + " Escape");
    Result r = finishWithin(pid, 120);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string log = traceLog();
    EXPECT_NE(log.find("(window, "), std::string::npos) << "drawn into the window's context\n"
                                                        << log;
    EXPECT_NE(log.find("- Plashwerk global score: "), std::string::npos);
    EXPECT_EQ(r.out.rfind("Global SCORE: ", 0), 0u) << r.out;
}

// Real key events to a stability test's window on the X display: F9 leaves a JPEG in the
// working folder, Escape ends the run with status 0.
TEST_F(DisplaySession, KeysFromTheDisplayTakeAScreenshotAndEndAStabilityTest) {
    writeQuickRunOptions();
    const std::string id = startOnOwnDisplay(kWindowedStabilityTest, kRunningTitle);
    if (skipped) GTEST_SKIP() << "no Xvfb or xdotool";
    ASSERT_FALSE(id.empty());
    ASSERT_TRUE(xdotool("key --window " + id + " F9"));
    EXPECT_TRUE(screenshotTaken()) << traceLog();
    xdotool("key --window " + id + " Escape");
    Result r = finishWithin(pid, 120);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(traceLog().find("Plashwerk shutdown OK."), std::string::npos);
    EXPECT_EQ(r.err.find("GraphX FPS"), std::string::npos) << "a run in a window shows no progress";
}

// The menu bar by mouse on a real display: a click on "File" opens it, Escape closes it
// without ending the run (F9 after it still takes a screenshot), and "File", "Exit" ends
// the program with status 0.
TEST_F(DisplaySession, FileThenExitFromTheMenuBarEndsTheProgram) {
    writeQuickRunOptions();
    const std::string id = startOnOwnDisplay(kWindowedStabilityTest, kRunningTitle);
    if (skipped) GTEST_SKIP() << "no Xvfb or xdotool";
    ASSERT_FALSE(id.empty());
    // Window coordinates: the strip is the top of the window's drawable.
    std::string geometry;
    ASSERT_TRUE(xdotool("getwindowgeometry --shell " + id, geometry));
    ASSERT_NE(geometry.find("WIDTH="), std::string::npos);
    const int width = std::atoi(geometry.c_str() + geometry.find("WIDTH=") + 6);
    const auto layout = plashwerk::window::layoutMenuBar(width, plashwerk::window::kMenuBarHeight);
    const auto clickAt = [&](const plashwerk::window::MenuRect& r) {
        return xdotool("mousemove --window " + id + " " + std::to_string(r.x + r.width / 2) + " " +
                       std::to_string(r.y + r.height / 2) + " click 1");
    };

    ASSERT_TRUE(clickAt(layout.titles[0]));
    xdotool("key --window " + id + " Escape");
    xdotool("key --window " + id + " F9");
    EXPECT_TRUE(screenshotTaken()) << "Escape ended the run\n" << traceLog();

    ASSERT_TRUE(clickAt(layout.titles[0]));
    ASSERT_TRUE(clickAt(layout.items[0][0]));
    Result r = finishWithin(pid, 120);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(traceLog().find("Plashwerk shutdown OK."), std::string::npos);
}

namespace {

// The program started with its dialog on the display.
class DialogSession : public DisplaySession {
  protected:
    // False (after skipping or failing) when the session cannot be had.
    bool launch(const std::string& options_file) {
        std::ofstream(bin_dir + "/startup_options.xml") << options_file;
        dialog = startOnOwnDisplay({}, kDialogTitle);
        return !dialog.empty();
    }
};

}  // namespace
// A person's session with the dialog, driven by real clicks and keys: a benchmark with the
// user's settings, Escape back to the dialog, Enter for a stability test (its start button
// enabled again), then "Quit" in the middle of that run. Each run builds its own scene; the
// quit stops the run, and shut-down saves what the dialog holds.
TEST_F(DialogSession, ItsButtonsRunOneRunAfterAnotherAndQuitSavesTheSettings) {
    // Small windows and a hundred particles in all: each run gets going within seconds.
    const bool up = launch(
        "<plashwerk><startup_options width=\"320\" height=\"240\" run_mode=\"STABILITY_TEST\" "
        "max_time=\"5000\" use_particle_count=\"0\" num_total_particles=\"100\" "
        "particles_rate=\"300\" particles_lifetime=\"1.0\"/></plashwerk>");
    if (skipped) GTEST_SKIP() << "no xdotool or Xvfb";
    ASSERT_TRUE(up);
    auto runWindows = [&] { return count(traceLog(), "Vantorr: render window 320x"); };
    auto scenesReleased = [&] { return count(traceLog(), "NVIDIA PhysX shutdown ok."); };

    click(plashwerk::kCtlStartUserSettings);
    ASSERT_TRUE(waitFor([&] { return runWindows() == 1; }, "benchmark window"));
    // The run's window: the other one of the program's windows.
    std::string run_window;
    ASSERT_TRUE(waitFor(
        [&] {
            std::string ids;
            xdotool("search --onlyvisible --name 'Plashwerk'", ids);
            std::istringstream in(ids);
            for (std::string id; std::getline(in, id);)
                if (id != dialog) run_window = id;
            return !run_window.empty();
        },
        "benchmark window on the display"));
    xdotool("key --window " + run_window + " Escape");
    ASSERT_TRUE(waitFor([&] { return scenesReleased() == 1; }, "end of the benchmark"));

    // Enter presses "Start PhysX test" once the dialog has enabled it again.
    ASSERT_TRUE(waitFor(
        [&] {
            if (runWindows() == 2) return true;
            xdotool("key --window " + dialog + " Return");
            usleep(500000);
            return runWindows() == 2;
        },
        "stability test window"));
    click(plashwerk::kCtlQuit);
    Result r = finishWithin(pid, 120);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string log = traceLog();
    EXPECT_EQ(count(log, "NVIDIA PhysX shutdown ok."), 2u) << "each run releases its scene\n"
                                                           << log;
    EXPECT_NE(log.find("Plashwerk shutdown OK."), std::string::npos) << log;
    EXPECT_EQ(r.err.find("GraphX FPS"), std::string::npos) << "runs in windows show no progress";

    const std::string saved = slurp(work_dir + "/startup_options.xml");
    for (const char* value :
         {"width=\"320\"", "height=\"240\"", "run_mode=\"STABILITY_TEST\"", "max_time=\"60000\"",
          "use_particle_count=\"1\"", "num_total_particles=\"100\""})
        EXPECT_NE(saved.find(value), std::string::npos) << value << " not in\n" << saved;
}

// A start that fails shows its message box in a window over the dialog; once it is closed
// the dialog is still there and quits normally.
TEST_F(DialogSession, AFailedStartShowsItsBoxAndTheDialogStays) {
    // Larger than the 1280 x 1024 desktop: the window cannot be made.
    const bool up =
        launch("<plashwerk><startup_options width=\"4000\" height=\"3000\"/></plashwerk>");
    if (skipped) GTEST_SKIP() << "no xdotool or Xvfb";
    ASSERT_TRUE(up);
    click(plashwerk::kCtlStartUserSettings);
    std::string box;
    ASSERT_TRUE(waitFor([&] { return windowNamed("^Plashwerk$", box); }, "message box"));
    EXPECT_NE(traceLog().find("Could not start in windowed mode"), std::string::npos);
    xdotool("key --window " + box + " Return");
    std::string ignored;
    ASSERT_TRUE(waitFor([&] { return !windowNamed("^Plashwerk$", ignored); }, "box closed"));
    ASSERT_TRUE(windowNamed(kDialogTitle, ignored)) << "the dialog stays";
    xdotool("key --window " + dialog + " Escape");
    Result r = finishWithin(pid, 120);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(traceLog(), "Vantorr: render window"), 0u);
    EXPECT_NE(slurp(work_dir + "/startup_options.xml").find("width=\"4000\""), std::string::npos);
}

namespace {

// A stability test of set length on a machine with one NVIDIA GPU (the NVML double, scripted
// through its environment): it ends by itself with its verdict, status, report and document.
class StabilityVerdict : public Program {
  protected:
    void SetUp() override {
        Program::SetUp();
        writeQuickRunOptions("width=\"320\" height=\"240\"");
        setenv("PLASHWERK_NVML_LIBRARY", FAKE_NVML_LIBRARY, 1);
        setenv("FAKE_NVML_GPUS", "1", 1);
    }
    void TearDown() override {
        unsetenv("PLASHWERK_NVML_LIBRARY");
        unsetenv("FAKE_NVML_GPUS");
        unsetenv("FAKE_NVML_REASONS");
        Program::TearDown();
    }
    Result runTest() {
        // The guard only keeps a hung program from holding the suite.
        return finishWithin(spawn({"/nogui", "/run_mode=2", "/stability_time=8", "/report=r.html",
                                   "/results_json=r.json"}),
                            120);
    }
};

TEST_F(StabilityVerdict, ASteadyGpuPassesWithStatusZero) {
    const Result r = runTest();
    EXPECT_EQ(r.status, 0) << r.err << traceLog();
    // The last frame may end a second past the length on a busy machine.
    EXPECT_EQ(r.out.rfind("Stability test: 00:00:", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(" of 00:00:08 - "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Verdict: PASS\n"), std::string::npos) << r.out;
    EXPECT_NE(traceLog().find("Verdict: PASS"), std::string::npos);
    EXPECT_NE(r.err.find(" left"), std::string::npos) << "the progress counts down: " << r.err;
    const std::string html = slurp(work_dir + "/r.html");
    EXPECT_NE(html.find("class=\"verdict PASS\""), std::string::npos);
    EXPECT_NE(html.find("NVIDIA GeForce RTX 3070"), std::string::npos);
    EXPECT_NE(html.find("<polyline"), std::string::npos);
    EXPECT_NE(slurp(work_dir + "/r.json").find("\"verdict\": \"PASS\""), std::string::npos);
    // The document holds the test's own counts, not a benchmark's empty ones.
    const std::string json = slurp(work_dir + "/r.json");
    EXPECT_EQ(json.find("\"duration_ms\": 0,"), std::string::npos) << json.substr(0, 600);
    EXPECT_EQ(json.find("\"frames\": 0,"), std::string::npos) << json.substr(0, 600);
}

TEST_F(StabilityVerdict, AThermalSlowdownFailsWithStatusThree) {
    // Reasons from the second reading on: thermal slowdown (0x20) for the rest of the run.
    setenv("FAKE_NVML_REASONS", "0,0x20", 1);
    const Result r = runTest();
    EXPECT_EQ(r.status, 3) << r.out << r.err;
    EXPECT_NE(r.out.find("Verdict: FAIL\n  GPU "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": thermal slowdown at 00:00:0"), std::string::npos) << r.out;
    EXPECT_NE(traceLog().find("Verdict: FAIL"), std::string::npos);
    const std::string html = slurp(work_dir + "/r.html");
    EXPECT_NE(html.find("class=\"verdict FAIL\""), std::string::npos);
    EXPECT_NE(html.find("<td class=\"l\">thermal slowdown</td>"), std::string::npos);
    EXPECT_NE(html.find("<rect class=\"event\""), std::string::npos);
    const std::string json = slurp(work_dir + "/r.json");
    EXPECT_NE(json.find("\"verdict\": \"FAIL\""), std::string::npos);
    EXPECT_NE(json.find("\"kind\": \"thermal_slowdown\""), std::string::npos);
}

}  // namespace
