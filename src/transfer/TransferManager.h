// Starts transfers on their worker threads and keeps them apart: one transfer
// at a time, and a clean stop (the command, a signal, leaving the program).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "link/SerialPort.h"

class CTransferRun;
class CTransferScreen;
class CUsbDevice;
enum class EStopReason;

// Every transfer the program offers; the command ids map onto these.
enum class TransferKind {
    DownloadQmx210,        // 32772
    DownloadQmx610,        // 32784, 32791
    UploadQmx210,          // 32777
    UploadQmx610,          // 32789
    UploadPcode,           // 32783
    UploadFeatureCodes,    // 32800
    UploadAlignment,       // 32801, 32790
    UsbDownload,           // 32774, 32793, 32794
    UsbUploadQmx610,       // 32775
    UsbUploadText,         // 32795, 32799, 32802
    UsbUploadFeatureCodes  // 32796
};

// Whether the transfer runs with the companion that copies the growing text
// into the view once a second (downloads show their own progress).
bool HasCompanion(TransferKind kind);
// Whether the transfer receives data into the transfer text (the downloads).
bool ReceivesData(TransferKind kind);

// What a worker needs beyond the shared state. The defaults are the program's;
// tests shorten the port time-outs and put in a scripted USB device.
struct CTransferJob {
    CTransferScreen* screen = nullptr;
    SerialTimeouts portTimeouts{};
    CUsbDevice* usb = nullptr;  // null: g_UsbDevice
};

class CTransferManager {
public:
    CTransferManager() = default;
    CTransferManager(const CTransferManager&) = delete;
    CTransferManager& operator=(const CTransferManager&) = delete;
    ~CTransferManager();

    // Starts the worker (and its companion where it has one) and returns at
    // once, without waiting for the threads of the previous transfer: the
    // new worker waits for those itself before it begins. Refused (false,
    // nothing started) while another transfer runs.
    bool Start(TransferKind kind, CTransferScreen& screen);
    bool Start(TransferKind kind, const CTransferJob& job);
    // Any worker procedure (tests): returns its exit code.
    bool StartWorker(std::function<unsigned(CTransferRun&)> worker, bool companion,
                     const CTransferJob& job, bool receives = false);
    bool StartWorker(std::function<unsigned(CTransferRun&)> worker, bool companion,
                     CTransferScreen& screen, bool receives = false);

    // True from Start until the worker has returned.
    bool IsTransferRunning() const;
    // True while the running transfer receives data (a download).
    bool IsReceiving() const;

    // Waits for the running transfer (if any) to end on its own and returns the
    // worker's exit code (0 when nothing ran). For the console program.
    unsigned Wait();

    // Stops the running transfer through its run's token and returns at once;
    // the worker ends by its normal path. False when none runs.
    bool Stop(EStopReason reason);

    // The screen is going away (program teardown): stops the transfer, lets
    // no wait on the screen block, joins both threads.
    void StopAndJoin();

private:
    struct CRun;
    static void JoinRun(CRun& run);
    static void RunCompanion(CRun& run, CTransferScreen& screen);
    static void WakeCompanion(CRun& run);

    mutable std::mutex m_mutex;
    std::shared_ptr<CRun> m_current;  // guarded by m_mutex
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_receiving{false};
    std::atomic<unsigned> m_exitCode{0};
    CTransferScreen* m_screen = nullptr;  // guarded by m_mutex
};

// The one manager of the process.
CTransferManager& TheTransferManager();

// Shorthand used by the window to disable commands while a transfer runs.
bool IsTransferRunning();
