#pragma once
// The hardware report and the startup dialog's information text.
//
// The report goes to the trace log at level 4 while the GPU table is built
// (GpuMonitor::initGpuTable): first the system section (OpenGL, driver, CPU, memory, OS and
// the GPU count), then one section per GPU. Its system texts are kept for the scores file,
// the score submission and the overlay. The information text (PhysX state and the GPUs
// with their temperatures) is rebuilt by every monitoring pass and when the dialog opens.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "gpumon/gpu_status.h"

namespace plashwerk {

/// The system texts of the hardware report, written once at start-up.
struct SystemInfo {
    char renderer[256] = "";
    char driver[256] = "";
    char cpu_name[256] = "";
    char cpu_speed_text[256] = "";
    char memory_text[256] = "";
    char os_name[256] = "";
    uint32_t gl_vendor_id = 0;
    uint32_t gl_device_id = 0;
    int32_t max_viewport = 0;
    int32_t cpu_mhz = 0;
    int32_t gpu_count = 0;
};

class HardwareReport {
  public:
    /// Clears and refills the system texts from the GPU library and writes the system
    /// section, ending with "Found %d GPUs."; returns that GPU count.
    int writeSystemSection(int num_cpu_cores);
    /// Writes the section of GPU gpu (0-based, numbered `number` in the report) from its
    /// freshly built record and the library's further readings.
    void writeGpuSection(int gpu, int number, const GpuStatus& s);
    const SystemInfo& systemInfo() const { return m_system_info; }

    /// Rebuilds the information text over the GPU table (none when count is 0) and hands
    /// it to the sink when one is set.
    bool buildInfoText(const GpuStatus* table, uint32_t count);
    std::string infoText() const;
    void clearInfoText();
    /// The PhysX facts of the information text's first line.
    void setPhysxInfo(uint32_t physx_version, bool physx_hardware);
    /// The startup dialog's information box; empty when it closes.
    void setInfoTextSink(std::function<void(const char*)> sink);

  private:
    SystemInfo m_system_info;

    mutable std::mutex m_info_mutex;
    std::string m_info_text;
    std::function<void(const char*)> m_info_sink;
    uint32_t m_physx_version = 0;
    bool m_physx_hardware = false;
};

}  // namespace plashwerk
