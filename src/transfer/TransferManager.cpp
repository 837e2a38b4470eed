#include "transfer/TransferManager.h"

#include "link/UsbDevice.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

bool HasCompanion(TransferKind kind) {
    switch (kind) {
        case TransferKind::DownloadQmx210:
        case TransferKind::DownloadQmx610:
        case TransferKind::UsbDownload:
            return false;
        default:
            return true;
    }
}

unsigned RunTransferWorker(TransferKind kind, const CTransferJob& job) {
    switch (kind) {
        case TransferKind::DownloadQmx210:
            return DownloadQmx210Worker(job);
        case TransferKind::DownloadQmx610:
            return DownloadQmx610Worker(job);
        case TransferKind::UploadQmx210:
            return UploadQmx210Worker(job);
        case TransferKind::UploadQmx610:
            return UploadQmx610Worker(job);
        case TransferKind::UploadPcode:
            return UploadPcodeWorker(job);
        case TransferKind::UploadFeatureCodes:
            return UploadFeatureCodesWorker(job);
        case TransferKind::UploadAlignment:
            return UploadAlignmentWorker(job);
        case TransferKind::UsbDownload:
            return UsbDownloadWorker(job);
        case TransferKind::UsbUploadQmx610:
            return UsbUploadQmx610Worker(job);
        case TransferKind::UsbUploadText:
            return UsbUploadTextWorker(job);
        case TransferKind::UsbUploadFeatureCodes:
            return UsbUploadFeatureCodesWorker(job);
    }
    return 0;
}

CTransferManager::~CTransferManager() {
    StopAndJoin();
}

bool CTransferManager::Start(TransferKind kind, CTransferScreen& screen) {
    CTransferJob job;
    job.screen = &screen;
    return Start(kind, job);
}

bool CTransferManager::Start(TransferKind kind, const CTransferJob& job) {
    if (!job.screen) return false;
    return StartWorker([kind, job] { return RunTransferWorker(kind, job); }, HasCompanion(kind),
                       *job.screen);
}

bool CTransferManager::StartWorker(std::function<unsigned()> worker, bool companion,
                                   CTransferScreen& screen) {
    std::unique_lock lock(m_mutex);
    if (m_running) return false;
    lock.unlock();
    JoinThreads();  // the previous transfer has ended; its threads are finishing
    lock.lock();
    if (m_running) return false;
    ResetTransferCancel();
    m_running = true;
    m_workerFinished = false;
    m_exitCode = 0;
    m_screen = &screen;
    m_worker = std::thread([this, worker = std::move(worker), &screen] {
        const unsigned code = worker();
        m_exitCode = code;
        {
            std::lock_guard done(m_mutex);
            m_workerFinished = true;
            m_running = false;
        }
        m_wake.notify_all();
        screen.TransferEnded();
    });
    if (companion) m_companion = std::thread([this, &screen] { RunCompanion(screen); });
    return true;
}

// The companion copies the growing text into the view once a second until the
// worker raises the flag; it never copies during its first second.
unsigned CTransferManager::RunCompanion(CTransferScreen& screen) {
    using Clock = std::chrono::steady_clock;
    auto wait = [this](Clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        m_wake.wait_until(lock, deadline,
                          [this] { return m_workerFinished || g_bTransferCancel.load(); });
        return !m_workerFinished && !g_bTransferCancel;
    };
    bool going = wait(Clock::now() + std::chrono::milliseconds(1000));
    while (going && !g_bTransferDone) {
        {
            std::lock_guard viewLock(ViewTextMutex());
            if (!g_bTransferDone) screen.SetViewText(g_strTransferText.Get());
        }
        going = wait(Clock::now() + std::chrono::milliseconds(1000));
    }
    g_bTransferDone = true;
    return 1;
}

bool CTransferManager::IsTransferRunning() const {
    return m_running;
}

void CTransferManager::JoinThreads() {
    if (m_worker.joinable()) m_worker.join();
    if (m_companion.joinable()) m_companion.join();
}

unsigned CTransferManager::Wait() {
    JoinThreads();
    return m_exitCode;
}

void CTransferManager::StopAndJoin() {
    if (m_running) {
        CancelTransferWaits();
        { std::lock_guard lock(m_mutex); }  // the companion is waiting or sees the flag
        m_wake.notify_all();
        g_SerialPort.Cancel();
        g_UsbDevice.Cancel();
        if (m_screen) m_screen->Abandon();
    }
    JoinThreads();
    if (g_SerialPort.IsOpen()) g_SerialPort.Close();
    ResetTransferCancel();
}

CTransferManager& TheTransferManager() {
    static CTransferManager manager;
    return manager;
}

bool IsTransferRunning() {
    return TheTransferManager().IsTransferRunning();
}
