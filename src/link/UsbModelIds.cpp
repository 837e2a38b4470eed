#include "link/UsbModelIds.h"

CSharedRecord<UsbModelIdsRecord> UsbModelIds;

const UsbModelRow* FindUsbModelRow(std::string_view textUtf8) {
    for (const UsbModelRow& row : kUsbModelRows)
        if (row.Text == textUtf8) return &row;
    return nullptr;
}

const UsbModelRow* FindUsbModelByName(std::string_view name) {
    for (const UsbModelRow& row : kUsbModelRows)
        if (row.Name == name) return &row;
    return nullptr;
}

const UsbModelRow* FindUsbModelByIds(uint16_t vendorId, uint16_t productId) {
    for (const UsbModelRow& row : kUsbModelRows)
        if (row.Ids.VendorId == vendorId && row.Ids.ProductId == productId) return &row;
    return nullptr;
}
