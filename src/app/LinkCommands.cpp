// Connect (the probe) and the two settings dialogs.
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QWidget>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "convert/ViewCodec.h"
#include "link/ConnectionProbe.h"
#include "link/SerialPort.h"
#include "ui/ComSettingDlg.h"
#include "ui/MessageSeam.h"
#include "ui/UsbSettingDlg.h"
#include "view/CommunicationView.h"

namespace {

constexpr char kProbePortLine[] = "端口: ";
constexpr char kProbeTrying[] = "正在尝试 ";
constexpr char kProbeCancel[] = "取消";

// One probe in the window. It runs on a thread of its own so the window
// keeps answering while silent ports take their time; the status line, the
// port being tried and the outcome reach the window through queued calls,
// and the worker never waits for the window. Stop() (the cancel button, Esc,
// leaving) wakes the port being tried at once.
class CWindowProbe : public QObject, public CProbeScreen {
    Q_OBJECT
public:
    explicit CWindowProbe(QMainWindow* frame) : QObject(frame) {
        auto* bar = frame->statusBar();
        m_progress = new QWidget(bar);
        m_progress->setObjectName(QStringLiteral("probeProgress"));
        auto* row = new QHBoxLayout(m_progress);
        row->setContentsMargins(0, 0, 0, 0);
        m_label = new QLabel(m_progress);
        m_label->setObjectName(QStringLiteral("probePort"));
        auto* cancel = new QPushButton(QString::fromUtf8(kProbeCancel), m_progress);
        cancel->setObjectName(QStringLiteral("probeCancel"));
        row->addWidget(m_label);
        row->addWidget(cancel);
        bar->addPermanentWidget(m_progress);
        connect(cancel, &QPushButton::clicked, this, [this] { m_stop.Stop(); });
        m_escape = new QShortcut(Qt::Key_Escape, frame);
        m_escape->setContext(Qt::WindowShortcut);
        connect(m_escape, &QShortcut::activated, this, [this] { m_stop.Stop(); });
    }
    ~CWindowProbe() override {
        m_stop.Stop();
        if (m_thread.joinable()) m_thread.join();
        // When the window goes first, its status bar takes these with it.
        delete m_escape.data();
        delete m_progress.data();
    }

    void Start() {
        // The first status line shows at once, as part of the command.
        SetView(kMsgProbeStatus);
        m_thread = std::thread([this] {
            const int found = Probe(*this, {}, &m_stop);
            Post([this, found] { Finish(found); });
        });
    }
    void Stop() { m_stop.Stop(); }
    // Leaving: stop, wait for the thread (it ends within the cancel's
    // bound) and clear the status as the end of a probe does.
    void StopAndJoin() {
        m_stop.Stop();
        if (m_thread.joinable()) m_thread.join();
        SetView("");
    }

    // The worker's side.
    void SetStatusText(const std::string& utf8) override {
        // The first line was shown by Start; the rest follow in order.
        if (!m_started.exchange(true)) return;
        Post([utf8] { SetView(utf8); });
    }
    void ShowMessage(const std::string& utf8) override {
        std::lock_guard lock(m_mutex);
        m_message = utf8;
    }
    void TryingPort(const std::string& name) override {
        const QString text =
            QString::fromUtf8(kProbeTrying) + QString::fromStdString(name) + QStringLiteral("…");
        Post([this, text] {
            if (m_progress) m_label->setText(text);
        });
    }

    // Runs the worker's calls in order on the window's thread.
    Q_INVOKABLE void Drain() {
        std::deque<std::function<void()>> calls;
        {
            std::lock_guard lock(m_mutex);
            calls.swap(m_calls);
            m_drainPosted = false;
        }
        for (auto& call : calls) call();
    }

private:
    // The calls travel in our own queue under our own lock; the event only
    // wakes the window's thread.
    void Post(std::function<void()> call) {
        bool post = false;
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(std::move(call));
            post = !m_drainPosted;
            m_drainPosted = true;
        }
        if (post) QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
    }
    static void SetView(const std::string& utf8) {
        // The status replaces the data: the document no longer holds its file.
        ShowNewData(Utf8ToGbk(utf8));
    }
    void Finish(int /*found*/);

    QPointer<QWidget> m_progress;
    QLabel* m_label;
    QPointer<QShortcut> m_escape;
    CProbeStop m_stop;
    std::thread m_thread;
    std::atomic<bool> m_started{false};
    std::mutex m_mutex;
    std::string m_message;                      // guarded by m_mutex
    std::deque<std::function<void()>> m_calls;  // guarded by m_mutex
    bool m_drainPosted = false;                 // guarded by m_mutex
};

QPointer<CWindowProbe> g_probe;

void UnlockAndRefresh() {
    if (CCommunicationApp* app = TheApp()) {
        if (app->View()) app->View()->SetLocked(false);
        if (app->Frame()) app->Frame()->UpdateCommandUI();
    }
}

void CWindowProbe::Finish(int /*found*/) {
    if (m_thread.joinable()) m_thread.join();
    std::string message;
    {
        std::lock_guard lock(m_mutex);
        message.swap(m_message);
    }
    // The probe is over before its outcome shows: the commands come back,
    // the cancel button and Esc go.
    g_probe = nullptr;
    delete m_escape.data();
    delete m_progress.data();
    deleteLater();
    UnlockAndRefresh();
    if (message.empty()) return;
    QString text = QString::fromUtf8(message);
    // Success names the port that answered and the device behind it.
    if (message == kMsgProbeSucceeded) {
        const std::string port = ComSettings.Get().COMPort;
        const std::string device = ResolvePortName(port);
        text += '\n' + QString::fromUtf8(kProbePortLine) + QString::fromStdString(port);
        if (device != port) text += " (" + QString::fromStdString(device) + ')';
    }
    ShowMessageBox(AppMainWindow(), text);
}

}  // namespace

bool IsProbeRunning() {
    return !g_probe.isNull();
}

void StopProbe() {
    if (!g_probe) return;
    CWindowProbe* probe = g_probe;
    g_probe = nullptr;
    probe->StopAndJoin();
    delete probe;
    UnlockAndRefresh();
}

void RegisterLinkCommands() {
    RegisterCommand(cmd::kConnect, [] {
        // The probe's status replaces the text: an unsaved text is offered
        // for saving first, as New does.
        if (g_probe || !SaveModifiedDocument()) return;
        auto* frame = qobject_cast<QMainWindow*>(AppMainWindow());
        if (!frame) return;
        auto* probe = new CWindowProbe(frame);
        g_probe = probe;
        // What the user types now would be lost when the probe clears the view.
        if (CCommunicationApp* app = TheApp(); app && app->View()) app->View()->SetLocked(true);
        probe->Start();
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

#include "LinkCommands.moc"
