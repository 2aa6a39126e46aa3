// The startup dialog's control model: what opening the dialog shows for given settings and
// hardware, what each control does, and what reading the dialog writes back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/startup_dialog_model.h"

namespace plashwerk {
namespace {

class StartupDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        setDefaultStartupOptions(options);
        options.num_cpu_cores = 8;
        hardware.physx_gpu_count = 1;
        hardware.msaa_modes = {2, 4, 8, 16, 32};
    }

    DialogAction open() { return model.initialise(options, hardware); }
    const DialogControl& c(int id) const { return model.control(id); }
    std::string selected(int id) const {
        const DialogControl& list = c(id);
        return list.selection < 0 ? "<none>" : list.entries[static_cast<size_t>(list.selection)];
    }
    int indexOf(int id, const std::string& text) const {
        const auto& entries = c(id).entries;
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i] == text) return static_cast<int>(i);
        return -1;
    }

    StartupOptions options{};
    StartupDialogHardware hardware;
    StartupDialogModel model;
};

TEST_F(StartupDialog, ListedResolutionSelectsItsEntryAndLocksTheCustomBoxes) {
    options.width = 1280;
    options.height = 720;
    open();
    EXPECT_EQ(c(kCtlResolutionList).entries.size(), 46u);
    EXPECT_EQ(c(kCtlResolutionList).selection, 20);
    EXPECT_FALSE(c(kCtlCustomWidth).enabled);
    EXPECT_FALSE(c(kCtlCustomHeight).enabled);
    EXPECT_FALSE(c(kCtlSizeSeparator).enabled);

    // Picking "Custom" opens the boxes, any other entry closes them again.
    model.select(kCtlResolutionList, 0);
    EXPECT_TRUE(c(kCtlCustomWidth).enabled);
    EXPECT_TRUE(c(kCtlSizeSeparator).enabled);
    model.select(kCtlResolutionList, 35);
    EXPECT_FALSE(c(kCtlCustomHeight).enabled);
    model.readDialogSettings(options);
    EXPECT_EQ(options.width, 1024);
    EXPECT_EQ(options.height, 768);
}

TEST_F(StartupDialog, UnlistedResolutionSelectsCustomWithItsNumbers) {
    // 1000 x 700 as an options file or the command line may leave it.
    options.width = 1000;
    options.height = 700;
    open();
    EXPECT_EQ(selected(kCtlResolutionList), "Custom");
    EXPECT_TRUE(c(kCtlCustomWidth).enabled);
    EXPECT_EQ(c(kCtlCustomWidth).text, "1000");
    EXPECT_EQ(c(kCtlCustomHeight).text, "700");
    model.readDialogSettings(options);
    EXPECT_EQ(options.width, 1000);
    EXPECT_EQ(options.height, 700);
}

TEST_F(StartupDialog, SizeBelowOneOpensAs1024x768) {
    options.width = 0;
    options.height = -5;
    open();
    EXPECT_EQ(options.width, 1024);
    EXPECT_EQ(options.height, 768);
    EXPECT_EQ(selected(kCtlResolutionList), "1024x768");
}

TEST_F(StartupDialog, HeadingsAndEmptyLinesReadAs1024x768) {
    open();
    for (int index : {1, 2, 15, 16, 29, 30}) {
        model.select(kCtlResolutionList, index);
        options.width = options.height = 0;
        model.readDialogSettings(options);
        EXPECT_EQ(options.width, 1024) << index;
        EXPECT_EQ(options.height, 768) << index;
    }
    model.select(kCtlResolutionList, indexOf(kCtlResolutionList, "2560x1440"));
    model.readDialogSettings(options);
    EXPECT_EQ(options.width, 2560);
    EXPECT_EQ(options.height, 1440);
}

TEST_F(StartupDialog, CustomBoxesRepairWhatIsNotAPositiveNumber) {
    open();
    model.select(kCtlResolutionList, 0);
    struct Case {
        const char* width;
        const char* height;
        int want_width;
        int want_height;
    };
    for (const Case& k :
         {Case{"", "", 1024, 768}, Case{"0", "0", 1024, 768}, Case{"-640", "-480", 1024, 768},
          Case{"wide", "12x", 1024, 768}, Case{"99999999999", "720", 1024, 720},
          // Large sizes pass; creating the window holds them to the screen.
          Case{"100000", "100000", 100000, 100000}, Case{" 1366 ", "768", 1366, 768}}) {
        model.setText(kCtlCustomWidth, k.width);
        model.setText(kCtlCustomHeight, k.height);
        model.readDialogSettings(options);
        EXPECT_EQ(options.width, k.want_width) << '"' << k.width << '"';
        EXPECT_EQ(options.height, k.want_height) << '"' << k.height << '"';
    }
}

TEST_F(StartupDialog, EmitterListFollowsTheProcessorCountAndUnlock) {
    options.num_fluid_emitters = 4;
    open();
    const std::vector<std::string> one_to_seven{"1", "2", "3", "4", "5", "6", "7"};
    EXPECT_EQ(c(kCtlEmitterList).entries, one_to_seven);
    EXPECT_EQ(selected(kCtlEmitterList), "4");

    model.click(kCtlUnlock, options);
    EXPECT_TRUE(options.unlock_cpu_cores_number);
    EXPECT_EQ(c(kCtlEmitterList).entries.size(), 31u);
    EXPECT_EQ(c(kCtlEmitterList).entries.back(), "31");
    EXPECT_EQ(selected(kCtlEmitterList), "7");

    model.click(kCtlUnlock, options);
    EXPECT_FALSE(options.unlock_cpu_cores_number);
    EXPECT_EQ(c(kCtlEmitterList).entries, one_to_seven);

    model.select(kCtlEmitterList, 2);
    model.readDialogSettings(options);
    EXPECT_EQ(options.num_fluid_emitters, 3);
}

TEST_F(StartupDialog, StoredEmitterCountOutsideTheListKeepsTheDefaultEntry) {
    for (int stored : {0, -3, 8, 40}) {
        options.num_fluid_emitters = stored;
        StartupDialogModel fresh;
        fresh.initialise(options, hardware);
        EXPECT_EQ(fresh.control(kCtlEmitterList).selection, 6) << stored;
    }
    options.unlock_cpu_cores_number = true;
    options.num_fluid_emitters = 20;
    open();
    EXPECT_TRUE(c(kCtlUnlock).checked);
    EXPECT_EQ(selected(kCtlEmitterList), "20");
}

TEST_F(StartupDialog, SingleProcessorOffersOneEmitterAndNoPhysicsThread) {
    options.num_cpu_cores = 1;
    options.multithreaded_physx = true;
    options.threads_sync = false;
    options.num_fluid_emitters = 4;
    open();
    EXPECT_EQ(c(kCtlEmitterList).entries, std::vector<std::string>{"1"});
    EXPECT_EQ(selected(kCtlEmitterList), "1");
    EXPECT_FALSE(options.multithreaded_physx);
    EXPECT_TRUE(options.threads_sync);
    EXPECT_FALSE(c(kCtlMultithreadPhysx).checked);
    EXPECT_FALSE(c(kCtlMultithreadPhysx).enabled);
    EXPECT_FALSE(c(kCtlAsyncMode).checked);
    EXPECT_FALSE(c(kCtlAsyncMode).enabled);
    EXPECT_TRUE(c(kCtlMulticoreCpuPhysx).enabled);
    // A disabled box ignores clicks.
    model.click(kCtlMultithreadPhysx, options);
    EXPECT_FALSE(c(kCtlMultithreadPhysx).checked);

    model.click(kCtlUnlock, options);
    EXPECT_EQ(c(kCtlEmitterList).entries.size(), 31u);
    EXPECT_EQ(selected(kCtlEmitterList), "1");
}

TEST_F(StartupDialog, SixtyFourProcessorsKeepTheSelectionInsideTheList) {
    options.num_cpu_cores = 64;
    options.num_fluid_emitters = 4;
    open();
    EXPECT_EQ(c(kCtlEmitterList).entries.size(), 63u);
    EXPECT_EQ(selected(kCtlEmitterList), "4");
    // Unlocking offers fewer entries than there are processors: the last one is taken.
    model.click(kCtlUnlock, options);
    EXPECT_EQ(c(kCtlEmitterList).entries.size(), 31u);
    EXPECT_EQ(selected(kCtlEmitterList), "31");
    model.click(kCtlUnlock, options);
    EXPECT_EQ(selected(kCtlEmitterList), "63");
}

TEST_F(StartupDialog, WithoutPhysicsGpuBothGpuBoxesAreOffAndRunsUseTheCpu) {
    hardware.physx_gpu_count = 0;
    options.physx_cpu = false;
    options.z2o_physx_gpu_mem = true;
    open();
    for (int id : {kCtlPhysxGpu, kCtlZ2o}) {
        EXPECT_FALSE(c(id).checked) << id;
        EXPECT_FALSE(c(id).enabled) << id;
    }
    EXPECT_EQ(model.click(kCtlStartTest, options), DialogAction::StartRun);
    EXPECT_TRUE(options.physx_cpu);
    EXPECT_FALSE(options.z2o_physx_gpu_mem);
    model.click(kCtlPreset1080, options);
    EXPECT_TRUE(options.physx_cpu);
    EXPECT_FALSE(options.z2o_physx_gpu_mem);
}

TEST_F(StartupDialog, WithPhysicsGpuTheBoxesMirrorTheSettings) {
    options.physx_cpu = false;
    options.z2o_physx_gpu_mem = true;
    open();
    EXPECT_TRUE(c(kCtlPhysxGpu).checked);
    EXPECT_TRUE(c(kCtlZ2o).checked);
    model.click(kCtlPhysxGpu, options);
    model.click(kCtlPreset720, options);
    EXPECT_TRUE(options.physx_cpu);
    EXPECT_TRUE(options.z2o_physx_gpu_mem);
    EXPECT_EQ(options.width, 1280);
    EXPECT_EQ(options.num_fluid_emitters, 3);
    EXPECT_TRUE(options.preset_run);
}

TEST_F(StartupDialog, MultithreadBoxRulesAsyncModeAndTheSdkMulticoreBox) {
    options.multithreaded_physx = true;
    options.multicore_cpu_physx = true;
    options.threads_sync = false;
    open();
    EXPECT_FALSE(options.multicore_cpu_physx);
    EXPECT_TRUE(c(kCtlAsyncMode).checked);
    EXPECT_TRUE(c(kCtlAsyncMode).enabled);
    EXPECT_FALSE(c(kCtlMulticoreCpuPhysx).enabled);

    model.click(kCtlMultithreadPhysx, options);
    EXPECT_TRUE(options.threads_sync);
    EXPECT_FALSE(c(kCtlAsyncMode).checked);
    EXPECT_FALSE(c(kCtlAsyncMode).enabled);
    EXPECT_TRUE(c(kCtlMulticoreCpuPhysx).enabled);

    model.click(kCtlMultithreadPhysx, options);
    EXPECT_TRUE(c(kCtlAsyncMode).enabled);
    EXPECT_FALSE(c(kCtlAsyncMode).checked);
    EXPECT_FALSE(c(kCtlMulticoreCpuPhysx).enabled);
}

TEST_F(StartupDialog, SingleThreadedSettingsOpenWithSyncForced) {
    options.multithreaded_physx = false;
    options.threads_sync = false;
    open();
    EXPECT_TRUE(options.threads_sync);
    EXPECT_FALSE(c(kCtlAsyncMode).checked);
    EXPECT_FALSE(c(kCtlAsyncMode).enabled);
    EXPECT_TRUE(c(kCtlMulticoreCpuPhysx).enabled);
}

TEST_F(StartupDialog, MsaaListSkipsLargeModesAndMapsEntriesToSampleCounts) {
    hardware.msaa_modes = {32, 2, 4, 24, 8};
    options.msaa = 8;
    open();
    const std::vector<std::string> want{"NONE", "2X MSAA", "4X MSAA", "8X MSAA"};
    EXPECT_EQ(c(kCtlMsaaList).entries, want);
    EXPECT_EQ(selected(kCtlMsaaList), "8X MSAA");
    model.select(kCtlMsaaList, 2);
    model.readDialogSettings(options);
    EXPECT_EQ(options.msaa, 4);
    model.select(kCtlMsaaList, 0);
    model.readDialogSettings(options);
    EXPECT_EQ(options.msaa, 0);
}

TEST_F(StartupDialog, MsaaNotOfferedSelectsNone) {
    for (int msaa : {6, 32}) {
        options.msaa = msaa;
        StartupDialogModel fresh;
        fresh.initialise(options, hardware);
        EXPECT_EQ(fresh.control(kCtlMsaaList).selection, 0) << msaa;
        fresh.readDialogSettings(options);
        EXPECT_EQ(options.msaa, 0);
    }
}

TEST_F(StartupDialog, OpeningShowsTheSettingsAndMarksParticleCountUse) {
    options.fullscreen = 1;
    options.increase_graphx_workload = true;
    options.log_temperature = true;
    options.add_post_fx = true;
    options.num_total_particles = 250000;
    options.use_particle_count = false;
    options.display_latest_news = true;
    hardware.hardware_summary = "GPU 1: test card";
    EXPECT_EQ(open(), DialogAction::OpenNewsPage);
    EXPECT_FALSE(options.display_latest_news);
    EXPECT_TRUE(options.use_particle_count);
    for (int id : {kCtlFullscreen, kCtlMoreGraphicsLoad, kCtlLogTemperature, kCtlPostFx})
        EXPECT_TRUE(c(id).checked) << id;
    EXPECT_EQ(c(kCtlParticleCount).text, "Change particle count: 250000");
    EXPECT_EQ(c(kCtlHardwareSummary).text, "GPU 1: test card");
    EXPECT_EQ(model.title(), "Quorvex Plashwerk 1.5.4 - PhysX benchmark");
    EXPECT_EQ(open(), DialogAction::None);
}

TEST_F(StartupDialog, ReadingTheDialogCopiesEveryControl) {
    open();
    // Settings the dialog overwrites, set to values it never writes.
    options.xtreme_burning = 1;
    options.alt_physx_threading = false;
    options.preset_run = true;
    options.max_time = 5;
    options.time_based_benchmark = false;
    options.num_total_particles = 77777;
    options.num_particles = 1;

    model.click(kCtlFullscreen, options);
    model.click(kCtlMoreGraphicsLoad, options);
    model.click(kCtlLogTemperature, options);
    model.click(kCtlPostFx, options);
    model.click(kCtlAsyncMode, options);
    model.click(kCtlPhysxGpu, options);
    model.click(kCtlZ2o, options);
    model.select(kCtlEmitterList, 5);
    model.select(kCtlResolutionList, indexOf(kCtlResolutionList, "1920x1080"));
    model.select(kCtlMsaaList, 4);
    EXPECT_EQ(model.click(kCtlQuit, options), DialogAction::Quit);

    EXPECT_EQ(options.fullscreen, 1);
    EXPECT_TRUE(options.increase_graphx_workload);
    EXPECT_TRUE(options.log_temperature);
    EXPECT_TRUE(options.add_post_fx);
    EXPECT_FALSE(options.threads_sync);
    EXPECT_FALSE(options.physx_cpu);
    EXPECT_TRUE(options.z2o_physx_gpu_mem);
    EXPECT_TRUE(options.multithreaded_physx);
    EXPECT_FALSE(options.multicore_cpu_physx);
    EXPECT_FALSE(options.unlock_cpu_cores_number);
    EXPECT_EQ(options.xtreme_burning, 0);
    EXPECT_TRUE(options.alt_physx_threading);
    EXPECT_EQ(options.num_fluid_emitters, 6);
    EXPECT_EQ(options.width, 1920);
    EXPECT_EQ(options.height, 1080);
    EXPECT_EQ(options.msaa, 16);
    EXPECT_EQ(options.num_particles, 77777);
    EXPECT_EQ(options.max_time, 60000);
    EXPECT_TRUE(options.time_based_benchmark);
    EXPECT_FALSE(options.preset_run);

    // The close box does what Quit does.
    options.width = 1;
    EXPECT_EQ(model.close(options), DialogAction::Quit);
    EXPECT_EQ(options.width, 1920);
}

TEST_F(StartupDialog, StartButtonsSetTheRunKind) {
    open();
    options.particle_type = 0;
    EXPECT_EQ(model.click(kCtlStartUserSettings, options), DialogAction::StartRun);
    EXPECT_EQ(options.run_mode, int(RunMode::Benchmark));
    EXPECT_EQ(options.particle_type, 2);
    EXPECT_EQ(options.max_time, 60000);

    EXPECT_EQ(model.click(kCtlStartTest, options), DialogAction::StartRun);
    EXPECT_EQ(options.run_mode, int(RunMode::StabilityTest));
    EXPECT_FALSE(options.preset_run);

    EXPECT_EQ(model.click(kCtlPreset1080, options), DialogAction::StartRun);
    EXPECT_EQ(options.run_mode, int(RunMode::Benchmark));
    EXPECT_EQ(options.width, 1920);
    EXPECT_EQ(options.num_particles, 60000);
    EXPECT_FALSE(options.alt_physx_threading);

    EXPECT_EQ(model.click(kCtlAbout, options), DialogAction::ShowAbout);
    EXPECT_EQ(model.click(kCtlLatestLink, options), DialogAction::OpenLatestPage);
    EXPECT_EQ(model.click(kCtlScoresLink, options), DialogAction::OpenScoresPage);
    EXPECT_EQ(model.click(kCtlParticleCount, options), DialogAction::ShowParticleCount);
}

TEST_F(StartupDialog, ParticleCountDialogKeepsTheOldCountForBadInput) {
    options.num_total_particles = 120000;
    open();
    for (const char* bad : {"0", "-10", "", "lots", "2147483648", "12abc"}) {
        ParticleCountDialogModel dialog(options);
        EXPECT_EQ(dialog.text, "120000");
        dialog.text = bad;
        EXPECT_EQ(dialog.ok(options), 1);
        EXPECT_EQ(options.num_total_particles, 120000) << '"' << bad << '"';
    }
    ParticleCountDialogModel dialog(options);
    dialog.text = "2147483647";
    model.particleCountClosed(dialog.ok(options), options);
    EXPECT_EQ(options.num_total_particles, 2147483647);
    EXPECT_EQ(c(kCtlParticleCount).text, "Change particle count: 2147483647");

    ParticleCountDialogModel cancelled(options);
    cancelled.text = "5";
    model.particleCountClosed(ParticleCountDialogModel::cancel(), options);
    EXPECT_EQ(options.num_total_particles, 2147483647);
}

}  // namespace
}  // namespace plashwerk
