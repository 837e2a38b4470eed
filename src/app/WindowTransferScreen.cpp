#include "app/WindowTransferScreen.h"

#include <QThread>
#include <memory>

#include "app/AppServices.h"
#include "app/AppStrings.h"
#include "app/MainFrame.h"
#include "doc/CommunicationDoc.h"
#include "doc/CommunicationView.h"
#include "doc/MessageSeam.h"

CWindowTransferScreen::CWindowTransferScreen() {
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &CWindowTransferScreen::Flush);
}

CWindowTransferScreen::~CWindowTransferScreen() {
    Abandon();
}

void CWindowTransferScreen::Attach(CCommunicationView* view, CCommunicationDoc* doc,
                                   CMainFrame* frame) {
    m_view = view;
    m_doc = doc;
    m_frame = frame;
}

void CWindowTransferScreen::Reset() {
    std::lock_guard lock(m_mutex);
    m_abandoned = false;
}

void CWindowTransferScreen::RunOnUi(std::function<void()> fn, bool wait) {
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    auto finished = std::make_shared<bool>(false);
    {
        std::lock_guard lock(m_mutex);
        if (m_abandoned) return;
    }
    QMetaObject::invokeMethod(
        this,
        [this, fn = std::move(fn), finished] {
            {
                std::lock_guard lock(m_mutex);
                if (m_abandoned) return;
            }
            fn();
            std::lock_guard lock(m_mutex);
            *finished = true;
            m_done.notify_all();
        },
        Qt::QueuedConnection);
    if (!wait) return;
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return *finished || m_abandoned; });
}

void CWindowTransferScreen::Abandon() {
    std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_done.notify_all();
}

void CWindowTransferScreen::Flush() {
    m_flushPosted = false;
    m_flushTimer.stop();
    std::string text;
    {
        std::lock_guard lock(m_mutex);
        if (!m_hasPending) return;
        text.swap(m_pendingText);
        m_hasPending = false;
    }
    if (m_view) m_view->ShowBytesAtEnd(text);
    m_sinceRefresh.start();
}

void CWindowTransferScreen::ScheduleFlush() {
    // Window's thread: now if the last refresh is old enough, else when it is.
    if (!m_sinceRefresh.isValid() || m_sinceRefresh.elapsed() >= kRefreshMs) {
        Flush();
    } else if (!m_flushTimer.isActive()) {
        m_flushTimer.start(static_cast<int>(kRefreshMs - m_sinceRefresh.elapsed()));
    }
}

void CWindowTransferScreen::ShowText(const std::string& bytes) {
    {
        std::lock_guard lock(m_mutex);
        m_pendingText = bytes;
        m_hasPending = true;
    }
    if (QThread::currentThread() == thread()) {
        ScheduleFlush();
        return;
    }
    if (!m_flushPosted.exchange(true)) RunOnUi([this] { ScheduleFlush(); }, false);
}

std::string CWindowTransferScreen::GetViewText() {
    std::string text;
    RunOnUi([this, &text] {
        Flush();
        if (m_view) text = m_view->GetBytes();
    });
    return text;
}

void CWindowTransferScreen::SetViewText(const std::string& bytes) {
    RunOnUi([this, &bytes] {
        {
            // A later text replaces any progress text still waiting.
            std::lock_guard lock(m_mutex);
            m_pendingText.clear();
            m_hasPending = false;
        }
        if (m_view) m_view->ReplaceBytesInPlace(bytes);
    });
}

void CWindowTransferScreen::LockView() {
    RunOnUi([this] {
        Flush();
        if (m_view) m_view->SetLocked(true);
    });
}

void CWindowTransferScreen::UnlockView() {
    RunOnUi([this] {
        Flush();
        if (m_view) m_view->SetLocked(false);
    });
}

void CWindowTransferScreen::ShowMessage(const std::string& utf8) {
    RunOnUi([this, &utf8] {
        Flush();
        ShowMessageBox(AppMainWindow(), QString::fromStdString(utf8));
    });
}

void CWindowTransferScreen::AskOperator(const std::string& utf8) {
    // The hand-shake is a message box the operator closes when ready.
    ShowMessage(utf8);
}

void CWindowTransferScreen::MarkModified() {
    RunOnUi([this] {
        Flush();
        if (m_doc) m_doc->SetModified(true);
    });
}

void CWindowTransferScreen::ShowProgress(long long units, bool receiving) {
    m_progress = units;
    m_progressReceiving = receiving;
    if (m_progressPosted.exchange(true)) return;
    RunOnUi(
        [this] {
            m_progressPosted = false;
            const long long units = m_progress;
            if (!m_frame || units < 0) return;
            const char* format = m_progressReceiving ? apptext::kReceived : apptext::kSent;
            m_frame->ShowStatusText(QString::fromUtf8(format).arg(units));
        },
        false);
}

void CWindowTransferScreen::TransferEnded() {
    RunOnUi(
        [this] {
            Flush();
            m_progress = -1;
            if (m_frame) m_frame->UpdateCommandUI();
        },
        false);
}
