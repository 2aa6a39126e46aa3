#pragma once
// A millisecond clock for the run loop: the high-resolution counter, checked against the
// tick count so that a counter that leaps (a known fault of some chipsets' counters, and
// of counters read on different processors) cannot make the benchmark clock jump.

#include <cstdint>

#include "platform/time/clock.h"

namespace plashwerk {

class PrecisionTimer {
  public:
    explicit PrecisionTimer(Clock& clock = systemClock()) : m_clock(clock) {}

    /// Reads the frequency, the start count and the start tick; clears the history.
    void start();

    /// Milliseconds since start(). When the counter has drifted more than 100 ms from the
    /// tick count since start, the start count is moved by the drift, at most by what the
    /// counter advanced since the previous call, so a leap forward or back is absorbed.
    uint32_t nowMs();

  private:
    Clock& m_clock;
    int64_t m_frequency = 1;
    int64_t m_start_count = 0;
    int64_t m_last_elapsed = 0;
    uint32_t m_start_tick = 0;
    int m_calls = 0;
};

}  // namespace plashwerk
