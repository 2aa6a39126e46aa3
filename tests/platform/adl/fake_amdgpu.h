#pragma once
// A fake sysfs tree of AMD cards as the amdgpu driver publishes them, for the ADL layer's,
// the AMD back end's and the program's tests. PLASHWERK_SYSFS_ROOT points at the tree while
// it lives (optional: the process test hands the root to a child process instead).

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace plashwerk::test {

class FakeAmdgpu {
  public:
    /// driver_loaded: the amdgpu module's folder exists (ADL's library is "installed").
    explicit FakeAmdgpu(bool driver_loaded = true, bool set_environment = true)
        : m_set_environment(set_environment) {
        char pattern[] = "/tmp/plashwerk_amdgpu_XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) throw std::runtime_error("mkdtemp failed");
        m_root = made;
        std::filesystem::create_directories(m_root + "/bus/pci/devices");
        if (driver_loaded) write("module/amdgpu/version", "3.54.0\n");
        if (m_set_environment) setenv("PLASHWERK_SYSFS_ROOT", m_root.c_str(), 1);
    }
    ~FakeAmdgpu() {
        if (m_set_environment) unsetenv("PLASHWERK_SYSFS_ROOT");
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    FakeAmdgpu(const FakeAmdgpu&) = delete;
    FakeAmdgpu& operator=(const FakeAmdgpu&) = delete;

    const std::string& root() const { return m_root; }

    /// Writes a file below the root, creating its folders.
    void write(const std::string& relative, const std::string& text) {
        const std::filesystem::path path = m_root + "/" + relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    void remove(const std::string& relative) {
        std::error_code ignored;
        std::filesystem::remove_all(m_root + "/" + relative, ignored);
    }

    struct Card {
        std::string address = "0000:03:00.0";
        unsigned vendor = 0x1002, device = 0x73BF, subsys_vendor = 0x1002, subsys_device = 0x0E3A,
                 revision = 0xC1;
        unsigned pci_class = 0x030000;
        bool boot_vga = false;
        std::string driver = "amdgpu";  ///< empty: no driver bound
        int hwmon = 2;                  ///< hwmon folder number; -1 for none
    };

    /// Adds a card with its PCI files, driver link, DRM card and empty hwmon folder.
    /// Returns the card's folder relative to the root.
    std::string addCard(const Card& c) {
        const std::string dir = "bus/pci/devices/" + c.address + "/";
        auto hex = [&](const char* file, unsigned value, int digits) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%0*x\n", digits, value);
            write(dir + file, text);
        };
        hex("class", c.pci_class, 6);
        hex("vendor", c.vendor, 4);
        hex("device", c.device, 4);
        hex("subsystem_vendor", c.subsys_vendor, 4);
        hex("subsystem_device", c.subsys_device, 4);
        hex("revision", c.revision, 2);
        write(dir + "boot_vga", c.boot_vga ? "1\n" : "0\n");
        std::filesystem::create_directories(m_root + "/" + dir + "drm/card" +
                                            std::to_string(m_cards++));
        if (!c.driver.empty()) {
            std::filesystem::create_directories(m_root + "/bus/pci/drivers/" + c.driver);
            std::filesystem::create_directory_symlink("../../../bus/pci/drivers/" + c.driver,
                                                      m_root + "/" + dir + "driver");
        }
        if (c.hwmon >= 0) write(hwmonDir(c) + "name", "amdgpu\n");
        return dir;
    }
    /// The card's hwmon folder relative to the root, ending with '/'.
    static std::string hwmonDir(const Card& c) {
        return "bus/pci/devices/" + c.address + "/hwmon/hwmon" + std::to_string(c.hwmon) + "/";
    }
    static std::string dirOf(const Card& c) { return "bus/pci/devices/" + c.address + "/"; }

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

  private:
    std::string m_root;
    bool m_set_environment;
    int m_cards = 0;
};

}  // namespace plashwerk::test
