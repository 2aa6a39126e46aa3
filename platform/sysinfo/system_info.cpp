#include "platform/sysinfo/system_info.h"

#include <sched.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/sysfs/sysfs.h"
#include "platform/time/clock.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define PLASHWERK_HAS_CPUID 1
#endif

namespace plashwerk {
namespace {

// Value of KEY in an os-release text, without its quotes; empty when absent.
std::string osReleaseValue(const std::string& text, const char* key) {
    const std::string prefix = std::string(key) + "=";
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        if (text.compare(pos, prefix.size(), prefix) == 0) {
            std::string value = text.substr(pos + prefix.size(), end - pos - prefix.size());
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            return value;
        }
        pos = end + 1;
    }
    return {};
}

}  // namespace

CpuIdentity queryCpuIdentity() {
    CpuIdentity id{};
    std::snprintf(id.brand, sizeof id.brand, "n.a");
#ifdef PLASHWERK_HAS_CPUID
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(0, &a, &b, &c, &d)) return id;
    const unsigned max_leaf = a;
    std::memcpy(id.vendor, &b, 4);
    std::memcpy(id.vendor + 4, &d, 4);
    std::memcpy(id.vendor + 8, &c, 4);
    id.vendor[12] = '\0';
    if (max_leaf >= 1 && __get_cpuid(1, &a, &b, &c, &d)) {
        const uint32_t base_family = (a >> 8) & 0xF, base_model = (a >> 4) & 0xF;
        id.stepping = a & 0xF;
        id.family = base_family == 0xF ? base_family + ((a >> 20) & 0xFF) : base_family;
        id.model = (base_family == 0x6 || base_family == 0xF)
                       ? base_model | (((a >> 16) & 0xF) << 4)
                       : base_model;
        id.features_edx = d;
        id.features_ecx = c;
    }
    if (__get_cpuid(0x80000000u, &a, &b, &c, &d) && a >= 0x80000004u) {
        char brand[49] = {};
        for (unsigned leaf = 0; leaf < 3; ++leaf) {
            unsigned r[4];
            __get_cpuid(0x80000002u + leaf, &r[0], &r[1], &r[2], &r[3]);
            std::memcpy(brand + leaf * 16, r, 16);
        }
        const char* text = brand;
        while (*text == ' ') ++text;
        if (*text) std::snprintf(id.brand, sizeof id.brand, "%s", text);
    }
#endif
    return id;
}

int measuredCpuMhz() {
    static std::once_flag once;
    static int mhz = 0;
    std::call_once(once, [] {
#ifdef PLASHWERK_HAS_CPUID
        cpu_set_t saved;
        const bool have_saved = sched_getaffinity(0, sizeof saved, &saved) == 0;
        cpu_set_t first;
        CPU_ZERO(&first);
        CPU_SET(0, &first);
        sched_setaffinity(0, sizeof first, &first);
        Clock& clock = systemClock();
        const int64_t frequency = clock.counterFrequency();
        const int64_t start = clock.counter();
        const uint64_t tsc_start = __rdtsc();
        while (clock.counter() - start < frequency) {
        }
        const uint64_t tsc_end = __rdtsc();
        if (have_saved) sched_setaffinity(0, sizeof saved, &saved);
        mhz = static_cast<int>((tsc_end - tsc_start) / 1000000u);
#endif
    });
    return mhz;
}

uint64_t totalPhysicalMemoryKb() {
    struct sysinfo info {};
    if (sysinfo(&info) != 0) return 0;
    return static_cast<uint64_t>(info.totalram) * info.mem_unit / 1024u;
}

OsNames buildOsNames(const std::string& os_release_text, const std::string& kernel_release,
                     int bits) {
    std::string name = osReleaseValue(os_release_text, "PRETTY_NAME");
    if (name.empty()) {
        name = osReleaseValue(os_release_text, "NAME");
        const std::string version = osReleaseValue(os_release_text, "VERSION");
        if (!name.empty() && !version.empty()) name += " " + version;
    }
    if (name.empty()) name = "Linux";
    OsNames names;
    names.short_name = name + " " + std::to_string(bits) + "-bit";
    names.long_name = names.short_name;
    if (!kernel_release.empty()) names.long_name += " build " + kernel_release;
    return names;
}

OsNames queryOsNames() {
    std::string text;
    if (!readTextFile("/etc/os-release", text, 8192))
        readTextFile("/usr/lib/os-release", text, 8192);
    utsname uts{};
    const std::string release = uname(&uts) == 0 ? uts.release : "";
    return buildOsNames(text, release, static_cast<int>(sizeof(void*) * 8));
}

}  // namespace plashwerk
