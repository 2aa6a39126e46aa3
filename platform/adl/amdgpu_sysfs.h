#pragma once
// What the amdgpu kernel driver publishes about a card under sysfs, read the way the AGS
// and ADL layers need it. Internal to platform/adl.
//
// Cards are the display-class PCI devices of vendor 0x1002 under bus/pci/devices (below
// the root of platform/sysfs), in PCI address order; that order is the ADL adapter index.
// Everything else is read afresh at each call: the hwmon folder is found by listing the
// card's hwmon/ folder (its number changes between boots), and a missing file, a file
// holding something other than a number, or a number outside what a GPU can report leaves
// that one reading unsupported.

#include <cstdint>
#include <string>
#include <vector>

namespace plashwerk::amdgpu {

inline constexpr uint32_t kPciVendorAmd = 0x1002;

struct Card {
    std::string address;  ///< PCI address, "0000:03:00.0"
    std::string dir;      ///< the device folder, ending with '/'
    uint32_t vendor = 0, device = 0, subsys_vendor = 0, subsys_device = 0, revision = 0;
    int bus = 0, slot = 0, function = 0;
    bool boot_vga = false;
    std::string driver;     ///< bound kernel driver, empty for none
    std::string card_node;  ///< "/dev/dri/card0", empty without a DRM card
    std::string name;       ///< product name, the PCI id database's name, or a generic one

    /// The kernel driver ADL speaks to is bound: the card's sensor files exist.
    bool amdgpu() const { return driver == "amdgpu"; }
    /// "PCI\VEN_1002&DEV_73BF&SUBSYS_0E3A1002&REV_C1": subsystem device, then vendor.
    std::string idText() const;
};

/// The AMD display adapters, in PCI address order. False when the PCI device folder
/// cannot be read at all (an empty list is a machine without AMD adapters).
bool scanCards(std::vector<Card>& cards);

/// The amdgpu module is loaded (or built in): its folder exists under module/.
bool driverPresent();

/// One level of a clock table (pp_dpm_sclk, pp_dpm_mclk).
struct DpmLevel {
    int mhz = 0;
    bool current = false;
};
struct DpmTable {
    std::vector<DpmLevel> levels;  ///< numbered levels, in file order
    int current_mhz = -1;          ///< the starred line's clock (a sleep level counts), -1 none
    int current_level = -1;        ///< index of the starred numbered level, -1 none
};
inline constexpr size_t kMaxDpmLevels = 32;
/// Reads "N: 1234Mhz *" lines; false when no numbered level could be read.
bool readDpmTable(const Card& card, const char* file, DpmTable& table);
/// The same from the file's text.
bool parseDpmTable(const std::string& text, DpmTable& table);

/// The overdrive table of pp_od_clk_voltage: per-level voltages and the allowed ranges,
/// where the card publishes them (each 0 when not).
struct OdTable {
    std::vector<int> sclk_mv, mclk_mv;                           ///< voltage per level, mV
    int sclk_min = 0, sclk_max = 0, mclk_min = 0, mclk_max = 0;  ///< MHz
    int vddc_min = 0, vddc_max = 0;                              ///< mV
};
bool readOdTable(const Card& card, OdTable& table);
/// The same from the file's text; false when it holds no level, range or voltage.
bool parseOdTable(const std::string& text, OdTable& table);

/// The card's hwmon folder ending with '/', the one named "amdgpu" first; empty without one.
std::string hwmonDir(const Card& card);

/// The hwmon folder has a temperature channel, readable now or not.
bool hasTemperatureSensor(const std::string& hwmon);

enum class Temperature { Edge, Junction, Memory };
/// Millidegrees Celsius from the hwmon sensor labelled "edge", "junction" or "mem", or on
/// drivers without labels from temp1, temp2 or temp3.
bool readTemperature(const std::string& hwmon, Temperature sensor, int& millidegrees);
/// Critical temperature of a sensor, millidegrees.
bool readCriticalTemperature(const std::string& hwmon, Temperature sensor, int& millidegrees);

bool readFanRpm(const std::string& hwmon, int& rpm);  ///< fan1_input
bool readFanRpmRange(const std::string& hwmon, int& min_rpm, int& max_rpm);
bool readFanTargetRpm(const std::string& hwmon, int& rpm);    ///< fan1_target, else fan1_max
bool readFanPercent(const std::string& hwmon, int& percent);  ///< pwm1 of pwm1_max (255)
bool readGfxMillivolts(const std::string& hwmon, int& mv);    ///< in0 ("vddgfx")
/// Board power in watts: power1_average, or power1_input where the driver has no average.
bool readPowerWatts(const std::string& hwmon, int& watts);
/// Power cap and its default, watts.
bool readPowerCap(const std::string& hwmon, int& cap_watts, int& default_watts);
/// Current shader or memory clock in MHz from freq1/freq2 ("sclk"/"mclk").
bool readHwmonClock(const std::string& hwmon, bool memory, int& mhz);

/// Current clock: hwmon's measured one, else the starred level of the table.
bool readCurrentClock(const Card& card, const std::string& hwmon, bool memory, int& mhz);

bool readBusyPercent(const Card& card, bool memory, int& percent);  ///< gpu_/mem_busy_percent
bool readVramBytes(const Card& card, uint64_t& bytes);              ///< mem_info_vram_total
bool readLink(const Card& card, int& speed_gts, int& lanes, int& max_lanes);
/// A small text file of the card (vbios_version, product_number), empty when absent.
std::string readCardText(const Card& card, const char* file);

/// Strict number parsing: optional blanks and sign, decimal digits, trailing blanks only.
bool parseInteger(const std::string& text, long long& value);

}  // namespace plashwerk::amdgpu
