#include "settings/options_file.h"

#include <irrXML.h>
#include <string.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/engine/vn_trace_mgr.h"
#include "platform/file/regular_file.h"
#include "settings/settings_fields.h"

namespace plashwerk {
namespace {

using S = StartupOptions;

// An options file is about 1.5 KB; anything past this is not one and is not loaded.
constexpr size_t kMaxOptionsFileBytes = 1 << 20;

// Keyword comparison over at most the first 32 characters of the value.
bool startsWith(const char* text, const char* keyword) {
    return std::strncmp(text, keyword, std::min<size_t>(32, std::strlen(keyword))) == 0;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number at the start of `text`, in the form the XML reader takes one: a sign, digits, a
// point and digits, an exponent; whatever follows is ignored, and no number at all reads as
// 0. The reader's own conversion sums the digits in single precision, so a large value read
// back from this file's own "%f" could come out one step off, and move again at each save:
// here the same characters are converted with correct rounding. Too large reads as infinity.
float readReal(const char* text) {
    std::string number;
    const char* p = text;
    if (*p == '-' || *p == '+') number += *p++;
    while (isDigit(*p)) number += *p++;
    if (*p == '.') {
        number += *p++;
        while (isDigit(*p)) number += *p++;
    }
    if (*p == 'e' || *p == 'E') {
        const char* e = p + 1;
        if (*e == '-' || *e == '+') ++e;
        if (isDigit(*e)) {
            number.append(p, e);
            while (isDigit(*e)) number += *e++;
        }
    }
    // The program never changes its locale, so the point is the decimal point here, as for
    // the command line's reals.
    char* end = nullptr;
    const float value = std::strtof(number.c_str(), &end);
    return end == number.c_str() ? 0.0f : value;
}

void readAttribute(S& o, irr::io::IrrXMLReader& xml, const SettingField& field) {
    const char* name = field.name;
    const char* text = xml.getAttributeValue(name);
    if (!text) return;
    const FieldRef& r = field.ref;
    switch (field.file) {
        case FileForm::None:
            break;
        case FileForm::Int:
            o.*r.int_field = xml.getAttributeValueAsInt(name);
            break;
        case FileForm::Bool:
            o.*r.bool_field = xml.getAttributeValueAsInt(name) == 1;
            break;
        case FileForm::Real: {
            // A number too large for a float reads as infinity: no setting has a meaning for
            // it (nor for NaN), so the setting keeps its value, as on the command line.
            const float value = readReal(text);
            if (std::isfinite(value)) o.*r.float_field = value;
            break;
        }
        case FileForm::WholeReal:
            o.*r.float_field = static_cast<float>(xml.getAttributeValueAsInt(name));
            break;
        case FileForm::RunMode:
            o.*r.int_field = startsWith(text, "BENCHMARK") ? int(RunMode::Benchmark)
                                                           : int(RunMode::StabilityTest);
            break;
        case FileForm::ParticleType:
            o.*r.int_field = startsWith(text, "SMILEY") ? 2 : startsWith(text, "LAVA") ? 1 : 0;
            break;
        case FileForm::Text:
            std::snprintf(o.*r.text_field, sizeof(o.*r.text_field), "%s", text);
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

// Attribute values may hold any text (the e-mail is typed by the user). Inside a
// double-quoted value the reader only needs the quote and the ampersand written as
// entities. (irrXML drops the last character of a value when exactly one character follows
// its last entity; an address ending in "&x" or "\"x" cannot survive that, and no valid
// address does.)
std::string escapeXml(const char* text) {
    std::string out;
    for (const char* c = text; *c; ++c) {
        switch (*c) {
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += *c;
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
        for (const SettingField* field : settingFieldsInReadOrder())
            readAttribute(options, *xml, *field);
    }
    delete xml;
}

bool readOptionsFile(StartupOptions& options, const char* path) {
    if (!path || !*path) return false;
    std::vector<uint8_t> text;
    errno = 0;
    if (readRegularFile(path, kMaxOptionsFileBytes, text)) {
        readOptionsText(options, reinterpret_cast<const char*>(text.data()), text.size());
    } else if (errno == EFBIG) {
        // A missing file is the normal first start and stays silent; a file this large is
        // something else under the name, and the user's settings are not what they expect.
        char message[512];
        std::snprintf(message, sizeof message,
                      "The options file %s is larger than %zu bytes and is ignored; the "
                      "settings come from the defaults and the command line",
                      path, kMaxOptionsFileBytes);
        Vantorr_nsp::logTrace(Vantorr_nsp::VN_TRACE_WARNING, "%s", message);
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message);
    }
    return true;
}

namespace {

// The attribute's value as the file stores it; empty for a text that is not written.
std::string attributeValue(const StartupOptions& o, const SettingField& field) {
    const FieldRef& r = field.ref;
    switch (field.file) {
        case FileForm::None:
            break;
        case FileForm::Int:
            return formatValue("%d", o.*r.int_field);
        case FileForm::Bool:
            return formatValue("%d", o.*r.bool_field ? 1 : 0);
        case FileForm::Real:
        case FileForm::WholeReal:
            return formatValue(field.write_format, static_cast<double>(o.*r.float_field));
        case FileForm::RunMode:
            return o.*r.int_field == int(RunMode::Benchmark) ? "BENCHMARK" : "STABILITY_TEST";
        case FileForm::ParticleType: {
            const int type = o.*r.int_field;
            return type == 2 ? "SMILEY" : type == 1 ? "LAVA" : "POINT";
        }
        case FileForm::Text: {
            const char* text = o.*r.text_field;
            return escapeXml(std::string(text, strnlen(text, sizeof(o.*r.text_field))).c_str());
        }
    }
    return {};
}

}  // namespace

std::string formatOptionsFile(const StartupOptions& o) {
    std::string doc;
    appendPiece(doc, "<?xml version=\"1.0\"?>");
    appendPiece(doc, "\n<plashwerk>");
    appendPiece(doc,
                "\n\t<!--\n\trun_mode: \"BENCHMARK\" or \"STABILITY_TEST\".\n\tmax_time: in "
                "milliseconds.\n\tmax_frames: -1 means not used.\n\t-->");
    appendPiece(doc, "\n\t<startup_options");
    // Each attribute is one piece: line break, two tabs, name="value". An empty text is
    // left out rather than written as an empty value.
    for (const SettingField* field : settingFieldsInWriteOrder()) {
        const std::string value = attributeValue(o, *field);
        if (field->file == FileForm::Text && value.empty()) continue;
        appendPiece(doc, "\n\t\t%s=\"%s\"", field->name, value.c_str());
    }
    appendPiece(doc, "\n\t/>");
    appendPiece(doc, "\n</plashwerk>");
    return doc;
}

bool writeOptionsFile(const StartupOptions& options, const char* path) {
    if (!path || !*path) return false;
    const std::string doc = formatOptionsFile(options);
    std::FILE* file = openRegularStream(path, "w");
    if (!file) return false;
    const bool written = std::fwrite(doc.data(), 1, doc.size(), file) == doc.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

}  // namespace plashwerk
