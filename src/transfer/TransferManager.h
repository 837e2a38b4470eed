// Starts transfers on their worker threads and keeps them apart: one transfer
// at a time, and a clean stop when the program exits in the middle of one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "link/SerialPort.h"

class CTransferScreen;
class CUsbDevice;

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
    // once. Refused (false, nothing started) while another transfer runs.
    bool Start(TransferKind kind, CTransferScreen& screen);
    bool Start(TransferKind kind, const CTransferJob& job);
    // Any worker procedure (tests): returns its exit code.
    bool StartWorker(std::function<unsigned()> worker, bool companion, CTransferScreen& screen);

    // True from Start until the worker has returned.
    bool IsTransferRunning() const;

    // Waits for the running transfer (if any) to end on its own and returns the
    // worker's exit code (0 when nothing ran). For the console program.
    unsigned Wait();

    // Program exit: asks the worker to stop, wakes it wherever it waits (port,
    // delay, prompt), joins both threads; the port is closed afterwards.
    void StopAndJoin();

private:
    void JoinThreads();
    unsigned RunCompanion(CTransferScreen& screen);

    mutable std::mutex m_mutex;
    std::thread m_worker;
    std::thread m_companion;
    std::condition_variable m_wake;
    bool m_workerFinished = true;  // guarded by m_mutex
    std::atomic<bool> m_running{false};
    std::atomic<unsigned> m_exitCode{0};
    CTransferScreen* m_screen = nullptr;
};

// The one manager of the process.
CTransferManager& TheTransferManager();

// Shorthand used by the window to disable commands while a transfer runs.
bool IsTransferRunning();
