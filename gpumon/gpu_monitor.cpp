#include "gpumon/gpu_monitor.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdarg>

#include "settings/startup_options.h"
#include "gpumon/gpuz_reader.h"
#include "gpumon/pyrolex/gpu_record.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "platform/engine/vn_trace_mgr.h"

namespace plashwerk {
namespace {

// printf into a fixed line buffer, cut to fit.
void formatLine(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void formatLine(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(out, size, format, args);
    va_end(args);
}

const char* kVersionFields = "Plashwerk";
constexpr int kVersion[3] = {1, 5, 4};

}  // namespace

SpikeFilterResult applySpikeFilter(float raw, float reference, bool enabled, float threshold) {
    if (!enabled || reference == 0.0f || std::fabs(raw - reference) <= threshold)
        return {raw, raw, false};
    return {reference, reference, true};
}

GpuMonitor::GpuMonitor(Clock& clock) : m_clock(clock) {
    // Each pass reads GPU-Z through the process reader, as the use_gpuz setting allows.
    m_gpuz_reader = [](GpuzValues& values) {
        return readGpuzValues(gpuzReader(), g_startup_options.use_gpuz, values);
    };
}

GpuMonitor::~GpuMonitor() {
    if (m_thread.joinable()) stopGpuMonitoring();
    std::lock_guard lock(m_log_mutex);
    if (m_xml) std::fclose(m_xml);
    m_xml = nullptr;
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
    {
        std::lock_guard lock(m_log_mutex);
        if (m_xml) {
            std::fputs("</gpuTemperature>\n", m_xml);
            std::fclose(m_xml);
            m_xml = nullptr;
            m_xml_closed = true;
        }
    }
    resetGpuStatistics();
    {
        std::lock_guard lock(m_info_mutex);
        m_info_text.clear();
    }
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
    std::lock_guard lock(m_log_mutex);
    m_log_folder = folder;
}

void GpuMonitor::setPhysxInfo(uint32_t physx_version, bool physx_hardware) {
    std::lock_guard lock(m_info_mutex);
    m_physx_version = physx_version;
    m_physx_hardware = physx_hardware;
}

void GpuMonitor::setInfoTextSink(std::function<void(const char*)> sink) {
    std::lock_guard lock(m_info_mutex);
    m_info_sink = std::move(sink);
}

void GpuMonitor::setGpuzReader(std::function<bool(GpuzValues&)> reader) {
    std::lock_guard lock(m_gpuz_mutex);
    m_gpuz_reader = std::move(reader);
}

std::string GpuMonitor::infoText() const {
    std::lock_guard lock(m_info_mutex);
    return m_info_text;
}

bool GpuMonitor::sampleAllGpus() {
    const uint32_t count = gpuCount();
    GpuStatus* table = m_table.get();
    if (!table || count == 0) return false;
    for (uint32_t i = 0; i < count; ++i) sampleGpu(static_cast<int>(i), table[i]);
    readGpuz();
    buildInfoText();
    return true;
}

void GpuMonitor::sampleGpu(int i, GpuStatus& s) {
    const StartupOptions& options = g_startup_options;

    // 1. Temperature, through the spike filter. A failed read counts as 0 °C.
    float raw = 0, board = 0, memory = 0, power_supply = 0;
    Pyrolex::getTemperatures(i, raw, board, memory, power_supply);
    s.board_celsius = board;
    const float reference = s.filter_reference_celsius;
    const SpikeFilterResult filtered =
        applySpikeFilter(raw, reference, options.enable_gpu_temp_spike_filter,
                         options.gpu_temp_spike_filter_threshold);
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
    Pyrolex::getFanSpeed(i, fan_percent, fan_rpm);
    s.fan_percent = fan_percent;
    s.fan_rpm = fan_rpm;

    // 6. Clocks, voltage and power by vendor.
    uint32_t vendor = 0, device = 0, subsys_vendor = 0, subsys_device = 0, revision = 0;
    Pyrolex::getPciIds(i, vendor, device, subsys_vendor, subsys_device, revision);
    if (vendor == kPciVendorNvidia) {
        float true_core = 0, true_memory = 0;
        if (Pyrolex::getClockFrequencies(i, 0, true_core, true_memory)) {
            s.true_core_clock = true_core;
            s.true_memory_clock = true_memory;
            raiseTo(s.max_core_clock, true_core);
            raiseTo(s.max_memory_clock, true_memory);
        }
        float volts = 0;
        Pyrolex::getCoreVoltage(i, volts);
        if (volts > 0) {
            s.true_vddc = volts;
            raiseTo(s.max_vddc, volts);
        }
        if (!s.has_boost_clocks) {
            int pstate = -1;
            float core = 0, memory_clock = 0, shader = 0, vddc = 0;
            if (Pyrolex::getPerfStateClocks(i, pstate, core, memory_clock, shader, vddc)) {
                s.pstate = pstate;
                s.core_clock = core;
                s.shader_clock = shader;
                s.memory_clock = memory_clock;
                s.vddc = vddc;
            }
            raiseTo(s.max_core_clock, s.core_clock);
            raiseTo(s.max_memory_clock, s.memory_clock);
            raiseTo(s.max_vddc, s.vddc);
            if (s.true_core_clock.get() > 0)
                s.throttling_mhz = std::fabs(s.core_clock.get() - s.true_core_clock.get());
        } else {
            float base = 0, boost = 0, unused = 0;
            Pyrolex::getClockFrequencies(i, 1, base, unused);
            s.base_clock = base;
            Pyrolex::getClockFrequencies(i, 2, boost, unused);
            s.boost_clock = boost;
            float percent = 0, milliwatts = 0;
            if (Pyrolex::getPowerStatus(i, percent, milliwatts)) {
                s.gpu_power = percent;
                s.gpu_power_mw = milliwatts;
            }
            float limit = 0, limit_mw = 0;
            if (Pyrolex::getPowerLimit(i, limit, limit_mw)) s.power_target = limit;
            raiseTo(s.max_gpu_power, s.gpu_power);
        }
    } else if (vendor == kPciVendorAmd) {
        // The highest level of the AMD table, which the back end reads once.
        const int levels = Pyrolex::getPerfLevelCount(i);
        float core = 0, memory_clock = 0, vddc = 0;
        for (int k = 0; k < levels; ++k) {
            PerfLevel level;
            if (!Pyrolex::getPerfLevel(i, k, level)) continue;
            core = std::max(core, level.gpu_clock);
            memory_clock = std::max(memory_clock, level.memory_clock);
            vddc = std::max(vddc, level.voltage);
        }
        s.core_clock = core;
        s.memory_clock = memory_clock;
        s.vddc = vddc;
        s.shader_clock = 0.0f;
        raiseTo(s.max_core_clock, core);
        raiseTo(s.max_memory_clock, memory_clock);
        raiseTo(s.max_vddc, vddc);
    }

    // 7. History.
    if (s.record_history) {
        const TemperatureSample sample{celsius, 0, static_cast<int32_t>(m_elapsed_seconds.get())};
        std::lock_guard lock(s.m_history_mutex);
        s.m_temperature_history.push_back(sample);
    }
    // 8. Logs.
    if (options.log_temperature) writeLogs(i, s);
}

void GpuMonitor::writeLogs(int i, const GpuStatus& s) {
    const float tc = s.celsius;
    const float tf = tc * 1.8f + 32.0f;
    const float core =
        s.true_core_clock.get() != 0.0f ? s.true_core_clock.get() : s.core_clock.get();
    const float memory =
        s.true_memory_clock.get() != 0.0f ? s.true_memory_clock.get() : s.memory_clock.get();
    const float csv_vddc = s.true_vddc.get() != 0.0f ? s.true_vddc.get() : s.vddc.get();
    const int fps = m_inputs.fps;
    const float seconds = m_elapsed_seconds;

    std::lock_guard lock(m_log_mutex);
    const std::string xml_path = m_log_folder + kMonitoringXmlFile;
    if (!m_xml && !m_xml_failed && !m_xml_closed) {
        m_xml = std::fopen(xml_path.c_str(), "w");
        if (!m_xml) {
            m_xml_failed = true;
        } else {
            std::fputs("<?xml version=\"1.0\" encoding=\"Windows-1252\" standalone=\"yes\"?>\n",
                       m_xml);
            std::fputs("<!--\n", m_xml);
            std::fputs("* GPU Temperature tracking generated by:\n", m_xml);
            std::fprintf(m_xml, "* %s %d.%d.%d - %s\n", kVersionFields, kVersion[0], kVersion[1],
                         kVersion[2], kProductWebPage);
            std::fputs("-->\n", m_xml);
            std::fprintf(m_xml, "<gpuTemperature graphics_card=\"%s\" >\n", s.name);
        }
    }
    char line[256];
    if (m_xml && !std::ferror(m_xml)) {
        formatLine(line, sizeof line,
                   "\t<gpu_data gpu=\"%d\" name=\"%s\" celcius=\"%.1f\" fahrenheit=\"%.1f\" "
                   "gpu_load=\"%.1f\" "
                   "gpu_power=\"%.1f\" fps=\"%d\" seconds=\"%.1f\" vddc=\"%.3f\" width=\"%d\" "
                   "height=\"%d\" "
                   "msaa=\"%d\" core_clock=\"%.1f\" memory_clock=\"%.1f\"/>",
                   i + 1, s.name, static_cast<double>(tc), static_cast<double>(tf),
                   static_cast<double>(s.gpu_load.get()), static_cast<double>(s.gpu_power.get()),
                   fps, static_cast<double>(seconds), static_cast<double>(s.vddc.get()),
                   m_inputs.requested_width.get(), m_inputs.requested_height.get(),
                   m_inputs.msaa_samples.get(), static_cast<double>(core),
                   static_cast<double>(memory));
        std::fputs(line, m_xml);
        std::fputs("\n", m_xml);
        std::fflush(m_xml);
    }

    const std::string csv_path = m_log_folder + kMonitoringCsvFile;
    if (access(csv_path.c_str(), F_OK) != 0) {
        if (std::FILE* header = std::fopen(csv_path.c_str(), "w")) {
            std::fputs(kMonitoringCsvHeader, header);
            std::fclose(header);
        }
    }
    std::FILE* csv = std::fopen(csv_path.c_str(), "a");
    if (!csv) return;  // the row is lost
    formatLine(line, sizeof line, "%s,%s,%d,%d,%d,%d,%.1f,%.1f,%.1f,%.3f,%.1f,%.1f,%.1f,%.1f",
               s.name, m_system_info.driver, m_inputs.msaa_samples.get(),
               m_inputs.client_width.get(), m_inputs.client_height.get(), fps,
               static_cast<double>(seconds), static_cast<double>(tc), static_cast<double>(tf),
               static_cast<double>(csv_vddc), static_cast<double>(s.gpu_load.get()),
               static_cast<double>(s.gpu_power.get()), static_cast<double>(core),
               static_cast<double>(memory));
    std::fputs(line, csv);
    std::fputs("\n", csv);
    std::fflush(csv);
    std::fclose(csv);
}

void GpuMonitor::readGpuz() {
    GpuzValues values;
    bool ok = false;
    {
        std::lock_guard lock(m_gpuz_mutex);
        ok = m_gpuz_reader && m_gpuz_reader(values);
    }
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
