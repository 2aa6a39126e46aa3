// The HTML report read back: every chart has its points, the table's figures are the
// samples', texts from the GPUs are escaped, nothing is fetched from elsewhere; and the
// results document's verdict, events and series.

#include "results/run_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "gpumon/pyrolex/gpu_record.h"
#include "results/results_json.h"
#include "tests/results/results_test_support.h"
#include "tests/support/files.h"

namespace plashwerk {
namespace {

constexpr uint32_t kSeconds = 40;

// A stability test of two GPUs: the second has no hot spot, loses its fan for 8 s and
// throttles for 6 s; its name carries markup.
struct StabilityRun {
    SecondSamples samples;
    RunRecord record = test::knownRecord();

    StabilityRun() {
        samples.start(2, kSeconds);
        for (uint32_t s = 0; s < kSeconds; ++s) {
            RunSecond run;
            run.fps = 50.0f + float(s % 7);
            run.sps = 100.0f + float(s % 5);
            GpuSecond g[2];
            for (int i = 0; i < 2; ++i) {
                g[i].celsius = 50.0f + float(s) * 0.5f + float(i);
                g[i].hot_spot_celsius = 60.0f + float(s) * 0.25f;
                g[i].memory_celsius = 55.0f;
                g[i].core_clock_mhz = 1800.0f - float(s % 3) * 15.0f;
                g[i].memory_clock_mhz = 7000.0f;
                g[i].load_percent = 97.0f + float(s % 2);
                g[i].power_w = 180.0f + float(s);
                g[i].fan_percent = 40.0f + float(s) * 0.3f;
                g[i].readings = (1u << kGpuReadingCount) - 1;
            }
            g[1].readings &= ~kReadHotSpot;
            if (s >= 20 && s < 28) g[1].readings &= ~kReadFan;
            if (s >= 30 && s < 36) g[1].clock_event_reasons = kClockEventSoftwareThermal;
            EXPECT_TRUE(samples.append(run, g));
        }
        record.run_mode = RunMode::StabilityTest;
        record.gpus.resize(2);
        record.gpus[0].name = "NVIDIA GeForce RTX 3070";
        record.gpus[1].name = "Evil <script>alert('x')</script> & \"Co\"";
        record.samples = &samples;
        record.run_seconds = kSeconds;
        record.events = judgeRun(samples, JudgeSettings{});
        record.verdict = verdictOf(true, true, record.events);
    }
};

std::string oneDecimal(float v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", double(v));
    return text;
}

TEST(RunReport, ChartsTableAndEventsMatchTheSamples) {
    StabilityRun r;
    ASSERT_EQ(r.record.verdict, Verdict::Fail);
    const std::string html = formatRunReport(r.record);

    // Self-contained: no script, no fetched style sheet, font or picture.
    for (const char* outside : {"<script", "<link", "src=", "href=", "@import", "url("})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    EXPECT_NE(
        html.find("Evil &lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;Co&quot;"),
        std::string::npos);
    EXPECT_NE(html.find("class=\"verdict FAIL\""), std::string::npos);

    // Every chart, and the points of each of its lines.
    std::map<std::string, size_t> points;  // by chart id
    const std::regex section("<section class=\"chart\" id=\"([a-z]+)\">([\\s\\S]*?)</section>");
    const std::regex polyline("<polyline[^>]* points=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), section);
         it != std::sregex_iterator(); ++it) {
        const std::string body = (*it)[2];
        size_t count = 0;
        for (auto p = std::sregex_iterator(body.begin(), body.end(), polyline);
             p != std::sregex_iterator(); ++p) {
            const std::string list = (*p)[1];
            const std::regex point("(-?[0-9.]+),(-?[0-9.]+)");
            for (auto q = std::sregex_iterator(list.begin(), list.end(), point);
                 q != std::sregex_iterator(); ++q) {
                const float y = std::stof((*q)[2]);
                EXPECT_GE(y, 0.0f);
                ++count;
            }
        }
        points[(*it)[1]] = count;
        EXPECT_NE(body.find("<text"), std::string::npos) << "axis labels";
        EXPECT_NE(body.find("class=\"legend\""), std::string::npos);
    }
    // GPU 2 has no hot spot line; its fan line has a gap of 8 s.
    EXPECT_EQ(points["temperatures"], 2 * kSeconds + kSeconds + 2 * kSeconds);
    EXPECT_EQ(points["clocks"], 4 * kSeconds);
    EXPECT_EQ(points["load"], 2 * kSeconds);
    EXPECT_EQ(points["power"], 2 * kSeconds);
    EXPECT_EQ(points["fan"], 2 * kSeconds - 8);
    EXPECT_EQ(points["fps"], kSeconds);
    EXPECT_EQ(points["sps"], kSeconds);
    EXPECT_EQ(points.size(), 7u);
    // The throttle and the dropout are shaded on each chart.
    size_t shaded = 0;
    for (size_t at = html.find("<rect class=\"event\""); at != std::string::npos;
         at = html.find("<rect class=\"event\"", at + 1))
        ++shaded;
    EXPECT_EQ(r.record.events.size(), 2u);
    EXPECT_EQ(shaded, 7 * r.record.events.size());

    // The table's figures are the samples' maxima and means, computed here afresh.
    for (int gpu = 0; gpu < 2; ++gpu) {
        float max_c = 0, sum_c = 0, max_w = 0;
        for (uint32_t s = 0; s < kSeconds; ++s) {
            const GpuSecond& g = r.samples.gpu(s, gpu);
            max_c = std::max(max_c, g.celsius);
            sum_c += g.celsius;
            max_w = std::max(max_w, g.power_w);
        }
        auto cell = [&](const char* reading, const char* stat) {
            const std::string key = "data-gpu=\"" + std::to_string(gpu) + "\" data-reading=\"" +
                                    reading + "\" data-stat=\"" + stat + "\">";
            const size_t at = html.find(key);
            if (at == std::string::npos) return std::string("missing");
            return html.substr(at + key.size(), html.find('<', at) - at - key.size());
        };
        EXPECT_EQ(cell("temperature", "max"), oneDecimal(max_c));
        EXPECT_EQ(cell("temperature", "mean"), oneDecimal(sum_c / kSeconds));
        EXPECT_EQ(cell("power", "max"), oneDecimal(max_w));
        if (gpu == 1) EXPECT_EQ(cell("hot spot", "max"), "-") << "never read";
    }
    EXPECT_NE(html.find("<td class=\"l\">thermal slowdown</td><td>00:00:30</td><td>6</td>"),
              std::string::npos);
}

TEST(RunReport, ALongRunIsDrawnWithBoundedPoints) {
    SecondSamples samples;
    samples.start(1, 10000);
    GpuSecond g;
    g.readings = kReadTemperature;
    for (uint32_t s = 0; s < 10000; ++s) {
        g.celsius = float(s % 100);
        samples.append(RunSecond{}, &g);
    }
    RunRecord record = test::knownRecord();
    record.samples = &samples;
    const std::string html = formatRunReport(record);
    EXPECT_NE(html.find("Score: 1913 points"), std::string::npos) << "a benchmark shows its score";
    const std::regex polyline("<polyline[^>]* points=\"([^\"]*)\"");
    for (auto p = std::sregex_iterator(html.begin(), html.end(), polyline);
         p != std::sregex_iterator(); ++p) {
        const std::string list = (*p)[1];
        EXPECT_LE(std::count(list.begin(), list.end(), ','), 3600);
    }
}

TEST(RunReport, WrittenWholeOrNotAtAll) {
    test::TempFolder folder("plashwerk_report");
    StabilityRun r;
    const std::string path = folder.path() + "/r.html";
    ASSERT_TRUE(writeRunReport(path.c_str(), r.record));
    EXPECT_EQ(test::slurp(path), formatRunReport(r.record));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeRunReport((folder.path() + "/missing/r.html").c_str(), r.record));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("could not write the report"),
              std::string::npos);
}

TEST(StabilityResultsJson, CarriesTheVerdictEventsAndSeries) {
    StabilityRun r;
    const auto doc = nlohmann::json::parse(formatResultsJson(r.record));
    EXPECT_EQ(doc["verdict"], "FAIL");
    EXPECT_EQ(doc["run_mode"], "stability_test");
    ASSERT_EQ(doc["events"].size(), 2u);
    EXPECT_EQ(doc["events"][1]["kind"], "thermal_slowdown");
    EXPECT_EQ(doc["events"][1]["gpu"], 2);
    EXPECT_EQ(doc["events"][1]["start_s"], 30);
    EXPECT_EQ(doc["events"][1]["duration_s"], 6);
    EXPECT_EQ(doc["events"][0]["reading"], "fan");
    const auto& series = doc["series"];
    EXPECT_EQ(series["seconds"], kSeconds);
    ASSERT_EQ(series["fps"].size(), kSeconds);
    EXPECT_EQ(series["fps"][3], 53.0);
    ASSERT_EQ(series["gpus"].size(), 2u);
    EXPECT_EQ(series["gpus"][1]["temperature_c"][10], 56.0);
    EXPECT_TRUE(series["gpus"][1]["hot_spot_c"][0].is_null());
    EXPECT_TRUE(series["gpus"][1]["fan_percent"][21].is_null());
    EXPECT_EQ(series["gpus"][1]["clock_event_reasons"][31], kClockEventSoftwareThermal);

    RunRecord benchmark = test::knownRecord();
    const auto plain = nlohmann::json::parse(formatResultsJson(benchmark));
    EXPECT_TRUE(plain["verdict"].is_null());
    EXPECT_EQ(plain["series"]["seconds"], 0);
}

}  // namespace
}  // namespace plashwerk
