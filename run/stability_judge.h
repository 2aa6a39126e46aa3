#pragma once
// The verdict of a stability test: the throttling and faults seen in its once-a-second
// readings (second_samples.h), each with the second it began and how long it lasted.
//
// Contents:
//   EventKind, StabilityEvent: what was seen, plain data
//   JudgeSettings: the warm-up and the temperature limit
//   judgeRun: every event of a series
//   Verdict, verdictOf, describeEvent, formatVerdict: the outcome and its words
//
// The rules, per GPU:
//   - clock event reasons where the driver gives them: thermal slowdown (software or
//     hardware), power cap, hardware slowdown (including the power brake), for every
//     second they are set; idle, application clocks, sync boost and display clocks are no
//     faults;
//   - a GPU that never gave reasons: a clock drop, the core clock below 85 % of its running
//     median for at least 5 s while the load stays at or above 90 % (after the warm-up);
//   - a sensor dropout: a reading that was available and is not for more than 5 s;
//   - over temperature: every second above JudgeSettings::max_celsius, when set;
// and for the run: a physics device error, an OpenGL error or a lost context, and FPS or
// SPS below a third of the run's median (after the warm-up) for more than 5 s.

#include <cstdint>
#include <string>
#include <vector>

#include "run/second_samples.h"

namespace plashwerk {

enum class EventKind : uint8_t {
    ThermalSlowdown,
    PowerCap,
    HardwareSlowdown,
    ClockDrop,
    SensorDropout,
    OverTemperature,
    PhysicsDeviceError,
    OpenGlError,
    ContextLost,
    FpsDrop,
    SpsDrop,
};

struct StabilityEvent {
    EventKind kind = EventKind::ThermalSlowdown;
    int gpu = -1;             ///< 0-based; -1 for the run's own events
    uint32_t start_s = 0;     ///< second of the run it began
    uint32_t duration_s = 0;  ///< seconds it lasted
    uint32_t reading = 0;     ///< SensorDropout: the GpuReadingBit that went away
};

struct JudgeSettings {
    /// Seconds from the start in which clocks and frame rates settle (fluids filling,
    /// boost clocks finding their level): clock drops and FPS or SPS drops are not judged.
    uint32_t warmup_s = 15;
    /// °C above which every second counts; 0: off.
    float max_celsius = 0;
};

/// Seconds a fall must last: clock drops at least this, dropouts and FPS or SPS drops
/// more than this.
inline constexpr uint32_t kFaultSeconds = 5;

/// Every event of the series, by GPU (run events last), each in time order.
std::vector<StabilityEvent> judgeRun(const SecondSamples& samples, const JudgeSettings& settings);

enum class Verdict : uint8_t {
    None,     ///< a benchmark: no verdict
    Pass,     ///< the stability test ran its length without an event
    Fail,     ///< an event was seen
    Stopped,  ///< stopped before its length (or it had none): what was seen so far
};

/// A stability test that ran its whole length passes without events and fails with any;
/// one stopped before is Stopped. A benchmark gets None.
Verdict verdictOf(bool stability_test, bool ran_its_length,
                  const std::vector<StabilityEvent>& events);

const char* verdictName(Verdict verdict);       ///< "PASS", "FAIL", "STOPPED", ""
const char* eventKindName(EventKind kind);      ///< "thermal slowdown", "clock drop", ...
const char* readingName(uint32_t reading_bit);  ///< "temperature", "core clock", ...

/// "GPU 1: thermal slowdown at 00:03:12 for 14 s"; run events say "Run:".
std::string describeEvent(const StabilityEvent& event);

/// "h:mm:ss" style "00:03:12" of a number of seconds.
std::string clockText(uint32_t seconds);

/// The verdict's lines for standard output and the trace log: "Verdict: FAIL" and one
/// indented line per event; empty for Verdict::None.
std::string formatVerdict(Verdict verdict, const std::vector<StabilityEvent>& events);

}  // namespace plashwerk
