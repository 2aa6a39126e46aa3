#include "platform/registry/registry.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/sysfs/sysfs.h"

namespace plashwerk {
namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The PCI address in braces of a display adapter's key; empty when the key names none.
std::string adapterAddress(const char* key) {
    const char* open = key ? std::strchr(key, '{') : nullptr;
    const char* close = open ? std::strchr(open, '}') : nullptr;
    if (!close || close == open + 1) return {};
    std::string address(open + 1, close);
    // A PCI address is hex digits, ':' and '.', nothing that could walk out of sysfs.
    for (char c : address)
        if (!(std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.')) return {};
    return address;
}

std::string boundDriver(const std::string& address) {
    char target[512];
    const std::string link = sysfsPath("bus/pci/devices/" + address + "/driver");
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) return {};
    target[n] = '\0';
    const char* slash = std::strrchr(target, '/');
    return slash ? slash + 1 : target;
}

// "NVRM version: NVIDIA UNIX x86_64 Kernel Module  550.54.15  Tue Mar  5 22:23:56 UTC 2024"
bool parseNvidiaVersionLine(const std::string& text, std::string& version, std::string& date) {
    const size_t at = text.find("Kernel Module");
    if (at == std::string::npos) return false;
    char ver[64] = "", weekday[8] = "", month[8] = "", clock[16] = "", zone[16] = "";
    int day = 0, year = 0;
    const int n = std::sscanf(text.c_str() + at, "Kernel Module %63s %7s %7s %d %15s %15s %d", ver,
                              weekday, month, &day, clock, zone, &year);
    if (n < 1) return false;
    version = ver;
    date.clear();
    if (n == 7) {
        for (int m = 0; m < 12; ++m) {
            if (std::strcmp(month, kMonths[m]) == 0 && day >= 1 && day <= 31 && year > 0) {
                date =
                    std::to_string(m + 1) + "-" + std::to_string(day) + "-" + std::to_string(year);
            }
        }
    }
    return true;
}

class LinuxRegistry final : public Registry {
  public:
    explicit LinuxRegistry(std::string proc_root) : m_proc_root(std::move(proc_root)) {}

    bool readDword(const char*, const char*, uint32_t&) override { return false; }

    bool readString(const char* key, const char* value, std::string& out) override {
        if (!value) return false;
        const std::string address = adapterAddress(key);
        if (address.empty()) return false;
        const std::string driver = boundDriver(address);
        if (driver.empty()) return false;
        std::string version, date;
        if (driver == "nvidia") {
            std::string text;
            if (!readTextFile(m_proc_root + "/driver/nvidia/version", text) ||
                !parseNvidiaVersionLine(text, version, date))
                return false;
        } else if (!readTextFile(sysfsPath("module/" + driver + "/version"), version) ||
                   version.empty()) {
            // Drivers built with the kernel carry the kernel's release as their version.
            utsname names{};
            if (uname(&names) != 0) return false;
            version = names.release;
        }
        if (std::strcmp(value, "DriverVersion") == 0) {
            out = version;
            return true;
        }
        if (std::strcmp(value, "DriverDate") == 0 && !date.empty()) {
            out = date;
            return true;
        }
        return false;
    }

  private:
    std::string m_proc_root;
};

LinuxRegistry g_linux_registry("/proc");
Registry* g_registry = nullptr;

}  // namespace

Registry& systemRegistry() {
    return g_registry ? *g_registry : g_linux_registry;
}

void setSystemRegistry(Registry* registry) {
    g_registry = registry;
}

std::unique_ptr<Registry> makeLinuxRegistry(const std::string& proc_root) {
    return std::make_unique<LinuxRegistry>(proc_root);
}

bool MemoryRegistry::readDword(const char* key, const char* value, uint32_t& out) {
    auto it = m_dwords.find(std::string(key) + '\\' + value);
    if (it == m_dwords.end()) return false;
    out = it->second;
    return true;
}

bool MemoryRegistry::readString(const char* key, const char* value, std::string& out) {
    auto it = m_strings.find(std::string(key) + '\\' + value);
    if (it == m_strings.end()) return false;
    out = it->second;
    return true;
}

}  // namespace plashwerk
