#include "results/results_json.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <nlohmann/json.hpp>

#include "platform/engine/vn_trace_mgr.h"
#include "platform/program/program_info.h"
#include "results/write_all_internal.h"

namespace plashwerk {
namespace {

using Json = nlohmann::ordered_json;

// A float as the shortest decimal that reads back as the same float (60.1f appears as
// 60.1, not 60.099998474121094). Not-a-number and infinities have no JSON form: null.
Json number(float value) {
    if (!std::isfinite(value)) return nullptr;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
    *end = '\0';
    return std::strtod(text, nullptr);
}

std::string fixedText(const char* text, size_t capacity) {
    return std::string(text, strnlen(text, capacity));
}

Json settingsObject(const std::vector<SettingValue>& values) {
    Json settings = Json::object();
    for (const SettingValue& v : values) {
        switch (v.kind) {
            case SettingValue::Kind::Int:
                settings[v.name] = v.int_value;
                break;
            case SettingValue::Kind::Bool:
                settings[v.name] = v.bool_value;
                break;
            case SettingValue::Kind::Real:
                settings[v.name] = number(v.real_value);
                break;
            case SettingValue::Kind::Text:
                settings[v.name] = v.text;
                break;
        }
    }
    return settings;
}

Json gpuObject(const GpuMaxima& g) {
    Json gpu;
    gpu["name"] = g.name;
    gpu["max_core_clock_mhz"] = number(g.core_clock_mhz);
    gpu["max_memory_clock_mhz"] = number(g.memory_clock_mhz);
    gpu["max_temperature_c"] = number(g.celsius);
    gpu["max_load_percent"] = number(g.load_percent);
    gpu["max_power_percent"] = number(g.power_percent);
    return gpu;
}

const char* eventKey(EventKind kind) {
    switch (kind) {
        case EventKind::ThermalSlowdown:
            return "thermal_slowdown";
        case EventKind::PowerCap:
            return "power_cap";
        case EventKind::HardwareSlowdown:
            return "hardware_slowdown";
        case EventKind::ClockDrop:
            return "clock_drop";
        case EventKind::SensorDropout:
            return "sensor_dropout";
        case EventKind::OverTemperature:
            return "over_temperature";
        case EventKind::PhysicsDeviceError:
            return "physics_device_error";
        case EventKind::OpenGlError:
            return "opengl_error";
        case EventKind::ContextLost:
            return "opengl_context_lost";
        case EventKind::FpsDrop:
            return "fps_drop";
        case EventKind::SpsDrop:
            return "sps_drop";
    }
    return "";
}

Json eventsArray(const std::vector<StabilityEvent>& events) {
    Json out = Json::array();
    for (const StabilityEvent& e : events) {
        Json event;
        event["gpu"] = e.gpu >= 0 ? Json(e.gpu + 1) : Json(nullptr);
        event["kind"] = eventKey(e.kind);
        if (e.kind == EventKind::SensorDropout) event["reading"] = readingName(e.reading);
        event["start_s"] = e.start_s;
        event["duration_s"] = e.duration_s;
        event["text"] = describeEvent(e);
        out.push_back(event);
    }
    return out;
}

// The once-a-second readings: one array per quantity, one entry per second, null where the
// reading was not available.
Json seriesObject(const RunRecord& record) {
    Json series;
    const SecondSamples* samples = record.samples;
    const uint32_t n = samples ? samples->seconds() : 0;
    series["seconds"] = n;
    Json fps = Json::array(), sps = Json::array();
    for (uint32_t s = 0; s < n; ++s) {
        fps.push_back(number(samples->run(s).fps));
        sps.push_back(number(samples->run(s).sps));
    }
    series["fps"] = std::move(fps);
    series["sps"] = std::move(sps);
    struct Column {
        const char* key;
        uint32_t bit;
        float GpuSecond::*field;
    };
    constexpr Column kColumns[] = {
        {"temperature_c", kReadTemperature, &GpuSecond::celsius},
        {"hot_spot_c", kReadHotSpot, &GpuSecond::hot_spot_celsius},
        {"memory_temperature_c", kReadMemoryTemperature, &GpuSecond::memory_celsius},
        {"core_clock_mhz", kReadCoreClock, &GpuSecond::core_clock_mhz},
        {"memory_clock_mhz", kReadMemoryClock, &GpuSecond::memory_clock_mhz},
        {"load_percent", kReadLoad, &GpuSecond::load_percent},
        {"power_w", kReadPower, &GpuSecond::power_w},
        {"fan_percent", kReadFan, &GpuSecond::fan_percent},
    };
    Json gpus = Json::array();
    for (int g = 0; samples && g < samples->gpuCount(); ++g) {
        Json gpu;
        gpu["name"] = size_t(g) < record.gpus.size() ? record.gpus[size_t(g)].name : std::string();
        for (const Column& c : kColumns) {
            Json values = Json::array();
            for (uint32_t s = 0; s < n; ++s) {
                const GpuSecond& reading = samples->gpu(s, g);
                values.push_back((reading.readings & c.bit) ? number(reading.*c.field)
                                                            : Json(nullptr));
            }
            gpu[c.key] = std::move(values);
        }
        Json reasons = Json::array();
        for (uint32_t s = 0; s < n; ++s) {
            const GpuSecond& reading = samples->gpu(s, g);
            reasons.push_back((reading.readings & kReadClockEvents)
                                  ? Json(reading.clock_event_reasons)
                                  : Json(nullptr));
        }
        gpu["clock_event_reasons"] = std::move(reasons);
        gpus.push_back(std::move(gpu));
    }
    series["gpus"] = std::move(gpus);
    return series;
}

std::string errorText(int error) {
    return std::strerror(error);
}

}  // namespace

std::string formatResultsJson(const RunRecord& record) {
    const RunResult& r = record.result;
    Json doc;
    char version[32];
    std::snprintf(version, sizeof version, "%d.%d.%d", kVersionMajor, kVersionMinor,
                  kVersionBugfix);
    doc["program"] = kAppName;
    doc["version"] = version;
    doc["scores"] = {{"global", r.global_score},
                     {"physx", number(r.physx_score)},
                     {"graphx", number(r.graphx_score)}};
    doc["fps"] = {{"min", r.fps_min}, {"max", r.fps_max}, {"avg", r.fps_avg}};
    doc["sps"] = {{"min", r.sps_min}, {"max", r.sps_max}, {"avg", r.sps_avg}};
    doc["duration_ms"] = r.duration_ms;
    doc["frames"] = r.frames;
    doc["simulations"] = r.simulations;
    doc["physx_on_gpu"] = r.physx_on_gpu;
    doc["fluid_emitters"] = r.fluid_emitters;
    doc["temperatures_c"] = {{"start", number(r.start_temperature)},
                             {"end", number(r.end_temperature)},
                             {"max", number(record.run_max_celsius)}};
    doc["render"] = {{"width", record.width},
                     {"height", record.height},
                     {"fullscreen", record.fullscreen},
                     {"msaa_samples", record.msaa_samples}};
    doc["settings"] = settingsObject(record.settings);
    static const char* const kSystemKeys[6] = {"renderer",  "drivers",       "cpu",
                                               "cpu_speed", "system_memory", "os"};
    Json system;
    for (int i = 0; i < 6; ++i)
        system[kSystemKeys[i]] = fixedText(r.system_lines[i], sizeof r.system_lines[i]);
    doc["system"] = system;
    Json gpus = Json::array();
    for (const GpuMaxima& g : record.gpus) gpus.push_back(gpuObject(g));
    doc["gpus"] = gpus;
    doc["run_mode"] = record.run_mode == RunMode::Benchmark ? "benchmark" : "stability_test";
    doc["run_seconds"] = record.run_seconds;
    doc["verdict"] =
        record.verdict == Verdict::None ? Json(nullptr) : Json(verdictName(record.verdict));
    doc["events"] = eventsArray(record.events);
    doc["series"] = seriesObject(record);
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool writeFileWhole(const std::string& path, std::string_view bytes, std::string& error) {
    if (path.empty()) {
        error = "no path given";
        return false;
    }
    // Through a link to the file it names, so the link stays and its target is replaced.
    std::string target = path;
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char* resolved = realpath(path.c_str(), nullptr);
        if (!resolved) {
            error = "the link leads nowhere (" + errorText(errno) + ")";
            return false;
        }
        target = resolved;
        std::free(resolved);
    }
    if (stat(target.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) {
            error = "it is a folder";
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            error = "it is not a regular file";
            return false;
        }
    } else if (errno != ENOENT) {
        error = errorText(errno);
        return false;
    }
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty()) {
        error = "it names a folder";
        return false;
    }

    // A hidden name of this process in the same folder, so the rename cannot cross file
    // systems; the name is cut so that the temporary fits where the destination fits.
    static std::atomic<unsigned> serial{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/." + name.substr(0, 200) + "." + std::to_string(getpid()) + "." +
               std::to_string(serial++) + ".tmp";
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = errorText(errno);
        return false;
    }
    int failure = writeAllBytes(fd, bytes.data(), bytes.size());
    if (failure == 0 && fsync(fd) != 0) failure = errno;
    if (close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && rename(temp.c_str(), target.c_str()) != 0) failure = errno;
    if (failure != 0) {
        unlink(temp.c_str());
        error = errorText(failure);
        return false;
    }
    // The new directory entry reaches the disk with its folder.
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

bool writeResultsJson(const char* path, const RunRecord& record) {
    std::string error;
    bool ok = false;
    try {
        ok = writeFileWhole(path ? path : "", formatResultsJson(record), error);
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (ok) {
        Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_INFO, "Results written to %s.", path);
        return true;
    }
    Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_ERROR, "Could not write the results to %s: %s",
                          path ? path : "", error.c_str());
    std::fprintf(stderr, "%s: could not write the results to %s: %s\n", kAppName, path ? path : "",
                 error.c_str());
    return false;
}

}  // namespace plashwerk
