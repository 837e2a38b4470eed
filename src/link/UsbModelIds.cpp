#include "link/UsbModelIds.h"

CSharedRecord<UsbModelIdsRecord> UsbModelIds;

const UsbModelRow* FindUsbModelRow(std::string_view textUtf8) {
    for (const UsbModelRow& row : kUsbModelRows)
        if (row.Text == textUtf8) return &row;
    return nullptr;
}
