#include "gpumon/pyrolex/device_tables.h"

#include <cstring>
#include <initializer_list>

#include "gpumon/pyrolex/gpu_record.h"

namespace plashwerk {
namespace {

// Column order: device id, reserved, codename, short name, full name, DirectX × 10, unified
// cores, vertex units, pixel units, texture units, ROPs, TDP (W). Unit counts and power
// are the maker's published figures; 0 where a figure is not published or varies by model,
// -1 DirectX for compute parts without a graphics driver.

// clang-format off
const DeviceTableRow kNvidiaRows[] = {
    {0x0090, 0, "G70", "7800 GTX", "NVIDIA GeForce 7800 GTX", 90, 0, 8, 24, 24, 16, 81},
    {0x1180, 0, "GK104", "GTX 680", "NVIDIA GeForce GTX 680", 110, 1536, 0, 0, 128, 32, 195},
    {0x13C2, 0, "GM204", "GTX 970", "NVIDIA GeForce GTX 970", 121, 1664, 0, 0, 104, 56, 145},
    {0x1B06, 0, "GP102", "GTX 1080 Ti", "NVIDIA GeForce GTX 1080 Ti", 121, 3584, 0, 0, 224, 88, 250},
    {0x1B80, 0, "GP104", "GTX 1080", "NVIDIA GeForce GTX 1080", 121, 2560, 0, 0, 160, 64, 180},
    {0x1B81, 0, "GP104", "GTX 1070", "NVIDIA GeForce GTX 1070", 121, 1920, 0, 0, 120, 64, 150},
    {0x1C03, 0, "GP106", "GTX 1060 6GB", "NVIDIA GeForce GTX 1060 6GB", 121, 1280, 0, 0, 80, 48, 120},
    {0x1DB1, 0, "GV100", "V100 SXM2 16GB", "Tesla V100-SXM2-16GB", -1, 5120, 0, 0, 320, 128, 300},
    {0x1DB4, 0, "GV100", "V100 PCIe 16GB", "Tesla V100-PCIE-16GB", -1, 5120, 0, 0, 320, 128, 250},
    {0x1E07, 0, "TU102", "RTX 2080 Ti", "NVIDIA GeForce RTX 2080 Ti", 122, 4352, 0, 0, 272, 88, 250},
    {0x1E84, 0, "TU104", "RTX 2070 SUPER", "NVIDIA GeForce RTX 2070 SUPER", 122, 2560, 0, 0, 160, 64, 215},
    {0x1EB1, 0, "TU104GL", "Quadro RTX 4000", "Quadro RTX 4000", 122, 2304, 0, 0, 144, 64, 160},
    {0x1EB8, 0, "TU104GL", "T4", "Tesla T4", -1, 2560, 0, 0, 160, 64, 70},
    {0x1F08, 0, "TU106", "RTX 2060", "NVIDIA GeForce RTX 2060", 122, 1920, 0, 0, 120, 48, 160},
    {0x2182, 0, "TU116", "GTX 1660 Ti", "NVIDIA GeForce GTX 1660 Ti", 121, 1536, 0, 0, 96, 48, 120},
    {0x20B0, 0, "GA100", "A100 SXM4 40GB", "NVIDIA A100-SXM4-40GB", -1, 6912, 0, 0, 432, 160, 400},
    {0x20B2, 0, "GA100", "A100 SXM4 80GB", "NVIDIA A100-SXM4-80GB", -1, 6912, 0, 0, 432, 160, 400},
    {0x20B5, 0, "GA100", "A100 PCIe 80GB", "NVIDIA A100 80GB PCIe", -1, 6912, 0, 0, 432, 160, 300},
    {0x20F1, 0, "GA100", "A100 PCIe 40GB", "NVIDIA A100-PCIE-40GB", -1, 6912, 0, 0, 432, 160, 250},
    {0x2204, 0, "GA102", "RTX 3090", "NVIDIA GeForce RTX 3090", 122, 10496, 0, 0, 328, 112, 350},
    {0x2206, 0, "GA102", "RTX 3080", "NVIDIA GeForce RTX 3080", 122, 8704, 0, 0, 272, 96, 320},
    {0x2230, 0, "GA102GL", "RTX A6000", "NVIDIA RTX A6000", 122, 10752, 0, 0, 336, 112, 300},
    {0x2236, 0, "GA102GL", "A10", "NVIDIA A10", -1, 9216, 0, 0, 288, 96, 150},
    {0x2330, 0, "GH100", "H100 SXM5 80GB", "NVIDIA H100 80GB HBM3", -1, 16896, 0, 0, 528, 24, 700},
    {0x2331, 0, "GH100", "H100 PCIe", "NVIDIA H100 PCIe", -1, 14592, 0, 0, 456, 24, 350},
    {0x2335, 0, "GH100", "H200 SXM 141GB", "NVIDIA H200", -1, 16896, 0, 0, 528, 24, 700},
    {0x2484, 0, "GA104", "RTX 3070", "NVIDIA GeForce RTX 3070", 122, 5888, 0, 0, 184, 96, 220},
    {0x2503, 0, "GA106", "RTX 3060", "NVIDIA GeForce RTX 3060", 122, 3584, 0, 0, 112, 48, 170},
    {0x2520, 0, "GA106M", "RTX 3060 Laptop", "NVIDIA GeForce RTX 3060 Laptop GPU", 122, 3840, 0, 0, 120, 48, 0},
    {0x2684, 0, "AD102", "RTX 4090", "NVIDIA GeForce RTX 4090", 122, 16384, 0, 0, 512, 176, 450},
    {0x26B9, 0, "AD102GL", "L40S", "NVIDIA L40S", -1, 18176, 0, 0, 568, 192, 350},
    {0x2704, 0, "AD103", "RTX 4080", "NVIDIA GeForce RTX 4080", 122, 9728, 0, 0, 304, 112, 320},
    {0x2782, 0, "AD104", "RTX 4070 Ti", "NVIDIA GeForce RTX 4070 Ti", 122, 7680, 0, 0, 240, 80, 285},
    {0x2786, 0, "AD104", "RTX 4070", "NVIDIA GeForce RTX 4070", 122, 5888, 0, 0, 184, 64, 200},
    {0x27B8, 0, "AD104GL", "L4", "NVIDIA L4", -1, 7424, 0, 0, 232, 80, 72},
    {0x2803, 0, "AD106", "RTX 4060 Ti", "NVIDIA GeForce RTX 4060 Ti", 122, 4352, 0, 0, 136, 48, 160},
    {0x2882, 0, "AD107", "RTX 4060", "NVIDIA GeForce RTX 4060", 122, 3072, 0, 0, 96, 48, 115},
    {0, 0, nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0},
};

const DeviceTableRow kAmdRows[] = {
    {0x6798, 0, "TAHITI(GCN1.0)", "", "AMD Radeon HD 7970", 111, 2048, 0, 0, 128, 32, 250},
    {0x679A, 0, "TAHITI(GCN1.0)", "0B011002", "AMD Radeon HD 8950", 111, 1792, 0, 0, 112, 32, 200},
    {0x679A, 0, "TAHITI(GCN1.0)", "047C1043", "ASUS R9 280 Series", 111, 1792, 0, 0, 112, 32, 250},
    {0x679B, 0, "Malta(GCN1.0)", "", "AMD Radeon HD 7990", 111, 4096, 0, 0, 256, 64, 375},
    // Polaris 10 and 20 share a device id: the revision tells the models apart.
    {0x67DF, 0, "Ellesmere(GCN4)", "C7", "AMD Radeon RX 480", 120, 2304, 0, 0, 144, 32, 150},
    {0x67DF, 0, "Ellesmere(GCN4)", "CF", "AMD Radeon RX 470", 120, 2048, 0, 0, 128, 32, 120},
    {0x67DF, 0, "Ellesmere(GCN4)", "E7", "AMD Radeon RX 580", 120, 2304, 0, 0, 144, 32, 185},
    {0x67DF, 0, "Ellesmere(GCN4)", "EF", "AMD Radeon RX 570", 120, 2048, 0, 0, 128, 32, 150},
    {0x67DF, 0, "Polaris 30(GCN4)", "E1", "AMD Radeon RX 590", 120, 2304, 0, 0, 144, 32, 175},
    {0x687F, 0, "Vega 10(GCN5)", "C1", "AMD Radeon RX Vega 64", 121, 4096, 0, 0, 256, 64, 295},
    {0x687F, 0, "Vega 10(GCN5)", "C3", "AMD Radeon RX Vega 56", 121, 3584, 0, 0, 224, 64, 210},
    {0x68F9, 0, "Cedar", "", "ATI Radeon HD 5450", 110, 80, 0, 0, 8, 4, 19},
    {0x1638, 0, "Cezanne", "", "AMD Radeon Graphics", 121, 512, 0, 0, 32, 8, 0},
    {0x738C, 0, "Arcturus", "", "AMD Instinct MI100", -1, 7680, 0, 0, 480, 0, 300},
    {0x73BF, 0, "Navi 21", "", "AMD Radeon RX 6800/6800 XT/6900 XT", 122, 0, 0, 0, 0, 0, 0},
    {0x744C, 0, "Navi 31", "", "AMD Radeon RX 7900 XT/7900 XTX", 122, 0, 0, 0, 0, 0, 0},
    {0x74A1, 0, "Aqua Vanjaram", "", "AMD Instinct MI300X", -1, 19456, 0, 0, 1216, 0, 750},
    {0, 0, nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0},
};

const DeviceTableRow kS3Rows[] = {
    {0x8D04, 0, "UniChrome", "", "S3 UniChrome Integrated Video", -1, 0, 0, 0, 0, 0, 0},
    {0, 0, nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0},
};

const DeviceTableRow kIntelRows[] = {
    {0x9B41, 0, "Comet Lake", "", "Intel UHD Graphics 730", 110, 192, 0, 0, 24, 3, 15},
    {0x3E92, 0, "Coffee Lake", "", "Intel UHD Graphics 630", 121, 192, 0, 0, 24, 3, 0},
    {0x5917, 0, "Kaby Lake", "", "Intel UHD Graphics 620", 121, 192, 0, 0, 24, 3, 0},
    {0x4680, 0, "Alder Lake", "", "Intel UHD Graphics 770", 121, 256, 0, 0, 16, 8, 0},
    {0x9A49, 0, "Tiger Lake", "", "Intel Iris Xe Graphics", 121, 768, 0, 0, 48, 24, 0},
    {0x56A0, 0, "Alchemist", "Arc A770", "Intel Arc A770 Graphics", 122, 4096, 0, 0, 256, 128, 225},
    {0, 0, nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0},
};

// Display adapters of other makers, most of them found on servers and virtual machines.
const DeviceTableRow kOtherRows[] = {
    {0x2000, 0, "AST2x00", "", "ASPEED Graphics Family", -1, 0, 0, 0, 0, 0, 0},
    {0x0534, 0, "G200eR2", "", "Matrox G200eR2", -1, 0, 0, 0, 0, 0, 0},
    {0x0405, 0, "SVGA II", "", "VMware SVGA II Adapter", -1, 0, 0, 0, 0, 0, 0},
    {0x1111, 0, "Bochs", "", "QEMU Standard VGA", -1, 0, 0, 0, 0, 0, 0},
    {0x0100, 0, "QXL", "", "Red Hat QXL paravirtual graphic card", -1, 0, 0, 0, 0, 0, 0},
    {0x1050, 0, "virtio-gpu", "", "Virtio GPU", -1, 0, 0, 0, 0, 0, 0},
    {0, 0, nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, 0, 0},
};

// clang-format on

template <size_t N>
const DeviceTableRow* rowsOf(const DeviceTableRow (&rows)[N], size_t& count) {
    count = N - 1;
    return rows;
}

bool equalPrefix(const char* a, const char* b, size_t n) {
    return a && b && std::strlen(a) >= n && std::strlen(b) >= n && std::strncmp(a, b, n) == 0;
}

bool isOneOf(uint32_t id, std::initializer_list<uint32_t> ids) {
    for (uint32_t x : ids)
        if (x == id) return true;
    return false;
}

}  // namespace

bool amdDeviceRowMatches(const DeviceTableRow& row, uint32_t device_id, const char* subsys,
                         const char* revision) {
    const char* column = row.short_name ? row.short_name : "";
    if (column[0] == '\0') return true;
    const bool has_subsys = subsys && std::strlen(subsys) == 8;
    const bool has_revision = revision && std::strlen(revision) == 2;
    if (isOneOf(device_id, {0x67DF, 0x67EF, 0x699F})) {
        if (has_subsys && std::strcmp(column, subsys) == 0) return true;
        return has_revision && equalPrefix(column, revision, 2);
    }
    if (isOneOf(device_id, {0x7300, 0x67B1, 0x687F, 0x67E8}))
        return has_revision && equalPrefix(column, revision, 2);
    if (isOneOf(device_id, {0x6900, 0x6939, 0x6811, 0x6810, 0x67B0, 0x6611, 0x731F, 0x665F})) {
        if (std::strlen(column) == 2) return has_revision && std::strcmp(column, revision) == 0;
        return has_subsys && equalPrefix(column, subsys, 8);
    }
    if (isOneOf(device_id, {0x6798, 0x679A, 0x6818, 0x6819, 0x665D, 0x665C, 0x6658}))
        return has_subsys && equalPrefix(column, subsys, 8);
    return true;
}

DeviceTable deviceTableFor(uint32_t vendor_id) {
    switch (vendor_id) {
        case kPciVendorNvidia:
            return DeviceTable::Nvidia;
        case kPciVendorAmd:
            return DeviceTable::Amd;
        case kPciVendorS3:
            return DeviceTable::S3;
        case kPciVendorIntel:
            return DeviceTable::Intel;
        default:
            return DeviceTable::Other;
    }
}

const DeviceTableRow* deviceTableRows(DeviceTable table, size_t& count) {
    switch (table) {
        case DeviceTable::Nvidia:
            return rowsOf(kNvidiaRows, count);
        case DeviceTable::Amd:
            return rowsOf(kAmdRows, count);
        case DeviceTable::S3:
            return rowsOf(kS3Rows, count);
        case DeviceTable::Intel:
            return rowsOf(kIntelRows, count);
        default:
            return rowsOf(kOtherRows, count);
    }
}

const DeviceTableRow* deviceTableRow(DeviceTable table, int row) {
    size_t count = 0;
    const DeviceTableRow* rows = deviceTableRows(table, count);
    if (row < 0 || static_cast<size_t>(row) >= count) return nullptr;
    return &rows[row];
}

int lookupDeviceRow(uint32_t vendor_id, uint32_t device_id, const char* subsys_text,
                    const char* revision_text) {
    const DeviceTable table = deviceTableFor(vendor_id);
    size_t count = 0;
    const DeviceTableRow* rows = deviceTableRows(table, count);
    for (size_t i = 0; i < count; ++i) {
        if (rows[i].device_id < 0 || static_cast<uint32_t>(rows[i].device_id) != device_id)
            continue;
        if (table == DeviceTable::Amd &&
            !amdDeviceRowMatches(rows[i], device_id, subsys_text, revision_text))
            continue;
        return static_cast<int>(i);
    }
    return -1;
}

}  // namespace plashwerk
