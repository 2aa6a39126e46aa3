#include "gpumon/pyrolex/pyrolex.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "gpumon/pyrolex/hardware_caps.h"
#include "gpumon/pyrolex/pyrolex_trace.h"
#include "platform/gl/probe_context.h"
#include "platform/registry/registry.h"

namespace plashwerk {
namespace {

struct PyrolexState {
    HardwareCaps caps;
    GlProbeContext gl;  // the hidden start-up window and its context
    bool gl_context = false;
    bool started = false;
    bool is_vista = false;
    uint32_t physx_version = 0;
    bool physx_hw_gpu = false;
    bool nvx_gpu_memory_info = false;
    bool ati_meminfo = false;
};

std::mutex g_create_mutex;
std::atomic<PyrolexState*> g_state{nullptr};

PyrolexState& state() {
    if (PyrolexState* s = g_state.load(std::memory_order_acquire)) return *s;
    std::lock_guard lock(g_create_mutex);
    if (!g_state.load(std::memory_order_relaxed))
        g_state.store(new PyrolexState, std::memory_order_release);
    return *g_state.load(std::memory_order_relaxed);
}

void trace(const char* text) {
    pyrolexGeneralTrace().write("%s", text);
}

const char* textOrNull(const char* text) {
    return text && *text ? text : nullptr;
}

// Runs a query on the back end of the GPU's kind; false beyond the list or without one.
template <typename Query>
bool ask(int gpu, Query&& query) {
    PyrolexState& s = state();
    GpuRecord* record = s.caps.gpu(gpu);
    if (!record) return false;
    VendorBackend* backend = s.caps.backendFor(*record);
    return backend && query(*backend, *record);
}

}  // namespace

bool Pyrolex::startup(int x, int y, int width, int height, int gl_major, int gl_minor,
                      bool debug_context) {
    trace("Pyrolex::startup()");
    PyrolexState& s = state();
    if (s.started) return true;
    trace("Pyrolex::startup() - Pyrolex_DummyW");

    // The context comes first here: on a machine without a display adapter its renderer
    // text is what describes the virtual one that HardwareCaps lists.
    if (gl_major >= 1) {
        trace("RenderWindow::initializeGLContextWin32()...");
        GlProbeRequest request;
        request.x = x;
        request.y = y;
        request.width = width;
        request.height = height;
        request.major = gl_major;
        request.minor = gl_minor;
        request.debug = debug_context;
        s.gl_context = s.gl.create(request);
        if (s.gl_context) {
            const GlProbeInfo& info = s.gl.info();
            pyrolexGeneralTrace().write(
                "RenderWindow::initializeGLContextWin32() - getOpenGLVersion(): %d.%d", info.major,
                info.minor);
            s.caps.setOpenGLInfo(info);
            s.nvx_gpu_memory_info = s.gl.hasExtension("GL_NVX_gpu_memory_info");
            s.ati_meminfo = s.gl.hasExtension("GL_ATI_meminfo");
            trace("RenderWindow::initializeGLContextWin32() OK.");
        }
    }
    s.caps.init(s.gl_context ? s.gl.info().renderer.c_str() : nullptr);
    trace("Pyrolex::startup() - Pyrolex_DummyW OK.");
    s.is_vista = s.caps.osLongName().find("Vista") != std::string::npos;

    trace("Pyrolex::startup() - PhysX info");
    Registry& registry = systemRegistry();
    uint32_t version = 0;
    if (registry.readDword("SOFTWARE\\AGEIA Technologies", "PhysX Version", version))
        s.physx_version = version;
    std::string selection;
    if (registry.readString("SOFTWARE\\AGEIA Technologies", "HwSelection", selection))
        s.physx_hw_gpu = selection.substr(0, 511) == "GPU";
    trace("Pyrolex::startup() - PhysX info OK.");

    if (!s.caps.displayOk()) return true;
    s.started = true;
    trace("Pyrolex::startup() - scanGraphicsHardware()");
    s.caps.scanGraphicsHardware();
    trace("Pyrolex::startup() - scanGraphicsHardware() OK.");
    trace("Pyrolex::startup() OK.");
    return true;
}

bool Pyrolex::isStarted() {
    return state().caps.displayOk();
}

bool Pyrolex::shutdown() {
    std::lock_guard lock(g_create_mutex);
    PyrolexState* s = g_state.load(std::memory_order_acquire);
    if (!s || !s->started) return false;
    g_state.store(nullptr, std::memory_order_release);
    delete s;  // releases the OpenGL context and the vendor interfaces
    return true;
}

int Pyrolex::getGpuCount() {
    return state().caps.gpuCount();
}

void Pyrolex::orderGpusByBus() {
    state().caps.orderGpusByBus();
}

const char* Pyrolex::getGpuName(int gpu) {
    const GpuRecord* r = state().caps.gpu(gpu);
    return r ? textOrNull(r->full_name) : nullptr;
}

bool Pyrolex::getPciIds(int gpu, uint32_t& vendor_id, uint32_t& device_id,
                        uint32_t& subsys_vendor_id, uint32_t& subsys_device_id,
                        uint32_t& revision_id) {
    const GpuRecord* r = state().caps.gpu(gpu);
    if (!r) return false;
    vendor_id = r->vendor_id;
    device_id = r->device_id;
    subsys_vendor_id = r->subsys_vendor_id;
    subsys_device_id = r->subsys_device_id;
    revision_id = r->revision_id;
    return true;
}

int Pyrolex::getBusId(int gpu) {
    const GpuRecord* r = state().caps.gpu(gpu);
    return r ? r->bus_id : -1;
}

const char* Pyrolex::getBiosVersion(int gpu) {
    const GpuRecord* r = state().caps.gpu(gpu);
    return r ? textOrNull(r->bios_version) : nullptr;
}

const char* Pyrolex::getDriverVersion(int gpu) {
    const GpuRecord* r = state().caps.gpu(gpu);
    return r ? textOrNull(r->driver_version) : nullptr;
}

const char* Pyrolex::getMemoryType(int gpu) {
    const GpuRecord* r = state().caps.gpu(gpu);
    return r ? textOrNull(r->memory_type) : nullptr;
}

const char* Pyrolex::getDeviceIdText(int gpu) {
    const GpuRecord* r = state().caps.gpu(gpu);
    return r ? textOrNull(r->device_id_text) : nullptr;
}

int Pyrolex::getCoreCount(int gpu) {
    const GpuRecord* r = state().caps.gpu(gpu);
    return r ? r->cores : 0;
}

int Pyrolex::getMemorySizeMb(int gpu) {
    const GpuRecord* r = state().caps.gpu(gpu);
    return r ? r->memory_size_mb : 0;
}

int Pyrolex::getTdpWatts(int gpu) {
    const GpuRecord* r = state().caps.gpu(gpu);
    return r ? r->tdp_watts : 0;
}

int Pyrolex::getGpuKind(int gpu) {
    const GpuRecord* r = state().caps.gpu(gpu);
    return r ? r->kind : -1;
}

bool Pyrolex::getTemperatures(int gpu, float& gpu_celsius, float& board_celsius,
                              float& memory_celsius, float& power_supply_celsius,
                              float* hot_spot_celsius) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        GpuTemperatures t{gpu_celsius, board_celsius, memory_celsius, power_supply_celsius};
        if (!b.temperatures(r, t)) return false;
        if (hot_spot_celsius) *hot_spot_celsius = t.hot_spot;
        gpu_celsius = t.gpu;
        board_celsius = t.board;
        memory_celsius = t.memory;
        power_supply_celsius = t.power_supply;
        r.updateReadings([&](GpuReadings& readings) { readings.temperatures = t; });
        return true;
    });
}

bool Pyrolex::getGpuUsage(int gpu, float& gpu_percent, float& frame_buffer_percent) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        float video = 0;
        if (!b.gpuUsage(r, gpu_percent, frame_buffer_percent, video)) return false;
        r.updateReadings([&](GpuReadings& readings) {
            readings.gpu_usage = gpu_percent;
            readings.frame_buffer_usage = frame_buffer_percent;
            readings.video_engine_usage = video;
        });
        return true;
    });
}

bool Pyrolex::getMemoryUsage(int gpu, uint32_t& total_kb, uint32_t& available_kb, float& percent) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        if (!b.memoryUsage(r, total_kb, available_kb, percent)) return false;
        r.updateReadings([&](GpuReadings& readings) {
            readings.memory_total_kb = total_kb;
            readings.memory_available_kb = available_kb;
            readings.memory_usage = percent;
        });
        return true;
    });
}

bool Pyrolex::getFanSpeed(int gpu, float& percent, float& rpm) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        if (!b.fan(r, percent, rpm)) return false;
        r.updateReadings([&](GpuReadings& readings) {
            readings.fan_percent = percent;
            readings.fan_rpm = rpm;
        });
        return true;
    });
}

bool Pyrolex::getPerfStateClocks(int gpu, int& pstate, float& gpu_clock, float& memory_clock,
                                 float& shader_clock, float& voltage) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        PerfStateClocks c{pstate, gpu_clock, memory_clock, shader_clock, voltage};
        const bool ok = b.perfStateClocks(r, c);
        pstate = c.pstate;  // -1 when the current state is unknown
        if (!ok) return false;
        gpu_clock = c.gpu_clock;
        memory_clock = c.memory_clock;
        shader_clock = c.shader_clock;
        voltage = c.voltage;
        r.updateReadings([&](GpuReadings& readings) { readings.clocks = c; });
        return true;
    });
}

bool Pyrolex::getClockFrequencies(int gpu, int type, float& gpu_clock, float& memory_clock) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        if (!b.clockFrequencies(r, type, gpu_clock, memory_clock)) return false;
        if (type == 0)
            r.updateReadings([&](GpuReadings& readings) {
                readings.true_gpu_clock = gpu_clock;
                readings.true_memory_clock = memory_clock;
            });
        return true;
    });
}

bool Pyrolex::getCoreVoltage(int gpu, float& volts) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        if (!b.coreVoltage(r, volts)) return false;
        r.updateReadings([&](GpuReadings& readings) { readings.core_voltage = volts; });
        return true;
    });
}

bool Pyrolex::getPowerStatus(int gpu, float& percent_of_tdp, float& milliwatts) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        if (!b.powerStatus(r, percent_of_tdp, milliwatts)) return false;
        r.updateReadings([&](GpuReadings& readings) {
            readings.power_percent = percent_of_tdp;
            readings.power_mw = milliwatts;
        });
        return true;
    });
}

bool Pyrolex::getPowerLimit(int gpu, float& percent_of_tdp, float& milliwatts) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        if (!b.powerLimit(r, percent_of_tdp, milliwatts)) return false;
        r.updateReadings(
            [&](GpuReadings& readings) { readings.power_limit_percent = percent_of_tdp; });
        return true;
    });
}

bool Pyrolex::getClockEventReasons(int gpu, uint32_t& reasons) {
    return ask(gpu,
               [&](VendorBackend& b, GpuRecord& r) { return b.clockEventReasons(r, reasons); });
}

bool Pyrolex::getClocksAndPower(int gpu, bool boost_clocks, ClockPowerReading& out) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        if (!b.clocksAndPower(r, boost_clocks, out)) return false;
        r.updateReadings([&](GpuReadings& readings) {
            if (out.measured_clocks) {
                readings.true_gpu_clock = out.true_gpu_clock;
                readings.true_memory_clock = out.true_memory_clock;
            }
            if (out.core_voltage_read) readings.core_voltage = out.core_voltage;
            if (out.state_read && out.current_pstate) readings.clocks = out.clocks;
            if (out.power_read) {
                readings.power_percent = out.power_percent;
                readings.power_mw = out.power_mw;
            }
            if (out.power_limit_read) readings.power_limit_percent = out.power_limit_percent;
        });
        return true;
    });
}

int Pyrolex::getPerfLevelCount(int gpu) {
    int count = 0;
    ask(gpu, [&](VendorBackend& b, GpuRecord& r) {
        count = b.perfLevelCount(r);
        return true;
    });
    return count;
}

bool Pyrolex::getPerfLevel(int gpu, int level, PerfLevel& out) {
    return ask(gpu, [&](VendorBackend& b, GpuRecord& r) { return b.perfLevel(r, level, out); });
}

const char* Pyrolex::getDisplayDeviceIdString() {
    return state().caps.displayDeviceIdString();
}
int Pyrolex::getVendorClass() {
    return state().caps.vendorClass();
}
uint32_t Pyrolex::getGlVendorId() {
    return state().caps.primaryIds().vendor_id;
}
uint32_t Pyrolex::getGlDeviceId() {
    return state().caps.primaryIds().device_id;
}
const char* Pyrolex::getGlRenderer() {
    return state().caps.glRenderer().c_str();
}
int Pyrolex::getGlMajorVersion() {
    return state().caps.glMajor();
}
int Pyrolex::getGlMinorVersion() {
    return state().caps.glMinor();
}
int Pyrolex::getMaxViewportSize() {
    return state().caps.maxViewport();
}

std::vector<int> Pyrolex::getMsaaModes() {
    PyrolexState& s = state();
    return s.gl_context ? s.gl.info().msaa_modes : std::vector<int>{};
}

bool Pyrolex::isGlExtensionSupported(const char* name) {
    PyrolexState& s = state();
    return s.gl_context && s.gl.hasExtension(name);
}

std::string Pyrolex::getPrimaryDriverValue(const char* value_name) {
    const AdapterDriverInfo& info = state().caps.primaryDriverInfo();
    if (!value_name) return {};
    if (std::strcmp(value_name, "DriverDate") == 0) return info.driver_date;
    if (std::strcmp(value_name, "DriverVersion") == 0) return info.driver_version;
    if (std::strcmp(value_name, "Catalyst_Version") == 0) return info.catalyst_version;
    if (std::strcmp(value_name, "ReleaseVersion") == 0) return info.release_version;
    return {};
}

const char* Pyrolex::getOsName() {
    return state().caps.osLongName().c_str();
}
const char* Pyrolex::getCpuName() {
    return state().caps.cpuName().c_str();
}
int Pyrolex::getCpuMhz() {
    return state().caps.cpuMhz();
}
uint64_t Pyrolex::getSystemMemoryKb() {
    return state().caps.systemMemoryKb();
}
const char* Pyrolex::getDriverText() {
    return state().caps.summary().driver_text.c_str();
}
const char* Pyrolex::getCardName() {
    return state().caps.summary().card_name.c_str();
}
uint32_t Pyrolex::getPhysxVersion() {
    return state().physx_version;
}
bool Pyrolex::isPhysxHwSelected() {
    return state().physx_hw_gpu;
}

std::string Pyrolex::getCurrentContextRenderer() {
    return currentContextRenderer();
}
int Pyrolex::getCurrentContextSamples() {
    return currentContextSamples();
}

HardwareCaps* Pyrolex::hardwareCaps() {
    return &state().caps;
}

}  // namespace plashwerk
