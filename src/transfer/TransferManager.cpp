#include "transfer/TransferManager.h"

#include <condition_variable>
#include <thread>

#include "link/SerialPort.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

bool ReceivesData(TransferKind kind) {
    switch (kind) {
        case TransferKind::DownloadQmx210:
        case TransferKind::DownloadQmx610:
        case TransferKind::UsbDownload:
            return true;
        default:
            return false;
    }
}

bool HasCompanion(TransferKind kind) {
    // Downloads show their own progress; every upload echoes what it sent.
    return !ReceivesData(kind);
}

unsigned RunTransferWorker(TransferKind kind, CTransferRun& job) {
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

// One transfer's threads and the state they share. A run outlives the
// manager's interest in it until its threads have been joined.
struct CTransferManager::CRun {
    std::mutex mutex;
    std::condition_variable wake;
    bool previousJoined = false;  // guarded by mutex
    bool workerFinished = false;  // guarded by mutex
    std::mutex joinMutex;         // one joiner at a time
    std::thread worker;
    std::thread companion;
    std::unique_ptr<CTransferRun> transfer;
    std::shared_ptr<CRun> previous;  // joined by this run's worker before it starts
};

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
    return StartWorker([kind](CTransferRun& run) { return RunTransferWorker(kind, run); },
                       HasCompanion(kind), job, ReceivesData(kind));
}

bool CTransferManager::StartWorker(std::function<unsigned(CTransferRun&)> worker, bool companion,
                                   CTransferScreen& screen, bool receives) {
    CTransferJob job;
    job.screen = &screen;
    return StartWorker(std::move(worker), companion, job, receives);
}

bool CTransferManager::StartWorker(std::function<unsigned(CTransferRun&)> worker, bool companion,
                                   const CTransferJob& job, bool receives) {
    if (!job.screen) return false;
    CTransferScreen& screen = *job.screen;
    std::lock_guard lock(m_mutex);
    if (m_running) return false;
    auto run = std::make_shared<CRun>();
    run->transfer = std::make_unique<CTransferRun>(job, receives);
    // The previous transfer has ended, but its companion may still be waiting
    // for the window's thread to show its last copy: the caller (that very
    // thread) must not wait for it, so the new worker does.
    run->previous = std::move(m_current);
    m_current = run;
    m_running = true;
    m_receiving = receives;
    m_exitCode = 0;
    m_screen = &screen;
    screen.TransferStarted();
    run->worker = std::thread([this, run, worker = std::move(worker), &screen] {
        if (run->previous) {
            JoinRun(*run->previous);
            run->previous.reset();
        }
        {
            std::lock_guard ready(run->mutex);
            run->previousJoined = true;
        }
        run->wake.notify_all();
        SetSignalTarget(run->transfer.get());
        const unsigned code = worker(*run->transfer);
        SetSignalTarget(nullptr);
        m_exitCode = code;
        {
            std::lock_guard done(run->mutex);
            run->workerFinished = true;
        }
        run->wake.notify_all();
        {
            std::lock_guard done(m_mutex);
            m_running = false;
        }
        screen.TransferEnded();
    });
    if (companion) run->companion = std::thread([run, &screen] { RunCompanion(*run, screen); });
    return true;
}

// The companion copies the growing text into the view once a second until the
// worker raises the flag; it never copies during its first second.
void CTransferManager::RunCompanion(CRun& run, CTransferScreen& screen) {
    using Clock = std::chrono::steady_clock;
    const CCancelToken& cancel = run.transfer->Token();
    {
        // An earlier companion's last act (raising the flag) comes first.
        std::unique_lock lock(run.mutex);
        run.wake.wait(lock, [&] { return run.previousJoined || cancel.IsCancelled(); });
    }
    auto wait = [&](Clock::time_point deadline) {
        std::unique_lock lock(run.mutex);
        run.wake.wait_until(lock, deadline,
                            [&] { return run.workerFinished || cancel.IsCancelled(); });
        return !run.workerFinished && !cancel.IsCancelled();
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
}

bool CTransferManager::IsTransferRunning() const {
    return m_running;
}

bool CTransferManager::IsReceiving() const {
    return m_running && m_receiving;
}

void CTransferManager::JoinRun(CRun& run) {
    std::lock_guard lock(run.joinMutex);
    if (run.worker.joinable()) run.worker.join();
    if (run.companion.joinable()) run.companion.join();
}

unsigned CTransferManager::Wait() {
    std::shared_ptr<CRun> run;
    {
        std::lock_guard lock(m_mutex);
        run = m_current;
    }
    if (run) JoinRun(*run);
    return m_exitCode;
}

void CTransferManager::WakeCompanion(CRun& run) {
    {
        std::lock_guard lock(run.mutex);  // the companion is waiting or sees the stop
    }
    run.wake.notify_all();
}

bool CTransferManager::Stop(EStopReason reason) {
    std::shared_ptr<CRun> run;
    {
        std::lock_guard lock(m_mutex);
        if (!m_running) return false;
        run = m_current;
    }
    run->transfer->Stop(reason);
    WakeCompanion(*run);
    return true;
}

void CTransferManager::StopAndJoin() {
    std::shared_ptr<CRun> run;
    CTransferScreen* screen = nullptr;
    {
        std::lock_guard lock(m_mutex);
        run = m_current;
        if (m_running) screen = m_screen;
    }
    if (screen) {
        Stop(EStopReason::Exit);
        // A prompt or message the worker waits on returns at once.
        screen->Abandon();
    }
    if (run) JoinRun(*run);
    if (g_SerialPort.IsOpen()) g_SerialPort.Close();
}

CTransferManager& TheTransferManager() {
    static CTransferManager manager;
    return manager;
}

bool IsTransferRunning() {
    return TheTransferManager().IsTransferRunning();
}
