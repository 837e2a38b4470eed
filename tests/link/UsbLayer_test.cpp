// The USB device layer's own refusals, and the udev rule that must name every
// model the layer looks for.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "link/UsbDevice.h"
#include "link/UsbModelIds.h"

TEST(UsbLayer, NoModelSelectedOpensNothing) {
    UsbModelIds.Set({});
    CUsbDevice device;
    EXPECT_EQ(device.Open(), 0u);
    EXPECT_FALSE(device.LastError().empty());
    unsigned char packet[64] = {};
    EXPECT_EQ(device.Write(packet, 64), 0u);
    EXPECT_EQ(device.Read(packet, 64), 0u);
    device.Close();
}

TEST(UsbLayer, TheUdevRuleGivesTheUserEveryModel) {
    std::ifstream in(std::string(JVS_SOURCE_DIR) + "/packaging/60-jvs-transfer.rules");
    const std::string rules(std::istreambuf_iterator<char>(in), {});
    for (const UsbModelRow& row : kUsbModelRows) {
        char match[160];
        std::snprintf(match, sizeof match,
                      "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"%04x\", "
                      "ATTR{idProduct}==\"%04x\", TAG+=\"uaccess\"\n",
                      row.Ids.VendorId, row.Ids.ProductId);
        EXPECT_NE(rules.find(match), std::string::npos) << row.Name;
    }
}
