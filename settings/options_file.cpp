#include "settings/options_file.h"

#include <irrXML.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdarg>
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

// Attribute values may hold any text (the e-mail is typed by the user). Inside a
// double-quoted value the reader only needs the quote and the ampersand written as
// entities. (irrXML drops the last character of a value when exactly one character follows
// its last entity; an address ending in "&x" or "\"x" cannot survive that, and no valid
// address does.)
std::string escapeXml(const char* text) {
    std::string out;
    for (const char* c = text; *c; ++c) {
        switch (*c) {
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            default: out += *c;
        }
    }
    return out;
}

// The length of the part of the text that irrXML can walk safely.
//
// irrXML's pull parser stops at the first NUL in some loops but not in others: a document
// that ends inside a tag name, an attribute name without "=", a closing tag, a "<?...>"
// definition or a "<!...>" comment makes it read past its buffer. This walks the text the
// way the parser will and returns where the first construct begins that it could not walk
// to its end; the text is cut there, so a damaged document reads as far as it is sound.
size_t soundPrefixLength(const char* text, size_t size) {
    size = strnlen(text, size);
    const char* const end = text + size;  // the first NUL the parser will see
    auto isWhiteSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    // Advances p while pred holds; false when that would reach the end.
    auto walk = [end](const char*& p, auto pred) {
        while (p < end && pred(*p)) ++p;
        return p < end;
    };

    const char* p = text;
    for (;;) {
        walk(p, [](char c) { return c != '<'; });
        if (p >= end) return size;
        const char* const construct = p;
        ++p;
        bool sound = true;
        if (p < end && (*p == '/' || *p == '?')) {
            sound = walk(p, [](char c) { return c != '>'; });
            ++p;
        } else if (p < end && *p == '!' && p + 1 < end && p[1] == '[') {
            // CDATA: the parser skips eight characters, then looks for a '>' preceded by
            // "]]"; a "]]>" that overlaps the skipped part would give a negative length.
            if (end - p <= 8) return size;
            const char* const body = p + 8;
            for (p = body; p < end && !(*p == '>' && p[-1] == ']' && p[-2] == ']'); ++p) {
            }
            sound = p == end || p - 2 >= body;
            ++p;
        } else if (p < end && *p == '!') {
            // A comment nests '<' and '>' until they balance.
            ++p;
            const char* const body = p;
            int depth = 1;
            for (; depth > 0 && p < end; ++p) depth += *p == '<' ? 1 : *p == '>' ? -1 : 0;
            sound = depth == 0 && p - 3 >= body + 2;
        } else {
            sound = walk(p, [&](char c) { return c != '>' && !isWhiteSpace(c); });
            while (sound && *p != '>') {
                if (isWhiteSpace(*p)) {
                    ++p;
                } else if (*p == '/') {
                    ++p;
                    break;
                } else {
                    sound = walk(p, [&](char c) { return !isWhiteSpace(c) && c != '='; });
                    if (!sound) break;
                    ++p;
                    if (!walk(p, [](char c) { return c != '"' && c != '\''; })) return size;
                    const char quote = *p++;
                    if (!walk(p, [quote](char c) { return c != quote; })) return size;
                    ++p;
                }
                sound = sound && p < end;
            }
            ++p;
        }
        if (!sound) return static_cast<size_t>(construct - text);
        if (p >= end) return size;
    }
}

bool startsWithWideByteOrderMark(const char* text, size_t size) {
    const auto* b = reinterpret_cast<const unsigned char*>(text);
    return size >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF));
}

// Formats one piece of the document into a 4096-byte buffer and appends it.
__attribute__((format(printf, 2, 3))) void appendPiece(std::string& doc, const char* format, ...) {
    char piece[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    doc += piece;
}

template <typename T>
std::string formatValue(const char* format, T value) {
    char text[512];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    std::snprintf(text, sizeof text, format, value);
#pragma GCC diagnostic pop
    return text;
}

}  // namespace

void readOptionsText(StartupOptions& options, const char* text, size_t size) {
    if (!text || startsWithWideByteOrderMark(text, size)) return;
    size = soundPrefixLength(text, size);
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
    // Each attribute is one piece: line break, two tabs, name="value".
    auto attr = [&doc](const char* name, const std::string& value) {
        appendPiece(doc, "\n\t\t%s=\"%s\"", name, value.c_str());
    };
    auto num = [](int value) { return formatValue("%d", value); };
    auto real = [](const char* format, float value) {
        return formatValue(format, static_cast<double>(value));
    };

    appendPiece(doc, "<?xml version=\"1.0\"?>");
    appendPiece(doc, "\n<plashwerk>");
    appendPiece(doc,
                "\n\t<!--\n\trun_mode: \"BENCHMARK\" or \"STABILITY_TEST\".\n\tmax_time: in "
                "milliseconds.\n\tmax_frames: -1 means not used.\n\t-->");
    appendPiece(doc, "\n\t<startup_options");
    attr("display_menu_bar", num(o.display_menu_bar));
    attr("display_version", num(o.display_version));
    attr("width", num(o.width));
    attr("height", num(o.height));
    attr("msaa", num(o.msaa));
    attr("fullscreen", num(o.fullscreen));
    attr("run_mode", o.run_mode == kRunModeBenchmark ? "BENCHMARK" : "STABILITY_TEST");
    attr("time_based_benchmark", num(o.time_based_benchmark));
    attr("max_time", num(o.max_time));
    attr("max_frames", num(o.max_frames));
    attr("xtreme_burning", num(o.xtreme_burning));
    attr("log_temperature", num(o.log_temperature));
    attr("log_score", num(o.log_score));
    attr("add_post_fx", num(o.add_post_fx));
    attr("increase_graphx_workload", num(o.increase_graphx_workload));
    attr("multicore_cpu_physx", num(o.multicore_cpu_physx));
    attr("multithreaded_physx", num(o.multithreaded_physx));
    attr("thread_affinity", num(o.thread_affinity));
    attr("num_fluid_emitters", num(o.num_fluid_emitters));
    attr("physx_mutex", num(o.physx_mutex));
    attr("threads_sync", num(o.threads_sync));
    attr("unlock_cpu_cores_number", num(o.unlock_cpu_cores_number));
    attr("physx_cpu", num(o.physx_cpu));
    attr("use_particle_count", num(o.use_particle_count));
    attr("num_total_particles", num(o.num_total_particles));
    attr("z2o_physx_gpu_mem", num(o.z2o_physx_gpu_mem));
    attr("light_pos_x", real("%f", o.light_pos_x));
    attr("light_pos_y", real("%f", o.light_pos_y));
    attr("light_pos_z", real("%f", o.light_pos_z));
    attr("physx_fluid_velocity", real("%.2f", o.physx_fluid_velocity));
    attr("physx_fluid_emitter_size", real("%.3f", o.physx_fluid_emitter_size));
    attr("particles_rate_xtreme", num(o.particles_rate_xtreme));
    attr("particles_rate", num(o.particles_rate));
    attr("particles_lifetime", real("%.2f", o.particles_lifetime));
    attr("particle_type", o.particle_type == 2 ? "SMILEY" : o.particle_type == 1 ? "LAVA" : "POINT");
    attr("gpu_temp_spike_filter_threshold", real("%.3f", o.gpu_temp_spike_filter_threshold));
    attr("enable_gpu_temp_spike_filter", num(o.enable_gpu_temp_spike_filter));
    attr("use_gpuz", num(o.use_gpuz));
    attr("display_information", num(o.display_information));
    attr("display_latest_news", num(o.display_latest_news));
    if (o.submit_score_user_email[0]) {
        const std::string email(o.submit_score_user_email,
                                strnlen(o.submit_score_user_email, sizeof o.submit_score_user_email));
        attr("submit_score_user_email", escapeXml(email.c_str()));
    }
    appendPiece(doc, "\n\t/>");
    appendPiece(doc, "\n</plashwerk>");
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
