#include "server/gpu_names.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "gpumon/pyrolex/device_tables.h"
#include "server/pages.h"

namespace plashwerk::server {

namespace {

// Four hex digits at the start of text, or -1.
int hex4(std::string_view text) {
    if (text.size() < 4) return -1;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + 4, value, 16);
    return error == std::errc() && end == text.data() + 4 ? value : -1;
}

// The name behind the id: pci.ids separates them with two spaces.
std::string_view nameAfterId(std::string_view line) {
    line.remove_prefix(4);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    return line;
}

}  // namespace

GpuNames GpuNames::withPciIds(std::initializer_list<const char*> paths) {
    GpuNames names;
    for (const char* path : paths) {
        std::ifstream file(path, std::ios::binary);
        if (!file) continue;
        std::ostringstream text;
        text << file.rdbuf();
        names.addPciIds(text.str());
        break;
    }
    return names;
}

GpuNames GpuNames::fromSystem() {
    return withPciIds({"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"});
}

void GpuNames::addPciIds(std::string_view text) {
    int vendor = -1;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == text.npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        // The device classes ("C 03  Display controller") close the list of vendors.
        if (line.size() > 1 && line[0] == 'C' && line[1] == ' ') break;
        if (line.front() != '\t') {
            vendor = hex4(line);
            const std::string_view name = nameAfterId(line);
            if (vendor >= 0 && !name.empty()) m_vendors.emplace(vendor, name);
            continue;
        }
        if (line.size() > 1 && line[1] == '\t') continue;  // a subsystem of the last device
        line.remove_prefix(1);
        const int device = hex4(line);
        const std::string_view name = device >= 0 ? nameAfterId(line) : std::string_view();
        if (vendor < 0 || name.empty()) continue;
        // The device's own name only: the vendor is put in front of it when shown.
        m_devices.emplace(static_cast<uint32_t>(vendor) << 16 | static_cast<uint32_t>(device),
                          name);
    }
}

std::string GpuNames::vendorName(int vendor_id) const {
    const auto it = m_vendors.find(static_cast<uint32_t>(vendor_id));
    return it == m_vendors.end() ? std::string() : it->second;
}

std::string GpuNames::name(int vendor_id, int device_id) const {
    if (vendor_id == 0 && device_id == 0) return "none";
    const uint32_t vendor = static_cast<uint32_t>(vendor_id) & 0xFFFFu;
    const uint32_t device = static_cast<uint32_t>(device_id) & 0xFFFFu;
    // The tables of the four vendors they are kept for; the table of other vendors holds no
    // vendor id, so a device id there could belong to anyone.
    if (deviceTableFor(vendor) != DeviceTable::Other) {
        const DeviceTableRow* row =
            deviceTableRow(deviceTableFor(vendor), lookupDeviceRow(vendor, device, "", ""));
        if (row && row->full_name && *row->full_name) return row->full_name;
    }
    if (const auto it = m_devices.find(vendor << 16 | device); it != m_devices.end()) {
        const std::string maker = vendorName(static_cast<int>(vendor));
        return maker.empty() ? it->second : maker + " " + it->second;
    }
    const std::string maker = vendorName(static_cast<int>(vendor));
    const std::string ids = gpuText(static_cast<int>(vendor), static_cast<int>(device));
    return maker.empty() ? ids : maker + " device " + ids;
}

}  // namespace plashwerk::server
