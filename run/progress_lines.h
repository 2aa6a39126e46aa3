#pragma once
// The progress of a run without a window, for standard error: the on-screen information's
// own words ("Fluid initialization: %d%%...", "WARMING-UP...", the benchmark's "%d %%"
// with the current FPS and SPS, the stability test's time with FPS and SPS, and its time
// left when it has a length).
//
// On a terminal the progress is one line, rewritten in place (carriage return) at most
// once a second and at each change of phase. Otherwise (a log file, a pipe) it is one
// line per change of phase and per tenth of the way, so that logs stay short; a stability
// test there gets a line a minute.
//
// Pure: fed what the run shows, it returns the text to write. No clock of its own.

#include <cstdint>
#include <string>

namespace plashwerk {

enum class ProgressPhase {
    FluidInit,  ///< benchmark: the fluids are filling; percent of the warm-up threshold
    WarmingUp,  ///< benchmark: the count is reached, five seconds before measuring
    Measuring,  ///< benchmark: the measured time; percent of the time limit
    Stability,  ///< stability test: elapsed time
};

struct ProgressReading {
    ProgressPhase phase = ProgressPhase::FluidInit;
    int percent = 0;          ///< fluid initialisation and the measured benchmark
    uint32_t elapsed_ms = 0;  ///< the stability test's clock
    int seconds_left = -1;    ///< a stability test with a length: its time left; -1 none
    int fps = 0;
    int sps = 0;
    uint32_t now_ms = 0;  ///< a monotonic clock, for the once-a-second rewrite
};

class ProgressLines {
  public:
    /// Milliseconds between two rewrites on a terminal.
    static constexpr uint32_t kTerminalIntervalMs = 1000;
    /// Milliseconds of stability test between two lines when not on a terminal.
    static constexpr uint32_t kLogIntervalMs = 60000;

    explicit ProgressLines(bool terminal) : m_terminal(terminal) {}

    /// The text to write for this reading; empty when nothing is due.
    std::string update(const ProgressReading& reading);
    /// The text that ends the progress: a line break when a terminal line is open.
    std::string finish();

    /// The progress line of a reading, without line ends.
    static std::string text(const ProgressReading& reading);

  private:
    bool due(const ProgressReading& reading) const;

    bool m_terminal;
    bool m_started = false;
    ProgressPhase m_phase = ProgressPhase::FluidInit;
    int m_tenth = 0;              ///< the last tenth written (not on a terminal)
    uint32_t m_last_ms = 0;       ///< now_ms of the last write
    uint32_t m_last_elapsed = 0;  ///< the stability test's clock at the last write
    size_t m_open_length = 0;     ///< length of the terminal line now shown
};

}  // namespace plashwerk
