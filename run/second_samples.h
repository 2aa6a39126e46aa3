#pragma once
// The readings of a run once a second, kept for its verdict, its report and its results
// document: the FPS and SPS of each second and, per monitored GPU, what the monitor read.
//
// Contents:
//   RunSecond, GpuSecond: one second of the run and of one GPU, plain data
//   SecondSamples: the series, in blocks of an hour allocated ahead of use
//   takeGpuSeconds: one GpuSecond per monitored GPU from the monitor's records
//
// Written by the render thread once a second, read once the run has ended. The blocks are
// allocated when a run starts (as many as its set length needs) and, for a run without a
// length, one hour ahead at the start of each hour: a frame never allocates.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "gpumon/gpu_status.h"

namespace plashwerk {

class GpuMonitor;

/// What went wrong with the run itself during a second (RunSecond::faults).
enum RunFaultBit : uint8_t {
    kFaultPhysicsDevice = 1u << 0,  ///< a physics step reported a device error
    kFaultOpenGl = 1u << 1,         ///< OpenGL reported an error
    kFaultContextLost = 1u << 2,    ///< the OpenGL context was lost (reset)
    kSecondPaused = 1u << 3,        ///< physics stepping was paused (P key): SPS means nothing
};

struct RunSecond {
    float fps = 0;       ///< frames of the last full second
    float sps = 0;       ///< physics steps per fluid of the last full second
    uint8_t faults = 0;  ///< RunFaultBit
};

/// One GPU during one second. A reading whose GpuReadingBit is clear in `readings` was not
/// available and its number means nothing.
struct GpuSecond {
    float celsius = 0;
    float hot_spot_celsius = 0;
    float memory_celsius = 0;
    float core_clock_mhz = 0;  ///< measured where the driver measures, else the state's
    float memory_clock_mhz = 0;
    float load_percent = 0;
    float power_w = 0;
    float fan_percent = 0;
    uint32_t clock_event_reasons = 0;  ///< ClockEvent bits
    uint32_t readings = 0;             ///< GpuReadingBit
};

class SecondSamples {
  public:
    /// Seconds per block: an hour.
    static constexpr uint32_t kBlockSeconds = 3600;
    /// GPUs recorded at most; more are left out of the series.
    static constexpr int kMaxGpus = 8;
    /// Seconds recorded at most (a week); later seconds are not kept.
    static constexpr uint32_t kMaxSeconds = 7u * 24u * 3600u;

    /// Empties the series for a run of `gpu_count` GPUs (at most kMaxGpus) and allocates
    /// the blocks of `expected_seconds` (0: unknown, one block).
    void start(int gpu_count, uint32_t expected_seconds);
    /// Appends one second: `gpus` holds gpuCount() entries. False when the series is full.
    bool append(const RunSecond& run, const GpuSecond* gpus);
    /// Allocates the block after the one being filled when it does not exist yet: what a
    /// run without a length calls once at the start of each block, outside the frames.
    void prepareNextBlock();
    /// Empties the series and frees its blocks.
    void clear();

    uint32_t seconds() const { return m_seconds; }
    int gpuCount() const { return m_gpu_count; }
    const RunSecond& run(uint32_t second) const;
    const GpuSecond& gpu(uint32_t second, int gpu) const;
    /// Bytes the blocks hold now.
    size_t bytesAllocated() const;
    /// Bytes a series of `seconds` seconds of `gpu_count` GPUs holds.
    static size_t bytesFor(uint32_t seconds, int gpu_count);

  private:
    struct Block {
        std::unique_ptr<RunSecond[]> run;
        std::unique_ptr<GpuSecond[]> gpus;  ///< kBlockSeconds × gpu count, second by second
    };
    void addBlock();

    std::vector<Block> m_blocks;
    uint32_t m_seconds = 0;
    int m_gpu_count = 0;
};

/// Fills out[0..n) from the monitor's records of its first n GPUs (n = the smaller of the
/// monitor's count and `room`); returns n.
int takeGpuSeconds(const GpuMonitor& monitor, GpuSecond* out, int room);

/// The GpuSecond of one monitor record.
GpuSecond gpuSecondFrom(const GpuStatus& status);

}  // namespace plashwerk
