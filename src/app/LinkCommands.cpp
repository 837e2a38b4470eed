// Connect (the probe) and the two settings dialogs.
#include <QCoreApplication>
#include <QEventLoop>
#include <QWidget>

#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "convert/ViewCodec.h"
#include "link/ConnectionProbe.h"
#include "link/SerialPort.h"
#include "ui/ComSettingDlg.h"
#include "ui/MessageSeam.h"
#include "ui/UsbSettingDlg.h"

namespace {

constexpr char kProbePortLine[] = "端口: ";

// The probe runs on the user-interface thread; between steps the window is
// repainted (user input waits) so the status line is seen.
class CWindowProbeScreen : public CProbeScreen {
public:
    void SetStatusText(const std::string& utf8) override {
        // The status replaces the data: the document no longer holds its file.
        ShowNewData(Utf8ToGbk(utf8));
        if (QWidget* w = AppMainWindow()) w->repaint();
        Pump();
    }
    void ShowMessage(const std::string& utf8) override {
        QString text = QString::fromUtf8(utf8);
        // Success names the port that answered and the device behind it.
        if (utf8 == kMsgProbeSucceeded) {
            const std::string port = ComSettings.Get().COMPort;
            const std::string device = ResolvePortName(port);
            text += '\n' + QString::fromUtf8(kProbePortLine) + QString::fromStdString(port);
            if (device != port) text += " (" + QString::fromStdString(device) + ')';
        }
        ShowMessageBox(AppMainWindow(), text);
    }
    void BetweenPorts() override { Pump(); }

private:
    static void Pump() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }
};

}  // namespace

void RegisterLinkCommands() {
    RegisterCommand(cmd::kConnect, [] {
        // The probe's status replaces the text: an unsaved text is offered
        // for saving first, as New does.
        if (!SaveModifiedDocument()) return;
        CWindowProbeScreen screen;
        Probe(screen);
    });
    RegisterCommand(cmd::kFrameComSettings, [] {
        CComSettingDlg dlg(AppMainWindow());
        dlg.exec();
    });
    RegisterCommand(cmd::kUsbSettings, [] {
        CUsbSettingDlg dlg(AppMainWindow());
        dlg.exec();
    });
}
