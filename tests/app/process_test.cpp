// Runs the built program in a temporary folder, as a script would, and checks its exit
// status, its output and the files it leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

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
        exe = bin_dir + "/plashwerk";
        ASSERT_EQ(std::system(("cp '" PLASHWERK_EXE "' '" + exe + "'").c_str()), 0);
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    Result run(const std::vector<std::string>& args, const std::string& cwd = "") {
        const std::string out_path = dir + "/stdout", err_path = dir + "/stderr";
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir((cwd.empty() ? work_dir : cwd).c_str()) != 0) _exit(120);
            int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            std::vector<char*> argv{const_cast<char*>(exe.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(exe.c_str(), argv.data());
            _exit(121);
        }
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        Result r;
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        r.out = slurp(out_path);
        r.err = slurp(err_path);
        return r;
    }
    std::string traceLog() { return slurp(work_dir + "/Plashwerk_trace.log"); }

    std::string dir, bin_dir, work_dir, exe;
};

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
    std::remove((bin_dir + "/startup_options.xml").c_str());
    std::ofstream(work_dir + "/startup_options.xml")
        << "<plashwerk><startup_options display_version=\"1\"/></plashwerk>";
    EXPECT_EQ(run({"/nogui", "/run_mode=1", "/max_time=1000"}).out.find("v1.5.4"),
              std::string::npos);
}

TEST_F(Program, StartWithoutDialogLogsStartUpAndShutDownInOrder) {
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
    size_t at = 0;
    for (const char* line : expected) {
        size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        at = found;
    }
    EXPECT_FALSE(exists(work_dir + "/startup_options.xml"))
        << "a start without dialog never writes the options file";
}

TEST_F(Program, DialogWithoutDisplayFailsAndPointsToNogui) {
    Result r = run({});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("/nogui"), std::string::npos) << r.err;
}

TEST_F(Program, GarbageCommandLinesAndAnUnwritableDirectoryDoNotCrash) {
    std::string garbage;
    for (int i = 1; i < 256; ++i) garbage += static_cast<char>(i);
    EXPECT_EQ(run({"/nogui", "/run_mode=1", "/max_time=1000", garbage,
                   std::string(100000, '/'), "/width=", "/osi=", "/num_fluid_emitters="})
                  .status,
              0);
    // /proc refuses new files even to root: no trace log, no options file, still a clean run.
    EXPECT_EQ(run({"/version"}, "/proc").status, 0);
}

TEST_F(Program, DamagedOptionsFilesAreSurvived) {
    const std::string file = bin_dir + "/startup_options.xml";
    const char* damaged[] = {"", "<plashwerk><startup_options width=\"", "\xff\xfe\x00<",
                             "<startup_options max_time=\"-5\" run_mode=\"BENCHMARK\"/>"};
    for (const char* text : damaged) {
        std::ofstream(file, std::ios::binary) << text;
        EXPECT_EQ(run({"/nogui", "/run_mode=1", "/max_time=1000"}).status, 0) << text;
    }
    std::remove(file.c_str());
    mkdir(file.c_str(), 0755);
    EXPECT_EQ(run({"/nogui", "/run_mode=1", "/max_time=1000"}).status, 0)
        << "an options file that is a directory";
}

}  // namespace
