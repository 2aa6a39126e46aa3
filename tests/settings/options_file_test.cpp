#include "settings/options_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/engine/vn_trace_mgr.h"
#include "settings/settings_fields.h"
#include "tests/support/files.h"

namespace plashwerk {
namespace {

using test::slurp;

class OptionsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        setDefaultStartupOptions(o);
        dir = folder.path();
        path = dir + "/startup_options.xml";
    }
    StartupOptions read(const std::string& text) {
        StartupOptions copy = o;
        readOptionsText(copy, text.data(), text.size());
        return copy;
    }
    static std::string element(const std::string& attributes) {
        return "<?xml version=\"1.0\"?>\n<plashwerk>\n<startup_options " + attributes +
               " />\n</plashwerk>";
    }
    StartupOptions o;
    test::TempFolder folder{"plashwerk_options"};
    std::string dir, path;
};

// Settings given only on the command line (the results path) never reach the file.
TEST_F(OptionsFile, DefaultsAreWrittenByteForByteAsTheLayout) {
    const std::string golden = slurp(PLASHWERK_TEST_DATA "/defaults_golden.xml");
    ASSERT_FALSE(golden.empty());
    o.results_json = "/tmp/results.json";
    ASSERT_TRUE(writeOptionsFile(o, path.c_str()));
    EXPECT_EQ(slurp(path), golden);
    StartupOptions back;
    setDefaultStartupOptions(back);
    const std::string text =
        "<plashwerk><startup_options results_json=\"x.json\" width=\"640\"/></plashwerk>";
    readOptionsText(back, text.data(), text.size());
    EXPECT_EQ(back.width, 640);
    EXPECT_EQ(back.results_json, "") << "not read from the file either";
}

TEST_F(OptionsFile, RoundTripKeepsEveryStoredField) {
    o.width = 1366;
    o.run_mode = int(RunMode::Benchmark);
    o.max_frames = -1;
    o.particle_type = 1;
    o.particles_lifetime = 9.0f;
    o.light_pos_z = -2.5f;
    o.physx_fluid_emitter_size = 0.125f;
    o.threads_sync = false;
    o.use_gpuz = false;
    std::snprintf(o.submit_score_user_email, sizeof o.submit_score_user_email,
                  "a&b<\"c\">@example.org");
    ASSERT_TRUE(writeOptionsFile(o, path.c_str()));

    StartupOptions back;
    setDefaultStartupOptions(back);
    ASSERT_TRUE(readOptionsFile(back, path.c_str()));
    EXPECT_EQ(back.width, 1366);
    EXPECT_EQ(back.run_mode, int(RunMode::Benchmark));
    EXPECT_EQ(back.max_frames, -1);
    EXPECT_EQ(back.particle_type, 1);
    EXPECT_FLOAT_EQ(back.particles_lifetime, 9.0f);
    EXPECT_FLOAT_EQ(back.light_pos_z, -2.5f);
    EXPECT_FLOAT_EQ(back.physx_fluid_emitter_size, 0.125f);
    EXPECT_FALSE(back.threads_sync);
    EXPECT_FALSE(back.use_gpuz);
    EXPECT_STREQ(back.submit_score_user_email, "a&b<\"c\">@example.org");
}

TEST_F(OptionsFile, ConversionsOfTheReader) {
    StartupOptions r = read(element(
        "run_mode=\"benchmark\" particles_lifetime=\"7.9\" log_score=\"2\" use_gpuz=\"yes\" "
        "width=\"7.9\" height=\"-1\" msaa=\"1e3\" particle_type=\"LAVA_X\" "
        "threads_sync=\"1\""));
    EXPECT_EQ(r.run_mode, int(RunMode::StabilityTest)) << "lower case is not BENCHMARK";
    EXPECT_FLOAT_EQ(r.particles_lifetime, 7.0f);
    EXPECT_FALSE(r.log_score) << "true only for 1";
    EXPECT_FALSE(r.use_gpuz);
    EXPECT_EQ(r.width, 7);
    EXPECT_EQ(r.height, -1);
    EXPECT_EQ(r.msaa, 1);
    EXPECT_EQ(r.particle_type, 1);
    EXPECT_TRUE(r.threads_sync);
    EXPECT_EQ(read(element("particle_type=\"POINT\"")).particle_type, 0);
    EXPECT_EQ(read(element("particle_type=\"\"")).particle_type, 0);
    EXPECT_EQ(read(element("run_mode=\"BENCHMARK\"")).run_mode, int(RunMode::Benchmark));
    // A 0 emitter count from the file is kept (only the command line repairs it).
    EXPECT_EQ(read(element("num_fluid_emitters=\"0\"")).num_fluid_emitters, 0);
    // A number too large for a float keeps the setting's value (and so writes back as read).
    const StartupOptions huge = read(element("light_pos_y=\"9e99\" light_pos_x=\"2.5\""));
    EXPECT_FLOAT_EQ(huge.light_pos_y, 30.0f);
    EXPECT_FLOAT_EQ(huge.light_pos_x, 2.5f);
}

// Real values are converted with correct rounding, so that what the file writes reads back
// as the same float: one step off, a value would move again at every save.
TEST_F(OptionsFile, RealsReadBackExactlyAsWritten) {
    for (const float value :
         {3088829120512.0f, 3088829382656.0f, -16777217.0f, 0.1f, 1.0e-3f, 123456.789f, 3.0e38f}) {
        o.light_pos_y = value;
        const std::string text = formatOptionsFile(o);
        StartupOptions back;
        setDefaultStartupOptions(back);
        readOptionsText(back, text.data(), text.size());
        EXPECT_EQ(back.light_pos_y, value) << text.substr(text.find("light_pos_y"), 40);
        EXPECT_EQ(formatOptionsFile(back), text);
    }
    // The number is what the reader takes as one; whatever follows is ignored.
    EXPECT_EQ(read(element("light_pos_y=\"2.5 m\"")).light_pos_y, 2.5f);
    EXPECT_EQ(read(element("light_pos_y=\"-25e-1x\"")).light_pos_y, -2.5f);
    EXPECT_EQ(read(element("light_pos_y=\"1e\"")).light_pos_y, 1.0f);
    EXPECT_EQ(read(element("light_pos_y=\"0x10\"")).light_pos_y, 0.0f);
    EXPECT_EQ(read(element("light_pos_y=\"inf\"")).light_pos_y, 0.0f);
    EXPECT_EQ(read(element("light_pos_y=\"1e-60\"")).light_pos_y, 0.0f);
}

TEST_F(OptionsFile, AbsentAttributesAndOtherElementsLeaveFieldsAlone) {
    StartupOptions r = read(
        "<plashwerk><other width=\"3\"/><Startup_Options width=\"4\"/>"
        "<startup_options unknown=\"9\"/></plashwerk>");
    EXPECT_TRUE(sameSettings(r, o));
}

TEST_F(OptionsFile, LaterElementsOverrideEarlierOnes) {
    StartupOptions r = read(
        "<plashwerk><startup_options width=\"1\" height=\"2\"/>"
        "<startup_options width=\"3\"/></plashwerk>");
    EXPECT_EQ(r.width, 3);
    EXPECT_EQ(r.height, 2);
}

TEST_F(OptionsFile, LongTextsAreCutTo127Characters) {
    const std::string email(300, 'x');
    StartupOptions r = read(element("submit_score_user_email=\"" + email + "\""));
    EXPECT_EQ(std::strlen(r.submit_score_user_email), 127u);
}

TEST_F(OptionsFile, DamagedFilesReadAsFarAsTheyAreSound) {
    EXPECT_EQ(read("").width, 800);
    EXPECT_EQ(read("this is not xml at all \x01\x02\xff").width, 800);
    read(element("width=\"1024\" height=\"7"));  // an unclosed quote swallows the rest
    // Shapes the XML library cannot walk to their end on its own: each is cut off before it,
    // and what came before still counts.
    const char* hazards[] = {"<p",  "<a b>",        "</x",  "<?xml",       "<!-- < -->",
                             "<!>", "<![-\n\tr]]>", "<a /", "<a b=\"1\" c"};
    for (const char* hazard : hazards) {
        StartupOptions r = read(element("width=\"1024\"") + hazard);
        EXPECT_EQ(r.width, 1024) << hazard;
    }
    // Truncated anywhere: must not crash.
    const std::string doc = element("width=\"1024\" height=\"768\"");
    for (size_t cut = 0; cut < doc.size(); ++cut) read(doc.substr(0, cut));
}

TEST_F(OptionsFile, MissingDirectoryAndEmptyPaths) {
    EXPECT_FALSE(readOptionsFile(o, ""));
    EXPECT_FALSE(readOptionsFile(o, nullptr));
    StartupOptions r = o;
    EXPECT_TRUE(readOptionsFile(r, (dir + "/missing.xml").c_str()));
    EXPECT_TRUE(sameSettings(r, o));
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
    EXPECT_TRUE(readOptionsFile(r, path.c_str())) << "a directory reads as an empty document";
    EXPECT_TRUE(sameSettings(r, o));

    EXPECT_FALSE(writeOptionsFile(o, ""));
    EXPECT_FALSE(writeOptionsFile(o, path.c_str())) << "cannot replace a directory";
    EXPECT_FALSE(writeOptionsFile(o, (dir + "/no/such/dir/x.xml").c_str()));
}

// A file over the size limit is not read, and the user is told why the settings are not
// theirs: a warning in the trace log and a line on standard error. A missing file stays quiet.
TEST_F(OptionsFile, AnOversizedFileIsIgnoredAndSaysSo) {
    Vantorr_nsp::vnTraceMgr& trace = Vantorr_nsp::vnTraceMgr::instance();
    trace.setLogFileName((dir + "/Plashwerk_").c_str());
    std::string big = element("width=\"640\"");
    big.resize((1 << 20) + 1, ' ');
    std::ofstream(path) << big;

    StartupOptions r = o;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(readOptionsFile(r, path.c_str()));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(r.width, o.width);
    EXPECT_NE(said.find(path + " is larger than 1048576 bytes and is ignored"), std::string::npos)
        << said;
    EXPECT_NE(slurp(trace.logFileName()).find("[WARNING] The options file " + path),
              std::string::npos);

    // One byte less is read; a missing file says nothing.
    big.resize(1 << 20);
    std::ofstream(path) << big;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(readOptionsFile(r, path.c_str()));
    EXPECT_TRUE(readOptionsFile(r, (dir + "/missing.xml").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(r.width, 640);
    trace.close();
}

TEST_F(OptionsFile, WritingReplacesAnExistingFile) {
    std::ofstream(path) << std::string(10000, 'z');
    ASSERT_TRUE(writeOptionsFile(o, path.c_str()));
    EXPECT_EQ(slurp(path), formatOptionsFile(o));
}

}  // namespace
}  // namespace plashwerk
