#include "render/on_screen_information.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "gpumon/gpu_status.h"
#include "platform/program/program_info.h"

namespace plashwerk {
namespace {

constexpr float kLeft = 10.0f;         // pixels from the window's left edge
constexpr float kLineStep = 15.0f;     // pixels from one line to the next
constexpr float kPhaseStep = 20.0f;    // below the initialisation line
constexpr float kProgressY = 20.0f;    // the percentage sits over the progress bar
constexpr float kMeasuredTop = 40.0f;  // below the progress bar, once a benchmark measures
constexpr float kTop = 10.0f;

struct Rgb {
    float r, g, b;
};
constexpr Rgb kTitle{1.0f, 1.0f, 0.0f};
constexpr Rgb kPhase{1.0f, 0.5f, 0.5f};
constexpr Rgb kParticles{1.0f, 1.0f, 0.5f};
constexpr Rgb kCrash{1.0f, 0.2f, 0.2f};
constexpr Rgb kWhite{1.0f, 1.0f, 1.0f};
constexpr Rgb kGpuz{0.8f, 0.8f, 1.0f};
constexpr Rgb kGpuInfo{0.1f, 0.8f, 0.9f};

// Appends lines at the running y in the current colour, as the font is used: a colour,
// once set, stays for the lines that follow.
class LineWriter {
  public:
    LineWriter(std::vector<OverlayLine>& lines, float y) : m_lines(lines), m_y(y) {}

    void color(Rgb c) { m_color = c; }
    /// A line at the running y; the next one comes `step` pixels lower.
    void line(float step, const char* format, ...) __attribute__((format(printf, 3, 4))) {
        va_list args;
        va_start(args, format);
        add(kLeft, m_y, format, args);
        va_end(args);
        m_y += step;
    }
    /// A line at a fixed position; the running y stays.
    void at(float x, float y, const char* format, ...) __attribute__((format(printf, 4, 5))) {
        va_list args;
        va_start(args, format);
        add(x, y, format, args);
        va_end(args);
    }

  private:
    void add(float x, float y, const char* format, va_list args) {
        OverlayLine& l = m_lines.emplace_back();
        std::vsnprintf(l.text, sizeof l.text, format, args);
        l.x = x;
        l.y = y;
        l.color[0] = m_color.r;
        l.color[1] = m_color.g;
        l.color[2] = m_color.b;
    }

    std::vector<OverlayLine>& m_lines;
    float m_y;
    Rgb m_color{kWhite};
};

void counterLines(const OverlayInput& in, LineWriter& out) {
    const uint32_t t = in.elapsed_ms / 1000;
    const int hours = int(t / 3600), minutes = int(t % 3600 / 60), seconds = int(t % 3600 % 60);
    const unsigned long frames = in.frames;
    if (in.preset_run) {
        out.line(kLineStep, "FPS: %d (min=%d, max=%d, avg=%d)", in.fps_current, in.fps_min,
                 in.fps_max, in.fps_avg);
        out.line(kLineStep, "Frames=%lu, time=%.2d:%.2d:%.2d", frames, hours, minutes, seconds);
        return;
    }
    out.line(kLineStep, "GraphX FPS: %d (min=%d, max=%d, avg=%d)", in.fps_current, in.fps_min,
             in.fps_max, in.fps_avg);
    out.line(kLineStep, "PhysX SPS: %d (min=%d, max=%d, avg=%d)", in.sps_current, in.sps_min,
             in.sps_max, in.sps_avg);
    out.line(kLineStep, "Frames=%lu, simulations=%d, time=%.2d:%.2d:%.2d", frames, in.simulations,
             hours, minutes, seconds);
}

void gpuzLine(const OverlayInput& in, LineWriter& out) {
    const int core = truncateReading(in.gpuz_core_clock);
    const int memory = truncateReading(in.gpuz_memory_clock);
    const int celsius = truncateReading(in.gpuz_celsius);
    if (in.gpuz_vddc <= 0.0f)
        out.line(kLineStep,
                 "[ GPU-Z ] core:%dMHz - mem:%dMHz - GPU temp:%d\xB0"
                 "C",
                 core, memory, celsius);
    else if (in.gpuz_vddc_current <= 0.0f)
        out.line(kLineStep,
                 "[ GPU-Z ] core:%dMHz - mem:%dMHz - GPU temp:%d\xB0"
                 "C - GPU voltage:%.3fV",
                 core, memory, celsius, double(in.gpuz_vddc));
    else
        out.line(kLineStep,
                 "[ GPU-Z ] core:%dMHz - mem:%dMHz - GPU temp:%d\xB0"
                 "C - GPU power draw:%dW (%.3fV x %.3fA)",
                 core, memory, celsius, truncateReading(in.gpuz_power_w), double(in.gpuz_vddc),
                 double(in.gpuz_vddc_current));
}

void gpuLine(const OverlayGpu& g, int n, LineWriter& out) {
    const int celsius = truncateReading(g.celsius), load = truncateReading(g.gpu_load);
    if (g.has_boost_clocks)
        out.line(kLineStep,
                 "> GPU %d (%s) - core: %d MHz, mem: %d MHz, temp: %d\xB0"
                 "C, load: %d%%, power: %.1f %% TDP",
                 n, g.name, truncateReading(g.true_core_clock),
                 truncateReading(g.true_memory_clock), celsius, load, double(g.gpu_power));
    else if (g.true_core_clock > 0.0f && g.throttling_mhz > 2.0f)
        out.line(kLineStep,
                 "> GPU %d (%s) - core: %d MHz (THROTTLING: -%dMHz), mem: %d MHz, temp: %d\xB0"
                 "C, load: %d%%",
                 n, g.name, truncateReading(g.true_core_clock), truncateReading(g.throttling_mhz),
                 truncateReading(g.true_memory_clock), celsius, load);
    else {
        // Without a measured clock the performance state's clocks stand in.
        const bool measured = g.true_core_clock > 0.0f;
        out.line(kLineStep,
                 "> GPU %d (%s) - core: %d MHz, mem: %d MHz, temp: %d\xB0"
                 "C, load: %d%%",
                 n, g.name, truncateReading(measured ? g.true_core_clock : g.core_clock),
                 truncateReading(measured ? g.true_memory_clock : g.memory_clock), celsius, load);
    }
}

void gpuInfoLines(const OverlayInput& in, LineWriter& out) {
    out.color(kGpuInfo);
    out.line(kLineStep, "> OpenGL renderer: %s (AA: %dX MSAA)", in.renderer_name, in.msaa_samples);
    const int count = in.gpu_count < kOverlayMaxGpus ? in.gpu_count : kOverlayMaxGpus;
    if (count <= 0) return;
    int n = 1;
    if (in.integrated_main_gpu) out.line(kLineStep, "> GPU %d: %s", n++, in.renderer_name);
    for (int i = 0; i < count; ++i) gpuLine(in.gpus[i], n++, out);
}

void helpLines(const OverlayInput& in, LineWriter& out) {
    out.color(kWhite);
    out.line(kLineStep, "- F1: toggle help");
    if (!in.show_help) return;
    out.line(kLineStep, "- P: toggle PhysX simulation (status: %s)",
             in.simulation_paused ? "pause" : "running");
    static const char* const kKeys[] = {
        "- SPACE: toggle particle rendering",
        "- F2: smiley particles",
        "- F3: lava particles",
        "- F4: simple point particles",
        "- I: toggle info display",
        "- G: toggle GPU monitoring",
        "- T: toggle temperature graph",
        "- R: reset FPS/SPS counters and timer",
        "- Threads ID:",
    };
    for (const char* key : kKeys) out.line(kLineStep, "%s", key);
    out.line(kLineStep, "    + main app: %d", int(in.main_thread_id));
    out.line(kLineStep, "    + render thread: %d", int(in.render_thread_id));
    if (!in.multithreaded_physx) return;
    const int count = in.physics_thread_count < kOverlayMaxPhysicsThreads
                          ? in.physics_thread_count
                          : kOverlayMaxPhysicsThreads;
    for (int i = 0; i < count; ++i)
        out.line(kLineStep, "    + PhysX thread: %d", int(in.physics_thread_ids[i]));
}

}  // namespace

int truncateReading(float value) {
    if (std::isnan(value)) return 0;
    // 2^31 is the first float above the int range.
    if (value >= 2147483648.0f) return 2147483647;
    if (value <= -2147483648.0f) return -2147483647 - 1;
    return int(value);
}

OverlayGpu overlayGpuFrom(const GpuStatus& s) {
    OverlayGpu g;
    std::snprintf(g.name, sizeof g.name, "%s", s.name);
    g.has_boost_clocks = s.has_boost_clocks;
    g.core_clock = s.core_clock;
    g.memory_clock = s.memory_clock;
    g.true_core_clock = s.true_core_clock;
    g.true_memory_clock = s.true_memory_clock;
    g.throttling_mhz = s.throttling_mhz;
    g.celsius = s.celsius;
    g.max_celsius = s.max_celsius;
    g.min_celsius = s.min_celsius;
    g.gpu_load = s.gpu_load;
    g.gpu_power = s.gpu_power;
    return g;
}

void formatTimeLeft(int seconds, char* out, size_t size) {
    const int s = std::max(seconds, 0);
    if (s >= 3600)
        std::snprintf(out, size, "%d:%02d:%02d left", s / 3600, (s % 3600) / 60, s % 60);
    else
        std::snprintf(out, size, "%02d:%02d left", s / 60, s % 60);
}

void buildOverlayLines(const OverlayInput& in, std::vector<OverlayLine>& lines) {
    lines.clear();
    if (!in.display_information) return;
    const bool measuring = in.benchmark && in.warmup_over;
    const float offset = float(in.top_left_osi_y_offset);
    LineWriter out(lines, offset + (measuring ? kMeasuredTop : kTop));

    out.color(kTitle);
    char left[40] = "";
    if (!in.benchmark && in.seconds_left >= 0) {
        char text[32];
        formatTimeLeft(in.seconds_left, text, sizeof text);
        std::snprintf(left, sizeof left, " - %s", text);
    }
    out.line(kLineStep, "%s v%d.%d.%d - %s, %dx%d - %d FPS%s", kAppName, kVersionMajor,
             kVersionMinor, kVersionBugfix, in.benchmark ? "Benchmarking" : "Stability test",
             in.width, in.height, in.fps_current, left);

    const bool initialising = in.benchmark && !in.warmup_over;
    if (initialising) {
        // 64 bits: a hundred times a large particle count does not fit in 32.
        const uint64_t p = in.warmup_threshold == 0
                               ? 100
                               : uint64_t(in.particle_total) * 100u / in.warmup_threshold;
        out.color(kPhase);
        if (p < 100)
            out.line(kPhaseStep, "Fluid initialization: %d%%...", int(p));
        else
            out.line(kPhaseStep, "WARMING-UP...");
    }

    out.color(kParticles);
    out.line(kLineStep, "%s - Particles=%u", in.physx_on_gpu ? "PhysX GPU" : "PhysX CPU",
             in.particle_total);
    if (in.crash_detected) {
        out.color(kCrash);
        out.line(kLineStep, "<<<<<<<<<<<< PhysX HARDWARE CRASH DETECTED >>>>>>>>>>>>");
        out.color(kWhite);
    }
    if (!initialising) counterLines(in, out);

    if (measuring) {
        const float share =
            in.max_time_ms ? float(in.elapsed_ms) / float(in.max_time_ms) * 100.0f : 0.0f;
        out.at(float(in.width / 2 - 10), kProgressY, "%d %%", truncateReading(share));
    }

    if (!in.preset_run && in.gpuz_available) {
        out.color(kGpuz);
        gpuzLine(in, out);
    }
    if (in.benchmark || in.show_gpu_info) gpuInfoLines(in, out);
    if (!in.benchmark) helpLines(in, out);
}

}  // namespace plashwerk
