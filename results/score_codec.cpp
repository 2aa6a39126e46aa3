#include "results/score_codec.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <vector>

namespace plashwerk {

namespace {

bool isCleanChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '@' ||
           c == '#' || c == '/' || c == ' ' || c == '.' || c == '-';
}

bool isUpperHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The hardware address is made by us from bytes, but it is a text field of the record: keep
// only what its "XX-XX-..." form can hold, so it can never add a field separator.
std::string cleanMacAddress(std::string_view mac) {
    std::string out;
    for (char c : mac) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
        if (isUpperHexDigit(c) || c == '-') out.push_back(c);
    }
    return out;
}

void appendInt(std::string& out, int value) {
    char buffer[16];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec;  // an int always fits in 16 characters
    out.append(buffer, end);
}

// --- Reading the fields back ---

struct Range {
    long long min;
    long long max;
};

constexpr Range kAnyCount{0, INT_MAX};
constexpr Range kFlag{0, 1};
constexpr Range kPciId{0, 0xFFFF};
constexpr Range kPixels{0, 32768};
constexpr Range kMegahertz{0, 1000000};
// Whole degrees Celsius; a sensor that failed may report far below zero, nothing reads
// above a few hundred.
constexpr Range kCelsius{-300, 1000};

bool parseInt(std::string_view text, Range range, int& value) {
    if (text.empty() || text.size() > 11) return false;
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    if (v < range.min || v > range.max) return false;
    value = static_cast<int>(v);
    return true;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

// Numbers joined by "_", exactly as many as `ranges` lists.
bool parseJoined(std::string_view text, const Range* ranges, std::size_t count, int* values) {
    const std::vector<std::string_view> parts = split(text, '_');
    if (parts.size() != count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!parseInt(parts[i], ranges[i], values[i])) return false;
    }
    return true;
}

bool isCleanText(std::string_view text) {
    if (text.empty() || text.size() > kScoreTextMax) return false;
    for (char c : text) {
        if (!isCleanChar(c)) return false;
    }
    return true;
}

// Empty (an adapter without an address) or two hex digits per byte joined by "-"; adapters
// have at most 20 address bytes.
bool isMacAddress(std::string_view text) {
    if (text.empty()) return true;
    if (text.size() % 3 != 2 || text.size() > 59) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool dash = i % 3 == 2;
        if (dash ? text[i] != '-' : !isUpperHexDigit(text[i])) return false;
    }
    return true;
}

enum class FieldKind { Number, Text, Mac, Temperatures, Clocks, RunDetails };

struct FieldSpec {
    const char* name;
    FieldKind kind;
    Range range;  // for Number
};

// The record's fields in payload order; the GPU slots are expanded below.
constexpr FieldSpec kHeadFields[] = {
    {"global score", FieldKind::Number, kAnyCount},
    {"time limit", FieldKind::Number, kAnyCount},
    {"time-based flag", FieldKind::Number, kFlag},
    {"width", FieldKind::Number, kPixels},
    {"height", FieldKind::Number, kPixels},
    {"multisample count", FieldKind::Number, {0, 64}},
    {"full-screen flag", FieldKind::Number, kFlag},
    {"GPU vendor id", FieldKind::Number, kPciId},
    {"GPU device id", FieldKind::Number, kPciId},
    {"CPU speed", FieldKind::Number, kMegahertz},
    {"GPU count", FieldKind::Number, {0, 64}},
    {"nickname", FieldKind::Text, {}},
    {"CPU name", FieldKind::Text, {}},
    {"OS name", FieldKind::Text, {}},
    {"renderer", FieldKind::Text, {}},
    {"driver", FieldKind::Text, {}},
    {"hardware address", FieldKind::Mac, {}},
    {"physics version", FieldKind::Number, kAnyCount},
    {"physics device", FieldKind::Number, {1, 2}},
    {"temperatures", FieldKind::Temperatures, {}},
    {"clocks", FieldKind::Clocks, {}},
    {"run details", FieldKind::RunDetails, {}},
};
constexpr std::size_t kHeadCount = sizeof kHeadFields / sizeof kHeadFields[0];
constexpr std::size_t kGpuFirstField = kHeadCount;  // 0-based index of GPU 1's vendor id

static_assert(kHeadCount + 3 * kScoreGpuSlots + 2 == kScoreFieldCount);

// Reads one field of kHeadFields into the record. Returns false when it is not valid.
bool readHeadField(std::size_t index, std::string_view text, ScoreRecord& r) {
    int* const numbers[] = {&r.global_score,  &r.max_time_ms, &r.time_based, &r.width,
                            &r.height,        &r.msaa,        &r.fullscreen, &r.gpu_vendor_id,
                            &r.gpu_device_id, &r.cpu_mhz,     &r.gpu_count};
    std::string* const texts[] = {&r.nickname, &r.cpu_name, &r.os_name, &r.renderer, &r.driver};
    const FieldSpec& spec = kHeadFields[index];
    switch (spec.kind) {
        case FieldKind::Number:
            if (index < 11) return parseInt(text, spec.range, *numbers[index]);
            if (index == 17) return parseInt(text, spec.range, r.physx_system_version);
            return parseInt(text, spec.range, r.physx_device);
        case FieldKind::Text:
            if (!isCleanText(text)) return false;
            texts[index - 11]->assign(text);
            return true;
        case FieldKind::Mac:
            if (!isMacAddress(text)) return false;
            r.mac_address.assign(text);
            return true;
        case FieldKind::Temperatures: {
            const Range ranges[] = {kCelsius, kCelsius};
            int values[2];
            if (!parseJoined(text, ranges, 2, values)) return false;
            r.start_temperature = values[0];
            r.end_temperature = values[1];
            return true;
        }
        case FieldKind::Clocks: {
            const Range ranges[] = {kMegahertz, kMegahertz, {0, 0}};
            int values[3];
            if (!parseJoined(text, ranges, 3, values)) return false;
            r.core_clock_max = values[0];
            r.memory_clock_max = values[1];
            return true;
        }
        case FieldKind::RunDetails: {
            Range ranges[kScoreRunDetails];
            for (Range& range : ranges) range = kAnyCount;
            return parseJoined(text, ranges, kScoreRunDetails, r.run_details.data());
        }
    }
    return false;
}

bool readGpuMaxima(std::string_view text, ScoreGpuSlot& slot) {
    if (text == "0_0_0") {
        slot.present = false;
        slot.core_clock_mhz = slot.memory_clock_mhz = slot.vddc_mv = 0;
        slot.celsius = slot.load_percent = slot.power = 0;
        return true;
    }
    // Clocks, core voltage in millivolts, temperature, load in percent, power.
    const Range ranges[] = {kMegahertz, kMegahertz, {0, 100000}, kCelsius, {0, 1000}, kMegahertz};
    int values[6];
    if (!parseJoined(text, ranges, 6, values)) return false;
    slot.present = true;
    slot.core_clock_mhz = values[0];
    slot.memory_clock_mhz = values[1];
    slot.vddc_mv = values[2];
    slot.celsius = values[3];
    slot.load_percent = values[4];
    slot.power = values[5];
    return true;
}

ScoreDecodeResult refuse(std::string reason) {
    ScoreDecodeResult result;
    result.error = std::move(reason);
    return result;
}

}  // namespace

std::string cleanScoreText(std::string_view source) {
    std::string out;
    for (char c : source.substr(0, kScoreTextMax)) {
        if (isCleanChar(c)) out.push_back(c);
    }
    if (out.empty()) out = "NULL";
    return out;
}

std::string buildScorePayload(const ScoreRecord& r) {
    std::string out;
    out.reserve(512);
    auto number = [&out](int value) {
        appendInt(out, value);
        out.push_back('|');
    };
    auto text = [&out](const std::string& value) {
        out += value;
        out.push_back('|');
    };
    number(r.global_score);
    number(r.max_time_ms);
    number(r.time_based);
    number(r.width);
    number(r.height);
    number(r.msaa);
    number(r.fullscreen);
    number(r.gpu_vendor_id);
    number(r.gpu_device_id);
    number(r.cpu_mhz);
    number(r.gpu_count);
    text(cleanScoreText(r.nickname.empty() ? std::string_view("Anonymous") : r.nickname));
    text(cleanScoreText(r.cpu_name));
    text(cleanScoreText(r.os_name));
    text(cleanScoreText(r.renderer));
    text(cleanScoreText(r.driver));
    text(cleanMacAddress(r.mac_address));
    number(r.physx_system_version);
    number(r.physx_device);
    appendInt(out, r.start_temperature);
    out.push_back('_');
    number(r.end_temperature);
    appendInt(out, r.core_clock_max);
    out.push_back('_');
    appendInt(out, r.memory_clock_max);
    out += "_0|";
    for (int i = 0; i < kScoreRunDetails; ++i) {
        if (i > 0) out.push_back('_');
        appendInt(out, r.run_details[i]);
    }
    out.push_back('|');
    for (const ScoreGpuSlot& gpu : r.gpus) {
        number(gpu.vendor_id);
        number(gpu.device_id);
        if (!gpu.present) {
            out += "0_0_0|";
            continue;
        }
        const int maxima[] = {gpu.core_clock_mhz, gpu.memory_clock_mhz, gpu.vddc_mv,
                              gpu.celsius,        gpu.load_percent,     gpu.power};
        for (int i = 0; i < 6; ++i) {
            if (i > 0) out.push_back('_');
            appendInt(out, maxima[i]);
        }
        out.push_back('|');
    }
    text(cleanScoreText(r.account_email));
    out += cleanScoreText(r.account_password);
    if (out.size() > kScorePayloadMax) out.resize(kScorePayloadMax);
    return out;
}

ScrambledPayload scrambleScorePayload(std::string_view payload) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    ScrambledPayload out;
    out.hex.reserve(payload.size() * 2);
    for (char c : payload) {
        out.checksum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c)));
        const auto scrambled = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ kScoreScrambleKey);
        out.hex.push_back(kDigits[scrambled >> 4]);
        out.hex.push_back(kDigits[scrambled & 0x0F]);
    }
    return out;
}

bool unscrambleScoreHex(std::string_view hex, std::string& payload, uint32_t& checksum,
                        std::string& error) {
    payload.clear();
    checksum = 0;
    if (hex.empty()) {
        error = "The payload is empty.";
        return false;
    }
    if (hex.size() % 2 != 0) {
        error = "The payload has an odd number of hex digits.";
        return false;
    }
    if (hex.size() > 2 * kScorePayloadMax) {
        error = "The payload is longer than 1023 characters.";
        return false;
    }
    payload.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            error = "The payload holds a character that is not a hex digit.";
            return false;
        }
        const auto byte = static_cast<uint8_t>(((high << 4) | low) ^ kScoreScrambleKey);
        if (byte < 0x20 || byte > 0x7E) {
            error = "The payload holds a byte that is not printable text.";
            return false;
        }
        checksum += byte;
        payload.push_back(static_cast<char>(byte));
    }
    return true;
}

ScoreDecodeResult parseScorePayload(std::string_view payload) {
    const std::vector<std::string_view> fields = split(payload, '|');
    if (fields.size() != static_cast<std::size_t>(kScoreFieldCount)) {
        return refuse("The payload has " + std::to_string(fields.size()) + " fields, not 36.");
    }
    ScoreDecodeResult result;
    ScoreRecord& r = result.record;
    auto bad = [&fields](std::size_t index, const char* name) {
        return refuse("Field " + std::to_string(index + 1) + " (" + name + ") is not valid: \"" +
                      std::string(fields[index].substr(0, 40)) + "\".");
    };
    for (std::size_t i = 0; i < kHeadCount; ++i) {
        if (!readHeadField(i, fields[i], r)) return bad(i, kHeadFields[i].name);
    }
    for (int slot = 0; slot < kScoreGpuSlots; ++slot) {
        const std::size_t at = kGpuFirstField + 3 * static_cast<std::size_t>(slot);
        ScoreGpuSlot& gpu = r.gpus[static_cast<std::size_t>(slot)];
        if (!parseInt(fields[at], kPciId, gpu.vendor_id)) return bad(at, "GPU vendor id");
        if (!parseInt(fields[at + 1], kPciId, gpu.device_id)) return bad(at + 1, "GPU device id");
        if (!readGpuMaxima(fields[at + 2], gpu)) return bad(at + 2, "GPU maxima");
    }
    const std::size_t email = kScoreFieldCount - 2;
    if (!isCleanText(fields[email])) return bad(email, "e-mail");
    r.account_email.assign(fields[email]);
    if (!isCleanText(fields[email + 1])) return bad(email + 1, "password");
    r.account_password.assign(fields[email + 1]);
    result.ok = true;
    return result;
}

ScoreDecodeResult decodeScoreSubmission(std::string_view hex, std::string_view checksum_text) {
    uint64_t expected = 0;
    const char* end = checksum_text.data() + checksum_text.size();
    const auto parsed = std::from_chars(checksum_text.data(), end, expected);
    if (checksum_text.empty() || checksum_text.size() > 10 || parsed.ec != std::errc() ||
        parsed.ptr != end || expected > UINT32_MAX) {
        return refuse("The checksum is not an unsigned 32-bit decimal number.");
    }
    std::string payload;
    uint32_t checksum = 0;
    std::string error;
    if (!unscrambleScoreHex(hex, payload, checksum, error)) return refuse(error);
    if (checksum != expected) return refuse("The checksum does not match the payload.");
    return parseScorePayload(payload);
}

}  // namespace plashwerk
