#pragma once
// A fake sysfs tree for tests: a temporary folder that PLASHWERK_SYSFS_ROOT points at while
// it lives (optional: a process test hands the root to a child process instead), with PCI
// display adapters as the kernel publishes them. The amdgpu driver's files on top of it are
// in tests/platform/adl/fake_amdgpu.h.

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/files.h"

namespace plashwerk::test {

class FakeSysfs {
  public:
    explicit FakeSysfs(bool set_environment = true, const char* prefix = "plashwerk_sysfs")
        : m_root(prefix), m_set_environment(set_environment) {
        if (m_set_environment) setenv("PLASHWERK_SYSFS_ROOT", m_root.path().c_str(), 1);
    }
    ~FakeSysfs() {
        if (m_set_environment) unsetenv("PLASHWERK_SYSFS_ROOT");
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    const std::string& root() const { return m_root.path(); }

    /// Writes a file below the root, creating its folders.
    void write(const std::string& relative, const std::string& text) {
        writeFile(root() + "/" + relative, text);
    }
    void remove(const std::string& relative) {
        std::error_code ignored;
        std::filesystem::remove_all(root() + "/" + relative, ignored);
    }

    struct Adapter {
        std::string address = "0000:01:00.0";
        unsigned pci_class = 0x030000;
        unsigned vendor = 0x10DE, device = 0x2484, subsys_vendor = 0x10DE, subsys_device = 0x146B;
        unsigned revision = 0xA1;
        bool boot_vga = false;
        std::string driver;  ///< bound kernel driver, empty for none
    };

    /// The adapter's folder relative to the root, ending with '/'.
    static std::string dirOf(const Adapter& a) { return "bus/pci/devices/" + a.address + "/"; }
    /// Adds an adapter with its PCI files, a DRM card and the link to its driver. Returns
    /// its folder relative to the root.
    std::string add(const Adapter& a) {
        const std::string dir = dirOf(a);
        auto hex = [&](const char* file, unsigned value, int digits) {
            char text[16];
            std::snprintf(text, sizeof text, "0x%0*x\n", digits, value);
            write(dir + file, text);
        };
        hex("class", a.pci_class, 6);
        hex("vendor", a.vendor, 4);
        hex("device", a.device, 4);
        hex("subsystem_vendor", a.subsys_vendor, 4);
        hex("subsystem_device", a.subsys_device, 4);
        hex("revision", a.revision, 2);
        write(dir + "boot_vga", a.boot_vga ? "1\n" : "0\n");
        std::filesystem::create_directories(root() + "/" + dir + "drm/card" +
                                            std::to_string(m_cards++));
        if (!a.driver.empty()) {
            std::filesystem::create_directories(root() + "/bus/pci/drivers/" + a.driver);
            std::filesystem::create_directory_symlink("../../../bus/pci/drivers/" + a.driver,
                                                      root() + "/" + dir + "driver");
        }
        return dir;
    }

  private:
    TempFolder m_root;
    bool m_set_environment;
    int m_cards = 0;
};

}  // namespace plashwerk::test
