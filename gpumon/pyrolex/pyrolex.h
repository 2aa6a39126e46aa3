#pragma once
// Pyrolex: the program's GPU library, reached through this process-wide facade.
//
// Sections: start-up and shut-down; the GPU list; per-GPU identity; per-GPU sensors; the
// primary adapter and the start-up OpenGL context; system; the render thread's context.
//
// Every method is static and forwards to the one facade object, created on first use and
// destroyed by shutdown() (a later use creates a new one). GPU indices are 0-based; an
// index beyond the list answers false, 0, -1 or null as each method says. Sensor queries
// dispatch by the GPU's kind to its vendor back end (HardwareCaps::backendFor); they take
// no lock of their own and may run on several threads at once.

#include <cstdint>
#include <string>
#include <vector>

#include "gpumon/pyrolex/gpu_record.h"

namespace plashwerk {

class HardwareCaps;

class Pyrolex {
  public:
    // Start-up and shut-down --------------------------------------------------------
    /// Creates the start-up OpenGL context (hidden window of the given position and size,
    /// OpenGL gl_major.gl_minor; none when gl_major < 1), detects the hardware, reads the
    /// physics registry values and, when a display adapter was found, builds the graphics
    /// summary and marks the library started. False only when the machine description
    /// could not be created.
    static bool startup(int x, int y, int width, int height, int gl_major, int gl_minor,
                        bool debug_context);
    /// The driver detection: true when the primary display adapter has a description.
    static bool isStarted();
    /// When started: releases the OpenGL context, the vendor interfaces and the facade
    /// object, and returns true. False when not started.
    static bool shutdown();

    // The GPU list ------------------------------------------------------------------
    static int getGpuCount();
    /// Reorders the list by PCI bus number, ascending and stable.
    static void orderGpusByBus();

    // Identity (text getters return null when the GPU has no such text) --------------
    static const char* getGpuName(int gpu);
    static bool getPciIds(int gpu, uint32_t& vendor_id, uint32_t& device_id,
                          uint32_t& subsys_vendor_id, uint32_t& subsys_device_id,
                          uint32_t& revision_id);
    static int getBusId(int gpu);  ///< -1 beyond the list
    static const char* getBiosVersion(int gpu);
    static const char* getDriverVersion(int gpu);
    static const char* getMemoryType(int gpu);
    static const char* getDeviceIdText(int gpu);
    static int getCoreCount(int gpu);
    static int getMemorySizeMb(int gpu);
    static int getTdpWatts(int gpu);
    static int getGpuKind(int gpu);  ///< -1 beyond the list

    // Sensors (false when the index, the kind or the back end fails) ------------------
    /// hot_spot_celsius, when given, gets the junction temperature (0 without that sensor).
    static bool getTemperatures(int gpu, float& gpu_celsius, float& board_celsius,
                                float& memory_celsius, float& power_supply_celsius,
                                float* hot_spot_celsius = nullptr);
    static bool getGpuUsage(int gpu, float& gpu_percent, float& frame_buffer_percent);
    static bool getMemoryUsage(int gpu, uint32_t& total_kb, uint32_t& available_kb, float& percent);
    static bool getFanSpeed(int gpu, float& percent, float& rpm);
    static bool getPerfStateClocks(int gpu, int& pstate, float& gpu_clock, float& memory_clock,
                                   float& shader_clock, float& voltage);
    /// type: 0 current, 1 base, 2 boost (NVIDIA only).
    static bool getClockFrequencies(int gpu, int type, float& gpu_clock, float& memory_clock);
    static bool getCoreVoltage(int gpu, float& volts);
    static bool getPowerStatus(int gpu, float& percent_of_tdp, float& milliwatts);
    static bool getPowerLimit(int gpu, float& percent_of_tdp, float& milliwatts);
    /// The clocks, voltage and power of one monitoring pass (ClockPowerReading), by the
    /// GPU's back end; false for a GPU whose back end has none.
    static bool getClocksAndPower(int gpu, bool boost_clocks, ClockPowerReading& out);
    /// ClockEvent bits (gpu_record.h) of the GPU now; false when its back end cannot say.
    static bool getClockEventReasons(int gpu, uint32_t& reasons);
    static int getPerfLevelCount(int gpu);
    static bool getPerfLevel(int gpu, int level, PerfLevel& out);

    // Primary adapter and start-up OpenGL context ------------------------------------
    static const char* getDisplayDeviceIdString();
    static int getVendorClass();
    static uint32_t getGlVendorId();
    static uint32_t getGlDeviceId();
    static const char* getGlRenderer();
    static int getGlMajorVersion();
    static int getGlMinorVersion();
    /// The largest render dimension: the context's maximum viewport size (0 without one).
    static int getMaxViewportSize();
    static std::vector<int> getMsaaModes();
    static bool isGlExtensionSupported(const char* name);
    /// Registry driver values of the primary adapter ("DriverDate", "Catalyst_Version",
    /// "ReleaseVersion", "DriverVersion"); empty text when absent.
    static std::string getPrimaryDriverValue(const char* value_name);

    // System --------------------------------------------------------------------------
    static const char* getOsName();  ///< long form, with the build
    static const char* getCpuName();
    static int getCpuMhz();
    static uint64_t getSystemMemoryKb();
    static const char* getDriverText();  ///< of the graphics summary
    static const char* getCardName();
    static uint32_t getPhysxVersion();
    static bool isPhysxHwSelected();

    // The render thread's own context --------------------------------------------------
    /// GL_RENDERER of the OpenGL context current on the calling thread.
    static std::string getCurrentContextRenderer();
    /// GL_SAMPLES of that context's draw buffer (the MSAA count in use).
    static int getCurrentContextSamples();

    /// The machine description of the started facade, or null (for the back ends' peers
    /// and for tests).
    static HardwareCaps* hardwareCaps();
};

}  // namespace plashwerk
