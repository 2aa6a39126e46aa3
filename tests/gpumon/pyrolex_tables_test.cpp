// PCI id texts and the device tables.

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "gpumon/pyrolex/device_tables.h"
#include "gpumon/pyrolex/pci_id_text.h"

namespace plashwerk {
namespace {

TEST(PciIdText, FixedPositions) {
    const PciIdentity ids =
        parsePciIdsAtFixedPositions("PCI\\VEN_10DE&DEV_2484&SUBSYS_146B10DE&REV_A1");
    EXPECT_EQ(ids.vendor_id, 0x10DEu);
    EXPECT_EQ(ids.device_id, 0x2484u);
    EXPECT_EQ(ids.subsys_device_id, 0x146Bu);
    EXPECT_EQ(ids.subsys_vendor_id, 0x10DEu);
    EXPECT_EQ(ids.revision_id, 0xA1u);
    EXPECT_STREQ(ids.subsys_text, "146B10DE");
    EXPECT_STREQ(ids.revision_text, "A1");
    // Lower-case digits read the same; the texts come out upper case.
    const PciIdentity lower =
        parsePciIdsAtFixedPositions("PCI\\VEN_1002&DEV_679a&SUBSYS_047c1043&REV_00");
    EXPECT_EQ(lower.device_id, 0x679Au);
    EXPECT_STREQ(lower.subsys_text, "047C1043");
}

TEST(PciIdText, DamagedTextsGiveNoIds) {
    for (const char* text :
         {"", "VIRTUAL\\OPENGL", "PCI\\VEN_", "PCI\\VEN_10", "PCI\\VEN_10DE&DEV_24"}) {
        const PciIdentity ids = parsePciIdsAtFixedPositions(text);
        EXPECT_EQ(ids.device_id, 0u) << text;
        EXPECT_EQ(ids.revision_id, 0u) << text;
    }
    EXPECT_EQ(parsePciIdsAtFixedPositions(nullptr).vendor_id, 0u);
    EXPECT_EQ(parsePciIdsAtFixedPositions("PCI\\VEN_XYZW&DEV_2484").vendor_id, 0u)
        << "each field on its own";
    // A text cut after the device id still gives what it holds.
    const PciIdentity cut = parsePciIdsAtFixedPositions("PCI\\VEN_10DE&DEV_2484&SUBSYS_14");
    EXPECT_EQ(cut.vendor_id, 0x10DEu);
    EXPECT_EQ(cut.device_id, 0x2484u);
    EXPECT_EQ(cut.subsys_vendor_id, 0u);
}

TEST(PciIdText, ByKeyFindsFieldsAnywhere) {
    const PciIdentity ids =
        parsePciIdsByKey("PCI\\VEN_8086&DEV_3E92&SUBSYS_86941043&REV_02\\3&11583659&0&10");
    EXPECT_EQ(ids.vendor_id, 0x8086u);
    EXPECT_EQ(ids.device_id, 0x3E92u);
    EXPECT_EQ(ids.subsys_device_id, 0x8694u);
    EXPECT_EQ(ids.subsys_vendor_id, 0x1043u);
    EXPECT_EQ(ids.revision_id, 0x02u);
    EXPECT_EQ(parsePciIdsByKey("VIRTUAL\\OPENGL").vendor_id, 0u);
    EXPECT_EQ(parsePciIdsByKey("VEN_10").vendor_id, 0u);
}

TEST(DeviceTables, EveryTableIsWellFormed) {
    for (DeviceTable table : {DeviceTable::Nvidia, DeviceTable::Amd, DeviceTable::S3,
                              DeviceTable::Intel, DeviceTable::Other}) {
        size_t count = 0;
        const DeviceTableRow* rows = deviceTableRows(table, count);
        ASSERT_GT(count, 0u);
        EXPECT_EQ(rows[count].device_id, 0) << "ends with the all-zero row";
        EXPECT_EQ(rows[count].full_name, nullptr);
        for (size_t i = 0; i < count; ++i) {
            ASSERT_NE(rows[i].full_name, nullptr);
            EXPECT_GT(std::strlen(rows[i].full_name), 0u);
            ASSERT_NE(rows[i].codename, nullptr);
            ASSERT_NE(rows[i].short_name, nullptr);
            EXPECT_EQ(rows[i].reserved, 0);
            EXPECT_GE(rows[i].tdp_watts, 0);
        }
        EXPECT_EQ(deviceTableRow(table, static_cast<int>(count)), nullptr);
        EXPECT_EQ(deviceTableRow(table, -1), nullptr);
    }
}

TEST(DeviceTables, LookupByVendorRule) {
    const int h100 = lookupDeviceRow(0x10DE, 0x2330, nullptr, nullptr);
    const DeviceTableRow* row = deviceTableRow(DeviceTable::Nvidia, h100);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row->full_name, "NVIDIA H100 80GB HBM3");
    EXPECT_EQ(row->tdp_watts, 700);
    ASSERT_NE(deviceTableRow(DeviceTable::Nvidia, lookupDeviceRow(0x10DE, 0x2335, "", "")),
              nullptr);
    EXPECT_EQ(lookupDeviceRow(0x10DE, 0xFFFF, nullptr, nullptr), -1);

    const DeviceTableRow* intel =
        deviceTableRow(DeviceTable::Intel, lookupDeviceRow(0x8086, 0x9B41, nullptr, nullptr));
    ASSERT_NE(intel, nullptr);
    EXPECT_STREQ(intel->full_name, "Intel UHD Graphics 730");
    EXPECT_EQ(intel->unified_cores, 192);
    // Any other vendor: the table of other vendors, by device id.
    const DeviceTableRow* aspeed =
        deviceTableRow(DeviceTable::Other, lookupDeviceRow(0x1A03, 0x2000, nullptr, nullptr));
    ASSERT_NE(aspeed, nullptr);
    EXPECT_STREQ(aspeed->full_name, "ASPEED Graphics Family");

    // AMD: 0x679A needs its subsystem text; 0x679B has a row with an empty column.
    const DeviceTableRow* asus =
        deviceTableRow(DeviceTable::Amd, lookupDeviceRow(0x1002, 0x679A, "047C1043", "00"));
    ASSERT_NE(asus, nullptr);
    EXPECT_STREQ(asus->full_name, "ASUS R9 280 Series");
    EXPECT_EQ(lookupDeviceRow(0x1002, 0x679A, "12345678", "00"), -1);
    EXPECT_EQ(lookupDeviceRow(0x1002, 0x679A, nullptr, nullptr), -1);
    const DeviceTableRow* malta =
        deviceTableRow(DeviceTable::Amd, lookupDeviceRow(0x1002, 0x679B, nullptr, nullptr));
    ASSERT_NE(malta, nullptr);
    EXPECT_EQ(malta->unified_cores, 4096);
    EXPECT_EQ(malta->tdp_watts, 375);
}

TEST(DeviceTables, AmdRowRules) {
    auto row = [](const char* column) {
        return DeviceTableRow{0, 0, "x", column, "x", 0, 0, 0, 0, 0, 0, 0};
    };
    // 0x67DF: the subsystem text, else the revision text's first two characters.
    EXPECT_TRUE(amdDeviceRowMatches(row(""), 0x67DF, "12345678", "C7"));
    EXPECT_TRUE(amdDeviceRowMatches(row("E7"), 0x67DF, "12345678", "E7"));
    EXPECT_TRUE(amdDeviceRowMatches(row("E7 XT"), 0x67DF, "12345678", "E7"));
    EXPECT_TRUE(amdDeviceRowMatches(row("22211458"), 0x67DF, "22211458", "E7"));
    EXPECT_FALSE(amdDeviceRowMatches(row("C7"), 0x67DF, "22211458", "E7"));
    EXPECT_FALSE(amdDeviceRowMatches(row("E7"), 0x67DF, "22211458", nullptr));
    // 0x7300: the revision only.
    EXPECT_TRUE(amdDeviceRowMatches(row("CB"), 0x7300, nullptr, "CB"));
    EXPECT_FALSE(amdDeviceRowMatches(row("CB"), 0x7300, "CB000000", "C8"));
    // 0x6900: two characters against the revision, longer against the subsystem.
    EXPECT_TRUE(amdDeviceRowMatches(row("81"), 0x6900, "11111111", "81"));
    EXPECT_TRUE(amdDeviceRowMatches(row("11111111"), 0x6900, "11111111", "81"));
    EXPECT_FALSE(amdDeviceRowMatches(row("83"), 0x6900, "11111111", "81"));
    // 0x6798: the subsystem's eight characters.
    EXPECT_TRUE(amdDeviceRowMatches(row("30001002"), 0x6798, "30001002", "00"));
    EXPECT_FALSE(amdDeviceRowMatches(row("30001002"), 0x6798, "30011002", "00"));
    // Any other id: the first row.
    EXPECT_TRUE(amdDeviceRowMatches(row("whatever"), 0x744C, nullptr, nullptr));
}

}  // namespace
}  // namespace plashwerk
