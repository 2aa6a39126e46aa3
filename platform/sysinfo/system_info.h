#pragma once
// What the machine says about its processor, memory and operating system.
//
//   - processor: vendor and brand texts and feature bits from the CPUID instruction, the
//     logical processor count, the clock measured against the time-stamp counter;
//   - memory: total physical memory;
//   - operating system: a short and a long name from /etc/os-release and the kernel.

#include <cstdint>
#include <string>

namespace plashwerk {

struct CpuIdentity {
    char vendor[16];      ///< "GenuineIntel", "AuthenticAMD", ... ; empty when unknown
    char brand[64];       ///< processor brand text, leading blanks removed; "n.a" when none
    uint32_t family = 0;  ///< display family (base plus extended)
    uint32_t model = 0;   ///< display model (with the extended model where it applies)
    uint32_t stepping = 0;
    uint32_t features_edx = 0;  ///< CPUID leaf 1 EDX
    uint32_t features_ecx = 0;  ///< CPUID leaf 1 ECX
};

/// Reads the processor identification; never fails (unknown fields stay empty or 0).
CpuIdentity queryCpuIdentity();

/// The processor clock in MHz, measured once per process and cached: the thread is pinned
/// to processor 0, the time-stamp counter is read across one second of the high-resolution
/// clock, and the affinity is restored. Blocks for that second on its first call. 0 where
/// the processor has no time-stamp counter.
int measuredCpuMhz();

/// Total physical memory in KB; 0 when the system does not say.
uint64_t totalPhysicalMemoryKb();

struct OsNames {
    std::string short_name;  ///< "Debian GNU/Linux 12 (bookworm) 64-bit"
    std::string long_name;   ///< the short name and " build <kernel release>"
};

/// Builds the OS names from the text of an os-release file (PRETTY_NAME, else NAME and
/// VERSION, else "Linux"), the kernel release and the bitness of the program.
OsNames buildOsNames(const std::string& os_release_text, const std::string& kernel_release,
                     int bits);

/// The names of the running system (/etc/os-release, else /usr/lib/os-release; uname).
OsNames queryOsNames();

}  // namespace plashwerk
