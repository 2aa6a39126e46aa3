// The hardware report written while the GPU table is built, and the startup dialog's
// information text.

#include "gpumon/hardware_report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "gpumon/pyrolex/gpu_record.h"
#include "gpumon/pyrolex/pyrolex.h"
#include "gpumon/pyrolex/saturating.h"
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

int HardwareReport::writeSystemSection(int num_cpu_cores) {
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
    report("# of logical CPU processors: %d", num_cpu_cores);
    info.cpu_mhz = Pyrolex::getCpuMhz();
    format(info.cpu_speed_text, "%d MHz", info.cpu_mhz);
    report("- CPU speed: %d MHz", info.cpu_mhz);
    format(info.memory_text, "%d MB", saturatingInt(Pyrolex::getSystemMemoryKb() / 1024));
    report("- System memory: %s", info.memory_text);
    format(info.os_name, "%s", Pyrolex::getOsName());
    report("- OS: %s", info.os_name);

    report("Detecting GPUs...");
    const int count = Pyrolex::getGpuCount();
    info.gpu_count = count;
    report("Found %d GPUs.", count);
    return count;
}

void HardwareReport::writeGpuSection(int i, int n, const GpuStatus& s) {
    report("- GPU %d:  %s", n, s.name);
    report("  - Cores: %d", s.cores.get());
    report("  - Memory size: %dMB", s.memory_size_mb.get());
    if (const char* type = Pyrolex::getMemoryType(i)) report("  - Memory type: %s", type);
    report("  - TDP: %dW", s.tdp_watts.get());
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
               saturatingInt(gpu_clock), saturatingInt(memory_clock), static_cast<double>(volts));
    else
        gpu_clock = 0;
    if (gpu_clock == 0)
        report(
            "WARNING: true GPU core and memory clocks for GPU %d are not available on this "
            "platform. "
            "Only Pstate clocks will be displayed.",
            n);

    if (s.has_boost_clocks)
        report(
            "  - GTX 600 series - GPU base clock: %dMHz - GPU boost clock: %dMHz - GPU power "
            "target: %.1f %% TDP",
            saturatingInt(s.base_clock.get()), saturatingInt(s.boost_clock.get()),
            static_cast<double>(s.power_target.get()));

    const int levels = Pyrolex::getPerfLevelCount(i);
    for (int k = 0; k < levels; ++k) {
        PerfLevel level;
        if (!Pyrolex::getPerfLevel(i, k, level)) continue;
        report("  - PState %d - GPU clock: %dMHz - Memory clock: %dMHz - GPU voltage: %.3fV",
               level.id, saturatingInt(level.gpu_clock), saturatingInt(level.memory_clock),
               static_cast<double>(level.voltage));
    }

    float fan_percent = 0, fan_rpm = 0;
    if (Pyrolex::getFanSpeed(i, fan_percent, fan_rpm)) {
        report("  - Fan speed: %d%%", saturatingInt(fan_percent));
        if (fan_rpm != 0) report("  - Fan speed: %d RPM", saturatingInt(fan_rpm));
    }
}

std::string HardwareReport::infoText() const {
    std::lock_guard lock(m_info_mutex);
    return m_info_text;
}

void HardwareReport::clearInfoText() {
    std::lock_guard lock(m_info_mutex);
    m_info_text.clear();
}

void HardwareReport::setPhysxInfo(uint32_t physx_version, bool physx_hardware) {
    std::lock_guard lock(m_info_mutex);
    m_physx_version = physx_version;
    m_physx_hardware = physx_hardware;
}

void HardwareReport::setInfoTextSink(std::function<void(const char*)> sink) {
    std::lock_guard lock(m_info_mutex);
    m_info_sink = std::move(sink);
}

bool HardwareReport::buildInfoText(const GpuStatus* table, uint32_t count) {
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

    if (!table || count == 0) {
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
            const GpuStatus& s = table[i];
            if (s.has_boost_clocks)
                format(line,
                       "- GPU %u: %s, GPU: %d\xB0"
                       "C, power: %.1f %% TDP",
                       i + 1, s.name, saturatingInt(s.celsius.get()),
                       static_cast<double>(s.gpu_power.get()));
            else
                format(line,
                       "- GPU %u: %s, GPU: %d\xB0"
                       "C",
                       i + 1, s.name, saturatingInt(s.celsius.get()));
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
