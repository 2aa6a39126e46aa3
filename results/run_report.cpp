#include "results/run_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "platform/engine/vn_trace_mgr.h"
#include "platform/program/program_info.h"
#include "results/html_text.h"
#include "results/results_json.h"

namespace plashwerk {
namespace {

// One reading of a GPU as the report shows it.
struct GpuQuantity {
    const char* name;  ///< also the key of the table cells
    const char* unit;
    uint32_t bit;
    float GpuSecond::*field;
};

constexpr GpuQuantity kGpuQuantities[] = {
    {"temperature", "\u00b0C", kReadTemperature, &GpuSecond::celsius},
    {"hot spot", "\u00b0C", kReadHotSpot, &GpuSecond::hot_spot_celsius},
    {"memory temperature", "\u00b0C", kReadMemoryTemperature, &GpuSecond::memory_celsius},
    {"core clock", "MHz", kReadCoreClock, &GpuSecond::core_clock_mhz},
    {"memory clock", "MHz", kReadMemoryClock, &GpuSecond::memory_clock_mhz},
    {"load", "%", kReadLoad, &GpuSecond::load_percent},
    {"power", "W", kReadPower, &GpuSecond::power_w},
    {"fan", "%", kReadFan, &GpuSecond::fan_percent},
};

const GpuQuantity& quantityOf(uint32_t bit) {
    for (const GpuQuantity& q : kGpuQuantities)
        if (q.bit == bit) return q;
    return kGpuQuantities[0];
}

constexpr const char* kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#9467bd",
                                    "#8c564b", "#e377c2", "#7f7f7f", "#17becf"};

// Points a line gets at most: longer runs are averaged over equal spans of seconds, which
// keeps a day-long report a few megabytes and still finer than a chart's pixels.
constexpr uint32_t kMaxPoints = 3600;

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

// One line of a chart: a value per second, or nothing where the reading was not available.
struct Series {
    std::string label;
    const char* color;
    const char* dash;  ///< SVG stroke-dasharray; empty for solid
    std::function<bool(uint32_t second, float& value)> value;
};

struct Chart {
    const char* id;
    const char* title;
    const char* unit;
    std::vector<Series> series;
};

// A round step for about five ticks over [0, top].
float niceStep(float top) {
    if (top <= 0) return 1;
    const float raw = top / 5.0f;
    const float magnitude = std::pow(10.0f, std::floor(std::log10(raw)));
    for (float m : {1.0f, 2.0f, 2.5f, 5.0f, 10.0f})
        if (raw <= m * magnitude) return m * magnitude;
    return 10 * magnitude;
}

// The chart's SVG with its legend below it.
void drawChart(std::string& out, const Chart& chart, uint32_t seconds,
               const std::vector<StabilityEvent>& events) {
    constexpr float kWidth = 960, kHeight = 260, kLeft = 64, kRight = 16, kTop = 16, kBottom = 40;
    const float plot_w = kWidth - kLeft - kRight, plot_h = kHeight - kTop - kBottom;
    const uint32_t span = seconds > 1 ? seconds - 1 : 1;
    const uint32_t bucket = seconds > kMaxPoints ? (seconds + kMaxPoints - 1) / kMaxPoints : 1;

    // The lines' points first: their largest value sets the scale.
    struct Line {
        std::vector<std::vector<std::pair<float, float>>> runs;  ///< (second, value)
    };
    std::vector<Line> lines(chart.series.size());
    float top = 0;
    for (size_t i = 0; i < chart.series.size(); ++i) {
        std::vector<std::pair<float, float>> run;
        for (uint32_t start = 0; start < seconds; start += bucket) {
            double sum = 0;
            uint32_t count = 0;
            for (uint32_t s = start; s < std::min(seconds, start + bucket); ++s) {
                float v = 0;
                if (chart.series[i].value(s, v) && std::isfinite(v)) {
                    sum += v;
                    ++count;
                }
            }
            if (count == 0) {
                if (!run.empty()) lines[i].runs.push_back(std::move(run));
                run.clear();
                continue;
            }
            const float v = float(sum / count);
            top = std::max(top, v);
            const float at = bucket == 1 ? float(start) : float(start) + float(bucket - 1) / 2;
            run.emplace_back(at, v);
        }
        if (!run.empty()) lines[i].runs.push_back(std::move(run));
    }
    const float step = niceStep(top * 1.05f);
    const float y_max = std::max(step, std::ceil(top * 1.05f / step) * step);
    auto x = [&](float s) { return kLeft + plot_w * std::min(s, float(span)) / float(span); };
    auto y = [&](float v) { return kTop + plot_h * (1 - std::clamp(v, 0.0f, y_max) / y_max); };

    out += format("<section class=\"chart\" id=\"%s\"><h3>%s (%s)</h3>\n", chart.id, chart.title,
                  chart.unit);
    out += format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
        "viewBox=\"0 0 %.0f %.0f\" role=\"img\" aria-label=\"%s\">\n",
        kWidth, kHeight, kWidth, kHeight, chart.title);
    out += format(
        "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"#fff\" "
        "stroke=\"#999\"/>\n",
        kLeft, kTop, plot_w, plot_h);
    // Events under the lines, each with its description as a tooltip.
    for (const StabilityEvent& e : events) {
        const float x0 = x(float(e.start_s));
        const float x1 = std::max(x(float(e.start_s + e.duration_s)), x0 + 2);
        out += format(
            "<rect class=\"event\" x=\"%.1f\" y=\"%.0f\" width=\"%.1f\" height=\"%.0f\" "
            "fill=\"#d62728\" fill-opacity=\"0.18\"><title>%s</title></rect>\n",
            x0, kTop, x1 - x0, plot_h, escapeHtml(describeEvent(e)).c_str());
    }
    // Value axis: grid lines and labels with the unit.
    for (float v = 0; v <= y_max + step / 2; v += step) {
        out += format(
            "<line x1=\"%.0f\" x2=\"%.0f\" y1=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>"
            "<text x=\"%.0f\" y=\"%.1f\" font-size=\"11\" text-anchor=\"end\">%g</text>\n",
            kLeft, kLeft + plot_w, y(v), y(v), kLeft - 6, y(v) + 4, double(v));
    }
    out += format(
        "<text x=\"14\" y=\"%.0f\" font-size=\"12\" transform=\"rotate(-90 14 %.0f)\" "
        "text-anchor=\"middle\">%s</text>\n",
        kTop + plot_h / 2, kTop + plot_h / 2, chart.unit);
    // Time axis: about six ticks on whole seconds.
    const uint32_t tick = std::max<uint32_t>(1, span / 6);
    for (uint32_t s = 0; s <= span; s += tick) {
        out += format(
            "<line x1=\"%.1f\" x2=\"%.1f\" y1=\"%.0f\" y2=\"%.0f\" stroke=\"#999\"/>"
            "<text x=\"%.1f\" y=\"%.0f\" font-size=\"11\" text-anchor=\"middle\">%s</text>\n",
            x(float(s)), x(float(s)), kTop + plot_h, kTop + plot_h + 4, x(float(s)),
            kTop + plot_h + 16, clockText(s).c_str());
    }
    out += format(
        "<text x=\"%.0f\" y=\"%.0f\" font-size=\"12\" text-anchor=\"middle\">time "
        "(h:mm:ss)</text>\n",
        kLeft + plot_w / 2, kHeight - 6);
    for (size_t i = 0; i < chart.series.size(); ++i) {
        const Series& series = chart.series[i];
        for (const auto& run : lines[i].runs) {
            out += format(
                "<polyline class=\"series\" data-series=\"%s\" fill=\"none\" "
                "stroke=\"%s\" stroke-width=\"1.5\"%s%s%s points=\"",
                escapeHtml(series.label).c_str(), series.color,
                *series.dash ? " stroke-dasharray=\"" : "", series.dash, *series.dash ? "\"" : "");
            for (const auto& [s, v] : run) out += format("%.1f,%.1f ", x(s), y(v));
            if (run.size() == 1) out += format("%.1f,%.1f", x(run[0].first) + 1, y(run[0].second));
            out += "\"/>\n";
        }
    }
    out += "</svg>\n<p class=\"legend\">";
    for (const Series& series : chart.series) {
        out += format(
            "<span class=\"key\"><svg width=\"28\" height=\"10\"><line x1=\"0\" x2=\"28\" "
            "y1=\"5\" y2=\"5\" stroke=\"%s\" stroke-width=\"2\"%s%s%s/></svg> %s</span>",
            series.color, *series.dash ? " stroke-dasharray=\"" : "", series.dash,
            *series.dash ? "\"" : "", escapeHtml(series.label).c_str());
    }
    out += "</p></section>\n";
}

std::string gpuLabel(const RunRecord& record, int gpu) {
    const std::string name =
        size_t(gpu) < record.gpus.size() ? record.gpus[size_t(gpu)].name : std::string();
    return format("GPU %d", gpu + 1) + (name.empty() ? "" : " " + name);
}

std::vector<Chart> chartsOf(const RunRecord& record, const SecondSamples& samples) {
    auto gpuSeries = [&](int gpu, const GpuQuantity& q, const char* suffix, const char* dash) {
        Series s;
        s.label = gpuLabel(record, gpu) + suffix;
        s.color = kPalette[size_t(gpu) % std::size(kPalette)];
        s.dash = dash;
        s.value = [&samples, gpu, q](uint32_t second, float& v) {
            const GpuSecond& g = samples.gpu(second, gpu);
            if (!(g.readings & q.bit)) return false;
            v = g.*q.field;
            return true;
        };
        return s;
    };
    std::vector<Chart> charts = {
        {"temperatures", "Temperatures", "\u00b0C", {}},
        {"clocks", "Clocks", "MHz", {}},
        {"load", "GPU load", "%", {}},
        {"power", "Power", "W", {}},
        {"fan", "Fan", "%", {}},
    };
    auto hasAny = [&](int gpu, uint32_t bit) {
        for (uint32_t s = 0; s < samples.seconds(); ++s)
            if (samples.gpu(s, gpu).readings & bit) return true;
        return false;
    };
    for (int gpu = 0; gpu < samples.gpuCount(); ++gpu) {
        charts[0].series.push_back(gpuSeries(gpu, quantityOf(kReadTemperature), "", ""));
        if (hasAny(gpu, kReadHotSpot))
            charts[0].series.push_back(
                gpuSeries(gpu, quantityOf(kReadHotSpot), " hot spot", "6 3"));
        if (hasAny(gpu, kReadMemoryTemperature))
            charts[0].series.push_back(
                gpuSeries(gpu, quantityOf(kReadMemoryTemperature), " memory", "2 2"));
        charts[1].series.push_back(gpuSeries(gpu, quantityOf(kReadCoreClock), " core", ""));
        charts[1].series.push_back(gpuSeries(gpu, quantityOf(kReadMemoryClock), " memory", "6 3"));
        charts[2].series.push_back(gpuSeries(gpu, quantityOf(kReadLoad), "", ""));
        charts[3].series.push_back(gpuSeries(gpu, quantityOf(kReadPower), "", ""));
        charts[4].series.push_back(gpuSeries(gpu, quantityOf(kReadFan), "", ""));
    }
    Chart fps{"fps", "Frames per second", "FPS", {}};
    fps.series.push_back({"GraphX FPS", "#1f77b4", "", [&samples](uint32_t s, float& v) {
                              v = samples.run(s).fps;
                              return true;
                          }});
    Chart sps{"sps", "Simulation steps per second", "SPS", {}};
    sps.series.push_back({"PhysX SPS", "#2ca02c", "", [&samples](uint32_t s, float& v) {
                              v = samples.run(s).sps;
                              return true;
                          }});
    charts.push_back(std::move(fps));
    charts.push_back(std::move(sps));
    return charts;
}

std::string settingText(const SettingValue& v) {
    switch (v.kind) {
        case SettingValue::Kind::Int:
            return std::to_string(v.int_value);
        case SettingValue::Kind::Bool:
            return v.bool_value ? "on" : "off";
        case SettingValue::Kind::Real:
            return format("%g", double(v.real_value));
        case SettingValue::Kind::Text:
            return v.text;
    }
    return {};
}

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:24px;color:#222;max-width:1000px}"
    "table{border-collapse:collapse;margin:8px 0 16px}"
    "td,th{border:1px solid #ccc;padding:3px 8px;text-align:right;font-size:13px}"
    "th{background:#f2f2f2}td.l,th.l{text-align:left}"
    ".verdict{font-size:28px;font-weight:bold;padding:12px 16px;border-radius:6px;margin:8px 0}"
    ".PASS{background:#d8f0d8;color:#16641b}.FAIL{background:#f8d7d7;color:#8a1414}"
    ".STOPPED{background:#fff1c9;color:#6b5100}.SCORE{background:#e3ecf8;color:#183f73}"
    ".verdict ul{font-size:15px;font-weight:normal;margin:6px 0 0}"
    ".legend{font-size:12px;margin:2px 0 20px}.key{margin-right:14px;white-space:nowrap}"
    "h3{margin:18px 0 4px;font-size:16px}";

}  // namespace

ReadingSummary summarizeReading(const SecondSamples& samples, int gpu, uint32_t reading_bit) {
    ReadingSummary r;
    const GpuQuantity& q = quantityOf(reading_bit);
    double sum = 0;
    for (uint32_t s = 0; s < samples.seconds(); ++s) {
        const GpuSecond& g = samples.gpu(s, gpu);
        if (!(g.readings & reading_bit)) continue;
        const float v = g.*q.field;
        r.maximum = r.seconds == 0 ? v : std::max(r.maximum, v);
        sum += v;
        ++r.seconds;
    }
    if (r.seconds > 0) r.mean = float(sum / r.seconds);
    return r;
}

std::string formatRunReport(const RunRecord& record) {
    const RunResult& r = record.result;
    const bool benchmark = record.run_mode == RunMode::Benchmark;
    SecondSamples none;
    const SecondSamples& samples = record.samples ? *record.samples : none;

    std::string out;
    out += "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n";
    out += format("<title>%s %s report</title>\n", kAppName,
                  benchmark ? "benchmark" : "stability test");
    out += std::string("<style>") + kStyle + "</style></head><body>\n";
    out += format("<h1>%s v%d.%d.%d - %s</h1>\n", kAppName, kVersionMajor, kVersionMinor,
                  kVersionBugfix, benchmark ? "Benchmark" : "Stability test");

    if (benchmark) {
        out += format("<div class=\"verdict SCORE\" id=\"verdict\">Score: %d points</div>\n",
                      r.global_score);
    } else {
        const char* name = verdictName(record.verdict);
        out += format("<div class=\"verdict %s\" id=\"verdict\">%s", name, name);
        if (!record.events.empty()) {
            out += "<ul>";
            for (const StabilityEvent& e : record.events)
                out += "<li>" + escapeHtml(describeEvent(e)) + "</li>";
            out += "</ul>";
        }
        out += "</div>\n";
    }

    out += "<h2>Summary</h2>\n<table id=\"run\">\n";
    auto row = [&](const char* key, const std::string& value) {
        out += "<tr><th class=\"l\">" + std::string(key) + "</th><td class=\"l\">" +
               escapeHtml(value) + "</td></tr>\n";
    };
    row("Run", benchmark ? "benchmark" : "stability test");
    row("Duration", clockText(record.run_seconds));
    if (benchmark) {
        row("Score", format("%d points (GraphX %.1f, PhysX %.1f)", r.global_score,
                            double(r.graphx_score), double(r.physx_score)));
        row("FPS min / avg / max", format("%d / %d / %d", r.fps_min, r.fps_avg, r.fps_max));
        row("SPS min / avg / max", format("%d / %d / %d", r.sps_min, r.sps_avg, r.sps_max));
    } else {
        row("Verdict", verdictName(record.verdict));
    }
    row("Render size", format("%dx%d%s, MSAA %dx", record.width, record.height,
                              record.fullscreen ? " full screen" : "", record.msaa_samples));
    row("Renderer", record.renderer);
    row("Driver", record.driver);
    row("Readings kept", format("%u s", samples.seconds()));
    out += "</table>\n";

    out += "<h2>GPUs</h2>\n<table id=\"gpus\"><tr><th class=\"l\">GPU</th>";
    for (const GpuQuantity& q : kGpuQuantities)
        out += format("<th>%s max (%s)</th><th>%s mean (%s)</th>", q.name, q.unit, q.name, q.unit);
    out += "</tr>\n";
    for (int gpu = 0; gpu < samples.gpuCount(); ++gpu) {
        out += "<tr><td class=\"l\">" + escapeHtml(gpuLabel(record, gpu)) + "</td>";
        for (const GpuQuantity& q : kGpuQuantities) {
            const ReadingSummary s = summarizeReading(samples, gpu, q.bit);
            for (int mean = 0; mean < 2; ++mean) {
                out += format("<td data-gpu=\"%d\" data-reading=\"%s\" data-stat=\"%s\">", gpu,
                              q.name, mean ? "mean" : "max");
                out += s.seconds == 0 ? "-" : format("%.1f", double(mean ? s.mean : s.maximum));
                out += "</td>";
            }
        }
        out += "</tr>\n";
    }
    out += "</table>\n";

    out += "<h2>Throttling and faults</h2>\n";
    if (record.events.empty()) {
        out += "<p id=\"events\">None seen.</p>\n";
    } else {
        out +=
            "<table id=\"events\"><tr><th class=\"l\">Where</th><th class=\"l\">What</th>"
            "<th>Began at</th><th>Lasted (s)</th></tr>\n";
        for (const StabilityEvent& e : record.events) {
            std::string what = eventKindName(e.kind);
            if (e.kind == EventKind::SensorDropout)
                what += std::string(" (") + readingName(e.reading) + ")";
            out += "<tr class=\"event\"><td class=\"l\">" +
                   escapeHtml(e.gpu >= 0 ? gpuLabel(record, e.gpu) : std::string("Run")) +
                   "</td><td class=\"l\">" + escapeHtml(what) + "</td><td>" + clockText(e.start_s) +
                   format("</td><td>%u</td></tr>\n", e.duration_s);
        }
        out += "</table>\n";
    }

    out += "<h2>Readings over time</h2>\n";
    if (samples.seconds() == 0) {
        out += "<p>No readings were kept.</p>\n";
    } else {
        for (const Chart& chart : chartsOf(record, samples))
            drawChart(out, chart, samples.seconds(), record.events);
    }

    out += "<h2>Settings</h2>\n<table id=\"settings\">\n";
    for (const SettingValue& v : record.settings) row(v.name, settingText(v));
    out += "</table>\n</body></html>\n";
    return out;
}

bool writeRunReport(const char* path, const RunRecord& record) {
    std::string error;
    if (writeFileWhole(path, formatRunReport(record), error)) return true;
    std::fprintf(stderr, "%s: could not write the report to %s: %s\n", kAppName, path,
                 error.c_str());
    Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_WARNING, "Could not write the report to %s: %s",
                          path, error.c_str());
    return false;
}

}  // namespace plashwerk
