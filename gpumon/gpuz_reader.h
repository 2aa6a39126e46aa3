#pragma once
// The GPU-Z reader: the sensor readings that GPU-Z, an outside GPU information tool,
// publishes in its shared memory block "GPUZShMem" while it runs (platform/shm names it
// "/GPUZShMem").
//
// The block (little-endian, packed), 200 204 bytes:
//   0       version (u32)      4  busy flag (u32)      8  last update (u32)
//   12      128 data records of 1024 bytes (key and value, UTF-16, 256 units each; unread)
//   131084  128 sensor records of 540 bytes:
//             0 name, UTF-16, 256 units, NUL-terminated   512 unit, UTF-16, 8 units
//             528 digits (u32)                             532 value (double)
//
// Each read copies the whole block. The first successful read builds the sensor index
// table (the first record carrying a name wins); later reads only refresh the values, so
// a sensor missing at the first read stays missing for the reader's life. A value that is
// not a number or lies outside what its sensor can report reads 0.0, as an unpublished
// sensor does.
//
// Process-wide use: readGpuzSharedMemory(use_gpuz) and the getters below read through one
// reader shared by the monitoring thread (every pass) and the render thread (once at scene
// start-up). The reader's lock guards only its copy and index table; the shared-memory
// object is opened and read outside it, and a FIFO, a device or an oversized object in the
// block's place counts as GPU-Z not running.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "gpumon/gpu_status.h"

namespace plashwerk {

inline constexpr const char* kGpuzObjectName = "/GPUZShMem";
inline constexpr size_t kGpuzBlockSize = 200204;
inline constexpr size_t kGpuzSensorsOffset = 131084;
inline constexpr size_t kGpuzSensorRecordSize = 540;
inline constexpr int kGpuzSensorRecords = 128;
inline constexpr size_t kGpuzNameUnits = 256;
inline constexpr size_t kGpuzUnitOffset = 512, kGpuzDigitsOffset = 528, kGpuzValueOffset = 532;
/// The largest object taken for the block: the block rounded up to whole 64 KiB pages, the
/// coarsest rounding a publisher's mapping gets. Anything larger is not GPU-Z's block.
inline constexpr size_t kGpuzMaxObjectSize = (kGpuzBlockSize + 0xFFFF) & ~size_t{0xFFFF};

/// The sensors looked up, in the order names are compared.
enum class GpuzSensor : int {
    CoreClock,    ///< "GPU Core Clock", MHz
    MemoryClock,  ///< "GPU Memory Clock", MHz
    ShaderClock,  ///< "GPU Shader Clock", MHz
    Temperature,  ///< "GPU Temperature", °C
    Load,         ///< "GPU Load", %
    VddcCurrent,  ///< "VDDC Current", A
    Vddc,         ///< "VDDC", V
    Count
};

class GpuzReader {
  public:
    explicit GpuzReader(std::string object_name = kGpuzObjectName);
    GpuzReader(const GpuzReader&) = delete;
    GpuzReader& operator=(const GpuzReader&) = delete;

    /// One read. False at once, opening nothing, when use_gpuz is false; false when the
    /// block is not there, is not a regular shared-memory object (a FIFO in its place),
    /// is smaller than its layout or larger than kGpuzMaxObjectSize (the previous copy is
    /// kept). Sets or clears available(). The object is opened and copied without holding
    /// the reader's lock, so the getters never wait on the publisher.
    bool read(bool use_gpuz);
    /// The same with a block already in memory (its first kGpuzBlockSize bytes); false,
    /// clearing available(), when it is shorter.
    bool readBlock(const void* data, size_t size);
    bool available() const;
    bool indexBuilt() const;
    /// Record number of a sensor, -1 when not found (or not read yet).
    int sensorIndex(GpuzSensor sensor) const;
    /// The sensor's value from the last successful read; 0.0 when it has no record or its
    /// value is not plausible.
    double value(GpuzSensor sensor) const;

  private:
    void takeBlock(std::unique_ptr<unsigned char[]>& incoming);
    void buildIndexTable();
    double rawValue(int record) const;

    mutable std::mutex m_mutex;
    const std::string m_name;
    std::unique_ptr<unsigned char[]> m_block;     // the private copy, allocated once
    std::unique_ptr<unsigned char[]> m_incoming;  // a spare buffer for the next read
    int m_index[static_cast<int>(GpuzSensor::Count)];
    bool m_index_built = false;
    bool m_available = false;
};

/// The reader of the process.
GpuzReader& gpuzReader();

/// One read of the process reader; false at once when use_gpuz is false.
bool readGpuzSharedMemory(bool use_gpuz);
double getGpuzCoreClock();
double getGpuzMemoryClock();
double getGpuzShaderClock();
double getGpuzTemperature();
double getGpuzLoad();
double getGpuzVddc();
double getGpuzVddcCurrent();

/// One monitoring pass's read: the values the monitor keeps, false when GPU-Z's block
/// could not be read.
bool readGpuzValues(GpuzReader& reader, bool use_gpuz, GpuzValues& values);

/// The scene start-up's read: both clocks 0, then, when use_gpuz is set, GPU-Z's core and
/// memory clocks when its block can be read. Returns whether it could.
bool readGpuzStartupClocks(bool use_gpuz, float& core_clock, float& memory_clock);

}  // namespace plashwerk
