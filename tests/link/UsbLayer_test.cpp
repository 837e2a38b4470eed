// The USB device layer's own refusals, and the udev rule that must name every
// model the layer looks for.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "link/UsbDevice.h"
#include "link/UsbModelIds.h"

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

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

TEST(UsbLayer, NoModelOrNoDeviceOpensNothingAndLeaksNothing) {
    UsbModelIds.Set({});
    CUsbDevice device;
    EXPECT_EQ(device.Open(), 0u);
    EXPECT_FALSE(device.LastError().empty());
    unsigned char packet[64] = {};
    EXPECT_EQ(device.Write(packet, 64), 0u);
    EXPECT_EQ(device.Read(packet, 64), 0u);
    // A model but no device: the empty device list is freed too
    // (LeakSanitizer checks, where it runs).
    UsbModelIds.Set(kUsbModelRows[0].Ids);
    if (device.Open() != 0) GTEST_SKIP() << "an instrument is plugged in";
    EXPECT_FALSE(device.LastError().empty());
    EXPECT_TRUE(device.List().empty());
    device.Close();
    UsbModelIds.Set({});
#ifdef __SANITIZE_ADDRESS__
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "LeakSanitizer found a leak";
#endif
}
