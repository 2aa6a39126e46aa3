#include "app/options_file.h"

#include <irrXML.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace plashwerk {
namespace {

using S = StartupOptions;

// An options file is about 1.5 KB; anything past this is not one and is not loaded.
constexpr long kMaxOptionsFileBytes = 1 << 20;

enum class Read { Int, TrueIfOne, Real, WholeReal, RunMode, ParticleType, Text };

struct Attribute {
    const char* name;
    Read read;
    int S::*int_field = nullptr;
    bool S::*bool_field = nullptr;
    float S::*float_field = nullptr;
};

// In the reader's order (it differs from the written order).
const Attribute kReadOrder[] = {
    {"display_menu_bar", Read::Int, &S::display_menu_bar},
    {"display_version", Read::Int, &S::display_version},
    {"width", Read::Int, &S::width},
    {"height", Read::Int, &S::height},
    {"msaa", Read::Int, &S::msaa},
    {"fullscreen", Read::Int, &S::fullscreen},
    {"run_mode", Read::RunMode, &S::run_mode},
    {"time_based_benchmark", Read::TrueIfOne, nullptr, &S::time_based_benchmark},
    {"max_time", Read::Int, &S::max_time},
    {"max_frames", Read::Int, &S::max_frames},
    {"xtreme_burning", Read::Int, &S::xtreme_burning},
    {"log_temperature", Read::TrueIfOne, nullptr, &S::log_temperature},
    {"log_score", Read::TrueIfOne, nullptr, &S::log_score},
    {"add_post_fx", Read::TrueIfOne, nullptr, &S::add_post_fx},
    {"increase_graphx_workload", Read::TrueIfOne, nullptr, &S::increase_graphx_workload},
    {"multicore_cpu_physx", Read::TrueIfOne, nullptr, &S::multicore_cpu_physx},
    {"multithreaded_physx", Read::TrueIfOne, nullptr, &S::multithreaded_physx},
    {"thread_affinity", Read::TrueIfOne, nullptr, &S::thread_affinity},
    {"physx_cpu", Read::TrueIfOne, nullptr, &S::physx_cpu},
    {"physx_mutex", Read::TrueIfOne, nullptr, &S::physx_mutex},
    {"threads_sync", Read::TrueIfOne, nullptr, &S::threads_sync},
    {"unlock_cpu_cores_number", Read::TrueIfOne, nullptr, &S::unlock_cpu_cores_number},
    {"num_fluid_emitters", Read::Int, &S::num_fluid_emitters},
    {"use_particle_count", Read::TrueIfOne, nullptr, &S::use_particle_count},
    {"num_total_particles", Read::Int, &S::num_total_particles},
    {"z2o_physx_gpu_mem", Read::TrueIfOne, nullptr, &S::z2o_physx_gpu_mem},
    {"particles_rate_xtreme", Read::Int, &S::particles_rate_xtreme},
    {"particles_rate", Read::Int, &S::particles_rate},
    {"particles_lifetime", Read::WholeReal, nullptr, nullptr, &S::particles_lifetime},
    {"physx_fluid_velocity", Read::Real, nullptr, nullptr, &S::physx_fluid_velocity},
    {"physx_fluid_emitter_size", Read::Real, nullptr, nullptr, &S::physx_fluid_emitter_size},
    {"particle_type", Read::ParticleType, &S::particle_type},
    {"light_pos_x", Read::Real, nullptr, nullptr, &S::light_pos_x},
    {"light_pos_y", Read::Real, nullptr, nullptr, &S::light_pos_y},
    {"light_pos_z", Read::Real, nullptr, nullptr, &S::light_pos_z},
    {"gpu_temp_spike_filter_threshold", Read::Real, nullptr, nullptr,
     &S::gpu_temp_spike_filter_threshold},
    {"enable_gpu_temp_spike_filter", Read::TrueIfOne, nullptr, &S::enable_gpu_temp_spike_filter},
    {"use_gpuz", Read::TrueIfOne, nullptr, &S::use_gpuz},
    {"display_information", Read::TrueIfOne, nullptr, &S::display_information},
    {"display_latest_news", Read::TrueIfOne, nullptr, &S::display_latest_news},
    {"submit_score_user_email", Read::Text},
};

// Keyword comparison over at most the first 32 characters of the value.
bool startsWith(const char* text, const char* keyword) {
    return std::strncmp(text, keyword, std::min<size_t>(32, std::strlen(keyword))) == 0;
}

void readAttribute(S& o, irr::io::IrrXMLReader& xml, const Attribute& a) {
    const char* text = xml.getAttributeValue(a.name);
    if (!text) return;
    switch (a.read) {
        case Read::Int: o.*a.int_field = xml.getAttributeValueAsInt(a.name); break;
        case Read::TrueIfOne: o.*a.bool_field = xml.getAttributeValueAsInt(a.name) == 1; break;
        case Read::Real: o.*a.float_field = xml.getAttributeValueAsFloat(a.name); break;
        case Read::WholeReal:
            o.*a.float_field = static_cast<float>(xml.getAttributeValueAsInt(a.name));
            break;
        case Read::RunMode:
            o.run_mode = startsWith(text, "BENCHMARK") ? kRunModeBenchmark : kRunModeStabilityTest;
            break;
        case Read::ParticleType:
            o.particle_type = startsWith(text, "SMILEY") ? 2 : startsWith(text, "LAVA") ? 1 : 0;
            break;
        case Read::Text:
            std::snprintf(o.submit_score_user_email, sizeof o.submit_score_user_email, "%s", text);
            break;
    }
}

// Hands irrXML a buffer we loaded ourselves, so it never sizes a directory or a device.
class MemoryReadCallBack final : public irr::io::IFileReadCallBack {
public:
    MemoryReadCallBack(const char* data, size_t size) : m_data(data), m_size(size) {}
    int read(void* buffer, int sizeToRead) override {
        if (sizeToRead <= 0) return 0;
        size_t n = std::min(m_size - m_pos, static_cast<size_t>(sizeToRead));
        std::memcpy(buffer, m_data + m_pos, n);
        m_pos += n;
        return static_cast<int>(n);
    }
    long getSize() const override { return static_cast<long>(m_size); }

private:
    const char* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

bool loadSmallRegularFile(const char* path, std::vector<char>& out) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    struct stat info {};
    bool ok = fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) &&
              info.st_size <= kMaxOptionsFileBytes;
    if (ok) {
        out.resize(static_cast<size_t>(info.st_size));
        ok = std::fread(out.data(), 1, out.size(), file) == out.size();
    }
    std::fclose(file);
    return ok;
}

// Attribute values may hold any text (the e-mail is typed by the user); the five XML
// special characters are written as entities, which the reader turns back.
std::string escapeXml(const char* text) {
    std::string out;
    for (const char* c = text; *c; ++c) {
        switch (*c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += *c;
        }
    }
    return out;
}

}  // namespace

void readOptionsText(StartupOptions& options, const char* text, size_t size) {
    MemoryReadCallBack source(text, size);
    irr::io::IrrXMLReader* xml = irr::io::createIrrXMLReader(&source);
    if (!xml) return;
    while (xml->read()) {
        if (xml->getNodeType() != irr::io::EXN_ELEMENT) continue;
        const char* name = xml->getNodeName();
        if (!name || std::strcmp(name, "startup_options") != 0) continue;
        for (const Attribute& a : kReadOrder) readAttribute(options, *xml, a);
    }
    delete xml;
}

bool readOptionsFile(StartupOptions& options, const char* path) {
    if (!path || !*path) return false;
    std::vector<char> text;
    if (loadSmallRegularFile(path, text)) readOptionsText(options, text.data(), text.size());
    return true;
}

std::string formatOptionsFile(const StartupOptions& o) {
    std::string doc;
    char piece[4096];
    auto put = [&](const char* format, auto... values) {
        std::snprintf(piece, sizeof piece, format, values...);
        doc += piece;
    };
    auto attr = [&](const char* name, const char* format, auto value) {
        char value_text[4096];
        std::snprintf(value_text, sizeof value_text, format, value);
        put("\n\t\t%s=\"%s\"", name, value_text);
    };

    put("<?xml version=\"1.0\"?>");
    put("\n<plashwerk>");
    put("\n\t<!--\n\trun_mode: \"BENCHMARK\" or \"STABILITY_TEST\".\n\tmax_time: in "
        "milliseconds.\n\tmax_frames: -1 means not used.\n\t-->");
    put("\n\t<startup_options");
    attr("display_menu_bar", "%d", o.display_menu_bar);
    attr("display_version", "%d", o.display_version);
    attr("width", "%d", o.width);
    attr("height", "%d", o.height);
    attr("msaa", "%d", o.msaa);
    attr("fullscreen", "%d", o.fullscreen);
    attr("run_mode", "%s", o.run_mode == kRunModeBenchmark ? "BENCHMARK" : "STABILITY_TEST");
    attr("time_based_benchmark", "%d", int(o.time_based_benchmark));
    attr("max_time", "%d", o.max_time);
    attr("max_frames", "%d", o.max_frames);
    attr("xtreme_burning", "%d", o.xtreme_burning);
    attr("log_temperature", "%d", int(o.log_temperature));
    attr("log_score", "%d", int(o.log_score));
    attr("add_post_fx", "%d", int(o.add_post_fx));
    attr("increase_graphx_workload", "%d", int(o.increase_graphx_workload));
    attr("multicore_cpu_physx", "%d", int(o.multicore_cpu_physx));
    attr("multithreaded_physx", "%d", int(o.multithreaded_physx));
    attr("thread_affinity", "%d", int(o.thread_affinity));
    attr("num_fluid_emitters", "%d", o.num_fluid_emitters);
    attr("physx_mutex", "%d", int(o.physx_mutex));
    attr("threads_sync", "%d", int(o.threads_sync));
    attr("unlock_cpu_cores_number", "%d", int(o.unlock_cpu_cores_number));
    attr("physx_cpu", "%d", int(o.physx_cpu));
    attr("use_particle_count", "%d", int(o.use_particle_count));
    attr("num_total_particles", "%d", o.num_total_particles);
    attr("z2o_physx_gpu_mem", "%d", int(o.z2o_physx_gpu_mem));
    attr("light_pos_x", "%f", double(o.light_pos_x));
    attr("light_pos_y", "%f", double(o.light_pos_y));
    attr("light_pos_z", "%f", double(o.light_pos_z));
    attr("physx_fluid_velocity", "%.2f", double(o.physx_fluid_velocity));
    attr("physx_fluid_emitter_size", "%.3f", double(o.physx_fluid_emitter_size));
    attr("particles_rate_xtreme", "%d", o.particles_rate_xtreme);
    attr("particles_rate", "%d", o.particles_rate);
    attr("particles_lifetime", "%.2f", double(o.particles_lifetime));
    attr("particle_type", "%s",
         o.particle_type == 2 ? "SMILEY" : o.particle_type == 1 ? "LAVA" : "POINT");
    attr("gpu_temp_spike_filter_threshold", "%.3f", double(o.gpu_temp_spike_filter_threshold));
    attr("enable_gpu_temp_spike_filter", "%d", int(o.enable_gpu_temp_spike_filter));
    attr("use_gpuz", "%d", int(o.use_gpuz));
    attr("display_information", "%d", int(o.display_information));
    attr("display_latest_news", "%d", int(o.display_latest_news));
    if (o.submit_score_user_email[0]) {
        const std::string email(o.submit_score_user_email,
                                strnlen(o.submit_score_user_email, sizeof o.submit_score_user_email));
        attr("submit_score_user_email", "%s", escapeXml(email.c_str()).c_str());
    }
    put("\n\t/>");
    put("\n</plashwerk>");
    return doc;
}

bool writeOptionsFile(const StartupOptions& options, const char* path) {
    if (!path || !*path) return false;
    const std::string doc = formatOptionsFile(options);
    std::FILE* file = std::fopen(path, "w");
    if (!file) return false;
    const bool written = std::fwrite(doc.data(), 1, doc.size(), file) == doc.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

}  // namespace plashwerk
