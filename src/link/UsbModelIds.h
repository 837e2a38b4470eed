// The USB identifiers of the instrument model chosen in the main window.
#pragma once

#include <cstdint>
#include <string_view>

#include "config/LinkSettings.h"

struct UsbModelIdsRecord {
    uint16_t VendorId = 0;
    uint16_t ProductId = 0;
    uint32_t InEndpoint = 0;  // bit 7 set: device to host
    uint32_t OutEndpoint = 0;
    friend bool operator==(const UsbModelIdsRecord&, const UsbModelIdsRecord&) = default;
};

// Read and written whole under a lock: a USB transfer never sees half of a
// model change made on the window's thread. All zero until a model is chosen.
extern CSharedRecord<UsbModelIdsRecord> UsbModelIds;

// One row of the model selector: its text, the message it shows (both UTF-8),
// the identifiers it sets and the model's name on the `jvs` command line.
struct UsbModelRow {
    std::string_view Text;
    std::string_view Message;
    UsbModelIdsRecord Ids;
    std::string_view Name;
};

inline constexpr UsbModelRow kUsbModelRows[] = {
    {"QMX640系列", "您选择的是QMX640系列仪器！", {0xFFFF, 0x0007, 0x82, 0x02}, "qmx640"},
    {"QMX660系列", "您选择的是QMX660系列仪器！", {0x3D18, 0x3D02, 0x83, 0x04}, "qmx660"},
};

// The row whose text is exactly the given one, or null.
const UsbModelRow* FindUsbModelRow(std::string_view textUtf8);
// The row of a command-line model name ("qmx640"), or null.
const UsbModelRow* FindUsbModelByName(std::string_view name);
// The row whose vendor and product id these are, or null.
const UsbModelRow* FindUsbModelByIds(uint16_t vendorId, uint16_t productId);
