#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "settings/settings_fields.h"
#include "settings/startup_options.h"

namespace plashwerk {
namespace {

class CommandLine : public ::testing::Test {
  protected:
    void SetUp() override { setDefaultStartupOptions(o); }
    StartupOptions parsed(const char* text) {
        StartupOptions copy = o;
        parseCommandLine(copy, text);
        return copy;
    }
    StartupOptions o;
};

TEST_F(CommandLine, DefaultsAreTheDocumentedValues) {
    EXPECT_EQ(o.show_startup_dialog, 1);
    EXPECT_EQ(o.width, 800);
    EXPECT_EQ(o.height, 600);
    EXPECT_EQ(o.run_mode, int(RunMode::StabilityTest));
    EXPECT_EQ(o.fullscreen, 0);
    EXPECT_EQ(o.max_time, 60000);
    EXPECT_EQ(o.num_particles, 120000);
    EXPECT_EQ(o.num_fluid_emitters, 4);
    EXPECT_FLOAT_EQ(o.physx_fluid_emitter_size, 0.2f);
    EXPECT_FLOAT_EQ(o.particles_lifetime, 15.0f);
    EXPECT_FLOAT_EQ(o.light_pos_y, 30.0f);
    EXPECT_EQ(o.physx_gpu_heap_size, 256);
    EXPECT_TRUE(o.use_gpuz);
    EXPECT_TRUE(o.physx_cpu);
    EXPECT_GE(o.num_cpu_cores, 1);
    EXPECT_EQ(o.submit_score_user_email[0], '\0');
}

TEST_F(CommandLine, EmptyOrNullTextChangesNothing) {
    EXPECT_TRUE(sameSettings(o, parsed("")));
    StartupOptions copy = o;
    parseCommandLine(copy, nullptr);
    EXPECT_TRUE(sameSettings(o, copy));
}

TEST_F(CommandLine, FlagsMatchAnywhereAndAreCaseSensitive) {
    StartupOptions p = parsed("foo/noguibar /log_score");
    EXPECT_EQ(p.show_startup_dialog, 0);
    EXPECT_TRUE(p.log_score);
    EXPECT_EQ(parsed("/NOGUI").show_startup_dialog, 1);
    EXPECT_FALSE(parsed("/no_sph").use_sph);
    EXPECT_FALSE(parsed("/disable_scene_rendering").render_scene);
    EXPECT_FALSE(parsed("/single_threaded_physx").multithreaded_physx);
    EXPECT_FALSE(parsed("/physx_gpu_several_emitters_per_fluid").fluid_per_emitter);
    EXPECT_FALSE(parsed("/disable_gpu_temp_spike_filter").enable_gpu_temp_spike_filter);
    EXPECT_TRUE(parsed("/add_post_processing").add_post_fx);
    EXPECT_EQ(parsed("/xtreme_burning").xtreme_burning, 1);
}

TEST_F(CommandLine, LaterOptionsInTheOrderWinWhateverTheirPlaceInTheText) {
    EXPECT_EQ(parsed("/fullscreen /nofullscreen").fullscreen, 0);
    EXPECT_EQ(parsed("/nofullscreen /fullscreen").fullscreen, 0);
    EXPECT_EQ(parsed("/fullscreen").fullscreen, 1);
}

TEST_F(CommandLine, ValuedOptionsReadTheirNumberOrKeepTheField) {
    EXPECT_EQ(parsed("/width=1024").width, 1024);
    EXPECT_EQ(parsed("xx/width=1024yy").width, 1024);
    EXPECT_EQ(parsed("/width=abc").width, 800);
    EXPECT_EQ(parsed("/width=").width, 800);
    EXPECT_EQ(parsed("/width=-5").width, -5);  // repaired later by the window, not here
    EXPECT_EQ(parsed("/height=720 /msaa=4").msaa, 4);
    EXPECT_EQ(parsed("/run_mode=1").run_mode, 1);
    EXPECT_EQ(parsed("/max_time=5000").max_time, 5000);
    EXPECT_EQ(parsed("/max_frames=12").max_frames, 12);
    EXPECT_EQ(parsed("/render_slowdown_delay=7").render_slowdown_delay, 7);
    EXPECT_EQ(parsed("/render_slowdown_delay").render_slowdown_delay, 0);
    EXPECT_EQ(parsed("/top_left_osi_y_offset=30").top_left_osi_y_offset, 30);
    EXPECT_EQ(parsed("/physx_gpu_heap_size=64").physx_gpu_heap_size, 64);
    // Only the first occurrence of a literal is read.
    EXPECT_EQ(parsed("/width=640 /width=320").width, 640);
}

TEST_F(CommandLine, NumbersOutOfRangeSaturateAndNonFiniteRealsAreRefused) {
    EXPECT_EQ(parsed("/width=99999999999999999999").width, 2147483647);
    EXPECT_EQ(parsed("/max_time=-99999999999999999999").max_time, -2147483647 - 1);
    EXPECT_FLOAT_EQ(parsed("/physx_fluid_emitter_size=nan").physx_fluid_emitter_size, 0.2f);
    EXPECT_FLOAT_EQ(parsed("/gpu_temp_spike_filter_threshold=inf").gpu_temp_spike_filter_threshold,
                    20.0f);
}

// Valued options read their number the way "%d" and "%f" scan: blanks and a sign may lead,
// digits are decimal whatever zeros lead them, and the number ends at the first other
// character.
TEST_F(CommandLine, NumberFormsAsTheScanReadsThem) {
    EXPECT_EQ(parsed("/width=0640").width, 640) << "leading zeros are not octal";
    EXPECT_EQ(parsed("/width=0x400").width, 0) << "hexadecimal stops at the x";
    EXPECT_EQ(parsed("/width=+700").width, 700);
    EXPECT_EQ(parsed("/max_time=-1").max_time, -1);
    EXPECT_EQ(parsed("/width= 512").width, 512) << "blanks before the number are skipped";
    EXPECT_EQ(parsed("/width=  \t9").width, 9);
    EXPECT_EQ(parsed("/width=- 5").width, 800) << "a sign must touch its digits";
    EXPECT_EQ(parsed("/width=12abc").width, 12);
    EXPECT_EQ(parsed("/width=7.9").width, 7);
    EXPECT_EQ(parsed("/width =640").width, 800) << "the pattern needs the = right after";
    EXPECT_EQ(parsed("/render_slowdown_delay =5").render_slowdown_delay, 0);
    EXPECT_EQ(parsed("/render_slowdown_delay= 5").render_slowdown_delay, 5);
    EXPECT_EQ(parsed("/physx_gpu_heap_size=").physx_gpu_heap_size, 256) << "empty value";
    EXPECT_EQ(parsed("/num_fluid_emitters=-0").num_fluid_emitters, 1);
    EXPECT_EQ(parsed("/num_fluid_emitters=007").num_fluid_emitters, 7);
    EXPECT_TRUE(parsed("/osi= 3").display_information);
    EXPECT_FALSE(parsed("/osi=0x5").display_information);
    EXPECT_FLOAT_EQ(parsed("/physx_fluid_emitter_size= .5").physx_fluid_emitter_size, 0.5f);
    EXPECT_FLOAT_EQ(parsed("/physx_fluid_emitter_size=-1e-1").physx_fluid_emitter_size, -0.1f);
    EXPECT_FLOAT_EQ(parsed("/physx_fluid_emitter_size=0x1p-2").physx_fluid_emitter_size, 0.25f);
    EXPECT_FLOAT_EQ(parsed("/physx_fluid_emitter_size=").physx_fluid_emitter_size, 0.2f);
    EXPECT_FLOAT_EQ(parsed("/gpu_temp_spike_filter_threshold=+7.").gpu_temp_spike_filter_threshold,
                    7.0f);
}

TEST_F(CommandLine, RealOptions) {
    EXPECT_FLOAT_EQ(parsed("/physx_fluid_emitter_size=0.35").physx_fluid_emitter_size, 0.35f);
    EXPECT_FLOAT_EQ(parsed("/physx_fluid_emitter_size=x").physx_fluid_emitter_size, 0.2f);
    EXPECT_FLOAT_EQ(parsed("/gpu_temp_spike_filter_threshold=12.5").gpu_temp_spike_filter_threshold,
                    12.5f);
}

TEST_F(CommandLine, EmitterCountOfZeroBecomesOne) {
    EXPECT_EQ(parsed("/num_fluid_emitters=0").num_fluid_emitters, 1);
    EXPECT_EQ(parsed("/num_fluid_emitters=9").num_fluid_emitters, 9);
    EXPECT_EQ(parsed("/num_fluid_emitters=z").num_fluid_emitters, 4);
}

TEST_F(CommandLine, OsiWithoutANumberTurnsTheInformationOff) {
    EXPECT_FALSE(parsed("/osi").display_information);
    EXPECT_FALSE(parsed("/osi=0").display_information);
    EXPECT_TRUE(parsed("/osi=2").display_information);
    EXPECT_FALSE(parsed("/osi=x").display_information);
}

// A text value ends at the next blank unless quoted, and the other options never match
// inside it: a path naming a folder "log_score" must not switch the score log on.
TEST_F(CommandLine, ResultsJsonTakesAPathThatOtherOptionsDoNotMatchIn) {
    EXPECT_EQ(o.results_json, "");
    StartupOptions p = parsed("/nogui /results_json=out/r.json /run_mode=1");
    EXPECT_EQ(p.results_json, "out/r.json");
    EXPECT_EQ(p.run_mode, int(RunMode::Benchmark));
    EXPECT_EQ(p.show_startup_dialog, 0);

    p = parsed("/results_json=/tmp/log_score/fullscreen/width=5.json");
    EXPECT_EQ(p.results_json, "/tmp/log_score/fullscreen/width=5.json");
    EXPECT_FALSE(p.log_score);
    EXPECT_EQ(p.fullscreen, 0);
    EXPECT_EQ(p.width, 800);

    p = parsed("/results_json=\"my results/r 1.json\" /log_score");
    EXPECT_EQ(p.results_json, "my results/r 1.json");
    EXPECT_TRUE(p.log_score) << "options after a quoted value still count";
    EXPECT_EQ(parsed("/results_json=\"/tmp/a b").results_json, "/tmp/a b") << "unclosed quote";
    EXPECT_EQ(parsed("/results_json= /log_score").results_json, "");
    EXPECT_EQ(parsed("/results_json").results_json, "") << "without '=' it is no option";
    // Another text option's name inside the path is part of the path, in either order.
    p = parsed("/results_json=/tmp/x/score_server=x.json /log_score");
    EXPECT_EQ(p.results_json, "/tmp/x/score_server=x.json");
    EXPECT_EQ(p.score_server, "");
    EXPECT_TRUE(p.log_score);
    p = parsed("/score_server=h/results_json=r.json:81 /results_json=\"a/score_server=b\"");
    EXPECT_EQ(p.score_server, "h/results_json=r.json:81");
    EXPECT_EQ(p.results_json, "a/score_server=b");
    EXPECT_EQ(parsed("/results_json=first.json /results_json=second.json").results_json,
              "first.json");
    const std::string long_path = "/tmp/" + std::string(5000, 'p') + ".json";
    EXPECT_EQ(parsed(("/results_json=" + long_path).c_str()).results_json, long_path)
        << "a long path is kept whole, not cut";
}

TEST_F(CommandLine, PhysxCpuFlagOnlyMattersAfterTheFileClearedIt) {
    o.physx_cpu = false;
    EXPECT_TRUE(parsed("/physx_cpu").physx_cpu);
    EXPECT_FALSE(parsed("").physx_cpu);
}

TEST_F(CommandLine, ScoreServerTakesTheTextUpToTheNextBlank) {
    EXPECT_EQ(o.score_server, "");
    EXPECT_EQ(parsed("/nogui /score_server=scores.example.org:8080 /log_score").score_server,
              "scores.example.org:8080");
    EXPECT_EQ(parsed("/score_server=").score_server, "");
    EXPECT_EQ(parsed("/score_server").score_server, "");
    const std::string longHost = "/score_server=" + std::string(300, 'h');
    EXPECT_EQ(parsed(longHost.c_str()).score_server.size(), 300u);
}

// The one table drives the defaults, the command line and the file: a row that names a
// member twice, a spelling whose form does not fit its field, or a gap in the file's orders
// would silently lose a setting.
TEST(SettingsTable, EveryRowIsConsistent) {
    std::set<std::string> names;
    std::set<const void*> members;
    std::vector<int> read_ranks, write_ranks;
    StartupOptions probe{};
    for (const SettingField& field : settingFields()) {
        EXPECT_TRUE(names.insert(field.name).second) << field.name;
        const FieldRef& r = field.ref;
        const int set = (r.int_field != nullptr) + (r.bool_field != nullptr) +
                        (r.float_field != nullptr) + (r.text_field != nullptr) +
                        (r.string_field != nullptr);
        ASSERT_EQ(set, 1) << field.name;
        const void* member = r.int_field     ? static_cast<const void*>(&(probe.*r.int_field))
                             : r.bool_field  ? static_cast<const void*>(&(probe.*r.bool_field))
                             : r.float_field ? static_cast<const void*>(&(probe.*r.float_field))
                             : r.text_field  ? static_cast<const void*>(&(probe.*r.text_field))
                                             : static_cast<const void*>(&(probe.*r.string_field));
        EXPECT_TRUE(members.insert(member).second) << field.name << " names a member twice";
        for (const CommandLineSpelling& spelling : field.options) {
            if (spelling.form == OptionForm::None) continue;
            EXPECT_EQ(spelling.literal[0], '/') << field.name;
            if (spelling.form == OptionForm::OnIfNonZero) EXPECT_TRUE(r.bool_field) << field.name;
            if (spelling.form == OptionForm::Count) EXPECT_TRUE(r.int_field) << field.name;
            if (spelling.form == OptionForm::Number)
                EXPECT_TRUE(r.int_field || r.float_field) << field.name;
            EXPECT_EQ(spelling.form == OptionForm::Text, r.string_field != nullptr) << field.name;
        }
        if (r.string_field) EXPECT_EQ(field.file, FileForm::None) << "command line only";
        if (field.file == FileForm::None) {
            EXPECT_EQ(field.read_rank + field.write_rank, 0) << field.name;
            continue;
        }
        read_ranks.push_back(field.read_rank);
        write_ranks.push_back(field.write_rank);
        const bool real = field.file == FileForm::Real || field.file == FileForm::WholeReal;
        EXPECT_EQ(real, r.float_field != nullptr) << field.name;
        EXPECT_EQ(real, field.write_format != nullptr) << field.name;
        EXPECT_EQ(field.file == FileForm::Bool, r.bool_field != nullptr) << field.name;
        EXPECT_EQ(field.file == FileForm::Text, r.text_field != nullptr) << field.name;
    }
    std::sort(read_ranks.begin(), read_ranks.end());
    std::sort(write_ranks.begin(), write_ranks.end());
    for (size_t k = 0; k < read_ranks.size(); ++k) {
        EXPECT_EQ(read_ranks[k], static_cast<int>(k + 1)) << "read order has a gap or a twin";
        EXPECT_EQ(write_ranks[k], static_cast<int>(k + 1)) << "write order has a gap or a twin";
    }
    EXPECT_EQ(settingFieldsInReadOrder().size(), read_ranks.size());
    EXPECT_EQ(settingFieldsInWriteOrder().front()->name, std::string("display_menu_bar"));
}

// Each field differs from its default after exactly one change, so the comparison and the
// defaults really cover every row.
TEST(SettingsTable, ComparisonSeesEveryField) {
    StartupOptions base;
    setDefaultStartupOptions(base);
    for (const SettingField& field : settingFields()) {
        StartupOptions changed = base;
        const FieldRef& r = field.ref;
        if (r.int_field) changed.*r.int_field += 1;
        if (r.bool_field) changed.*r.bool_field = !(changed.*r.bool_field);
        if (r.float_field) changed.*r.float_field += 1.0f;
        if (r.text_field) (changed.*r.text_field)[0] = 'x';
        if (r.string_field) changed.*r.string_field = "x";
        EXPECT_FALSE(sameSettings(base, changed)) << field.name;
        EXPECT_TRUE(sameField(field, changed, changed)) << field.name;
    }
}

TEST(Usage, ListsEveryOptionWithItsHelpAndDefault) {
    const std::string usage = formatUsage();
    for (const SettingField& field : settingFields()) {
        for (const CommandLineSpelling& spelling : field.options) {
            if (spelling.form == OptionForm::None) continue;
            ASSERT_NE(spelling.help, nullptr) << spelling.literal;
            const size_t at = usage.find(std::string("  ") + spelling.literal);
            ASSERT_NE(at, std::string::npos) << spelling.literal;
            const std::string line = usage.substr(at, usage.find('\n', at) - at);
            EXPECT_NE(line.find(spelling.help), std::string::npos) << line;
            EXPECT_NE(line.find(std::string("[") + field.name + ", default "), std::string::npos)
                << line;
        }
    }
    EXPECT_NE(usage.find("  /width=N "), std::string::npos);
    EXPECT_NE(usage.find("  /physx_fluid_emitter_size=X "), std::string::npos);
    EXPECT_NE(usage.find("  /render_slowdown_delay=N "), std::string::npos);
    EXPECT_NE(usage.find("  /osi[=N] "), std::string::npos);
    EXPECT_NE(usage.find("  /results_json=PATH "), std::string::npos);
    EXPECT_NE(usage.find("default 60000]"), std::string::npos);
    EXPECT_TRUE(isHelpRequest("--help") && isHelpRequest("-h") && isHelpRequest("/?"));
    EXPECT_FALSE(isHelpRequest("/help") || isHelpRequest("-help") || isHelpRequest(nullptr));
}

TEST(JoinCommandLine, JoinsArgumentsWithSingleBlanks) {
    char a0[] = "plashwerk", a1[] = "/nogui", a2[] = "/width=640";
    char* argv[] = {a0, a1, a2, nullptr};
    EXPECT_EQ(joinCommandLine(3, argv), "/nogui /width=640");
    EXPECT_EQ(joinCommandLine(1, argv), "");
}

TEST(Presets, SetTheirFieldsAndTheSecondWins) {
    StartupOptions o;
    setDefaultStartupOptions(o);
    o.add_post_fx = true;
    o.alt_physx_threading = true;
    o.physx_cpu = false;
    applyPreset(o, Preset::P1080, nullptr);
    EXPECT_EQ(o.width, 1920);
    EXPECT_EQ(o.height, 1080);
    EXPECT_EQ(o.num_fluid_emitters, 7);
    EXPECT_EQ(o.num_particles, 60000);
    EXPECT_EQ(o.fullscreen, 1);
    EXPECT_EQ(o.run_mode, int(RunMode::Benchmark));
    EXPECT_TRUE(o.preset_run);
    EXPECT_TRUE(o.increase_graphx_workload);
    EXPECT_FALSE(o.add_post_fx);
    EXPECT_FALSE(o.alt_physx_threading);
    EXPECT_FALSE(o.physx_cpu) << "without a dialog physx_cpu keeps its value";

    applyPreset(o, Preset::P720, nullptr);
    EXPECT_EQ(o.width, 1280);
    EXPECT_EQ(o.height, 720);
    EXPECT_EQ(o.num_fluid_emitters, 3);
    EXPECT_EQ(o.num_particles, 30000);
}

TEST(Presets, FromTheDialogTakeTheGpuAndZ2oBoxes) {
    StartupOptions o;
    setDefaultStartupOptions(o);
    PresetDialogState dialog{true, true};
    applyPreset(o, Preset::P720, &dialog);
    EXPECT_FALSE(o.physx_cpu);
    EXPECT_TRUE(o.z2o_physx_gpu_mem);
    dialog = {false, false};
    applyPreset(o, Preset::P720, &dialog);
    EXPECT_TRUE(o.physx_cpu);
    EXPECT_FALSE(o.z2o_physx_gpu_mem);
}

}  // namespace
}  // namespace plashwerk
