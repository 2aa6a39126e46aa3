#pragma once
// The two clocks of the program: a high-resolution counter and a 32-bit millisecond tick.
//
// The counter counts nanoseconds of CLOCK_MONOTONIC_RAW (frequency 1e9); the tick count is
// CLOCK_MONOTONIC in milliseconds, wrapping like any 32-bit tick. Code that measures time
// takes a Clock, so tests can drive time by hand.

#include <cstdint>

namespace plashwerk {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual int64_t counter() = 0;
    virtual int64_t counterFrequency() = 0;
    virtual uint32_t tickCount() = 0;
};

/// The real clocks. Process-wide and stateless.
Clock& systemClock();

/// A clock that stands still until told to move; counter frequency 1e9.
class ManualClock final : public Clock {
  public:
    int64_t counter() override { return m_counter; }
    int64_t counterFrequency() override { return 1'000'000'000; }
    uint32_t tickCount() override { return m_tick; }

    void advanceCounterNs(int64_t ns) { m_counter += ns; }
    void advanceTickMs(uint32_t ms) { m_tick += ms; }

  private:
    int64_t m_counter = 0;
    uint32_t m_tick = 0;
};

}  // namespace plashwerk
