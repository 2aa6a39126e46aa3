#pragma once
// The NVIDIA back end of the GPU library, over NVAPI (platform/nvapi).
//
// Enumeration lists every physical GPU NVAPI reports, fills its identity, static data and
// performance-state table, and matches it to its display-device entry; the queries ask
// NVAPI afresh each time. Without NVAPI (no NVIDIA driver) there are no NVIDIA GPUs and
// every query answers false.

#include <cstdint>
#include <memory>
#include <string>

#include "gpumon/pyrolex/vendor_backend.h"

namespace plashwerk {

std::unique_ptr<VendorBackend> createNvidiaBackend();

/// Product family by the driver's brand code ("GeForce" for 1 ... "Titan Quadro" for 9);
/// empty for any other code.
const char* nvidiaProductFamily(uint32_t brand_code);
/// Memory type by the driver's code ("SDRAM" for 1 ... "GDDR6" for 14); empty otherwise.
const char* nvidiaMemoryType(uint32_t code);
/// "R%.2f" of the driver version number ÷ 100: 44523 gives "R445.23".
std::string nvidiaDriverVersionText(uint32_t version_number);

}  // namespace plashwerk
