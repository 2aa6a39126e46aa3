#pragma once
// PCI identity read from a display device's id text,
// "PCI\VEN_vvvv&DEV_dddd&SUBSYS_ssssSSSS&REV_rr" (ssss subsystem device, SSSS subsystem
// vendor).

#include <cstdint>

namespace plashwerk {

struct PciIdentity {
    uint32_t vendor_id = 0, device_id = 0, subsys_vendor_id = 0, subsys_device_id = 0;
    uint32_t revision_id = 0;
    char subsys_text[9] = "";    ///< the eight SUBSYS_ digits as written, upper case
    char revision_text[3] = "";  ///< the two REV_ digits as written, upper case
};

/// Reads the ids from their fixed positions: vendor from characters 8-11, device 17-20,
/// subsystem device 29-32, subsystem vendor 33-36, revision 42-43. A field that is cut off
/// or not hexadecimal reads 0 (and its text stays empty); a text that does not begin with
/// "PCI\VEN_" gives no ids at all.
PciIdentity parsePciIdsAtFixedPositions(const char* text);

/// Reads the ids by locating "VEN_", "DEV_", "SUBSYS_" and "REV_" and taking the 4, 4, 8
/// and 2 hexadecimal digits behind each; a missing or short field reads 0.
PciIdentity parsePciIdsByKey(const char* text);

}  // namespace plashwerk
