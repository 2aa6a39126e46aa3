#include "gpumon/pyrolex/pci_id_text.h"

#include <cctype>
#include <cstring>

namespace plashwerk {
namespace {

// Reads exactly `digits` hexadecimal digits at text; false when any is missing.
bool readHex(const char* text, int digits, uint32_t& value, char* upper = nullptr) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isxdigit(c)) return false;
        v = v * 16 + static_cast<uint32_t>(std::isdigit(c) ? c - '0' : std::toupper(c) - 'A' + 10);
    }
    value = v;
    if (upper) {
        for (int i = 0; i < digits; ++i)
            upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        upper[digits] = '\0';
    }
    return true;
}

}  // namespace

PciIdentity parsePciIdsAtFixedPositions(const char* text) {
    PciIdentity ids;
    if (!text || std::strncmp(text, "PCI\\VEN_", 8) != 0) return ids;
    const size_t length = std::strlen(text);
    auto field = [&](size_t at, int digits, uint32_t& value, char* upper = nullptr) {
        if (length >= at + static_cast<size_t>(digits)) readHex(text + at, digits, value, upper);
    };
    field(8, 4, ids.vendor_id);
    field(17, 4, ids.device_id);
    field(29, 4, ids.subsys_device_id);
    field(33, 4, ids.subsys_vendor_id);
    uint32_t subsys = 0;
    field(29, 8, subsys, ids.subsys_text);
    field(42, 2, ids.revision_id, ids.revision_text);
    return ids;
}

PciIdentity parsePciIdsByKey(const char* text) {
    PciIdentity ids;
    if (!text) return ids;
    auto after = [text](const char* key) -> const char* {
        const char* at = std::strstr(text, key);
        return at ? at + std::strlen(key) : nullptr;
    };
    if (const char* p = after("VEN_")) readHex(p, 4, ids.vendor_id);
    if (const char* p = after("DEV_")) readHex(p, 4, ids.device_id);
    if (const char* p = after("SUBSYS_")) {
        uint32_t subsys = 0;
        if (readHex(p, 8, subsys, ids.subsys_text)) {
            ids.subsys_device_id = subsys >> 16;
            ids.subsys_vendor_id = subsys & 0xFFFF;
        }
    }
    if (const char* p = after("REV_")) readHex(p, 2, ids.revision_id, ids.revision_text);
    return ids;
}

}  // namespace plashwerk
