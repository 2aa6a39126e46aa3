#include "gpumon/gpu_monitor.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gpumon/gpuz_reader.h"
#include "gpumon/pyrolex/gpu_record.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "gpumon/pyrolex/saturating.h"
#include "platform/engine/vn_trace_mgr.h"

namespace plashwerk {
namespace {

// Stores one pass's clocks, voltage and power, raising the maxima. A group that was not
// read leaves its fields as they were; the maxima follow the stored values either way.
void storeClocksAndPower(GpuStatus& s, const ClockPowerReading& r) {
    if (r.measured_clocks) {
        s.true_core_clock = r.true_gpu_clock;
        s.true_memory_clock = r.true_memory_clock;
        raiseTo(s.max_core_clock, r.true_gpu_clock);
        raiseTo(s.max_memory_clock, r.true_memory_clock);
    }
    if (r.core_voltage > 0) {
        s.true_vddc = r.core_voltage;
        raiseTo(s.max_vddc, r.core_voltage);
    }
    switch (r.state) {
        case ClockPowerReading::State::PerfState:
            if (r.state_read) {
                if (r.current_pstate) s.pstate = r.clocks.pstate;
                s.core_clock = r.clocks.gpu_clock;
                s.shader_clock = r.clocks.shader_clock;
                s.memory_clock = r.clocks.memory_clock;
                s.vddc = r.clocks.voltage;
            }
            raiseTo(s.max_core_clock, s.core_clock);
            raiseTo(s.max_memory_clock, s.memory_clock);
            raiseTo(s.max_vddc, s.vddc);
            if (s.true_core_clock.get() > 0)
                s.throttling_mhz = std::fabs(s.core_clock.get() - s.true_core_clock.get());
            break;
        case ClockPowerReading::State::Boost:
            s.base_clock = r.base_clock;
            s.boost_clock = r.boost_clock;
            if (r.power_read) {
                s.gpu_power = r.power_percent;
                s.gpu_power_mw = r.power_mw;
            }
            if (r.power_limit_read) s.power_target = r.power_limit_percent;
            raiseTo(s.max_gpu_power, s.gpu_power);
            break;
        case ClockPowerReading::State::None:
            break;
    }
}

}  // namespace

SpikeFilterResult applySpikeFilter(float raw, float reference, bool enabled, float threshold) {
    if (!enabled || reference == 0.0f || std::fabs(raw - reference) <= threshold)
        return {raw, raw, false};
    return {reference, reference, true};
}

GpuMonitor::GpuMonitor(Clock& clock) : m_clock(clock) {
    // Each pass reads GPU-Z through the process reader, as the use_gpuz setting allows.
    m_gpuz_reader = [this](GpuzValues& values) {
        return readGpuzValues(gpuzReader(), config().use_gpuz, values);
    };
}

GpuMonitor::~GpuMonitor() {
    if (m_thread.joinable()) stopGpuMonitoring();
}

void GpuMonitor::setConfig(const MonitorConfig& config) {
    std::lock_guard lock(m_config_mutex);
    m_config = config;
}

MonitorConfig GpuMonitor::config() const {
    std::lock_guard lock(m_config_mutex);
    return m_config;
}

GpuMonitor& gpuMonitor() {
    static GpuMonitor monitor;
    return monitor;
}

bool GpuMonitor::startThread() {
    if (!m_table || m_count.load() == 0 || m_thread.joinable()) return false;
    {
        std::lock_guard lock(m_thread_mutex);
        m_stop = false;
        m_thread_done = false;
    }
    m_thread = std::thread([this] { threadMain(); });
    return true;
}

void GpuMonitor::threadMain() {
    // Milliseconds of the thread's own stopwatch, as a wrapping 32-bit count.
    const int64_t frequency = m_clock.counterFrequency();
    const int64_t start = m_clock.counter();
    auto nowMs = [&] {
        const int64_t ticks = m_clock.counter() - start;
        return static_cast<uint32_t>((ticks / frequency) * 1000 +
                                     (ticks % frequency) * 1000 / frequency);
    };
    uint32_t last = nowMs();
    m_elapsed_seconds = 0.0f;
    std::unique_lock lock(m_thread_mutex);
    while (!m_stop) {
        lock.unlock();
        const uint32_t now = nowMs();
        m_elapsed_seconds = m_elapsed_seconds.get() + static_cast<float>(now - last) * 0.001f;
        last = now;
        sampleAllGpus();
        lock.lock();
        // The period is a pause after the pass; a stop request ends it at once.
        m_thread_cv.wait_for(lock, std::chrono::milliseconds(kPeriodMs), [this] { return m_stop; });
    }
    m_thread_done = true;
    m_thread_cv.notify_all();
}

void GpuMonitor::stopGpuMonitoring() {
    if (m_thread.joinable()) {
        std::unique_lock lock(m_thread_mutex);
        m_stop = true;
        m_thread_cv.notify_all();
        const bool finished = m_thread_cv.wait_for(lock, std::chrono::milliseconds(2 * kPeriodMs),
                                                   [this] { return m_thread_done; });
        lock.unlock();
        if (finished) {
            m_thread.join();
        } else {
            // A pass stuck in a driver call: shut-down goes on without it. The table stays
            // allocated, since that pass may still write into it.
            m_thread.detach();
            m_thread_abandoned = true;
        }
    }
    m_logs.close();
    resetGpuStatistics();
    m_report.clearInfoText();
    freeTable();
}

void GpuMonitor::freeTable() {
    m_count.store(0, std::memory_order_release);
    if (m_thread_abandoned) {
        (void)m_table.release();  // deliberately kept: a detached pass may still use it
        return;
    }
    m_table.reset();
}

bool GpuMonitor::resetGpuStatistics() {
    const uint32_t count = gpuCount();
    if (!m_table || count == 0) return false;
    for (uint32_t i = 0; i < count; ++i) {
        GpuStatus& s = m_table[i];
        s.max_core_clock = 0.0f;
        s.max_memory_clock = 0.0f;
        s.max_celsius = 0.0f;
        s.max_gpu_load = 0.0f;
        s.max_vddc = 0.0f;
        s.max_gpu_power = 0.0f;
        s.min_celsius = 1000.0f;
        std::lock_guard lock(s.m_history_mutex);
        s.m_temperature_history.clear();
    }
    return true;
}

bool GpuMonitor::setTemperatureHistoryRecording(bool on) {
    const uint32_t count = gpuCount();
    if (!m_table || count == 0) return false;
    for (uint32_t i = 0; i < count; ++i) m_table[i].record_history = on;
    return true;
}

GpuStatus* GpuMonitor::gpuStatus(int gpu) {
    if (gpu < 0 || static_cast<uint32_t>(gpu) >= gpuCount() || !m_table) return nullptr;
    return &m_table[gpu];
}

const GpuStatus* GpuMonitor::gpuStatus(int gpu) const {
    if (gpu < 0 || static_cast<uint32_t>(gpu) >= gpuCount() || !m_table) return nullptr;
    return &m_table[gpu];
}

float GpuMonitor::getGpuTemperature(int gpu) const {
    const GpuStatus* s = gpuStatus(gpu);
    return s ? s->celsius.get() : 0.0f;
}

float GpuMonitor::getGpuCoreClock(int gpu, bool maximum) const {
    const GpuStatus* s = gpuStatus(gpu);
    return s ? (maximum ? s->max_core_clock.get() : s->core_clock.get()) : 0.0f;
}

float GpuMonitor::getGpuMemoryClock(int gpu, bool maximum) const {
    const GpuStatus* s = gpuStatus(gpu);
    return s ? (maximum ? s->max_memory_clock.get() : s->memory_clock.get()) : 0.0f;
}

float GpuMonitor::getGpuLoad(int gpu, bool maximum) const {
    const GpuStatus* s = gpuStatus(gpu);
    return s ? (maximum ? s->max_gpu_load.get() : s->gpu_load.get()) : 0.0f;
}

void GpuMonitor::setLogFolder(const std::string& folder) {
    m_logs.setFolder(folder);
}

void GpuMonitor::setPhysxInfo(uint32_t physx_version, bool physx_hardware) {
    m_report.setPhysxInfo(physx_version, physx_hardware);
}

void GpuMonitor::setInfoTextSink(std::function<void(const char*)> sink) {
    m_report.setInfoTextSink(std::move(sink));
}

void GpuMonitor::setGpuzReader(std::function<bool(GpuzValues&)> reader) {
    std::lock_guard lock(m_gpuz_mutex);
    m_gpuz_reader = std::move(reader);
}

bool GpuMonitor::buildInfoText() {
    return m_report.buildInfoText(m_table.get(), gpuCount());
}

bool GpuMonitor::initGpuTable() {
    const int count = m_report.writeSystemSection(config().num_cpu_cores);
    const uint32_t gl_vendor = m_report.systemInfo().gl_vendor_id;
    m_integrated_main_gpu = gl_vendor == kPciVendorIntel || gl_vendor == kPciVendorS3;
    if (count <= 0) {
        m_no_gpu_monitoring = true;
        return false;
    }
    m_no_gpu_monitoring = false;

    Pyrolex::orderGpusByBus();
    freeTable();
    m_thread_abandoned = false;
    auto table = std::make_unique<GpuStatus[]>(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        GpuStatus& s = table[i];
        s.m_temperature_history.reserve(kHistoryReserve);
        fillRecord(i, s);
        // With an integrated primary adapter the report numbers the GPUs from 2.
        m_report.writeGpuSection(i, i + 1 + (m_integrated_main_gpu ? 1 : 0), s);
    }
    m_table = std::move(table);
    m_count.store(static_cast<uint32_t>(count), std::memory_order_release);
    return true;
}

// The record's identity and figures, and whether the GPU reports boost clocks: a base
// clock, a boost clock and a power target all above 0.
void GpuMonitor::fillRecord(int i, GpuStatus& s) {
    const char* name = Pyrolex::getGpuName(i);
    std::snprintf(s.name, sizeof s.name, "%s", name ? name : "Unknown_GC");
    s.name_length = static_cast<int32_t>(std::strlen(s.name));
    uint32_t vendor = 0, device = 0, subsys_vendor = 0, subsys_device = 0, revision = 0;
    if (Pyrolex::getPciIds(i, vendor, device, subsys_vendor, subsys_device, revision)) {
        s.vendor_id = static_cast<int32_t>(vendor);
        s.device_id = static_cast<int32_t>(device);
        s.subsys_vendor_id = static_cast<int32_t>(subsys_vendor);
        s.subsys_device_id = static_cast<int32_t>(subsys_device);
    }
    s.cores = Pyrolex::getCoreCount(i);
    s.memory_size_mb = Pyrolex::getMemorySizeMb(i);
    s.tdp_watts = Pyrolex::getTdpWatts(i);
    s.bus_id = Pyrolex::getBusId(i);

    float base = 0, boost = 0, unused = 0, limit = 0, limit_mw = 0;
    if (!Pyrolex::getClockFrequencies(i, 1, base, unused)) base = 0;
    if (!Pyrolex::getClockFrequencies(i, 2, boost, unused)) boost = 0;
    if (!Pyrolex::getPowerLimit(i, limit, limit_mw)) limit = 0;
    if (base > 0 && boost > 0 && limit > 0) {
        s.has_boost_clocks = true;
        s.base_clock = base;
        s.boost_clock = boost;
        s.power_target = limit;
    }
}

bool GpuMonitor::sampleAllGpus() {
    const uint32_t count = gpuCount();
    GpuStatus* table = m_table.get();
    if (!table || count == 0) return false;
    const MonitorConfig config = this->config();
    for (uint32_t i = 0; i < count; ++i) sampleGpu(static_cast<int>(i), table[i], config);
    readGpuz();
    buildInfoText();
    return true;
}

void GpuMonitor::sampleGpu(int i, GpuStatus& s, const MonitorConfig& config) {
    // 1. Temperature, through the spike filter. A failed read counts as 0 °C.
    float raw = 0, board = 0, memory = 0, power_supply = 0, hot_spot = 0;
    uint32_t readings = 0;
    if (Pyrolex::getTemperatures(i, raw, board, memory, power_supply, &hot_spot)) {
        readings |= kReadTemperature;
        if (hot_spot > 0) readings |= kReadHotSpot;
        if (memory > 0) readings |= kReadMemoryTemperature;
    }
    s.board_celsius = board;
    s.hot_spot_celsius = hot_spot;
    s.memory_celsius = memory;
    const float reference = s.filter_reference_celsius;
    const SpikeFilterResult filtered =
        applySpikeFilter(raw, reference, config.enable_gpu_temp_spike_filter,
                         config.gpu_temp_spike_filter_threshold);
    s.celsius = filtered.celsius;
    s.filter_reference_celsius = filtered.reference;
    if (filtered.spike)
        Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_WARNING, "GPU temperature spike detected: %.3f",
                              static_cast<double>(raw - reference));

    // 2. Extremes.
    const float celsius = filtered.celsius;
    raiseTo(s.max_celsius, celsius);
    raiseTo(m_run_max_celsius, celsius);
    if (celsius < s.min_celsius.get()) s.min_celsius = celsius;

    // 3. Load.
    float load = 0, frame_buffer = 0;
    if (Pyrolex::getGpuUsage(i, load, frame_buffer)) {
        readings |= kReadLoad;
        s.gpu_load = load;
        raiseTo(s.max_gpu_load, load);
    }
    // 4. Memory.
    uint32_t total_kb = 0, available_kb = 0;
    float usage = 0;
    if (Pyrolex::getMemoryUsage(i, total_kb, available_kb, usage)) {
        s.memory_usage = usage;
        raiseTo(s.max_memory_usage, usage);
    }
    // 5. Fan, stored whatever the result.
    float fan_percent = 0, fan_rpm = 0;
    if (Pyrolex::getFanSpeed(i, fan_percent, fan_rpm)) readings |= kReadFan;
    s.fan_percent = fan_percent;
    s.fan_rpm = fan_rpm;

    // 6. Clocks, voltage and power, as the GPU's back end reads them.
    ClockPowerReading clocks;
    if (Pyrolex::getClocksAndPower(i, s.has_boost_clocks, clocks)) {
        storeClocksAndPower(s, clocks);
        if (clocks.measured_clocks || clocks.state_read) {
            if (clocks.true_gpu_clock > 0 || clocks.clocks.gpu_clock > 0)
                readings |= kReadCoreClock;
            if (clocks.true_memory_clock > 0 || clocks.clocks.memory_clock > 0)
                readings |= kReadMemoryClock;
        }
        if (clocks.power_read) readings |= kReadPower;
    }
    // 7. Why the clocks are held down, where the driver says.
    uint32_t reasons = 0;
    if (Pyrolex::getClockEventReasons(i, reasons)) readings |= kReadClockEvents;
    s.clock_event_reasons = reasons;
    s.readings = readings;

    // 8. History.
    if (s.record_history) {
        const TemperatureSample sample{celsius, saturatingInt(m_elapsed_seconds.get())};
        std::lock_guard lock(s.m_history_mutex);
        s.m_temperature_history.push_back(sample);
    }
    // 9. Logs.
    if (config.log_temperature) {
        LogContext context;
        context.fps = m_inputs.fps;
        context.requested_width = m_inputs.requested_width;
        context.requested_height = m_inputs.requested_height;
        context.client_width = m_inputs.client_width;
        context.client_height = m_inputs.client_height;
        context.msaa_samples = m_inputs.msaa_samples;
        context.seconds = m_elapsed_seconds;
        context.driver = m_report.systemInfo().driver;
        m_logs.write(i, s, context);
    }
}

void GpuMonitor::readGpuz() {
    // The reader is called without the lock: it opens GPU-Z's block, and a caller that
    // swaps the reader must not wait on that.
    std::function<bool(GpuzValues&)> reader;
    {
        std::lock_guard lock(m_gpuz_mutex);
        reader = m_gpuz_reader;
    }
    GpuzValues values;
    const bool ok = reader && reader(values);
    GpuzReadings& g = m_gpuz;
    if (!ok) {
        g.available = false;
        for (Relaxed<float>* value : {&g.vddc, &g.max_vddc, &g.vddc_current, &g.max_vddc_current,
                                      &g.power_w, &g.core_clock, &g.memory_clock, &g.celsius})
            *value = 0.0f;
        return;
    }
    g.available = true;
    g.vddc = values.vddc;
    raiseTo(g.max_vddc, values.vddc);
    g.vddc_current = values.vddc_current;
    raiseTo(g.max_vddc_current, values.vddc_current);
    g.power_w = values.vddc_current * values.vddc;
    g.core_clock = values.core_clock;
    g.memory_clock = values.memory_clock;
    g.celsius = values.celsius;
}

}  // namespace plashwerk
