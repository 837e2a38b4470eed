#include "config/LinkSettings.h"

CSharedRecord<ComSettingsRecord> ComSettings;
CSharedRecord<UsbSettingsRecord> UsbSettings;

void ResetLinkSettings() {
    ComSettings.Set(ComSettingsRecord{});
    UsbSettings.Set(UsbSettingsRecord{});
}

bool IsBaudRate(long long rate) {
    for (const int32_t r : kBaudRates)
        if (r == rate) return true;
    return false;
}

UsbSettingsRecord UsbSettingsInForce(UsbSettingsRecord record) {
    if (record.USBRevTimeOut <= 0) record.USBRevTimeOut = kUsbDefaultTimeoutMs;
    if (record.USBRevRowDelay <= 0) record.USBRevRowDelay = kUsbDefaultRowDelayMs;
    return record;
}
