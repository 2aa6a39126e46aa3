// The hardware report written while the GPU table is built, and the startup dialog's
// information text.

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "settings/startup_options.h"
#include "gpumon/gpu_monitor.h"
#include "gpumon/pyrolex/gpu_record.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "platform/engine/vn_trace_mgr.h"

namespace plashwerk {
namespace {

void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Vantorr_nsp::vnTraceMgr::instance().vlogTrace(Vantorr_nsp::VN_TRACE_INFO, format, args);
    va_end(args);
}

template <size_t N>
void format(char (&out)[N], const char* fmt, ...) __attribute__((format(printf, 2, 3)));
template <size_t N>
void format(char (&out)[N], const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(out, N, fmt, args);
    va_end(args);
}

// The graphics driver text of the report: Catalyst wording for an AMD primary adapter,
// else the library's driver text. A driver without a Catalyst version ("0" or none), a
// release version (the driver version stands in) or a date leaves its part out rather than
// printing an empty one.
std::string driverText() {
    if (Pyrolex::getVendorClass() != kVendorAmd) return Pyrolex::getDriverText();
    std::string text = "Catalyst ";
    const std::string catalyst = Pyrolex::getPrimaryDriverValue("Catalyst_Version");
    if (!catalyst.empty() && catalyst != "0") text += catalyst + " - ";
    std::string release = Pyrolex::getPrimaryDriverValue("ReleaseVersion");
    if (release.empty()) release = Pyrolex::getPrimaryDriverValue("DriverVersion");
    text += release;
    const std::string date = Pyrolex::getPrimaryDriverValue("DriverDate");
    if (!date.empty()) text += " (" + date + ")";
    return text;
}

}  // namespace

bool GpuMonitor::initGpuTable() {
    SystemInfo& info = m_system_info;
    info = SystemInfo{};
    info.gl_vendor_id = Pyrolex::getGlVendorId();
    info.gl_device_id = Pyrolex::getGlDeviceId();
    info.max_viewport = Pyrolex::getMaxViewportSize();
    format(info.renderer, "%s", Pyrolex::getGlRenderer());

    report("OpenGL renderer (main graphics card): %s", info.renderer);
    report("OpenGL version detected: %d.%d", Pyrolex::getGlMajorVersion(),
           Pyrolex::getGlMinorVersion());
    report("OpenGL max viewport size: %dX%d pixels", info.max_viewport, info.max_viewport);
    const char* device_id_text = Pyrolex::getDeviceIdText(0);
    report("Device ID string (main graphics card): %s", device_id_text ? device_id_text : "");
    format(info.driver, "%s", driverText().c_str());

    report("CPU/System info:");
    format(info.cpu_name, "%s", Pyrolex::getCpuName());
    report("- CPU: %s", info.cpu_name);
    report("# of logical CPU processors: %d", g_startup_options.num_cpu_cores);
    info.cpu_mhz = Pyrolex::getCpuMhz();
    format(info.cpu_speed_text, "%d MHz", info.cpu_mhz);
    report("- CPU speed: %d MHz", info.cpu_mhz);
    format(info.memory_text, "%d MB", static_cast<int>(Pyrolex::getSystemMemoryKb() / 1024));
    report("- System memory: %s", info.memory_text);
    format(info.os_name, "%s", Pyrolex::getOsName());
    report("- OS: %s", info.os_name);

    report("Detecting GPUs...");
    const int count = Pyrolex::getGpuCount();
    info.gpu_count = count;
    report("Found %d GPUs.", count);
    m_integrated_main_gpu =
        info.gl_vendor_id == kPciVendorIntel || info.gl_vendor_id == kPciVendorS3;
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
        const int n = i + 1 + (m_integrated_main_gpu ? 1 : 0);

        const char* name = Pyrolex::getGpuName(i);
        format(s.name, "%s", name ? name : "Unknown_GC");
        s.name_length = static_cast<int32_t>(std::strlen(s.name));
        report("- GPU %d:  %s", n, s.name);

        uint32_t vendor = 0, device = 0, subsys_vendor = 0, subsys_device = 0, revision = 0;
        if (Pyrolex::getPciIds(i, vendor, device, subsys_vendor, subsys_device, revision)) {
            s.vendor_id = static_cast<int32_t>(vendor);
            s.device_id = static_cast<int32_t>(device);
            s.subsys_vendor_id = static_cast<int32_t>(subsys_vendor);
            s.subsys_device_id = static_cast<int32_t>(subsys_device);
        }
        s.cores = Pyrolex::getCoreCount(i);
        report("  - Cores: %d", s.cores.get());
        s.memory_size_mb = Pyrolex::getMemorySizeMb(i);
        report("  - Memory size: %dMB", s.memory_size_mb.get());
        if (const char* type = Pyrolex::getMemoryType(i)) report("  - Memory type: %s", type);
        s.tdp_watts = Pyrolex::getTdpWatts(i);
        report("  - TDP: %dW", s.tdp_watts.get());
        s.bus_id = Pyrolex::getBusId(i);
        report("  - Bus ID: %d", s.bus_id.get());
        if (const char* bios = Pyrolex::getBiosVersion(i)) report("  - Bios: %s", bios);

        float celsius = 0, board = 0, memory = 0, power_supply = 0;
        if (!Pyrolex::getTemperatures(i, celsius, board, memory, power_supply)) celsius = 0;
        report(
            "  - GPU temperature: %.1f\xB0"
            "C",
            static_cast<double>(celsius));
        if (const char* driver = Pyrolex::getDriverVersion(i))
            report("  - Graphics driver: %s", driver);

        float volts = 0, gpu_clock = 0, memory_clock = 0;
        if (!Pyrolex::getCoreVoltage(i, volts)) volts = 0;
        if (Pyrolex::getClockFrequencies(i, 0, gpu_clock, memory_clock))
            report("  - True clocks - GPU clock: %dMHz - Memory clock: %dMHz - GPU voltage: %.3fV",
                   static_cast<int>(gpu_clock), static_cast<int>(memory_clock),
                   static_cast<double>(volts));
        else
            gpu_clock = 0;
        if (gpu_clock == 0)
            report(
                "WARNING: true GPU core and memory clocks for GPU %d are not available on this "
                "platform. "
                "Only Pstate clocks will be displayed.",
                n);

        float base = 0, boost = 0, unused = 0, limit = 0, limit_mw = 0;
        if (!Pyrolex::getClockFrequencies(i, 1, base, unused)) base = 0;
        if (!Pyrolex::getClockFrequencies(i, 2, boost, unused)) boost = 0;
        if (!Pyrolex::getPowerLimit(i, limit, limit_mw)) limit = 0;
        if (base > 0 && boost > 0 && limit > 0) {
            s.has_boost_clocks = true;
            s.base_clock = base;
            s.boost_clock = boost;
            s.power_target = limit;
            report(
                "  - GTX 600 series - GPU base clock: %dMHz - GPU boost clock: %dMHz - GPU power "
                "target: %.1f %% TDP",
                static_cast<int>(base), static_cast<int>(boost), static_cast<double>(limit));
        }

        const int levels = Pyrolex::getPerfLevelCount(i);
        for (int k = 0; k < levels; ++k) {
            PerfLevel level;
            if (!Pyrolex::getPerfLevel(i, k, level)) continue;
            report("  - PState %d - GPU clock: %dMHz - Memory clock: %dMHz - GPU voltage: %.3fV",
                   level.id, static_cast<int>(level.gpu_clock),
                   static_cast<int>(level.memory_clock), static_cast<double>(level.voltage));
        }

        float fan_percent = 0, fan_rpm = 0;
        if (Pyrolex::getFanSpeed(i, fan_percent, fan_rpm)) {
            report("  - Fan speed: %d%%", static_cast<int>(fan_percent));
            if (fan_rpm != 0) report("  - Fan speed: %d RPM", static_cast<int>(fan_rpm));
        }
    }
    m_table = std::move(table);
    m_count.store(static_cast<uint32_t>(count), std::memory_order_release);
    return true;
}

bool GpuMonitor::buildInfoText() {
    std::lock_guard lock(m_info_mutex);
    std::string text;
    char line[128];
    auto add = [&] {
        text += line;
        text += "\r\n";
    };
    const char* physx_state = m_physx_hardware ? "PhysX hardware detected." : "PhysX CPU only.";
    if (m_physx_version != 0)
        format(line, "PhysX version: %d - %s", static_cast<int>(m_physx_version), physx_state);
    else
        format(line, "PhysX version: N/A - %s", physx_state);
    add();

    const uint32_t count = gpuCount();
    if (!m_table || count == 0) {
        format(line, "Detected graphics hardware:");
        add();
        format(line, "- OpenGL renderer (main graphics card): %s", m_system_info.renderer);
        add();
        format(line, "- OpenGL version detected: %d.%d", Pyrolex::getGlMajorVersion(),
               Pyrolex::getGlMinorVersion());
        add();
        const char* device_id_text = Pyrolex::getDeviceIdText(0);
        format(line, "- Full device ID: %s", device_id_text ? device_id_text : "");
        add();
    } else {
        format(line, "Detected GPUs:");
        add();
        for (uint32_t i = 0; i < count; ++i) {
            const GpuStatus& s = m_table[i];
            if (s.has_boost_clocks)
                format(line,
                       "- GPU %u: %s, GPU: %d\xB0"
                       "C, power: %.1f %% TDP",
                       i + 1, s.name, static_cast<int>(s.celsius.get()),
                       static_cast<double>(s.gpu_power.get()));
            else
                format(line,
                       "- GPU %u: %s, GPU: %d\xB0"
                       "C",
                       i + 1, s.name, static_cast<int>(s.celsius.get()));
            add();
        }
        for (uint32_t missing = count + 1; missing <= 4; ++missing) {
            if (missing < 2) continue;
            format(line, "- GPU %u: not available", missing);
            add();
        }
    }
    m_info_text = text;
    if (m_info_sink) m_info_sink(m_info_text.c_str());
    return true;
}

}  // namespace plashwerk
