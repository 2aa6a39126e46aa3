#include "run/progress_lines.h"

#include <algorithm>
#include <cstdio>

#include "render/on_screen_information.h"

namespace plashwerk {

namespace {

int tenthOf(int percent) {
    return std::clamp(percent, 0, 100) / 10;
}

}  // namespace

std::string ProgressLines::text(const ProgressReading& r) {
    char line[128];
    switch (r.phase) {
        case ProgressPhase::FluidInit:
            std::snprintf(line, sizeof line, "Fluid initialization: %d%%...", r.percent);
            break;
        case ProgressPhase::WarmingUp:
            std::snprintf(line, sizeof line, "WARMING-UP...");
            break;
        case ProgressPhase::Measuring:
            std::snprintf(line, sizeof line, "%d %% - GraphX FPS: %d - PhysX SPS: %d", r.percent,
                          r.fps, r.sps);
            break;
        case ProgressPhase::Stability: {
            const uint32_t t = r.elapsed_ms / 1000;
            const int n = std::snprintf(line, sizeof line,
                                        "time=%.2u:%.2u:%.2u - GraphX FPS: %d - PhysX SPS: %d",
                                        t / 3600, (t % 3600) / 60, t % 60, r.fps, r.sps);
            if (r.seconds_left >= 0 && n > 0 && size_t(n) < sizeof line) {
                char left[32];
                formatTimeLeft(r.seconds_left, left, sizeof left);
                std::snprintf(line + n, sizeof line - size_t(n), " - %s", left);
            }
            break;
        }
    }
    return line;
}

bool ProgressLines::due(const ProgressReading& r) const {
    if (!m_started || r.phase != m_phase) return true;
    if (m_terminal) return r.now_ms - m_last_ms >= kTerminalIntervalMs;
    switch (r.phase) {
        case ProgressPhase::FluidInit:
        case ProgressPhase::Measuring:
            return tenthOf(r.percent) > m_tenth;
        case ProgressPhase::WarmingUp:
            return false;
        case ProgressPhase::Stability:
            return r.elapsed_ms - m_last_elapsed >= kLogIntervalMs;
    }
    return false;
}

std::string ProgressLines::update(const ProgressReading& r) {
    // The stability test's clock restarts with its counters (the R key): the next line is
    // due a full interval later.
    if (r.elapsed_ms < m_last_elapsed) m_last_elapsed = r.elapsed_ms;
    if (!due(r)) return {};
    m_started = true;
    m_phase = r.phase;
    m_tenth = tenthOf(r.percent);
    m_last_ms = r.now_ms;
    m_last_elapsed = r.elapsed_ms;
    const std::string line = text(r);
    if (!m_terminal) return line + "\n";
    // The new line over the old one, blanking what is left of a longer one.
    std::string out = "\r" + line;
    if (line.size() < m_open_length) out.append(m_open_length - line.size(), ' ');
    m_open_length = line.size();
    return out;
}

std::string ProgressLines::finish() {
    if (!m_terminal || m_open_length == 0) return {};
    m_open_length = 0;
    return "\n";
}

}  // namespace plashwerk
