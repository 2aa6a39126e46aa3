#include "run/precision_timer.h"

namespace plashwerk {
namespace {

// count x 1000 / frequency without overflow: a nanosecond counter times 1000 leaves 64
// bits after about 106 days.
int64_t countsToMs(int64_t counts, int64_t frequency) {
    return static_cast<int64_t>(static_cast<__int128>(counts) * 1000 / frequency);
}

int64_t readFrequency(Clock& clock) {
    const int64_t f = clock.counterFrequency();
    return f > 0 ? f : 1;
}

}  // namespace

void PrecisionTimer::start() {
    m_frequency = readFrequency(m_clock);
    m_start_count = m_clock.counter();
    m_start_tick = m_clock.tickCount();
    m_last_elapsed = 0;
    m_calls = 0;
}

uint32_t PrecisionTimer::nowMs() {
    const int64_t counter = m_clock.counter();
    if (++m_calls == 200) {
        m_calls = 0;
        m_frequency = readFrequency(m_clock);
    }
    int64_t elapsed = counter - m_start_count;
    const int64_t ms = countsToMs(elapsed, m_frequency);

    const uint32_t tick = m_clock.tickCount();
    const int32_t drift = static_cast<int32_t>(m_start_tick + static_cast<uint32_t>(ms) - tick);
    if (drift >= -100 && drift <= 100) {
        m_last_elapsed = elapsed;
        return static_cast<uint32_t>(ms);
    }

    // The counter leapt: take the drift out of it, but never more than it advanced since
    // the previous reading.
    int64_t adjust = static_cast<int64_t>(static_cast<__int128>(drift) * m_frequency / 1000);
    if (adjust > elapsed - m_last_elapsed) adjust = elapsed - m_last_elapsed;
    m_start_count += adjust;
    elapsed -= adjust;
    m_last_elapsed = elapsed;
    return static_cast<uint32_t>(countsToMs(elapsed, m_frequency));
}

}  // namespace plashwerk
