#pragma once
// What GPU monitoring takes from the program's settings, handed over by the shell at
// start-up (GpuMonitor::setConfig) instead of read from a process-wide settings object.

namespace plashwerk {

struct MonitorConfig {
    /// Read GPU-Z's shared memory in each pass (default on).
    bool use_gpuz = true;
    /// Append each pass's readings to the XML and CSV monitoring logs (default off).
    bool log_temperature = false;
    /// Hold a temperature that jumps by more than the threshold in one pass (default on).
    bool enable_gpu_temp_spike_filter = true;
    /// °C; the largest step between two passes that the spike filter accepts (default 20).
    float gpu_temp_spike_filter_threshold = 20.0f;
    /// Logical processors, for the hardware report.
    int num_cpu_cores = 0;
};

}  // namespace plashwerk
