#pragma once
// Read-only answers to the registry questions the program asks, from Linux sources.
//
// Keys are the machine-wide key paths the program names ("SOFTWARE\AGEIA Technologies").
// A key this platform has no source for is absent. Tests install an in-memory registry.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace plashwerk {

class Registry {
  public:
    virtual ~Registry() = default;
    /// False when the key or the value is absent or not a DWORD.
    virtual bool readDword(const char* key, const char* value, uint32_t& out) = 0;
    /// False when the key or the value is absent or not text.
    virtual bool readString(const char* key, const char* value, std::string& out) = 0;
};

/// The registry of this machine. The physics system-software keys are absent: no physics
/// system software is installed on Linux. A display adapter's key (the key text of its
/// display-device entry from "SYSTEM" on, naming the adapter's PCI address in braces)
/// answers "DriverVersion" and, for the NVIDIA driver, "DriverDate" ("M-D-YYYY") from the
/// kernel driver bound to the adapter: /proc/driver/nvidia/version, the module's version in
/// sysfs, or the kernel release for drivers built into the kernel.
Registry& systemRegistry();

/// The same registry reading its /proc files below proc_root (tests give a fake tree; the
/// sysfs root comes from platform/sysfs as always).
std::unique_ptr<Registry> makeLinuxRegistry(const std::string& proc_root);

/// Replaces the registry systemRegistry() answers with (null restores the real one).
void setSystemRegistry(Registry* registry);

/// A registry held in memory, for tests.
class MemoryRegistry final : public Registry {
  public:
    void setDword(const std::string& key, const std::string& value, uint32_t data) {
        m_dwords[key + '\\' + value] = data;
    }
    void setString(const std::string& key, const std::string& value, std::string data) {
        m_strings[key + '\\' + value] = std::move(data);
    }
    bool readDword(const char* key, const char* value, uint32_t& out) override;
    bool readString(const char* key, const char* value, std::string& out) override;

  private:
    std::map<std::string, uint32_t> m_dwords;
    std::map<std::string, std::string> m_strings;
};

}  // namespace plashwerk
