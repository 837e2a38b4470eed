#include "config/LinkSettings.h"

CSharedRecord<ComSettingsRecord> ComSettings;
CSharedRecord<UsbSettingsRecord> UsbSettings;

void ResetLinkSettings() {
    ComSettings.Set(ComSettingsRecord{});
    UsbSettings.Set(UsbSettingsRecord{});
}
