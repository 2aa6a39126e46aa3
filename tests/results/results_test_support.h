#pragma once
// A finished benchmark with known values, as the results tests write it.

#include <cstdio>

#include "results/run_record.h"

namespace plashwerk::test {

inline RunRecord knownRecord() {
    RunRecord r;
    r.run_mode = RunMode::Benchmark;
    r.renderer = "GeForce GTX 1080/PCIe/SSE2";
    r.driver = "GeForce 445.75";
    r.core_clock_max_mhz = 1733.0f;
    r.memory_clock_max_mhz = 5005.5f;
    r.msaa_samples = 4;
    r.width = 1920;
    r.height = 1080;
    r.fullscreen = true;
    r.time_based = true;
    r.max_time_ms = 60000;
    r.num_particles = 60000;
    r.run_max_celsius = 72.25f;
    RunResult& s = r.result;
    s.global_score = 1913;
    s.physx_score = 678.9f;
    s.graphx_score = 1234.5f;
    s.fps_min = 31;
    s.fps_max = 88;
    s.fps_avg = 60;
    s.sps_min = 55;
    s.sps_max = 61;
    s.sps_avg = 59;
    s.frames = 12345;
    s.simulations = 6789;
    s.duration_ms = 60000;
    s.start_temperature = 45.5f;
    s.end_temperature = 71.25f;
    s.physx_on_gpu = false;
    s.fluid_emitters = 4;
    const char* lines[6] = {"GeForce GTX 1080/PCIe/SSE2",
                            "GeForce 445.75",
                            "Intel(R) Core(TM) i7-8700K CPU @ 3.70GHz",
                            "3700 MHz",
                            "16384 MB",
                            "Debian GNU/Linux 12 (bookworm)"};
    for (int i = 0; i < 6; ++i)
        std::snprintf(s.system_lines[i], sizeof s.system_lines[i], "%s", lines[i]);
    GpuMaxima first;
    first.name = "NVIDIA GeForce GTX 1080";
    first.core_clock_mhz = 1733.0f;
    first.memory_clock_mhz = 5005.5f;
    first.celsius = 72.25f;
    first.load_percent = 99.0f;
    first.power_percent = 87.5f;
    GpuMaxima second;
    second.name = "AMD Radeon RX 580";
    second.celsius = 41.0f;
    r.gpus = {first, second};
    return r;
}

}  // namespace plashwerk::test
