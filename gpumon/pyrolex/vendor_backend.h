#pragma once
// How a vendor back end plugs into the GPU library.
//
// A back end finds its vendor's GPUs during HardwareCaps::init() (enumerate), adding one
// GpuRecord per GPU through the BackendHost, and then answers the per-GPU queries for the
// records of its kind. The library dispatches every query in one place, by the record's
// kind, to the back end registered for that kind; a kind without a back end, and every
// query a back end does not override, answers false (or 0).
//
// To add a back end: derive from VendorBackend, give it a factory in its own folder under
// gpumon/pyrolex/, and register it for its kind in HardwareCaps's constructor.

#include <cstdarg>
#include <cstdint>
#include <string>

#include "gpumon/pyrolex/device_tables.h"
#include "gpumon/pyrolex/gpu_record.h"

namespace plashwerk {

/// What the library offers a back end while it enumerates and answers.
class BackendHost {
  public:
    virtual ~BackendHost() = default;

    /// Appends a record of the kind to the GPU list; index is its position.
    virtual GpuRecord& addGpuRecord(int kind) = 0;

    /// Matches the record to a display-device entry: the first of the kept entries, other
    /// than skip_entry, whose vendor and device ids equal the record's and whose subsystem
    /// ids equal the record's wherever both sides have a non-zero value. Copies the entry's
    /// id text, description and registry key into the record and returns the entry's
    /// index; -1 without a match.
    virtual int matchDisplayDevice(GpuRecord& record, int skip_entry) = 0;

    /// Reads the adapter's driver values from the registry under the record's registry key.
    virtual void readRegistryDriverInfo(GpuRecord& record) = 0;

    /// The device-table row of a GPU by its vendor's lookup rule (device_tables.h), or
    /// null without one; row_index gets the row's index or -1.
    virtual const DeviceTableRow* findDeviceTableRow(uint32_t vendor_id, uint32_t device_id,
                                                     const char* subsys_text,
                                                     const char* revision_text,
                                                     int& row_index) const = 0;

    /// General and vendor debug trace channels (off unless switched on).
    virtual bool traceEnabled(bool debug_channel) const = 0;
    virtual void vtrace(bool debug_channel, const char* format, va_list args) = 0;

    void trace(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (!traceEnabled(false)) return;
        va_list args;
        va_start(args, format);
        vtrace(false, format, args);
        va_end(args);
    }
    void debugTrace(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (!traceEnabled(true)) return;
        va_list args;
        va_start(args, format);
        vtrace(true, format, args);
        va_end(args);
    }
};

class VendorBackend {
  public:
    virtual ~VendorBackend() = default;

    /// The step's name in the initialisation trace ("NVAPI_Init()").
    virtual const char* initName() const = 0;
    /// Finds the vendor's GPUs and adds their records. May run again after a failed
    /// detection; each run starts from nothing.
    virtual void enumerate(BackendHost& host) = 0;
    /// Releases the vendor interface.
    virtual void shutdown() {}

    /// The vendor driver's version text for the graphics summary ("R445.23"); empty when
    /// unknown.
    virtual std::string driverVersionText() const { return {}; }

    // Per-GPU queries. Outputs are left untouched on failure unless a query says otherwise.
    virtual bool temperatures(const GpuRecord&, GpuTemperatures&) { return false; }
    virtual bool gpuUsage(const GpuRecord&, float& /*gpu*/, float& /*frame_buffer*/,
                          float& /*video_engine*/) {
        return false;
    }
    virtual bool memoryUsage(const GpuRecord&, uint32_t& /*total_kb*/, uint32_t& /*available_kb*/,
                             float& /*percent*/) {
        return false;
    }
    virtual bool fan(const GpuRecord&, float& /*percent*/, float& /*rpm*/) { return false; }
    virtual bool perfStateClocks(const GpuRecord&, PerfStateClocks&) { return false; }
    /// type: 0 current, 1 base, 2 boost.
    virtual bool clockFrequencies(const GpuRecord&, int /*type*/, float& /*gpu*/,
                                  float& /*memory*/) {
        return false;
    }
    virtual bool coreVoltage(const GpuRecord&, float& /*volts*/) { return false; }
    virtual bool powerStatus(const GpuRecord&, float& /*percent*/, float& /*milliwatts*/) {
        return false;
    }
    virtual bool powerLimit(const GpuRecord&, float& /*percent*/, float& /*milliwatts*/) {
        return false;
    }
    /// One monitoring pass's clocks, voltage and power, read the way the vendor offers
    /// them; boost_clocks: the GPU was found at start-up to report base and boost clocks
    /// and a power target. False (nothing read) for a vendor without clock readings.
    virtual bool clocksAndPower(const GpuRecord&, bool /*boost_clocks*/, ClockPowerReading&) {
        return false;
    }
    /// Why the GPU's clocks are held below their maximum now, as a mask of ClockEvent bits
    /// (gpu_record.h); false for a vendor or driver that does not say.
    virtual bool clockEventReasons(const GpuRecord&, uint32_t& /*reasons*/) { return false; }
    virtual int perfLevelCount(const GpuRecord&) { return 0; }
    virtual bool perfLevel(const GpuRecord&, int /*n*/, PerfLevel&) { return false; }
};

}  // namespace plashwerk
