#pragma once
// The GPU library's device tables: one per vendor (NVIDIA, AMD, S3, Intel, other vendors),
// each row describing one PCI device id, each table ending with an all-zero row.

#include <cstddef>
#include <cstdint>

namespace plashwerk {

struct DeviceTableRow {
    int32_t device_id;       ///< PCI device id; -1 for parts without one
    int32_t reserved;        ///< 0
    const char* codename;    ///< GPU codename
    const char* short_name;  ///< short name; on some AMD rows a subsystem or revision text
    const char* full_name;   ///< the name the program shows
    int32_t directx;         ///< DirectX level × 10 (110 = 11.0); -1 for none
    int32_t unified_cores;   ///< unified shader cores, 0 for older designs
    int32_t vertex_units;
    int32_t pixel_units;
    int32_t texture_units;
    int32_t rops;
    int32_t tdp_watts;  ///< 0 where not published
};

enum class DeviceTable { Nvidia, Amd, S3, Intel, Other };

/// The table that serves a PCI vendor id (any unknown vendor: Other).
DeviceTable deviceTableFor(uint32_t vendor_id);

/// The rows of a table, the final all-zero row included; count excludes it.
const DeviceTableRow* deviceTableRows(DeviceTable table, size_t& count);

/// The row of a lookup result, or null for -1 or an index beyond the table.
const DeviceTableRow* deviceTableRow(DeviceTable table, int row);

/// Looks a GPU up in its vendor's table and returns the row index, -1 when none matches.
/// NVIDIA, S3, Intel and other vendors: the first row with the device id. AMD: the device
/// id, then for some ids the subsystem text (eight hex digits, subsystem device then
/// subsystem vendor) or the revision text (two hex digits) against the short-name column;
/// either text may be null or empty when the GPU has none.
int lookupDeviceRow(uint32_t vendor_id, uint32_t device_id, const char* subsys_text,
                    const char* revision_text);

/// The AMD rule for one row whose device id equals the GPU's: a row with an empty
/// short-name column matches; for some device ids the column must equal the subsystem text
/// or begin with the revision text (see lookupDeviceRow).
bool amdDeviceRowMatches(const DeviceTableRow& row, uint32_t device_id, const char* subsys_text,
                         const char* revision_text);

}  // namespace plashwerk
