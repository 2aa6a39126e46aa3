#include "platform/display_devices/display_devices.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/file/regular_file.h"
#include "platform/sysfs/sysfs.h"

namespace plashwerk {
namespace {

constexpr const char* kDeviceKeyPrefix =
    "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\Video\\{";
constexpr const char* kDeviceKeySuffix = "}\\0000";

struct PciAdapter {
    std::string address;
    uint32_t vendor = 0, device = 0, subsys_vendor = 0, subsys_device = 0, revision = 0;
    bool boot_vga = false;
};

std::vector<PciAdapter> scanPciDisplayAdapters() {
    std::vector<PciAdapter> adapters;
    const std::string devices = sysfsPath("bus/pci/devices");
    for (const std::string& address : listDirectory(devices)) {
        const std::string dir = devices + "/" + address + "/";
        uint32_t pci_class = 0;
        if (!readUnsignedFile(dir + "class", pci_class) || (pci_class >> 16) != 0x03) continue;
        PciAdapter a;
        a.address = address;
        if (!readUnsignedFile(dir + "vendor", a.vendor) ||
            !readUnsignedFile(dir + "device", a.device))
            continue;
        readUnsignedFile(dir + "subsystem_vendor", a.subsys_vendor);
        readUnsignedFile(dir + "subsystem_device", a.subsys_device);
        readUnsignedFile(dir + "revision", a.revision);
        uint32_t boot_vga = 0;
        a.boot_vga = readUnsignedFile(dir + "boot_vga", boot_vga) && boot_vga == 1;
        adapters.push_back(a);
    }
    // The boot adapter first; the rest keep the PCI address order of the listing.
    std::stable_partition(adapters.begin(), adapters.end(),
                          [](const PciAdapter& a) { return a.boot_vga; });
    return adapters;
}

// The PCI id database, when the machine has one: "vvvv  Vendor" lines with
// "\tdddd  Device" lines below them.
bool lookupPciIds(uint16_t vendor, uint16_t device, std::string& name) {
    static const char* const kPaths[] = {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"};
    for (const char* path : kPaths) {
        std::FILE* file = openRegularStream(path, "r");
        if (!file) continue;
        char line[512];
        char vendor_key[8], device_key[8];
        std::snprintf(vendor_key, sizeof vendor_key, "%04x  ", vendor);
        std::snprintf(device_key, sizeof device_key, "\t%04x ", device);
        std::string vendor_name;
        bool in_vendor = false, found = false;
        while (std::fgets(line, sizeof line, file)) {
            line[std::strcspn(line, "\r\n")] = '\0';
            if (line[0] != '\t' && line[0] != '#') {
                if (in_vendor) break;
                if (std::strncmp(line, vendor_key, 6) == 0) {
                    in_vendor = true;
                    vendor_name = line + 6;
                }
            } else if (in_vendor && std::strncmp(line, device_key, 6) == 0) {
                const char* text = line + 6;
                while (*text == ' ') ++text;
                name = vendor_name + " " + text;
                found = true;
                break;
            }
        }
        std::fclose(file);
        if (found) return true;
    }
    return false;
}

std::string cardNode(const std::string& address) {
    for (const std::string& name :
         listDirectory(sysfsPath("bus/pci/devices/" + address + "/drm"))) {
        if (name.rfind("card", 0) == 0) return "/dev/dri/" + name;
    }
    return address;
}

DisplayDevice makeEntry(const PciAdapter& a, const DisplayDeviceQuery& query) {
    DisplayDevice d{};
    std::snprintf(d.device_id, sizeof d.device_id,
                  "PCI\\VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X", a.vendor & 0xFFFF,
                  a.device & 0xFFFF, a.subsys_device & 0xFFFF, a.subsys_vendor & 0xFFFF,
                  a.revision & 0xFF);
    std::string description;
    const auto vendor = static_cast<uint16_t>(a.vendor), device = static_cast<uint16_t>(a.device);
    if (!(query.namer && query.namer(vendor, device, description) && !description.empty()) &&
        !lookupPciIds(vendor, device, description))
        description = "Display adapter " + std::string(d.device_id);
    std::snprintf(d.device_string, sizeof d.device_string, "%s", description.c_str());
    std::snprintf(d.device_name, sizeof d.device_name, "%s", cardNode(a.address).c_str());
    std::snprintf(d.device_key, sizeof d.device_key, "%s%s%s", kDeviceKeyPrefix, a.address.c_str(),
                  kDeviceKeySuffix);
    return d;
}

}  // namespace

bool pciDatabaseName(uint16_t vendor_id, uint16_t device_id, std::string& name) {
    return lookupPciIds(vendor_id, device_id, name);
}

std::vector<DisplayDevice> listDisplayDevices(const DisplayDeviceQuery& query) {
    std::vector<DisplayDevice> list;
    for (const PciAdapter& a : scanPciDisplayAdapters()) list.push_back(makeEntry(a, query));
    if (list.empty() && query.software_renderer && *query.software_renderer) {
        DisplayDevice d{};
        std::snprintf(d.device_id, sizeof d.device_id, "%s", kVirtualDisplayDeviceId);
        std::snprintf(d.device_string, sizeof d.device_string, "%s", query.software_renderer);
        std::snprintf(d.device_name, sizeof d.device_name, "%s", "virtual");
        list.push_back(d);
    }
    if (!list.empty()) list.front().state_flags |= kDisplayDevicePrimary;
    return list;
}

bool enumDisplayDevices(uint32_t index, DisplayDevice& out, const DisplayDeviceQuery& query) {
    const std::vector<DisplayDevice> list = listDisplayDevices(query);
    if (index >= list.size()) return false;
    out = list[index];
    return true;
}

}  // namespace plashwerk
