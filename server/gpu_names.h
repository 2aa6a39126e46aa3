#pragma once
// GPU names for the score pages, from the PCI vendor and device ids a submission carries:
// the GPU library's own device tables first (the names the program itself shows), then the
// system's PCI id list where one is installed, else the ids as "VVVV:DDDD".

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>

namespace plashwerk::server {

class GpuNames {
  public:
    /// Names from the device tables only.
    GpuNames() = default;
    /// Names from the device tables, then from the PCI id list at the first of paths that
    /// can be read (pci.ids format); unreadable paths and malformed lines are passed over.
    static GpuNames withPciIds(std::initializer_list<const char*> paths);
    /// The lists Debian's pciutils and hwdata packages install.
    static GpuNames fromSystem();

    /// Reads a list in pci.ids format: "vvvv  Vendor" lines, "\tdddd  Device" lines below
    /// them; subsystem lines, comments and the device classes at the end are skipped.
    void addPciIds(std::string_view text);

    /// "NVIDIA GeForce RTX 4090", "Advanced Micro Devices, Inc. [AMD/ATI] Navi 21 ..." or,
    /// for ids no list knows, "10de:0001". An empty slot (0, 0) reads "none".
    std::string name(int vendor_id, int device_id) const;
    /// The vendor alone, for an unknown device of a known vendor; empty when unknown.
    std::string vendorName(int vendor_id) const;

  private:
    std::unordered_map<uint32_t, std::string> m_devices;  ///< vendor << 16 | device
    std::unordered_map<uint32_t, std::string> m_vendors;
};

}  // namespace plashwerk::server
