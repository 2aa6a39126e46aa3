#include "platform/adl/ags.h"

#include <algorithm>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

#include "platform/adl/amdgpu_sysfs.h"
#include "platform/sysfs/sysfs.h"

struct AGSContext {
    std::vector<std::string> names;
    std::vector<AGSDeviceInfo> devices;
};

namespace {

using plashwerk::amdgpu::Card;

bool isOneOf(uint32_t id, std::initializer_list<uint32_t> ids) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

int highestLevel(const Card& card, const char* file) {
    plashwerk::amdgpu::DpmTable table;
    if (!plashwerk::amdgpu::readDpmTable(card, file, table)) return 0;
    int mhz = 0;
    for (const auto& level : table.levels) mhz = std::max(mhz, level.mhz);
    return mhz;
}

// The graphics block's major IP version, published by newer kernels; -1 without it.
int graphicsIpMajor(const Card& card) {
    long long major = -1;
    std::string text;
    if (!plashwerk::readTextFile(card.dir + "ip_discovery/die/0/GC/0/major", text, 32) ||
        !plashwerk::amdgpu::parseInteger(text, major) || major < 0 || major > 100)
        return -1;
    return static_cast<int>(major);
}

}  // namespace

int agsArchitectureOf(uint32_t device_id, int graphics_ip_major) {
    if (graphics_ip_major >= 10) return AGS_ARCHITECTURE_RDNA;
    if (graphics_ip_major == 9) return AGS_ARCHITECTURE_VEGA;
    if (isOneOf(device_id, {0x6798, 0x679A, 0x679B, 0x6818, 0x6819, 0x6810, 0x6811}))
        return AGS_ARCHITECTURE_GCN1;  // Tahiti, Pitcairn, Curaçao
    if (isOneOf(device_id, {0x67B0, 0x67B1, 0x665C, 0x665D, 0x665F}))
        return AGS_ARCHITECTURE_GCN2;  // Hawaii, Bonaire
    if (isOneOf(device_id, {0x7300, 0x6939, 0x6938})) return AGS_ARCHITECTURE_GCN3;  // Fiji, Tonga
    if (isOneOf(device_id, {0x67DF, 0x67EF, 0x67FF, 0x699F, 0x6FDF}))
        return AGS_ARCHITECTURE_GCN4;  // Polaris
    if (isOneOf(device_id, {0x687F, 0x66AF, 0x6863})) return AGS_ARCHITECTURE_VEGA;
    if (isOneOf(device_id, {0x68F9, 0x6779, 0x68B8})) return AGS_ARCHITECTURE_PRE_GCN;
    return AGS_ARCHITECTURE_UNKNOWN;
}

AGSReturnCode agsInit(AGSContext** context, const AGSConfiguration* config, AGSGPUInfo* gpuInfo) {
    (void)config;
    if (!context || !gpuInfo) return AGS_INVALID_ARGS;
    *context = nullptr;
    std::vector<Card> cards;
    if (!plashwerk::amdgpu::scanCards(cards)) return AGS_FAILURE;
    auto* ctx = new (std::nothrow) AGSContext;
    if (!ctx) return AGS_OUT_OF_MEMORY;
    ctx->names.reserve(cards.size());
    for (size_t i = 0; i < cards.size(); ++i) {
        const Card& card = cards[i];
        ctx->names.push_back(card.name);
        AGSDeviceInfo d{};
        d.architectureVersion = agsArchitectureOf(card.device, graphicsIpMajor(card));
        d.vendorId = static_cast<int>(card.vendor);
        d.deviceId = static_cast<int>(card.device);
        d.revisionId = static_cast<int>(card.revision);
        d.coreClock = highestLevel(card, "pp_dpm_sclk");
        d.memoryClock = highestLevel(card, "pp_dpm_mclk");
        d.isPrimaryDevice = card.boot_vga ? 1 : 0;
        uint64_t bytes = 0;
        if (plashwerk::amdgpu::readVramBytes(card, bytes))
            d.localMemoryInBytes = static_cast<long long>(bytes);
        d.adlAdapterIndex = static_cast<int>(i);
        ctx->devices.push_back(d);
    }
    // The names are in place now: the vector no longer moves them.
    for (size_t i = 0; i < ctx->devices.size(); ++i)
        ctx->devices[i].adapterString = ctx->names[i].c_str();
    *gpuInfo = AGSGPUInfo{};
    gpuInfo->agsVersionMajor = 5;
    gpuInfo->agsVersionMinor = 4;
    gpuInfo->numDevices = static_cast<int>(ctx->devices.size());
    gpuInfo->devices = ctx->devices.empty() ? nullptr : ctx->devices.data();
    *context = ctx;
    return AGS_SUCCESS;
}

AGSReturnCode agsDeInit(AGSContext* context) {
    delete context;
    return AGS_SUCCESS;
}
