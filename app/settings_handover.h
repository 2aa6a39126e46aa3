#pragma once
// The one place the program's settings are handed to the subsystems: each gets the narrow
// record it needs, taken from the settings when a run (or the monitor) starts, and the run's
// key toggles come back when its window closes.

#include "gpumon/monitor_config.h"
#include "physics/physics_settings.h"
#include "results/run_record.h"
#include "run/run_settings.h"
#include "run/stability_judge.h"
#include "settings/startup_options.h"

namespace plashwerk {

struct RunState;

PhysicsSettings physicsSettingsFrom(const StartupOptions& options);
RunRequest runRequestFrom(const StartupOptions& options);
RunSettings runSettingsFrom(const StartupOptions& options);
MonitorConfig monitorConfigFrom(const StartupOptions& options);
KeepSettings keepSettingsFrom(const StartupOptions& options);
JudgeSettings judgeSettingsFrom(const StartupOptions& options);

/// What the keys toggled outlives the run: the next run starts from it and the options file
/// saves it.
void keepKeyTogglesInSettings(const RunState& run, StartupOptions& options);

}  // namespace plashwerk
