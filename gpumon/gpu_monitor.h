#pragma once
// GpuMonitor: the application side of GPU monitoring, and its sampler.
//
// Sections: configuration; the table and the thread; one monitoring pass; run statistics;
// accessors for the overlay, the graph, the run and the results; the hardware report's
// system texts; the startup dialog's information text; inputs and hooks set by other parts
// of the program.
//
// The monitor owns the GPU table and the thread that samples it (spike filter, maxima,
// temperature history, GPU-Z readings); it hands the logs to MonitoringLogs
// (monitoring_logs.h) and the report and information text to HardwareReport
// (hardware_report.h).
//
// Life: the shell hands over the MonitorConfig (setConfig); initGpuTable() (start-up, after
// Pyrolex) writes the hardware report to the trace log and builds one GpuStatus per GPU,
// ordered by PCI bus; startThread() then samples every GPU once per period (1000 ms) until
// stopGpuMonitoring() (shut-down). With log_temperature set, each pass appends one line per
// GPU to "<program folder>plashwerk-gpu-monitoring.xml" and one row per GPU to
// "<program folder>plashwerk-gpu-monitoring.csv".
//
// For the run controller (render thread), at the start of each run:
//   setTemperatureHistoryRecording(true); resetGpuStatistics(); setRunMaxCelsius(0);
//   start temperature = getGpuTemperature(0);
// and at a benchmark's end: end temperature = getGpuTemperature(0), runMaxCelsius().
// The overlay reads gpuStatus(i) fields directly; the graph reads the history through
// withTemperatureHistory().

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "gpumon/gpu_status.h"
#include "gpumon/hardware_report.h"
#include "gpumon/monitor_config.h"
#include "gpumon/monitoring_logs.h"
#include "platform/time/clock.h"

namespace plashwerk {

/// Outcome of the spike filter for one raw reading.
struct SpikeFilterResult {
    float celsius;    ///< the temperature to show
    float reference;  ///< the filter's new reference
    bool spike;       ///< the reading was rejected
};

/// The spike filter: a reading that jumps from the last accepted one by more than the
/// threshold is rejected and the last accepted one stands in. The first reading
/// (reference 0) and every reading with the filter off are accepted.
SpikeFilterResult applySpikeFilter(float raw, float reference, bool enabled, float threshold);

class GpuMonitor {
  public:
    static constexpr uint32_t kPeriodMs = 1000;

    explicit GpuMonitor(Clock& clock = systemClock());
    ~GpuMonitor();
    GpuMonitor(const GpuMonitor&) = delete;
    GpuMonitor& operator=(const GpuMonitor&) = delete;

    // Configuration -------------------------------------------------------------------
    /// The settings monitoring works with; each pass takes the latest.
    void setConfig(const MonitorConfig& config);
    MonitorConfig config() const;

    // Table and thread ----------------------------------------------------------------
    /// Writes the hardware report and builds the table; false (no table,
    /// noGpuMonitoring()) when the GPU library lists no GPU.
    bool initGpuTable();
    /// Starts the monitoring thread; false without a table or when it already runs.
    bool startThread();
    /// Stops the thread (waiting at most two periods), closes the XML log with its closing
    /// tag, resets the statistics, empties the histories and the information text, and
    /// frees the table.
    void stopGpuMonitoring();

    // One pass --------------------------------------------------------------------------
    /// Samples every GPU once (what the thread does each period); false without a table.
    bool sampleAllGpus();

    // Run statistics ----------------------------------------------------------------
    /// Clears the maxima, the minimum and the histories; false without a table.
    bool resetGpuStatistics();
    /// Switches the history recording of every GPU; false without a table.
    bool setTemperatureHistoryRecording(bool on);
    float runMaxCelsius() const { return m_run_max_celsius; }
    void setRunMaxCelsius(float celsius) { m_run_max_celsius = celsius; }
    float monitorElapsedSeconds() const { return m_elapsed_seconds; }

    // Accessors (0.0 without a table or beyond it) ----------------------------------
    float getGpuTemperature(int gpu) const;
    float getGpuCoreClock(int gpu, bool maximum) const;
    float getGpuMemoryClock(int gpu, bool maximum) const;
    float getGpuLoad(int gpu, bool maximum) const;
    uint32_t gpuCount() const { return m_count.load(std::memory_order_acquire); }
    /// The record of a GPU, or null without a table or beyond it.
    GpuStatus* gpuStatus(int gpu);
    const GpuStatus* gpuStatus(int gpu) const;
    bool integratedMainGpu() const { return m_integrated_main_gpu; }
    bool noGpuMonitoring() const { return m_no_gpu_monitoring; }
    const GpuzReadings& gpuzReadings() const { return m_gpuz; }

    /// Calls visit(samples, count) with the GPU's history (oldest first) under its lock;
    /// false without such a GPU. Keep the visit short: the monitoring thread waits on it.
    template <typename Visit>
    bool withTemperatureHistory(int gpu, Visit&& visit) const {
        const GpuStatus* s = gpuStatus(gpu);
        if (!s) return false;
        std::lock_guard lock(s->m_history_mutex);
        visit(s->m_temperature_history.data(), s->m_temperature_history.size());
        return true;
    }

    // Hardware report and information text --------------------------------------------
    const SystemInfo& systemInfo() const { return m_report.systemInfo(); }
    /// Rebuilds the information text and hands it to the dialog's sink when one is set.
    bool buildInfoText();
    std::string infoText() const { return m_report.infoText(); }

    // Inputs and hooks --------------------------------------------------------------------
    MonitorInputs& inputs() { return m_inputs; }
    /// The folder of the logs, ending with '/' (the program's folder).
    void setLogFolder(const std::string& folder);
    /// The PhysX facts of the information text's first line.
    void setPhysxInfo(uint32_t physx_version, bool physx_hardware);
    /// The startup dialog's hardware information box; empty when it closes.
    void setInfoTextSink(std::function<void(const char*)> sink);
    /// Replaces the GPU-Z read of each pass (the process GPU-Z reader by default); an
    /// empty function makes every pass report GPU-Z absent.
    void setGpuzReader(std::function<bool(GpuzValues&)> reader);

  private:
    // An hour of one-second samples: the history of a long run grows without reallocating.
    static constexpr size_t kHistoryReserve = 3600;

    void threadMain();
    void fillRecord(int index, GpuStatus& s);
    void sampleGpu(int index, GpuStatus& s, const MonitorConfig& config);
    void readGpuz();
    void freeTable();

    Clock& m_clock;
    std::unique_ptr<GpuStatus[]> m_table;
    std::atomic<uint32_t> m_count{0};
    Relaxed<bool> m_integrated_main_gpu;
    Relaxed<bool> m_no_gpu_monitoring;
    Relaxed<float> m_elapsed_seconds;
    Relaxed<float> m_run_max_celsius;
    GpuzReadings m_gpuz;
    MonitorInputs m_inputs;

    mutable std::mutex m_config_mutex;
    MonitorConfig m_config;

    std::thread m_thread;
    std::mutex m_thread_mutex;
    std::condition_variable m_thread_cv;
    bool m_stop = false;
    bool m_thread_done = false;
    bool m_thread_abandoned = false;

    MonitoringLogs m_logs;
    HardwareReport m_report;

    std::mutex m_gpuz_mutex;
    std::function<bool(GpuzValues&)> m_gpuz_reader;
};

/// The monitor of the process.
GpuMonitor& gpuMonitor();

}  // namespace plashwerk
