#pragma once
// A fake sysfs tree of AMD cards as the amdgpu driver publishes them, for the ADL layer's,
// the AMD back end's and the program's tests: the fake sysfs tree with the driver's module
// folder, AMD cards with their hwmon folders, and a current card's sensor files.

#include <string>

#include "tests/platform/sysfs/fake_sysfs.h"

namespace plashwerk::test {

class FakeAmdgpu : public FakeSysfs {
  public:
    /// driver_loaded: the amdgpu module's folder exists (ADL's library is "installed").
    explicit FakeAmdgpu(bool driver_loaded = true, bool set_environment = true)
        : FakeSysfs(set_environment, "plashwerk_amdgpu") {
        std::filesystem::create_directories(root() + "/bus/pci/devices");
        if (driver_loaded) write("module/amdgpu/version", "3.54.0\n");
    }

    struct Card : Adapter {
        Card() {
            address = "0000:03:00.0";
            vendor = 0x1002;
            device = 0x73BF;
            subsys_vendor = 0x1002;
            subsys_device = 0x0E3A;
            revision = 0xC1;
            driver = "amdgpu";  // empty: no driver bound
        }
        int hwmon = 2;  ///< hwmon folder number; -1 for none
    };

    /// Adds a card with its PCI files, driver link, DRM card and empty hwmon folder.
    /// Returns the card's folder relative to the root.
    std::string addCard(const Card& c) {
        const std::string dir = add(c);
        if (c.hwmon >= 0) write(hwmonDir(c) + "name", "amdgpu\n");
        return dir;
    }
    /// The card's hwmon folder relative to the root, ending with '/'.
    static std::string hwmonDir(const Card& c) {
        return dirOf(c) + "hwmon/hwmon" + std::to_string(c.hwmon) + "/";
    }

    /// Every sensor a current (RDNA) card publishes: edge 45 °C, junction 52 °C, memory
    /// 60 °C, fan 1200 RPM at 50 %, 1.025 V, 187 W, 37 % busy (12 % memory), shader clock
    /// levels 500/1500/2100 MHz (running at 2100), memory 96/456/1000 MHz (at 1000).
    void rdnaSensors(const Card& c) {
        const std::string d = dirOf(c), h = hwmonDir(c);
        write(d + "gpu_busy_percent", "37\n");
        write(d + "mem_busy_percent", "12\n");
        write(d + "pp_dpm_sclk", "0: 500Mhz \n1: 1500Mhz \n2: 2100Mhz *\n");
        write(d + "pp_dpm_mclk", "0: 96Mhz \n1: 456Mhz \n2: 1000Mhz *\n");
        write(d + "mem_info_vram_total", "17163091968\n");
        write(d + "vbios_version", "113-D4120100-100\n");
        write(d + "product_number", "102-D41201-00\n");
        write(d + "current_link_width", "16\n");
        write(d + "max_link_width", "16\n");
        write(d + "current_link_speed", "16.0 GT/s PCIe\n");
        write(h + "temp1_label", "edge\n");
        write(h + "temp1_input", "45000\n");
        write(h + "temp1_crit", "100000\n");
        write(h + "temp2_label", "junction\n");
        write(h + "temp2_input", "52000\n");
        write(h + "temp2_crit", "110000\n");
        write(h + "temp3_label", "mem\n");
        write(h + "temp3_input", "60000\n");
        write(h + "fan1_input", "1200\n");
        write(h + "fan1_min", "0\n");
        write(h + "fan1_max", "3300\n");
        write(h + "fan1_target", "1200\n");
        write(h + "pwm1", "128\n");
        write(h + "pwm1_max", "255\n");
        write(h + "in0_label", "vddgfx\n");
        write(h + "in0_input", "1025\n");
        write(h + "power1_average", "187000000\n");
        write(h + "power1_cap", "255000000\n");
        write(h + "power1_cap_default", "255000000\n");
        write(h + "freq1_label", "sclk\n");
        write(h + "freq1_input", "2100000000\n");
        write(h + "freq2_label", "mclk\n");
        write(h + "freq2_input", "1000000000\n");
    }
};

}  // namespace plashwerk::test
