#include "run/counters.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/engine/vn_trace_mgr.h"
#include "platform/program/program_info.h"

namespace plashwerk {

using Vantorr_nsp::logTrace;
using Vantorr_nsp::VN_TRACE_INFO;

namespace {

// Float to int toward zero, kept inside the int range.
int truncateToInt(float v) {
    if (std::isnan(v)) return 0;
    if (v <= -2147483648.0f) return INT32_MIN;
    if (v >= 2147483648.0f) return INT32_MAX;
    return static_cast<int>(v);
}

// A count as the scores take it: unsigned, through double, rounded to float.
float countAsFloat(uint32_t count) {
    return static_cast<float>(static_cast<double>(count));
}

const char* onOff(bool on) {
    return on ? "ON" : "OFF";
}

std::mutex g_presenter_mutex;
ResultsPresenter g_presenter;

// Writes each text and a line break to `out`, then flushes it. Returns 0, or the errno of
// the first write or flush that failed (EIO when the stream failed without one). A failure
// is cleared from the stream, so that a later write is judged on its own.
int writeLines(std::FILE* out, std::span<const char* const> lines) {
    errno = 0;
    bool failed = false;
    for (const char* line : lines) {
        failed = std::fputs(line, out) < 0 || std::fputc('\n', out) == EOF;
        if (failed) break;
    }
    failed = failed || std::fflush(out) != 0 || std::ferror(out);
    if (!failed) return 0;
    const int error = errno != 0 ? errno : EIO;
    std::clearerr(out);
    return error;
}

}  // namespace

uint32_t meanStepsPerFluid(std::span<StepCounters> fluids, bool reset) {
    if (fluids.empty()) return 0;
    uint32_t sum = 0;
    for (StepCounters& f : fluids)
        sum += reset ? f.sps_steps.exchange(0, std::memory_order_relaxed)
                     : f.sps_steps.load(std::memory_order_relaxed);
    return sum / static_cast<uint32_t>(fluids.size());
}

uint32_t meanTotalStepsPerFluid(std::span<StepCounters> fluids) {
    if (fluids.empty()) return 0;
    uint32_t sum = 0;
    for (StepCounters& f : fluids) sum += f.total_steps.load(std::memory_order_relaxed);
    return sum / static_cast<uint32_t>(fluids.size());
}

int takeOneSecondSample(RunState& run, FpsSpsCounters& c, std::span<StepCounters> fluids) {
    const int sps = static_cast<int>(meanStepsPerFluid(fluids, true));
    const int fps = run.frames_in_second;
    run.frames_in_second = 0;
    // What lies beyond the second is dropped: a sample window is at least 1000 ms.
    run.second_ms = 0;
    c.fps_current = fps;
    c.sps_current = sps;
    if (!run.counters_primed.load(std::memory_order_relaxed)) {
        run.elapsed_ms = 0;
        c.fps_min = c.fps_max = c.fps_avg = fps;
        c.sps_min = c.sps_max = c.sps_avg = sps;
        c.sample_count = 1;
        c.fps_sum = fps;
        c.sps_sum = sps;
        run.counters_primed.store(true, std::memory_order_relaxed);
    } else {
        if (fps < c.fps_min) c.fps_min = fps;
        if (fps > c.fps_max) c.fps_max = fps;
        if (sps < c.sps_min) c.sps_min = sps;
        if (sps > c.sps_max) c.sps_max = sps;
        c.sample_count += 1;
        c.sps_sum += sps;
        c.sps_avg = c.sps_sum / c.sample_count;
        c.fps_avg = (c.fps_sum + fps) / c.sample_count;
        c.fps_sum += fps;
    }
    return fps;
}

Scores computeScores(uint32_t frames, int simulations, bool preset_run) {
    Scores s;
    const float point = 0.1f;  // bit pattern 0x3DCCCCCD
    s.graphx = countAsFloat(frames) * point;
    s.physx = countAsFloat(static_cast<uint32_t>(simulations)) * point;
    const float global = preset_run ? countAsFloat(frames) : s.physx + s.graphx;
    s.global = truncateToInt(global);
    return s;
}

void finishBenchmark(RunState& run, const FpsSpsCounters& c, std::span<StepCounters> fluids,
                     bool preset_run, RunResult& result) {
    result.fps_min = c.fps_min;
    result.fps_max = c.fps_max;
    result.fps_avg = c.fps_avg;

    run.simulations = static_cast<int>(meanTotalStepsPerFluid(fluids));
    logTrace(VN_TRACE_INFO, "- Total number of PhysX simulations: %d", run.simulations);
    logTrace(VN_TRACE_INFO, "- Total number of GraphX frames: %d", static_cast<int>(run.frames));
    result.sps_min = c.sps_min;
    result.sps_max = c.sps_max;
    result.sps_avg = c.sps_avg;
    logTrace(VN_TRACE_INFO, "- PhysX Avg SPS (Simulations Per Second): %d", c.sps_avg);
    logTrace(VN_TRACE_INFO, "- GraphX Avg FPS (Frames Per Second): %d", c.fps_avg);

    const Scores s = computeScores(run.frames, run.simulations, preset_run);
    result.graphx_score = s.graphx;
    result.physx_score = s.physx;
    logTrace(VN_TRACE_INFO, "- PhysX score: %d points", truncateToInt(s.physx));
    logTrace(VN_TRACE_INFO, "- GraphX score: %d points", truncateToInt(s.graphx));
    logTrace(VN_TRACE_INFO, "- Plashwerk global score: %d points", s.global);
    result.global_score = s.global;
    result.frames = run.frames;
    result.simulations = run.simulations;
    result.duration_ms = run.time_limit_ms;
}

void formatResultsTexts(const ResultsInputs& in, RunResult& r, ResultsTexts& out) {
    const char* where = r.physx_on_gpu ? "GPU PhysX" : "CPU PhysX";
    std::snprintf(out.title, sizeof out.title, "Quorvex %s v%d.%d.%d - PhysX benchmark", kAppName,
                  kVersionMajor, kVersionMinor, kVersionBugfix);
    if (in.preset_run) {
        std::snprintf(out.score, sizeof out.score, "SCORE: %d points, %d FPS (%s)", r.global_score,
                      r.fps_avg, where);
        std::snprintf(out.detail, sizeof out.detail, "Duration: %d ms - FPS: min: %d, max:%d",
                      static_cast<int>(r.duration_ms), r.fps_min, r.fps_max);
    } else {
        std::snprintf(out.score, sizeof out.score, "Global SCORE: %d points (%d ms) - %s",
                      r.global_score, static_cast<int>(r.duration_ms), where);
        std::snprintf(out.detail, sizeof out.detail, "PhysX: %d (%d SPS) - GraphX: %d (%d FPS) ",
                      truncateToInt(r.physx_score), r.sps_avg, truncateToInt(r.graphx_score),
                      r.fps_avg);
    }
    std::snprintf(out.emitters, sizeof out.emitters, "%d %s - Particles: %d", in.num_fluid_emitters,
                  in.num_fluid_emitters <= 1 ? "emitter" : "emitters", in.num_particles);
    std::snprintf(out.threading, sizeof out.threading,
                  "Multithreaded:%s (async:%s), CPU multicore:%s", onOff(in.multithreaded_physx),
                  onOff(!in.threads_sync), onOff(in.multicore_cpu_physx));
    std::snprintf(out.resolution, sizeof out.resolution, "%dx%d(%s) - MSAA:%dX - PostFX:%s",
                  in.width, in.height, in.fullscreen ? "FS" : "W", in.msaa_samples,
                  onOff(in.add_post_fx));
    for (int i = 0; i < 6; ++i)
        std::snprintf(out.system[i], sizeof out.system[i], "%s", r.system_lines[i]);

    const float core = in.core_clock_max, mem = in.memory_clock_max;
    if (core > 0.0f || mem > 0.0f)
        std::snprintf(out.clocks, sizeof out.clocks, "GPU core: %d MHz, memory: %d MHz",
                      truncateToInt(core), truncateToInt(mem));
    else if (in.gpuz_core_clock > 0.0f || in.gpuz_memory_clock > 0.0f)
        std::snprintf(out.clocks, sizeof out.clocks, "GPU core: %d MHz, memory: %d MHz",
                      truncateToInt(in.gpuz_core_clock), truncateToInt(in.gpuz_memory_clock));
    else
        std::snprintf(out.clocks, sizeof out.clocks, "clocks not available");
    r.gpu_core_clock_max = core;
    r.gpu_memory_clock_max = mem;
}

void setResultsPresenter(ResultsPresenter presenter) {
    std::lock_guard lock(g_presenter_mutex);
    g_presenter = std::move(presenter);
}

void reportStandardOutputFailure(const char* what, int error) {
    logTrace(Vantorr_nsp::VN_TRACE_ERROR, "Could not write %s to standard output: %s", what,
             std::strerror(error));
    std::fprintf(stderr, "%s: could not write %s to standard output: %s\n", kAppName, what,
                 std::strerror(error));
}

int showResultsDialog(RunState& run, bool display_score, const ResultsInputs& in,
                      RunResult& result) {
    int error = 0;
    if (run.results_ready.load() == 1 && display_score && run.mode == RunMode::Benchmark) {
        ResultsTexts texts{};
        formatResultsTexts(in, result, texts);
        ResultsPresenter presenter;
        {
            std::lock_guard lock(g_presenter_mutex);
            presenter = g_presenter;
        }
        if (presenter) {
            presenter(texts);
        } else {
            const char* lines[] = {texts.score,     texts.detail,     texts.emitters,
                                   texts.threading, texts.resolution, texts.system[0],
                                   texts.system[1], texts.system[2],  texts.system[3],
                                   texts.system[4], texts.system[5],  texts.clocks};
            error = writeLines(stdout, lines);
            if (error != 0) reportStandardOutputFailure("the results", error);
        }
    }
    run.results_ready = 0;
    return error;
}

}  // namespace plashwerk
