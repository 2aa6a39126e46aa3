#include "gpumon/pyrolex/hardware_caps.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gpumon/pyrolex/amd/amd_backend.h"
#include "gpumon/pyrolex/device_tables.h"
#include "gpumon/pyrolex/nvidia/nvidia_backend.h"
#include "gpumon/pyrolex/pyrolex_trace.h"
#include "platform/display_devices/display_devices.h"
#include "platform/gl/probe_context.h"
#include "platform/registry/registry.h"
#include "platform/sysinfo/system_info.h"
#include "platform/thread/thread_util.h"

namespace plashwerk {
namespace {

void generalTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void generalTrace(const char* format, ...) {
    if (!pyrolexGeneralTrace().enabled()) return;
    va_list args;
    va_start(args, format);
    pyrolexGeneralTrace().vwrite(format, args);
    va_end(args);
}

// The registry stores some texts as UTF-16 bytes; the zero bytes are dropped.
std::string dropZeroBytes(const std::string& text, size_t max) {
    std::string out;
    for (char c : text) {
        if (c == '\0') continue;
        if (out.size() == max) break;
        out += c;
    }
    return out;
}

// A registry key text from its "System" (or "SYSTEM") part on; empty without one.
std::string machineKeyPath(const char* key_text) {
    if (!key_text) return {};
    const char* at = std::strstr(key_text, "System");
    const char* upper = std::strstr(key_text, "SYSTEM");
    if (!at || (upper && upper < at)) at = upper;
    return at ? at : "";
}

bool sameIfBothSet(uint32_t a, uint32_t b) {
    return a == 0 || b == 0 || a == b;
}

}  // namespace

std::string openGLDriverVersion(const std::string& version_text) {
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < version_text.size()) {
        const size_t end = std::min(version_text.find(' ', pos), version_text.size());
        if (end > pos) words.push_back(version_text.substr(pos, end - pos));
        pos = end + 1;
    }
    if (words.size() < 2) return {};
    for (size_t i = words.size(); i-- > 1;)
        if (words[i][0] >= '0' && words[i][0] <= '9') return words[i];
    return {};
}

HardwareCaps::HardwareCaps() {
    registerBackend(kGpuKindNvidia, createNvidiaBackend());
    registerBackend(kGpuKindAmd, createAmdBackend());
}

HardwareCaps::~HardwareCaps() {
    for (auto& backend : m_backends)
        if (backend) backend->shutdown();
}

void HardwareCaps::registerBackend(int kind, std::unique_ptr<VendorBackend> backend) {
    if (kind <= kGpuKindOther || kind >= kGpuBackendKinds) return;
    if (m_backends[kind]) m_backends[kind]->shutdown();
    m_backends[kind] = std::move(backend);
}

void HardwareCaps::setOpenGLInfo(const GlProbeInfo& info) {
    m_gl_renderer = info.renderer;
    m_gl_version_text = info.version_text;
    m_gl_major = info.major;
    m_gl_minor = info.minor;
    m_max_viewport = info.max_viewport;
}

void HardwareCaps::init(const char* software_renderer) {
    generalTrace("HardwareCaps::init() - START");
    m_gpus.clear();
    readDisplayDeviceData(software_renderer);
    m_vendor_class = vendorClassOf(m_primary_ids.vendor_id);
    if (!m_display_devices.empty())
        m_primary_driver_info = readAdapterDriverInfo(m_display_devices.front().registry_key, true);

    generalTrace("HardwareCaps::init() - _queryCPUInfo()");
    queryCpuInfo();
    generalTrace("HardwareCaps::init() - _queryCPUInfo() OK.");

    for (int kind = kGpuKindNvidia; kind < kGpuBackendKinds; ++kind) {
        VendorBackend* backend = m_backends[kind].get();
        if (!backend) continue;
        generalTrace("HardwareCaps::init() - %s", backend->initName());
        backend->enumerate(*this);
        generalTrace("HardwareCaps::init() - %s OK.", backend->initName());
    }
    addOtherAdapters();
    generalTrace("HardwareCaps::init() - END OK.");
}

void HardwareCaps::readDisplayDeviceData(const char* software_renderer) {
    if (m_display_ok) return;
    m_display_devices.clear();
    DisplayDeviceQuery query;
    query.software_renderer = software_renderer;
    query.namer = [](uint16_t vendor, uint16_t device, std::string& name) {
        const DeviceTableRow* row = deviceTableRow(
            deviceTableFor(vendor), lookupDeviceRow(vendor, device, nullptr, nullptr));
        if (!row || !row->full_name) return false;
        name = row->full_name;
        return true;
    };
    // Several outputs of one adapter list the same id text in a row; they make one entry.
    const std::vector<DisplayDevice> devices = listDisplayDevices(query);
    for (size_t i = 0; i < devices.size() && i < static_cast<size_t>(kMaxDisplayDevices); ++i) {
        const DisplayDevice& d = devices[i];
        if (!m_display_devices.empty() &&
            std::strncmp(m_display_devices.back().device_id, d.device_id, 127) == 0)
            continue;
        DisplayEntry e{};
        copyTo(e.device_id, d.device_id);
        copyTo(e.description, d.device_string);
        char name[32];
        copyTo(name, d.device_name);
        copyTo(e.device_name, name);
        copyTo(e.registry_key, d.device_key);
        m_display_devices.push_back(e);
    }
    if (m_display_devices.empty()) return;
    const DisplayEntry& primary = m_display_devices.front();
    copyTo(m_display_device_id_string, primary.device_id);
    copyTo(m_display_device_name, primary.device_name);
    copyTo(m_display_device_string, primary.description);
    generalTrace("HardwareCaps::_readDisplayDeviceData - m_display_device_id_string: %s",
                 m_display_device_id_string);
    generalTrace("HardwareCaps::_readDisplayDeviceData - m_display_device_name: %s",
                 m_display_device_name);
    generalTrace("HardwareCaps::_readDisplayDeviceData - m_display_device_string: %s",
                 m_display_device_string);
    m_display_ok = m_display_device_string[0] != '\0';
    m_primary_ids = parsePciIdsAtFixedPositions(m_display_device_id_string);
}

void HardwareCaps::queryCpuInfo() {
    const CpuIdentity cpu = queryCpuIdentity();
    m_cpu_vendor = cpu.vendor;
    m_cpu_name = cpu.brand;
    m_logical_processors = logicalProcessorCount();
    m_cpu_mhz = measuredCpuMhz();
    m_system_memory_kb = totalPhysicalMemoryKb();
    const OsNames os = queryOsNames();
    m_os_short_name = os.short_name;
    m_os_long_name = os.long_name;
}

void HardwareCaps::addOtherAdapters() {
    // An integrated primary adapter (Intel, S3) beside NVIDIA or AMD GPUs is the machine's
    // implicit GPU 1: the monitor numbers the vendor GPUs from 2 then, and the adapter has
    // no sensors to watch, so it is not listed a second time.
    const bool vendor_gpus = !m_gpus.empty();
    const bool integrated_primary = m_vendor_class == kVendorIntel || m_vendor_class == kVendorS3;
    for (size_t i = 0; i < m_display_devices.size(); ++i) {
        const DisplayEntry& e = m_display_devices[i];
        const PciIdentity ids = parsePciIdsByKey(e.device_id);
        if (ids.vendor_id == kPciVendorNvidia || ids.vendor_id == kPciVendorAmd) continue;
        if (i == 0 && integrated_primary && vendor_gpus) continue;
        GpuRecord& r = addGpuRecord(vendorClassOf(ids.vendor_id));
        r.index = static_cast<int>(i);
        r.vendor_id = ids.vendor_id;
        r.device_id = ids.device_id;
        r.subsys_vendor_id = ids.subsys_vendor_id;
        r.subsys_device_id = ids.subsys_device_id;
        r.revision_id = ids.revision_id;
        copyTo(r.revision_text, ids.revision_text);
        copyTo(r.subsys_text, ids.subsys_text);
        copyTo(r.device_id_text, e.device_id);
        copyTo(r.description, e.description);
        copyTo(r.registry_key, e.registry_key);
        r.table_row =
            lookupDeviceRow(ids.vendor_id, ids.device_id, ids.subsys_text, ids.revision_text);
        if (const DeviceTableRow* row =
                deviceTableRow(deviceTableFor(ids.vendor_id), r.table_row)) {
            copyTo(r.codename, row->codename);
            copyTo(r.full_name, row->full_name);
            r.cores = row->unified_cores;
            r.texture_units = row->texture_units;
            r.rops = row->rops;
            r.tdp_watts = row->tdp_watts;
        } else {
            copyTo(r.codename, "Unknown");
            copyTo(r.full_name, e.description);
        }
        readRegistryDriverInfo(r);
        copyTo(r.driver_version, r.driver_info.driver_version.c_str());
        copyTo(r.bios_version, r.driver_info.bios.c_str());
    }
}

GpuRecord* HardwareCaps::gpu(int index) {
    if (index < 0 || index >= gpuCount()) return nullptr;
    return m_gpus[static_cast<size_t>(index)].get();
}

void HardwareCaps::orderGpusByBus() {
    std::stable_sort(m_gpus.begin(), m_gpus.end(),
                     [](const auto& a, const auto& b) { return a->bus_id < b->bus_id; });
}

VendorBackend* HardwareCaps::backendFor(const GpuRecord& record) {
    if (record.kind <= kGpuKindOther || record.kind >= kGpuBackendKinds) return nullptr;
    return m_backends[record.kind].get();
}

GpuRecord& HardwareCaps::addGpuRecord(int kind) {
    m_gpus.push_back(std::make_unique<GpuRecord>());
    GpuRecord& r = *m_gpus.back();
    r.kind = kind;
    r.index = gpuCount() - 1;
    return r;
}

int HardwareCaps::matchDisplayDevice(GpuRecord& record, int skip_entry) {
    for (size_t i = 0; i < m_display_devices.size(); ++i) {
        if (static_cast<int>(i) == skip_entry) continue;
        const DisplayEntry& e = m_display_devices[i];
        const PciIdentity ids = parsePciIdsAtFixedPositions(e.device_id);
        if (ids.vendor_id != record.vendor_id || ids.device_id != record.device_id) continue;
        if (!sameIfBothSet(ids.subsys_vendor_id, record.subsys_vendor_id) ||
            !sameIfBothSet(ids.subsys_device_id, record.subsys_device_id))
            continue;
        copyTo(record.device_id_text, e.device_id);
        copyTo(record.description, e.description);
        copyTo(record.registry_key, e.registry_key);
        copyTo(record.subsys_text, ids.subsys_text);
        return static_cast<int>(i);
    }
    return -1;
}

AdapterDriverInfo HardwareCaps::readAdapterDriverInfo(const char* registry_key,
                                                      bool primary) const {
    AdapterDriverInfo info;
    const std::string key = machineKeyPath(registry_key);
    Registry& registry = systemRegistry();
    if (!key.empty()) {
        std::string text;
        uint32_t bytes = 0;
        if (registry.readString(key.c_str(), "HardwareInformation.BiosString", text))
            info.bios = dropZeroBytes(text, 255);
        if (registry.readDword(key.c_str(), "HardwareInformation.MemorySize", bytes))
            info.memory_mb = bytes / (1024u * 1024u);
        info.radeon_software = registry.readString(key.c_str(), "RadeonSoftwareEdition", text);
        registry.readString(key.c_str(), "DriverVersion", info.driver_version);
        registry.readString(key.c_str(), "DriverDate", info.driver_date);
        registry.readString(key.c_str(),
                            info.radeon_software ? "RadeonSoftwareVersion" : "Catalyst_Version",
                            info.catalyst_version);
        registry.readString(key.c_str(), "ReleaseVersion", info.release_version);
        if (registry.readString(key.c_str(), "HardwareInformation.AdapterString", text))
            info.adapter_string = dropZeroBytes(text, 255);
        registry.readString(key.c_str(), "OpenGLDriverName", info.opengl_driver_name);
    }
    // The adapter that runs the OpenGL context without a kernel driver of its own (a
    // software rasteriser) is best described by the OpenGL version text.
    if (primary && info.driver_version.empty()) info.driver_version = m_gl_version_text;
    return info;
}

void HardwareCaps::readRegistryDriverInfo(GpuRecord& record) {
    const bool primary =
        !m_display_devices.empty() &&
        std::strcmp(record.device_id_text, m_display_devices.front().device_id) == 0;
    record.driver_info = readAdapterDriverInfo(record.registry_key, primary);
    if (record.memory_size_mb == 0)
        record.memory_size_mb = static_cast<int>(record.driver_info.memory_mb);
}

const DeviceTableRow* HardwareCaps::findDeviceTableRow(uint32_t vendor_id, uint32_t device_id,
                                                       const char* subsys_text,
                                                       const char* revision_text,
                                                       int& row_index) const {
    row_index = lookupDeviceRow(vendor_id, device_id, subsys_text, revision_text);
    return deviceTableRow(deviceTableFor(vendor_id), row_index);
}

bool HardwareCaps::traceEnabled(bool debug_channel) const {
    return (debug_channel ? pyrolexNvidiaTrace() : pyrolexGeneralTrace()).enabled();
}

void HardwareCaps::vtrace(bool debug_channel, const char* format, va_list args) {
    (debug_channel ? pyrolexNvidiaTrace() : pyrolexGeneralTrace()).vwrite(format, args);
}

void HardwareCaps::scanGraphicsHardware() {
    GraphicsSummary s;
    const DeviceTable table = deviceTableFor(m_primary_ids.vendor_id);
    const int row_index = lookupDeviceRow(m_primary_ids.vendor_id, m_primary_ids.device_id,
                                          m_primary_ids.subsys_text, m_primary_ids.revision_text);
    const DeviceTableRow* row =
        m_primary_ids.vendor_id ? deviceTableRow(table, row_index) : nullptr;

    // 1. Card name.
    if (row && row->full_name)
        s.card_name = row->full_name;
    else if (!m_gpus.empty())
        s.card_name = m_gpus.front()->description;
    else
        s.card_name = m_display_device_string;
    if (m_primary_ids.vendor_id == kPciVendorAmd && m_primary_ids.device_id == 0x6798)
        s.card_name = std::strstr(m_display_device_string, "Radeon HD 7900") ? "AMD Radeon HD 7970"
                                                                             : "AMD Radeon R9 280X";

    // 2. Driver text.
    const AdapterDriverInfo& info = m_primary_driver_info;
    char text[512] = "";
    bool done = false;
    if (m_vendor_class == kVendorNvidia && m_backends[kGpuKindNvidia]) {
        const std::string v = m_backends[kGpuKindNvidia]->driverVersionText();
        const std::string gl = openGLDriverVersion(m_gl_version_text);
        if (!v.empty()) {
            if (!gl.empty())
                std::snprintf(text, sizeof text, "Forceware %s (%s) - GL:%s", v.c_str(),
                              info.driver_date.c_str(), gl.c_str());
            else
                std::snprintf(text, sizeof text, "Forceware %s (%s)", v.c_str(),
                              info.driver_date.c_str());
            done = true;
        }
    } else if (m_vendor_class == kVendorAmd && !info.catalyst_version.empty()) {
        if (!info.driver_version.empty() && !info.driver_date.empty())
            std::snprintf(text, sizeof text, "%s - Catalyst %s (%s)", info.driver_version.c_str(),
                          info.catalyst_version.c_str(), info.driver_date.c_str());
        else
            std::snprintf(text, sizeof text, "Catalyst %s", info.catalyst_version.c_str());
        done = true;
    }
    if (!done && !info.driver_version.empty()) {
        if (!info.driver_date.empty())
            std::snprintf(text, sizeof text, "%s (%s)", info.driver_version.c_str(),
                          info.driver_date.c_str());
        else
            std::snprintf(text, sizeof text, "%s", info.driver_version.c_str());
    }
    s.driver_text = text;

    // 3. The primary adapter's table values.
    if (row) {
        s.codename = row->codename ? row->codename : "n.a.";
        s.directx = row->directx;
        s.unified_cores = row->unified_cores;
        s.vertex_units = row->vertex_units;
        s.pixel_units = row->pixel_units;
        s.texture_units = row->texture_units;
        s.rops = row->rops;
    }
    if (!m_gpus.empty()) s.video_memory_mb = m_gpus.front()->memory_size_mb;
    s.gl_vendor_id = m_primary_ids.vendor_id;
    s.gl_device_id = m_primary_ids.device_id;
    s.gpu_count = gpuCount();

    // 4. Copies.
    s.os_name = m_os_long_name;
    s.cpu_name = m_cpu_name;
    char version[32];
    std::snprintf(version, sizeof version, "%d.%d", m_gl_major, m_gl_minor);
    s.gl_version = version;
    m_summary = s;
}

}  // namespace plashwerk
