// The transfer commands: each starts its worker (and companion) and returns at
// once. While a transfer runs they are disabled, and a second start is
// refused; 停止传输 is enabled then, and only then.
#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferRun.h"

namespace {

void Add(unsigned id, TransferKind kind) {
    RegisterCommand(id, [kind] { TheTransferManager().Start(kind, AppTransferScreen()); });
}

}  // namespace

void RegisterTransferCommands() {
    using namespace cmd;
    Add(kDownload210, TransferKind::DownloadQmx210);
    Add(kDownload610, TransferKind::DownloadQmx610);
    Add(kDownload610B, TransferKind::DownloadQmx610);
    Add(kUpload210, TransferKind::UploadQmx210);
    Add(kUpload610, TransferKind::UploadQmx610);
    Add(kUploadPcode, TransferKind::UploadPcode);
    Add(kUploadFeatures, TransferKind::UploadFeatureCodes);
    Add(kUploadAlignment, TransferKind::UploadAlignment);
    Add(kUploadAlignmentB, TransferKind::UploadAlignment);
    Add(kUsbDownloadA, TransferKind::UsbDownload);
    Add(kUsbDownloadB, TransferKind::UsbDownload);
    Add(kUsbDownloadC, TransferKind::UsbDownload);
    Add(kUsbUpload610, TransferKind::UsbUploadQmx610);
    Add(kUsbUploadTextA, TransferKind::UsbUploadText);
    Add(kUsbUploadTextB, TransferKind::UsbUploadText);
    Add(kUsbUploadTextC, TransferKind::UsbUploadText);
    Add(kUsbUploadFeatures, TransferKind::UsbUploadFeatureCodes);
    RegisterStopCommand(kStopTransfer, [] { TheTransferManager().Stop(EStopReason::Command); });
}
