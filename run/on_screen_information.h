#pragma once
// What the on-screen information takes from the GPU monitor each frame.

#include <span>
#include <vector>

#include "gpumon/gpu_status.h"
#include "render/on_screen_information.h"

namespace plashwerk {

class GpuMonitor;

/// Copies the monitor's readings into the information's input: the GPU-Z readings,
/// integrated_main_gpu, one OverlayGpu per monitored GPU (at most as many as `input` and
/// `histories` have room for; gpu_count 0 without a table) and, into histories[i], the
/// newest `history_points` temperature samples of GPU i, oldest first.
void takeMonitorSnapshot(const GpuMonitor& monitor, int history_points, OverlayInput& input,
                         std::span<std::vector<TemperatureSample>> histories);

}  // namespace plashwerk
