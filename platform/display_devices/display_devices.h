#pragma once
// The display adapters of the machine, listed the way the program enumerates display
// devices: one entry per adapter, the primary one first.
//
// Adapters are the PCI devices of class 0x03 (display controllers) under sysfs
// (bus/pci/devices, below the root of platform/sysfs). Each entry carries:
//   - an id text "PCI\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X" (subsystem device first,
//     then subsystem vendor), so the PCI ids sit at fixed positions;
//   - a description from the caller's namer (the GPU library's device tables), else the PCI
//     id database when the machine has one, else a generic text with the ids;
//   - the DRM card node as device name ("/dev/dri/card0"), or the PCI address without one;
//   - a registry key text naming the adapter by its PCI address, which the registry layer
//     answers with the driver's values.
// The adapter the firmware booted on (boot_vga) is the primary one; the others follow in
// PCI address order.
//
// A machine without any display-class PCI device (a headless server, a container) that can
// still make an OpenGL context with a software rasteriser gets one virtual entry whose
// description is the renderer text and whose id text carries no PCI ids.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plashwerk {

inline constexpr uint32_t kDisplayDevicePrimary = 0x4;  ///< state flag of the primary adapter
inline constexpr const char* kVirtualDisplayDeviceId = "VIRTUAL\\OPENGL";

struct DisplayDevice {
    char device_name[32];     ///< DRM card node or PCI address, at most 31 characters
    char device_string[128];  ///< description, at most 127 characters
    uint32_t state_flags;     ///< kDisplayDevicePrimary on the first entry
    char device_id[128];      ///< id text, at most 127 characters
    char device_key[128];     ///< registry key text, empty for the virtual entry
};

/// Names a PCI device for its description; returns false when it has no name for it.
using DeviceNamer = std::function<bool(uint16_t vendor_id, uint16_t device_id, std::string& name)>;

struct DisplayDeviceQuery {
    DeviceNamer namer;  ///< asked first; may be empty
    /// OpenGL renderer text that makes the virtual entry when no display-class PCI device
    /// exists; null or empty: no virtual entry.
    const char* software_renderer = nullptr;
};

/// The "Vendor Device" name of a PCI device in the PCI id database (pci.ids), when the
/// machine has one and lists the device.
bool pciDatabaseName(uint16_t vendor_id, uint16_t device_id, std::string& name);

/// Every display adapter, primary first.
std::vector<DisplayDevice> listDisplayDevices(const DisplayDeviceQuery& query);

/// The adapter at index (0-based) of listDisplayDevices(); false beyond the last one.
bool enumDisplayDevices(uint32_t index, DisplayDevice& out, const DisplayDeviceQuery& query);

}  // namespace plashwerk
