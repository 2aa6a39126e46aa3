#pragma once
// The monitoring records: the latest readings, run maxima and temperature history of one
// monitored GPU, and the GPU-Z readings.
//
// The monitoring thread writes these records while the render thread (overlay, graph, run
// controller) reads them, without a lock: every shared number is a Relaxed<T>, a single
// aligned 32-bit value read and written whole, so a reader sees the old or the new value.
// The temperature history is the exception; it has its own lock and is reached through
// GpuMonitor::withTemperatureHistory().

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace plashwerk {

/// A number shared between threads without a lock; reads and writes like a plain field.
template <typename T>
class Relaxed {
  public:
    static_assert(std::atomic<T>::is_always_lock_free);
    Relaxed(T value = T{}) : m_value(value) {}
    Relaxed(const Relaxed&) = delete;
    Relaxed& operator=(const Relaxed&) = delete;
    Relaxed& operator=(T value) {
        m_value.store(value, std::memory_order_relaxed);
        return *this;
    }
    operator T() const { return m_value.load(std::memory_order_relaxed); }
    T get() const { return m_value.load(std::memory_order_relaxed); }

  private:
    std::atomic<T> m_value;
};

/// Raises a maximum (only its writer calls this, so load-then-store is enough).
inline void raiseTo(Relaxed<float>& maximum, float value) {
    if (value > maximum.get()) maximum = value;
}

/// One point of the temperature graph.
struct TemperatureSample {
    float celsius;    ///< the filtered temperature, °C
    int32_t seconds;  ///< monitoring seconds, truncated towards zero
};

/// Which readings of a GpuStatus the last monitoring pass got (GpuStatus::readings).
enum GpuReadingBit : uint32_t {
    kReadTemperature = 1u << 0,
    kReadHotSpot = 1u << 1,
    kReadMemoryTemperature = 1u << 2,
    kReadCoreClock = 1u << 3,
    kReadMemoryClock = 1u << 4,
    kReadLoad = 1u << 5,
    kReadPower = 1u << 6,
    kReadFan = 1u << 7,
    kReadClockEvents = 1u << 8,
};
inline constexpr int kGpuReadingCount = 9;

struct GpuStatus {
    Relaxed<int32_t> bus_id;
    char name[256] = "";  ///< written once when the table is built
    Relaxed<int32_t> name_length;
    Relaxed<int32_t> vendor_id{-1};  ///< -1 until filled
    Relaxed<int32_t> device_id{-1};
    Relaxed<int32_t> subsys_vendor_id{-1};
    Relaxed<int32_t> subsys_device_id{-1};
    Relaxed<float> celsius;                   ///< after the spike filter, °C
    Relaxed<float> max_celsius;               ///< since the last reset
    Relaxed<float> min_celsius{1000.0f};      ///< since the last reset
    Relaxed<float> filter_reference_celsius;  ///< last accepted raw reading; 0 = none yet
    Relaxed<float> board_celsius;
    Relaxed<float> fan_percent;
    Relaxed<float> fan_rpm;
    Relaxed<int32_t> pstate;
    Relaxed<float> core_clock;  ///< MHz, of the current performance state
    Relaxed<float> max_core_clock;
    Relaxed<float> shader_clock;
    Relaxed<float> memory_clock;
    Relaxed<float> max_memory_clock;
    Relaxed<float> vddc;  ///< V, of the current performance state
    Relaxed<float> max_vddc;
    Relaxed<float> true_core_clock;    ///< measured, MHz; 0 = not available
    Relaxed<float> true_memory_clock;  ///< measured, MHz; 0 = not available
    Relaxed<float> true_vddc;          ///< measured, V; 0 = not available
    Relaxed<float> throttling_mhz;
    Relaxed<float> gpu_load;  ///< %
    Relaxed<float> max_gpu_load;
    Relaxed<float> memory_usage;      ///< % of dedicated memory in use
    Relaxed<float> max_memory_usage;  ///< never reset
    Relaxed<int32_t> cores;
    Relaxed<int32_t> memory_size_mb;
    Relaxed<int32_t> tdp_watts;
    Relaxed<bool> has_boost_clocks;  ///< decided once at start-up
    Relaxed<float> base_clock;
    Relaxed<float> boost_clock;
    Relaxed<float> gpu_power;  ///< % of TDP
    Relaxed<float> max_gpu_power;
    Relaxed<float> gpu_power_mw;
    Relaxed<float> power_target;  ///< % of TDP
    Relaxed<bool> record_history;
    Relaxed<float> hot_spot_celsius;  ///< °C; 0 = no such sensor
    Relaxed<float> memory_celsius;    ///< °C; 0 = no such sensor
    /// ClockEvent bits (pyrolex/gpu_record.h) of the last pass: why the clocks are held down.
    Relaxed<uint32_t> clock_event_reasons;
    /// GpuReadingBit of the readings the last pass got; 0 before the first pass.
    Relaxed<uint32_t> readings;

  private:
    friend class GpuMonitor;
    mutable std::mutex m_history_mutex;
    std::vector<TemperatureSample> m_temperature_history;  ///< oldest first
};

/// The readings taken from GPU-Z's shared memory at each pass.
struct GpuzReadings {
    Relaxed<bool> available;
    Relaxed<float> vddc, max_vddc;                  ///< V
    Relaxed<float> vddc_current, max_vddc_current;  ///< A
    Relaxed<float> power_w;                         ///< vddc_current × vddc
    Relaxed<float> core_clock, memory_clock;        ///< MHz
    Relaxed<float> celsius;
};

/// One read of GPU-Z's sensors, as its reader returns it.
struct GpuzValues {
    float vddc = 0, vddc_current = 0, core_clock = 0, memory_clock = 0, celsius = 0;
};

/// What the run and the main window tell the monitor for its logs; each written by its
/// owner whenever it changes.
struct MonitorInputs {
    Relaxed<int32_t> fps;              ///< current frames per second
    Relaxed<int32_t> requested_width;  ///< requested window size
    Relaxed<int32_t> requested_height;
    Relaxed<int32_t> client_width;  ///< the window's client area
    Relaxed<int32_t> client_height;
    Relaxed<int32_t> msaa_samples;  ///< MSAA sample count in use
};

}  // namespace plashwerk
