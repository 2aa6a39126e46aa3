#include "platform/adl/amdgpu_sysfs.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/display_devices/display_devices.h"
#include "platform/sysfs/sysfs.h"

namespace plashwerk::amdgpu {
namespace {

// Plausible ranges of what a GPU reports; anything outside is a damaged file or a
// driver's "no reading" marker (amdgpu reports 511 °C for a sensor it cannot read).
constexpr long long kMinMillidegrees = -100000, kMaxMillidegrees = 250000;
constexpr long long kMaxRpm = 100000;
constexpr long long kMaxMillivolts = 10000;
constexpr long long kMaxMicrowatts = 10000000000LL;  // 10 kW
constexpr long long kMaxHz = 100000000000LL;         // 100 GHz
constexpr int kMaxMhz = 100000;

bool readNumber(const std::string& path, long long min, long long max, long long& value) {
    std::string text;
    long long v = 0;
    if (!readTextFile(path, text, 64) || !parseInteger(text, v) || v < min || v > max) return false;
    value = v;
    return true;
}

bool readInt(const std::string& path, long long min, long long max, int& value) {
    long long v = 0;
    if (!readNumber(path, min, max, v)) return false;
    value = static_cast<int>(v);
    return true;
}

// "0000:03:00.0": domain, bus, slot and function in hex.
bool parseAddress(const std::string& address, int& bus, int& slot, int& function) {
    unsigned domain = 0, b = 0, s = 0, f = 0;
    char tail = 0;
    if (std::sscanf(address.c_str(), "%x:%x:%x.%x%c", &domain, &b, &s, &f, &tail) != 4)
        return false;
    if (b > 0xFF || s > 0x1F || f > 7) return false;
    bus = static_cast<int>(b);
    slot = static_cast<int>(s);
    function = static_cast<int>(f);
    return true;
}

std::string boundDriver(const std::string& dir) {
    char target[512];
    const ssize_t n = readlink((dir + "driver").c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    target[n] = '\0';
    const char* slash = std::strrchr(target, '/');
    return slash ? slash + 1 : target;
}

// A clock such as "1800Mhz" or "1800MHz"; the unit may be missing.
bool parseMhz(const char*& p, int& mhz) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    long long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        v = v * 10 + (*p++ - '0');
        if (v > kMaxMhz) return false;
    }
    if (strncasecmp(p, "mhz", 3) == 0) p += 3;
    mhz = static_cast<int>(v);
    return true;
}

bool parseMillivolts(const char*& p, int& mv) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    long long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        v = v * 10 + (*p++ - '0');
        if (v > kMaxMillivolts) return false;
    }
    if (strncasecmp(p, "mv", 2) != 0) return false;
    p += 2;
    mv = static_cast<int>(v);
    return true;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

const char* temperatureLabel(Temperature sensor) {
    switch (sensor) {
        case Temperature::Edge:
            return "edge";
        case Temperature::Junction:
            return "junction";
        default:
            return "mem";
    }
}

// The hwmon temperature channel of a sensor: the one carrying its label, or on a driver
// that labels nothing, channel 1, 2 or 3.
int temperatureChannel(const std::string& hwmon, Temperature sensor) {
    bool any_label = false;
    for (int k = 1; k <= 8; ++k) {
        std::string label;
        if (!readTextFile(hwmon + "temp" + std::to_string(k) + "_label", label, 64)) continue;
        any_label = true;
        if (label == temperatureLabel(sensor)) return k;
    }
    if (any_label) return 0;
    return sensor == Temperature::Edge ? 1 : sensor == Temperature::Junction ? 2 : 3;
}

}  // namespace

bool parseInteger(const std::string& text, long long& value) {
    const char* p = text.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    const char* start = p;
    if (*p == '-' || *p == '+') ++p;
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(start, &end, 10);
    if (errno != 0) return false;
    for (const char* q = end; *q; ++q)
        if (!std::isspace(static_cast<unsigned char>(*q))) return false;
    value = v;
    return true;
}

std::string Card::idText() const {
    char text[64];
    std::snprintf(text, sizeof text, "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X",
                  vendor & 0xFFFF, device & 0xFFFF, subsys_device & 0xFFFF, subsys_vendor & 0xFFFF,
                  revision & 0xFF);
    return text;
}

bool scanCards(std::vector<Card>& cards) {
    cards.clear();
    const std::string devices = sysfsPath("bus/pci/devices");
    if (access(devices.c_str(), R_OK | X_OK) != 0) return false;
    for (const std::string& address : listDirectory(devices)) {
        Card c;
        c.address = address;
        c.dir = devices + "/" + address + "/";
        uint32_t pci_class = 0;
        if (!readUnsignedFile(c.dir + "class", pci_class) || (pci_class >> 16) != 0x03) continue;
        if (!readUnsignedFile(c.dir + "vendor", c.vendor) || c.vendor != kPciVendorAmd ||
            !readUnsignedFile(c.dir + "device", c.device) ||
            !parseAddress(address, c.bus, c.slot, c.function))
            continue;
        readUnsignedFile(c.dir + "subsystem_vendor", c.subsys_vendor);
        readUnsignedFile(c.dir + "subsystem_device", c.subsys_device);
        readUnsignedFile(c.dir + "revision", c.revision);
        uint32_t boot_vga = 0;
        c.boot_vga = readUnsignedFile(c.dir + "boot_vga", boot_vga) && boot_vga == 1;
        c.driver = boundDriver(c.dir);
        for (const std::string& name : listDirectory(c.dir + "drm")) {
            if (name.rfind("card", 0) == 0) {
                c.card_node = "/dev/dri/" + name;
                break;
            }
        }
        std::string name = readCardText(c, "product_name");
        if (name.empty() && !pciDatabaseName(static_cast<uint16_t>(c.vendor),
                                             static_cast<uint16_t>(c.device), name))
            name.clear();
        c.name = name.empty() ? "AMD Radeon Graphics" : name;
        cards.push_back(std::move(c));
    }
    return true;
}

bool driverPresent() {
    return access(sysfsPath("module/amdgpu").c_str(), F_OK) == 0;
}

bool readDpmTable(const Card& card, const char* file, DpmTable& table) {
    table = DpmTable{};
    std::string text;
    return readTextFile(card.dir + file, text, 4096) && parseDpmTable(text, table);
}

bool parseDpmTable(const std::string& text, DpmTable& table) {
    table = DpmTable{};
    for (const std::string& line : lines(text)) {
        const char* p = line.c_str();
        while (*p == ' ') ++p;
        bool numbered = false;
        if (std::isdigit(static_cast<unsigned char>(*p))) {
            numbered = true;
            while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        } else if (*p == 'S' || *p == 's') {
            ++p;  // the deep-sleep line of newer cards: a clock, not a level
        } else {
            continue;
        }
        if (*p++ != ':') continue;
        int mhz = 0;
        if (!parseMhz(p, mhz)) continue;
        const bool current = std::strchr(p, '*') != nullptr;
        if (current) table.current_mhz = mhz;
        if (!numbered) continue;
        if (table.levels.size() == kMaxDpmLevels) break;
        if (current) table.current_level = static_cast<int>(table.levels.size());
        table.levels.push_back({mhz, current});
    }
    return !table.levels.empty();
}

bool readOdTable(const Card& card, OdTable& table) {
    table = OdTable{};
    std::string text;
    return readTextFile(card.dir + "pp_od_clk_voltage", text, 8192) && parseOdTable(text, table);
}

bool parseOdTable(const std::string& text, OdTable& table) {
    table = OdTable{};
    enum { None, Sclk, Mclk, Range } section = None;
    bool any = false;
    for (const std::string& line : lines(text)) {
        if (line.rfind("OD_SCLK:", 0) == 0) {
            section = Sclk;
            continue;
        }
        if (line.rfind("OD_MCLK:", 0) == 0) {
            section = Mclk;
            continue;
        }
        if (line.rfind("OD_RANGE:", 0) == 0) {
            section = Range;
            continue;
        }
        if (line.rfind("OD_", 0) == 0) {
            section = None;
            continue;
        }
        const char* p = line.c_str();
        while (*p == ' ') ++p;
        if (section == Sclk || section == Mclk) {
            char* end = nullptr;
            const long index = std::strtol(p, &end, 10);
            if (end == p || *end != ':' || index < 0 || index >= static_cast<long>(kMaxDpmLevels))
                continue;
            p = end + 1;
            int mhz = 0, mv = 0;
            if (!parseMhz(p, mhz) || !parseMillivolts(p, mv)) continue;
            std::vector<int>& out = section == Sclk ? table.sclk_mv : table.mclk_mv;
            if (out.size() <= static_cast<size_t>(index))
                out.resize(static_cast<size_t>(index) + 1);
            out[static_cast<size_t>(index)] = mv;
            any = true;
        } else if (section == Range) {
            int a = 0, b = 0;
            if (std::strncmp(p, "SCLK:", 5) == 0 || std::strncmp(p, "MCLK:", 5) == 0) {
                const bool sclk = p[0] == 'S';
                p += 5;
                if (!parseMhz(p, a) || !parseMhz(p, b)) continue;
                (sclk ? table.sclk_min : table.mclk_min) = a;
                (sclk ? table.sclk_max : table.mclk_max) = b;
                any = true;
            } else if (std::strncmp(p, "VDDC:", 5) == 0) {
                p += 5;
                if (!parseMillivolts(p, a) || !parseMillivolts(p, b)) continue;
                table.vddc_min = a;
                table.vddc_max = b;
                any = true;
            }
        }
    }
    return any;
}

std::string hwmonDir(const Card& card) {
    const std::string base = card.dir + "hwmon/";
    std::string first;
    for (const std::string& name : listDirectory(base)) {
        if (name.rfind("hwmon", 0) != 0) continue;
        const std::string dir = base + name + "/";
        std::string driver;
        if (readTextFile(dir + "name", driver, 64) && driver == "amdgpu") return dir;
        if (first.empty()) first = dir;
    }
    return first;
}

bool hasTemperatureSensor(const std::string& hwmon) {
    if (hwmon.empty()) return false;
    for (int k = 1; k <= 3; ++k)
        if (access((hwmon + "temp" + std::to_string(k) + "_input").c_str(), F_OK) == 0) return true;
    return false;
}

bool readTemperature(const std::string& hwmon, Temperature sensor, int& millidegrees) {
    if (hwmon.empty()) return false;
    const int channel = temperatureChannel(hwmon, sensor);
    return channel > 0 && readInt(hwmon + "temp" + std::to_string(channel) + "_input",
                                  kMinMillidegrees, kMaxMillidegrees, millidegrees);
}

bool readCriticalTemperature(const std::string& hwmon, Temperature sensor, int& millidegrees) {
    if (hwmon.empty()) return false;
    const int channel = temperatureChannel(hwmon, sensor);
    return channel > 0 && readInt(hwmon + "temp" + std::to_string(channel) + "_crit",
                                  kMinMillidegrees, kMaxMillidegrees, millidegrees);
}

bool readFanRpm(const std::string& hwmon, int& rpm) {
    return !hwmon.empty() && readInt(hwmon + "fan1_input", 0, kMaxRpm, rpm);
}

bool readFanRpmRange(const std::string& hwmon, int& min_rpm, int& max_rpm) {
    return !hwmon.empty() && readInt(hwmon + "fan1_min", 0, kMaxRpm, min_rpm) &&
           readInt(hwmon + "fan1_max", 0, kMaxRpm, max_rpm);
}

bool readFanTargetRpm(const std::string& hwmon, int& rpm) {
    return !hwmon.empty() && (readInt(hwmon + "fan1_target", 0, kMaxRpm, rpm) ||
                              readInt(hwmon + "fan1_max", 0, kMaxRpm, rpm));
}

bool readFanPercent(const std::string& hwmon, int& percent) {
    if (hwmon.empty()) return false;
    int pwm = 0, pwm_max = 255;
    if (!readInt(hwmon + "pwm1", 0, 65535, pwm)) return false;
    readInt(hwmon + "pwm1_max", 1, 65535, pwm_max);
    if (pwm > pwm_max) return false;
    percent = (pwm * 100 + pwm_max / 2) / pwm_max;
    return true;
}

bool readGfxMillivolts(const std::string& hwmon, int& mv) {
    return !hwmon.empty() && readInt(hwmon + "in0_input", 0, kMaxMillivolts, mv);
}

bool readPowerWatts(const std::string& hwmon, int& watts) {
    if (hwmon.empty()) return false;
    long long microwatts = 0;
    if (!readNumber(hwmon + "power1_average", 0, kMaxMicrowatts, microwatts) &&
        !readNumber(hwmon + "power1_input", 0, kMaxMicrowatts, microwatts))
        return false;
    watts = static_cast<int>((microwatts + 500000) / 1000000);
    return true;
}

bool readPowerCap(const std::string& hwmon, int& cap_watts, int& default_watts) {
    if (hwmon.empty()) return false;
    long long cap = 0, def = 0;
    if (!readNumber(hwmon + "power1_cap", 1, kMaxMicrowatts, cap)) return false;
    if (!readNumber(hwmon + "power1_cap_default", 1, kMaxMicrowatts, def)) def = cap;
    cap_watts = static_cast<int>(cap / 1000000);
    default_watts = static_cast<int>(def / 1000000);
    return cap_watts > 0 && default_watts > 0;
}

bool readHwmonClock(const std::string& hwmon, bool memory, int& mhz) {
    if (hwmon.empty()) return false;
    for (int k = 1; k <= 2; ++k) {
        std::string label;
        const std::string base = hwmon + "freq" + std::to_string(k);
        if (!readTextFile(base + "_label", label, 64) || label != (memory ? "mclk" : "sclk"))
            continue;
        long long hz = 0;
        if (!readNumber(base + "_input", 0, kMaxHz, hz)) return false;
        mhz = static_cast<int>(hz / 1000000);
        return true;
    }
    return false;
}

bool readCurrentClock(const Card& card, const std::string& hwmon, bool memory, int& mhz) {
    if (readHwmonClock(hwmon, memory, mhz)) return true;
    DpmTable table;
    if (!readDpmTable(card, memory ? "pp_dpm_mclk" : "pp_dpm_sclk", table) || table.current_mhz < 0)
        return false;
    mhz = table.current_mhz;
    return true;
}

bool readBusyPercent(const Card& card, bool memory, int& percent) {
    return readInt(card.dir + (memory ? "mem_busy_percent" : "gpu_busy_percent"), 0, 100, percent);
}

bool readVramBytes(const Card& card, uint64_t& bytes) {
    long long v = 0;
    if (!readNumber(card.dir + "mem_info_vram_total", 1, LLONG_MAX, v)) return false;
    bytes = static_cast<uint64_t>(v);
    return true;
}

bool readLink(const Card& card, int& speed_gts, int& lanes, int& max_lanes) {
    std::string speed;
    if (!readInt(card.dir + "current_link_width", 0, 64, lanes)) return false;
    if (!readInt(card.dir + "max_link_width", 0, 64, max_lanes)) max_lanes = lanes;
    // "16.0 GT/s PCIe": whole transfers per second.
    speed_gts = 0;
    if (readTextFile(card.dir + "current_link_speed", speed, 64))
        speed_gts = std::clamp(std::atoi(speed.c_str()), 0, 1000);
    return true;
}

std::string readCardText(const Card& card, const char* file) {
    std::string text;
    if (!readTextFile(card.dir + file, text, 256)) return {};
    // Only printable single-line text reaches the fixed ADL buffers.
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return text;
}

}  // namespace plashwerk::amdgpu
