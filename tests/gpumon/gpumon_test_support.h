#pragma once
// Shared pieces of the GPU monitoring tests: a temporary folder, a fake sysfs tree of PCI
// display adapters, the NVML double, and the trace log's lines.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/engine/vn_trace_mgr.h"
#include "platform/nvapi/nvml_api.h"
#include "tests/platform/nvapi/fake_nvml.h"

namespace plashwerk::test {

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/plashwerk_gpumon_XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) throw std::runtime_error("mkdtemp failed");
        m_path = made;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }
    /// The path with a trailing '/', as the program's folder is given.
    std::string folder() const { return m_path + "/"; }

private:
    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// A fake sysfs root; PLASHWERK_SYSFS_ROOT points at it while it lives.
class FakeSysfs {
public:
    FakeSysfs() { setenv("PLASHWERK_SYSFS_ROOT", m_root.path().c_str(), 1); }
    ~FakeSysfs() { unsetenv("PLASHWERK_SYSFS_ROOT"); }

    struct Adapter {
        std::string address;  ///< "0000:01:00.0"
        unsigned pci_class = 0x030000;
        unsigned vendor = 0x10DE, device = 0x2484, subsys_vendor = 0x10DE, subsys_device = 0x146B;
        unsigned revision = 0xA1;
        bool boot_vga = false;
        std::string driver;  ///< bound kernel driver, empty for none
    };

    void add(const Adapter& a) {
        const std::string dir = m_root.path() + "/bus/pci/devices/" + a.address + "/";
        char hex[16];
        auto put = [&](const char* file, unsigned value, int digits) {
            std::snprintf(hex, sizeof hex, "0x%0*x\n", digits, value);
            writeFile(dir + file, hex);
        };
        put("class", a.pci_class, 6);
        put("vendor", a.vendor, 4);
        put("device", a.device, 4);
        put("subsystem_vendor", a.subsys_vendor, 4);
        put("subsystem_device", a.subsys_device, 4);
        put("revision", a.revision, 2);
        writeFile(dir + "boot_vga", a.boot_vga ? "1\n" : "0\n");
        std::filesystem::create_directories(dir + "drm/card" + std::to_string(m_cards++));
        if (!a.driver.empty()) {
            std::filesystem::create_directories(m_root.path() + "/bus/pci/drivers/" + a.driver);
            std::filesystem::create_directory_symlink("../../../bus/pci/drivers/" + a.driver,
                                                      dir + "driver");
        }
    }
    const std::string& root() const { return m_root.path(); }

private:
    TempFolder m_root;
    int m_cards = 0;
};

/// The NVML double loaded through PLASHWERK_NVML_LIBRARY, reset on both ends of a test.
class NvmlDouble {
public:
    explicit NvmlDouble(const char* path = FAKE_NVML_LIBRARY) : m_nvml(path) {
        setenv("PLASHWERK_NVML_LIBRARY", path, 1);
        m_nvml.reset();
    }
    ~NvmlDouble() {
        m_nvml.reset();
        unsetenv("PLASHWERK_NVML_LIBRARY");
    }
    FakeNvml* operator->() { return &m_nvml; }
    /// Adds the double's standard GPU with a bus and device id of the caller's.
    FakeNvmlGpu& add(unsigned bus, unsigned device_id = 0x2484) {
        FakeNvmlGpu g = m_nvml.default_gpu();
        g.bus = bus;
        g.pci_device_id = device_id << 16 | 0x10DE;
        return *m_nvml.gpu(m_nvml.add_gpu(&g));
    }

private:
    FakeNvml m_nvml;
};

/// The engine trace log redirected into a folder; lines() gives the messages without
/// their time and level prefix.
class TraceCapture {
public:
    TraceCapture() {
        auto& trace = Vantorr_nsp::vnTraceMgr::instance();
        trace.setTraceLevel(Vantorr_nsp::VN_TRACE_INFO);
        trace.setLogFileName((m_folder.folder() + "test_").c_str());
    }
    ~TraceCapture() { Vantorr_nsp::vnTraceMgr::instance().close(); }

    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(readFile(Vantorr_nsp::vnTraceMgr::instance().logFileName()));
        std::string line;
        while (std::getline(in, line)) {
            const size_t end_of_prefix = line.find("] ");
            out.push_back(end_of_prefix == std::string::npos ? line
                                                             : line.substr(end_of_prefix + 2));
        }
        return out;
    }

private:
    TempFolder m_folder;
};

}  // namespace plashwerk::test
