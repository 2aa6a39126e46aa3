#pragma once
// HardwareCaps: the machine as the GPU library sees it.
//
// Sections: the display devices and the primary adapter; processor, memory and system;
// OpenGL of the start-up context; the GPU list and its back ends; the graphics summary.
//
// init() detects everything once: the display devices (sysfs), the processor and the
// system, then the GPUs of each vendor back end in kind order (NVIDIA, AMD), then one
// record per remaining adapter of another vendor. scanGraphicsHardware() then builds the
// graphics summary. The GPU list does not change afterwards except through
// orderGpusByBus().

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gpumon/pyrolex/gpu_record.h"
#include "gpumon/pyrolex/pci_id_text.h"
#include "gpumon/pyrolex/vendor_backend.h"

namespace plashwerk {

struct GlProbeInfo;

/// The graphics summary of scanGraphicsHardware().
struct GraphicsSummary {
    std::string card_name;
    std::string driver_text;
    std::string codename = "n.a.";
    int directx = 0, unified_cores = 0, vertex_units = 0, pixel_units = 0;
    int texture_units = 0, rops = 0;
    int video_memory_mb = 0;
    uint32_t gl_vendor_id = 0, gl_device_id = 0;
    int gpu_count = 0;
    std::string os_name, cpu_name, gl_version;
};

class HardwareCaps final : public BackendHost {
  public:
    static constexpr int kMaxDisplayDevices = 25;

    /// One kept display-device entry.
    struct DisplayEntry {
        char device_id[128];
        char description[128];
        char device_name[128];  ///< at most 31 characters used
        char registry_key[128];
    };

    HardwareCaps();
    ~HardwareCaps() override;
    HardwareCaps(const HardwareCaps&) = delete;
    HardwareCaps& operator=(const HardwareCaps&) = delete;

    /// Replaces the back end of a kind (1 NVIDIA, 2 AMD); null removes it.
    void registerBackend(int kind, std::unique_ptr<VendorBackend> backend);

    /// Runs the detection. software_renderer: the OpenGL renderer text of a working
    /// context, which stands for the display adapter of a machine without one (null or
    /// empty: no such context).
    void init(const char* software_renderer);
    /// Takes what the start-up OpenGL context reported (before init(), so the primary
    /// adapter's driver text can fall back on the OpenGL version text).
    void setOpenGLInfo(const GlProbeInfo& info);
    void scanGraphicsHardware();

    // Display devices and the primary adapter ---------------------------------------
    bool displayOk() const { return m_display_ok; }
    const std::vector<DisplayEntry>& displayDevices() const { return m_display_devices; }
    const char* displayDeviceIdString() const { return m_display_device_id_string; }
    const char* displayDeviceName() const { return m_display_device_name; }
    const char* displayDeviceString() const { return m_display_device_string; }
    const PciIdentity& primaryIds() const { return m_primary_ids; }
    VendorClass vendorClass() const { return m_vendor_class; }
    /// The registry driver values of the primary adapter.
    const AdapterDriverInfo& primaryDriverInfo() const { return m_primary_driver_info; }

    // Processor, memory, system ---------------------------------------------------------
    const std::string& cpuVendor() const { return m_cpu_vendor; }
    const std::string& cpuName() const { return m_cpu_name; }
    int logicalProcessors() const { return m_logical_processors; }
    int cpuMhz() const { return m_cpu_mhz; }
    uint64_t systemMemoryKb() const { return m_system_memory_kb; }
    const std::string& osShortName() const { return m_os_short_name; }
    const std::string& osLongName() const { return m_os_long_name; }

    // OpenGL of the start-up context ----------------------------------------------------
    const std::string& glRenderer() const { return m_gl_renderer; }
    const std::string& glVersionText() const { return m_gl_version_text; }
    int glMajor() const { return m_gl_major; }
    int glMinor() const { return m_gl_minor; }
    int maxViewport() const { return m_max_viewport; }

    // GPUs ----------------------------------------------------------------------------
    int gpuCount() const { return static_cast<int>(m_gpus.size()); }
    /// The record at index, or null beyond the list.
    GpuRecord* gpu(int index);
    /// Reorders the list by bus number, ascending; equal numbers keep their order.
    void orderGpusByBus();
    /// The back end serving a record, or null for a kind without one.
    VendorBackend* backendFor(const GpuRecord& record);

    const GraphicsSummary& summary() const { return m_summary; }

    // BackendHost ---------------------------------------------------------------------
    GpuRecord& addGpuRecord(int kind) override;
    int matchDisplayDevice(GpuRecord& record, int skip_entry) override;
    void readRegistryDriverInfo(GpuRecord& record) override;
    const DeviceTableRow* findDeviceTableRow(uint32_t vendor_id, uint32_t device_id,
                                             const char* subsys_text, const char* revision_text,
                                             int& row_index) const override;
    bool traceEnabled(bool debug_channel) const override;
    void vtrace(bool debug_channel, const char* format, va_list args) override;

  private:
    void readDisplayDeviceData(const char* software_renderer);
    void queryCpuInfo();
    void addOtherAdapters();
    AdapterDriverInfo readAdapterDriverInfo(const char* registry_key, bool primary) const;

    std::unique_ptr<VendorBackend> m_backends[kGpuBackendKinds];
    std::vector<std::unique_ptr<GpuRecord>> m_gpus;

    bool m_display_ok = false;
    std::vector<DisplayEntry> m_display_devices;
    char m_display_device_id_string[128] = "";
    char m_display_device_name[128] = "";
    char m_display_device_string[128] = "";
    PciIdentity m_primary_ids;
    VendorClass m_vendor_class = kVendorNone;
    AdapterDriverInfo m_primary_driver_info;

    std::string m_cpu_vendor, m_cpu_name = "n.a";
    int m_logical_processors = 1;
    int m_cpu_mhz = 0;
    uint64_t m_system_memory_kb = 0;
    std::string m_os_short_name, m_os_long_name;

    std::string m_gl_renderer, m_gl_version_text;
    int m_gl_major = 0, m_gl_minor = 0, m_max_viewport = 0;

    GraphicsSummary m_summary;
};

/// The vendor's version in an OpenGL version text: its last word that starts with a digit,
/// when the text has more than one word ("4.6.0 NVIDIA 550.54.15" gives "550.54.15").
std::string openGLDriverVersion(const std::string& version_text);

}  // namespace plashwerk
