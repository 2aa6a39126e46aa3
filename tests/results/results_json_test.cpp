// The results document: its keys and values for a known run, every setting of the table,
// texts that are not UTF-8, and writing it whole or not at all.
#include "results/results_json.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "settings/settings_fields.h"
#include "settings/startup_options.h"
#include "tests/results/results_test_support.h"
#include "tests/support/blocking.h"
#include "tests/support/files.h"

namespace plashwerk {
namespace {

using nlohmann::json;
using test::slurp;
using test::writeFile;

// The names in a folder, so a test can see that no temporary was left behind.
std::set<std::string> entries(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* e = readdir(dir))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        closedir(dir);
    }
    return names;
}

class ResultsJson : public ::testing::Test {
  protected:
    void SetUp() override {
        setDefaultStartupOptions(o);
        o.run_mode = int(RunMode::Benchmark);
        o.num_particles = 60000;
        o.log_score = true;
        std::snprintf(o.submit_score_user_email, sizeof o.submit_score_user_email,
                      "me@example.org");
        o.results_json = path;
    }
    // The known run with the fixture's settings.
    RunRecord record() const {
        RunRecord r = test::knownRecord();
        r.settings = settingValues(o);
        return r;
    }
    // Writes the known run and answers what the program said on standard error.
    bool write(const std::string& where, std::string& said) {
        testing::internal::CaptureStderr();
        const bool ok = writeResultsJson(where.c_str(), record());
        said = testing::internal::GetCapturedStderr();
        return ok;
    }

    StartupOptions o;
    test::TempFolder folder{"plashwerk_results_json"};
    std::string path = folder.path() + "/results.json";
};

TEST_F(ResultsJson, TheDocumentHoldsTheRunsValues) {
    const json d = json::parse(formatResultsJson(record()));
    EXPECT_EQ(d["program"], "Plashwerk");
    EXPECT_EQ(d["version"], "1.5.4");
    EXPECT_EQ(d["scores"], json::parse(R"({"global":1913,"physx":678.9,"graphx":1234.5})"));
    EXPECT_EQ(d["fps"], json::parse(R"({"min":31,"max":88,"avg":60})"));
    EXPECT_EQ(d["sps"], json::parse(R"({"min":55,"max":61,"avg":59})"));
    EXPECT_EQ(d["duration_ms"], 60000);
    EXPECT_EQ(d["fluid_emitters"], 4);
    EXPECT_EQ(d["frames"], 12345);
    EXPECT_EQ(d["simulations"], 6789);
    EXPECT_EQ(d["physx_on_gpu"], false);
    EXPECT_EQ(d["temperatures_c"], json::parse(R"({"start":45.5,"end":71.25,"max":72.25})"));
    EXPECT_EQ(d["render"],
              json::parse(R"({"width":1920,"height":1080,"fullscreen":true,"msaa_samples":4})"));
    EXPECT_EQ(d["system"]["renderer"], "GeForce GTX 1080/PCIe/SSE2");
    EXPECT_EQ(d["system"]["drivers"], "GeForce 445.75");
    EXPECT_EQ(d["system"]["cpu"], "Intel(R) Core(TM) i7-8700K CPU @ 3.70GHz");
    EXPECT_EQ(d["system"]["cpu_speed"], "3700 MHz");
    EXPECT_EQ(d["system"]["system_memory"], "16384 MB");
    EXPECT_EQ(d["system"]["os"], "Debian GNU/Linux 12 (bookworm)");
    ASSERT_EQ(d["gpus"].size(), 2u);
    EXPECT_EQ(d["gpus"][0], json::parse(R"({"name":"NVIDIA GeForce GTX 1080",
        "max_core_clock_mhz":1733.0,"max_memory_clock_mhz":5005.5,"max_temperature_c":72.25,
        "max_load_percent":99.0,"max_power_percent":87.5})"));
    EXPECT_EQ(d["gpus"][1]["name"], "AMD Radeon RX 580");
    EXPECT_EQ(d["gpus"][1]["max_temperature_c"], 41.0);
}

// Every row of the settings table appears with its value and type, so a setting added to
// the table appears in the document by itself.
TEST_F(ResultsJson, EverySettingOfTheTableAppearsWithItsValue) {
    const json settings = json::parse(formatResultsJson(record()))["settings"];
    EXPECT_EQ(settings.size(), settingFields().size());
    for (const SettingField& field : settingFields()) {
        ASSERT_TRUE(settings.contains(field.name)) << field.name;
        const json& value = settings[field.name];
        const FieldRef& r = field.ref;
        if (r.int_field) EXPECT_EQ(value, o.*r.int_field) << field.name;
        if (r.bool_field) EXPECT_EQ(value, o.*r.bool_field) << field.name;
        if (r.float_field) EXPECT_FLOAT_EQ(value.get<float>(), o.*r.float_field) << field.name;
        if (r.text_field) EXPECT_EQ(value, std::string(o.*r.text_field)) << field.name;
        if (r.string_field) EXPECT_EQ(value, o.*r.string_field) << field.name;
    }
    EXPECT_EQ(settings["num_particles"], 60000);
    EXPECT_EQ(settings["log_score"], true);
    EXPECT_EQ(settings["physx_fluid_emitter_size"], 0.2) << "the float's shortest decimal";
    EXPECT_EQ(settings["submit_score_user_email"], "me@example.org");
    EXPECT_EQ(settings["results_json"], path);
}

// Texts come from drivers and the system: a byte that is not UTF-8 must not cost the
// document, and quotes or control characters must not break it.
TEST_F(ResultsJson, OddTextsStillGiveAValidDocument) {
    RunRecord r = record();
    std::snprintf(r.result.system_lines[0], sizeof r.result.system_lines[0],
                  "Radeon\xAE \"Pro\"\n\tX\xB0");
    r.gpus[0].name = "\xFF\xFE";
    r.result.start_temperature = std::numeric_limits<float>::quiet_NaN();
    const json d = json::parse(formatResultsJson(r));
    EXPECT_EQ(d["system"]["renderer"], "Radeon\xEF\xBF\xBD \"Pro\"\n\tX\xEF\xBF\xBD");
    EXPECT_EQ(d["gpus"][0]["name"], "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_TRUE(d["temperatures_c"]["start"].is_null());
}

TEST_F(ResultsJson, WritesTheDocumentAndReplacesAnOlderOneWhole) {
    writeFile(path, "old document");
    std::string said;
    ASSERT_TRUE(write(path, said)) << said;
    EXPECT_EQ(slurp(path), formatResultsJson(record()));
    EXPECT_EQ(said, "");
    EXPECT_EQ(entries(folder.path()), std::set<std::string>{"results.json"}) << "no temporary";
}

// A link is followed: the file it names gets the document and the link stays a link.
TEST_F(ResultsJson, ALinkKeepsPointingAtTheNewDocument) {
    const std::string target = folder.path() + "/real.json";
    writeFile(target, "old");
    ASSERT_EQ(symlink("real.json", path.c_str()), 0);
    std::string said;
    ASSERT_TRUE(write(path, said)) << said;
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(slurp(target), formatResultsJson(record()));
}

TEST_F(ResultsJson, AnUnwritablePlaceIsReportedAndLeavesNothing) {
    std::string said;
    const std::string missing = folder.path() + "/no/such/folder/results.json";
    EXPECT_FALSE(write(missing, said));
    EXPECT_NE(said.find("Plashwerk: could not write the results to " + missing + ": "),
              std::string::npos)
        << said;
    EXPECT_TRUE(entries(folder.path()).empty());

    EXPECT_FALSE(write("", said));
    EXPECT_NE(said.find("no path given"), std::string::npos) << said;

    if (geteuid() != 0) {  // permissions do not stop the superuser
        const std::string locked = folder.path() + "/locked";
        ASSERT_EQ(mkdir(locked.c_str(), 0555), 0);
        EXPECT_FALSE(write(locked + "/results.json", said));
        EXPECT_NE(said.find("Permission denied"), std::string::npos) << said;
        EXPECT_TRUE(entries(locked).empty());
    }
}

TEST_F(ResultsJson, AFolderAtThePathIsLeftAlone) {
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    writeFile(path + "/inside.txt", "kept");
    std::string said;
    EXPECT_FALSE(write(path, said));
    EXPECT_NE(said.find("it is a folder"), std::string::npos) << said;
    EXPECT_EQ(slurp(path + "/inside.txt"), "kept");
    EXPECT_EQ(entries(folder.path()), std::set<std::string>{"results.json"});
    EXPECT_FALSE(write(folder.path() + "/", said)) << "a path ending in a slash";
}

// A named pipe where the document should go is neither written into (a reader would block
// the program) nor replaced: the program says so and ends.
TEST_F(ResultsJson, ANamedPipeAtThePathIsRefusedWithoutBlocking) {
    test::Fifo fifo(path);
    bool ok = true;
    std::string said;
    EXPECT_TRUE(test::finishes([&] { ok = write(path, said); }, [&] { fifo.unblock(); }));
    EXPECT_FALSE(ok);
    EXPECT_NE(said.find("it is not a regular file"), std::string::npos) << said;
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(entries(folder.path()), std::set<std::string>{"results.json"});
}

}  // namespace
}  // namespace plashwerk
