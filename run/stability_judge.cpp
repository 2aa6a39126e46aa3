#include "run/stability_judge.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "gpumon/pyrolex/gpu_record.h"

namespace plashwerk {

namespace {

// Turns a second-by-second condition into intervals: feed each second in order, then
// finish. An interval is kept when its length passes `keep`.
class Intervals {
  public:
    Intervals(std::vector<StabilityEvent>& out, StabilityEvent model, bool (*keep)(uint32_t))
        : m_out(out), m_model(model), m_keep(keep) {}
    void second(uint32_t s, bool on) {
        if (on && !m_open) {
            m_open = true;
            m_start = s;
        } else if (!on && m_open) {
            close(s);
        }
    }
    void finish(uint32_t end) {
        if (m_open) close(end);
    }

  private:
    void close(uint32_t end) {
        m_open = false;
        if (!m_keep(end - m_start)) return;
        StabilityEvent e = m_model;
        e.start_s = m_start;
        e.duration_s = end - m_start;
        m_out.push_back(e);
    }
    std::vector<StabilityEvent>& m_out;
    StabilityEvent m_model;
    bool (*m_keep)(uint32_t);
    bool m_open = false;
    uint32_t m_start = 0;
};

bool anyLength(uint32_t) {
    return true;
}
bool atLeastFaultSeconds(uint32_t seconds) {
    return seconds >= kFaultSeconds;
}
bool moreThanFaultSeconds(uint32_t seconds) {
    return seconds > kFaultSeconds;
}

StabilityEvent eventOf(EventKind kind, int gpu, uint32_t reading = 0) {
    StabilityEvent e;
    e.kind = kind;
    e.gpu = gpu;
    e.reading = reading;
    return e;
}

// A running median of whole megahertz: a count per MHz, so that adding a second and asking
// for the median cost the same whatever the run's length.
class ClockMedian {
  public:
    static constexpr int kBins = 8192;  // MHz; no GPU clock comes near 8 GHz
    ClockMedian() : m_counts(kBins, 0) {}
    void add(float mhz) {
        const int bin = std::clamp(int(mhz), 0, kBins - 1);
        ++m_counts[size_t(bin)];
        ++m_total;
    }
    uint32_t count() const { return m_total; }
    float median() const {
        const uint32_t half = (m_total + 1) / 2;
        uint32_t seen = 0;
        for (int bin = 0; bin < kBins; ++bin) {
            seen += m_counts[size_t(bin)];
            if (seen >= half) return float(bin);
        }
        return 0;
    }

  private:
    std::vector<uint32_t> m_counts;
    uint32_t m_total = 0;
};

void judgeGpu(const SecondSamples& samples, int gpu, const JudgeSettings& settings,
              std::vector<StabilityEvent>& out) {
    const uint32_t n = samples.seconds();
    struct ReasonRule {
        EventKind kind;
        uint32_t bits;
    };
    constexpr ReasonRule kReasonRules[] = {
        {EventKind::ThermalSlowdown, kClockEventSoftwareThermal | kClockEventHardwareThermal},
        {EventKind::PowerCap, kClockEventPowerCap},
        {EventKind::HardwareSlowdown, kClockEventHardwareSlowdown | kClockEventPowerBrake},
    };
    bool gives_reasons = false;
    for (uint32_t s = 0; s < n && !gives_reasons; ++s)
        gives_reasons = (samples.gpu(s, gpu).readings & kReadClockEvents) != 0;

    std::vector<StabilityEvent> found;
    if (gives_reasons) {
        for (const ReasonRule& rule : kReasonRules) {
            Intervals intervals(found, eventOf(rule.kind, gpu), anyLength);
            for (uint32_t s = 0; s < n; ++s) {
                const GpuSecond& g = samples.gpu(s, gpu);
                intervals.second(
                    s, (g.readings & kReadClockEvents) && (g.clock_event_reasons & rule.bits));
            }
            intervals.finish(n);
        }
    } else {
        // Without reasons the clock tells: a fall well below its usual level while the GPU is
        // kept busy is a slowdown the driver does not name.
        constexpr float kDropFraction = 0.85f;
        constexpr float kBusyPercent = 90.0f;
        ClockMedian median;
        Intervals intervals(found, eventOf(EventKind::ClockDrop, gpu), atLeastFaultSeconds);
        for (uint32_t s = 0; s < n; ++s) {
            const GpuSecond& g = samples.gpu(s, gpu);
            const bool read = (g.readings & kReadCoreClock) && (g.readings & kReadLoad);
            bool drop = false;
            if (read && s >= settings.warmup_s) {
                drop = median.count() >= kFaultSeconds && g.load_percent >= kBusyPercent &&
                       g.core_clock_mhz < kDropFraction * median.median();
                median.add(g.core_clock_mhz);
            }
            intervals.second(s, drop);
        }
        intervals.finish(n);
    }

    // Dropouts: each reading on its own, once it has been seen.
    for (int bit = 0; bit < kGpuReadingCount; ++bit) {
        const uint32_t mask = 1u << bit;
        Intervals intervals(found, eventOf(EventKind::SensorDropout, gpu, mask),
                            moreThanFaultSeconds);
        bool seen = false;
        for (uint32_t s = 0; s < n; ++s) {
            const bool read = (samples.gpu(s, gpu).readings & mask) != 0;
            seen = seen || read;
            intervals.second(s, seen && !read);
        }
        intervals.finish(n);
    }

    if (settings.max_celsius > 0) {
        Intervals intervals(found, eventOf(EventKind::OverTemperature, gpu), anyLength);
        for (uint32_t s = 0; s < n; ++s) {
            const GpuSecond& g = samples.gpu(s, gpu);
            intervals.second(s,
                             (g.readings & kReadTemperature) && g.celsius > settings.max_celsius);
        }
        intervals.finish(n);
    }
    std::stable_sort(
        found.begin(), found.end(),
        [](const StabilityEvent& a, const StabilityEvent& b) { return a.start_s < b.start_s; });
    out.insert(out.end(), found.begin(), found.end());
}

float medianOf(std::vector<float> values) {
    if (values.empty()) return 0;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(middle), values.end());
    return values[middle];
}

void judgeRate(const SecondSamples& samples, const JudgeSettings& settings, EventKind kind,
               std::vector<StabilityEvent>& out) {
    const bool fps = kind == EventKind::FpsDrop;
    const uint32_t n = samples.seconds();
    auto rate = [&](uint32_t s) { return fps ? samples.run(s).fps : samples.run(s).sps; };
    // Paused physics has no steps to count: those seconds say nothing about the rate.
    auto counted = [&](uint32_t s) {
        return s >= settings.warmup_s && !(samples.run(s).faults & kSecondPaused);
    };
    std::vector<float> values;
    for (uint32_t s = 0; s < n; ++s)
        if (counted(s)) values.push_back(rate(s));
    const float median = medianOf(std::move(values));
    if (median <= 0) return;
    Intervals intervals(out, eventOf(kind, -1), moreThanFaultSeconds);
    for (uint32_t s = 0; s < n; ++s) intervals.second(s, counted(s) && rate(s) < median / 3.0f);
    intervals.finish(n);
}

}  // namespace

std::vector<StabilityEvent> judgeRun(const SecondSamples& samples, const JudgeSettings& settings) {
    std::vector<StabilityEvent> events;
    for (int gpu = 0; gpu < samples.gpuCount(); ++gpu) judgeGpu(samples, gpu, settings, events);

    std::vector<StabilityEvent> run;
    const uint32_t n = samples.seconds();
    const std::pair<EventKind, uint8_t> faults[] = {
        {EventKind::PhysicsDeviceError, kFaultPhysicsDevice},
        {EventKind::OpenGlError, kFaultOpenGl},
        {EventKind::ContextLost, kFaultContextLost},
    };
    for (const auto& [kind, bit] : faults) {
        Intervals intervals(run, eventOf(kind, -1), anyLength);
        for (uint32_t s = 0; s < n; ++s) intervals.second(s, (samples.run(s).faults & bit) != 0);
        intervals.finish(n);
    }
    judgeRate(samples, settings, EventKind::FpsDrop, run);
    judgeRate(samples, settings, EventKind::SpsDrop, run);
    std::stable_sort(run.begin(), run.end(), [](const StabilityEvent& a, const StabilityEvent& b) {
        return a.start_s < b.start_s;
    });
    events.insert(events.end(), run.begin(), run.end());
    return events;
}

Verdict verdictOf(bool stability_test, bool ran_its_length,
                  const std::vector<StabilityEvent>& events) {
    if (!stability_test) return Verdict::None;
    if (!ran_its_length) return Verdict::Stopped;
    return events.empty() ? Verdict::Pass : Verdict::Fail;
}

const char* verdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "PASS";
        case Verdict::Fail:
            return "FAIL";
        case Verdict::Stopped:
            return "STOPPED";
        case Verdict::None:
            break;
    }
    return "";
}

const char* eventKindName(EventKind kind) {
    switch (kind) {
        case EventKind::ThermalSlowdown:
            return "thermal slowdown";
        case EventKind::PowerCap:
            return "power cap";
        case EventKind::HardwareSlowdown:
            return "hardware slowdown";
        case EventKind::ClockDrop:
            return "clock drop";
        case EventKind::SensorDropout:
            return "sensor dropout";
        case EventKind::OverTemperature:
            return "over temperature";
        case EventKind::PhysicsDeviceError:
            return "PhysX hardware crash detected";
        case EventKind::OpenGlError:
            return "OpenGL error";
        case EventKind::ContextLost:
            return "OpenGL context lost";
        case EventKind::FpsDrop:
            return "FPS below a third of the median";
        case EventKind::SpsDrop:
            return "SPS below a third of the median";
    }
    return "";
}

const char* readingName(uint32_t reading_bit) {
    constexpr std::array<const char*, kGpuReadingCount> kNames = {
        "temperature", "hot spot", "memory temperature",  "core clock", "memory clock", "load",
        "power",       "fan",      "clock event reasons",
    };
    for (int bit = 0; bit < kGpuReadingCount; ++bit)
        if (reading_bit == (1u << bit)) return kNames[size_t(bit)];
    return "reading";
}

std::string clockText(uint32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, (seconds % 3600) / 60,
                  seconds % 60);
    return text;
}

std::string describeEvent(const StabilityEvent& e) {
    char who[24];
    if (e.gpu >= 0)
        std::snprintf(who, sizeof who, "GPU %d", e.gpu + 1);
    else
        std::snprintf(who, sizeof who, "Run");
    std::string what = eventKindName(e.kind);
    if (e.kind == EventKind::SensorDropout)
        what += std::string(" (") + readingName(e.reading) + ")";
    char line[192];
    std::snprintf(line, sizeof line, "%s: %s at %s for %u s", who, what.c_str(),
                  clockText(e.start_s).c_str(), e.duration_s);
    return line;
}

std::string formatVerdict(Verdict verdict, const std::vector<StabilityEvent>& events) {
    if (verdict == Verdict::None) return {};
    std::string text = std::string("Verdict: ") + verdictName(verdict) + "\n";
    for (const StabilityEvent& e : events) text += "  " + describeEvent(e) + "\n";
    return text;
}

}  // namespace plashwerk
