#include "app/WindowTransferScreen.h"

#include <QThread>

#include "app/AppServices.h"
#include "app/AppStrings.h"
#include "app/MainFrame.h"
#include "ui/MessageSeam.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

CWindowTransferScreen::CWindowTransferScreen() {
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &CWindowTransferScreen::Flush);
    m_progressTimer.setSingleShot(true);
    connect(&m_progressTimer, &QTimer::timeout, this, &CWindowTransferScreen::ShowPendingProgress);
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
    // Wake-ups dropped by the abandonment must not hold back the next run's.
    m_flushPosted = false;
    m_progressPosted = false;
}

void CWindowTransferScreen::RunOnUi(std::function<void()> fn, bool wait) {
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    auto done = wait ? std::make_shared<bool>(false) : nullptr;
    unsigned generation = 0;
    bool post = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_abandoned) return;
        generation = m_generation;
        m_calls.push_back(CCall{std::move(fn), done, generation});
        post = !m_drainPosted;
        m_drainPosted = true;
    }
    // The call itself travels in our own queue under our own lock; the event
    // only wakes the window's thread.
    if (post) QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
    if (!wait) return;
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return *done || m_abandoned || generation != m_generation; });
}

void CWindowTransferScreen::Drain() {
    CCall call;
    bool live = false, more = false;
    {
        std::lock_guard lock(m_mutex);
        if (m_calls.empty()) {
            m_drainPosted = false;
            return;
        }
        call = std::move(m_calls.front());
        m_calls.pop_front();
        more = m_drainPosted = !m_calls.empty();
        live = !m_abandoned && call.generation == m_generation;
    }
    // One call per event: a message box's own event loop still runs the calls
    // queued behind it, as window messages would.
    if (more) QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
    if (live) call.fn();
    if (call.done) {
        std::lock_guard lock(m_mutex);
        *call.done = true;
        m_done.notify_all();
    }
}

void CWindowTransferScreen::Abandon() {
    std::lock_guard lock(m_mutex);
    m_abandoned = true;
    ++m_generation;
    m_calls.clear();
    m_done.notify_all();
}

void CWindowTransferScreen::Detach() {
    // Other data than the file holds: the first change of a transfer
    // detaches the document; later ones (after a save meanwhile) only mark
    // it modified again.
    if (!m_detached) {
        // The text before the transfer comes back with one Undo.
        m_doc->KeepForUndo();
        m_doc->DetachFromFile();
    } else
        m_doc->SetModified(true);
    m_detached = true;
}

void CWindowTransferScreen::PlaceAppended(std::string_view bytes) {
    if (!m_view || bytes.empty()) return;
    if (m_doc && !(m_detached && m_doc->IsModified())) Detach();
    m_view->AppendBytesAtEnd(bytes);
}

void CWindowTransferScreen::Place(const std::string& bytes, bool atEnd) {
    if (!m_view) return;
    // Once detached and still modified there is nothing to learn from comparing.
    if (m_doc && !(m_detached && m_doc->IsModified()) && bytes != m_view->GetBytes()) Detach();
    if (atEnd)
        m_view->ShowBytesAtEnd(bytes);
    else
        m_view->ReplaceBytesInPlace(bytes);
}

void CWindowTransferScreen::Flush() {
    m_flushPosted = false;
    m_flushTimer.stop();
    std::string text;
    bool replaces = false;
    {
        std::lock_guard lock(m_mutex);
        if (!m_hasPending) return;
        text.swap(m_pendingText);
        replaces = m_pendingReplaces;
        m_hasPending = false;
    }
    if (replaces)
        Place(text, true);
    else
        PlaceAppended(text);
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

void CWindowTransferScreen::ShowText(std::string bytes) {
    {
        std::lock_guard lock(m_mutex);
        m_pendingText = std::move(bytes);
        m_pendingReplaces = true;
        m_hasPending = true;
    }
    PostFlush();
}

void CWindowTransferScreen::AppendText(std::string_view bytes) {
    {
        // Gathered until the next refresh; after a whole text still waiting,
        // added to it.
        std::lock_guard lock(m_mutex);
        if (!m_hasPending) {
            m_pendingText.clear();
            m_pendingReplaces = false;
        }
        m_pendingText.append(bytes);
        m_hasPending = true;
    }
    PostFlush();
}

void CWindowTransferScreen::PostFlush() {
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
        Place(bytes, false);
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
        ShowPendingProgress();
        ShowMessageBox(AppMainWindow(), QString::fromStdString(utf8));
    });
}

bool CWindowTransferScreen::AskOperator(const std::string& utf8, const CCancelToken& cancel) {
    // The hand-shake is a message box the operator closes when ready, or
    // answers 取消 (Esc) to give up. The stop command cannot reach a running
    // transfer while it is up (it is modal), so the token is only looked at
    // afterwards, by the run.
    (void)cancel;
    EAnswer answer = EAnswer::Cancel;
    RunOnUi([this, &utf8, &answer] {
        Flush();
        ShowPendingProgress();
        answer = ShowMessageBox(AppMainWindow(), QString::fromStdString(utf8), EButtons::OkCancel);
    });
    return answer == EAnswer::Ok;
}

void CWindowTransferScreen::MarkModified() {
    RunOnUi([this] {
        Flush();
        if (m_doc) m_doc->SetModified(true);
    });
}

void CWindowTransferScreen::ShowProgress(const CTransferProgress& progress) {
    {
        std::lock_guard lock(m_mutex);
        m_progress = progress;
    }
    if (m_progressPosted.exchange(true)) return;
    RunOnUi([this] { ScheduleProgress(); }, false);
}

void CWindowTransferScreen::ScheduleProgress() {
    // A count per chunk would repaint the window hundreds of times a second
    // and take the processor from the transfer; nobody reads that fast.
    if (!m_sinceProgress.isValid() || m_sinceProgress.elapsed() >= kRefreshMs) {
        ShowPendingProgress();
    } else if (!m_progressTimer.isActive()) {
        m_progressTimer.start(static_cast<int>(kRefreshMs - m_sinceProgress.elapsed()));
    }
}

void CWindowTransferScreen::ShowPendingProgress() {
    m_progressTimer.stop();
    if (!m_progressPosted.exchange(false)) return;
    CTransferProgress progress;
    {
        std::lock_guard lock(m_mutex);
        progress = m_progress;
    }
    if (!m_frame) return;
    // A total is known only while sending: the bar shows a percentage then,
    // and is busy otherwise.
    const bool sending = progress.phase == CTransferProgress::EPhase::Sending;
    m_frame->ShowTransferProgress(QString::fromStdString(ProgressText(progress)),
                                  sending ? progress.Percent() : -1);
    m_sinceProgress.start();
}

void CWindowTransferScreen::TransferStarted() {
    RunOnUi([this] { m_detached = false; }, false);
}

void CWindowTransferScreen::TransferEnded() {
    RunOnUi(
        [this] {
            Flush();
            ShowPendingProgress();
            if (m_frame) m_frame->UpdateCommandUI();
        },
        false);
}
