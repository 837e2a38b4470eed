// A simulated total station at the far end of a pseudo-terminal. It answers
// the connection greeting, sends download data the way the instrument does,
// stores what an upload sends and answers QMX210 segments. Used in-process by
// the tests and by `jvs sim`.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/ControlBytes.h"
#include "sim/Pty.h"

enum class SimFamily { Qmx210, Qmx610 };
class CSimSession;

// Download data, or nothing to send. (A plain holder: GCC 12 warns falsely
// about std::optional<std::string> copies in optimised builds.)
class CSimSendData {
public:
    CSimSendData& operator=(std::string bytes) {
        m_bytes = std::move(bytes);
        m_set = true;
        return *this;
    }
    bool has_value() const { return m_set; }
    explicit operator bool() const { return m_set; }
    const std::string& operator*() const { return m_bytes; }
    const std::string* operator->() const { return &m_bytes; }
    void reset() {
        m_bytes.clear();
        m_set = false;
    }

private:
    std::string m_bytes;
    bool m_set = false;
};

struct CSimOptions {
    SimFamily family = SimFamily::Qmx210;
    // Where the port link goes, usually $JVS_COM_DIR/COMn.
    std::string linkPath;
    // The instrument's own protocol setting: under Ack/Nak a download waits for
    // the PC's ENQ and (QMX210) for an ACK after every ETX it sends, and
    // uploaded QMX210 segments are answered.
    bool ackNak = false;

    // Download: the bytes the instrument sends, exactly as given (nothing added).
    CSimSendData sendData;
    // Sending starts this long after the PC opened the port; negative: only on
    // Trigger() (the instrument operator's Enter).
    int afterMs = -1;
    // Pace the download: pieces of this many bytes (0: as much as the line takes)
    // with a pause between them.
    size_t chunkSize = 0;
    int chunkGapMs = 0;
    // Send the download data again and again, never ending: an instrument (or
    // a noisy line) that never sends its end mark.
    bool repeat = false;

    // At most this many bytes of an upload are kept, and of each wire record;
    // the rest is still read from the line (and answered) but dropped.
    size_t keepLimit = static_cast<size_t>(-1);

    // QMX210 upload: the answer to each segment ending ETX CR LF other than the
    // end record. Unset: ACK CR LF under Ack/Nak, nothing under None.
    std::function<std::string(int index, const std::string& segment)> reply;

    // The connection greeting "Connect\r\n": answered with greetingReply, or
    // not at all when answerGreeting is false.
    bool answerGreeting = true;
    std::string greetingReply{kProbeAnswer};

    // Faults: after this many bytes of a transfer (sent in a download, received
    // in an upload) go silent (send and answer nothing more) or hang up (close
    // the line: the PC's writes then fail). A download hangs up a moment later,
    // once the PC has read what was sent; an upload at once. Negative: never.
    long long silentAfter = -1;
    long long hangUpAfter = -1;
    // Stop reading once this many bytes came from the PC in a session: its
    // bytes stay in the line, which fills, and the PC's writes block.
    long long stopReadingAfter = -1;
};

enum class SimEvent {
    PortOpened,       // the PC opened the port
    PortClosed,       // the PC closed it
    Greeting,         // greeting received (and answered unless silent)
    SendingStarted,   // a download began
    DownloadSent,     // all download data written
    UploadComplete,   // the upload's end marker arrived
    TransferAborted,  // the PC closed the port in the middle of a transfer
    HungUp,           // the simulator closed the line on purpose
};

class CSimInstrument {
public:
    explicit CSimInstrument(CSimOptions options);
    ~CSimInstrument();
    CSimInstrument(const CSimInstrument&) = delete;
    CSimInstrument& operator=(const CSimInstrument&) = delete;

    // Creates the pseudo-terminal, links it and starts serving. False with a reason.
    bool Start(std::string* error = nullptr);
    // Stops serving, closes the line and removes the link. Also done by the destructor.
    void Stop();

    // The instrument operator presses Enter (after delayMs): starts a download
    // when the PC has the port open; ignored otherwise.
    void Trigger(int delayMs = 0);

    // Waits until a transfer completed (download sent, upload end marker
    // received) or the line was hung up. True when that happened in time.
    bool WaitUntilDone(std::chrono::milliseconds timeout);
    // Waits until at least n bytes have come from the PC in total.
    bool WaitForBytesIn(size_t n, std::chrono::milliseconds timeout);

    // The current (or last) upload's data: QMX210 everything received, QMX610/710
    // the lines before EOT CR LF.
    std::string Received() const;
    // Whether that upload brought more than keepLimit bytes.
    bool ReceivedCut() const;
    // Every byte that came from the PC, and every byte sent to it, in order.
    std::string WireIn() const;
    std::string WireOut() const;
    int TransfersDone() const;
    int Greetings() const;
    int Sessions() const;
    bool HasHungUp() const;

    // Observer for the console (called on the simulator's thread).
    void SetEventHandler(std::function<void(SimEvent, const std::string& detail)> handler);

    const std::string& LinkPath() const { return m_options.linkPath; }
    const std::string& SlavePath() const { return m_pty.SlavePath(); }

private:
    friend class CSimSession;
    void Run();
    void Emit(SimEvent event, const std::string& detail);
    // Shared-state updates made on the simulator's thread; waiters are woken.
    template <typename Change>
    void Update(Change&& change) {
        {
            std::lock_guard lock(m_mutex);
            change();
        }
        m_changed.notify_all();
    }
    void CompleteTransfer(SimEvent event, const std::string& detail);
    // Appends within keepLimit (call with m_mutex held); false when cut.
    bool AppendKept(std::string& record, std::string_view bytes) const;
    void HangUp();
    // Port opens and closes seen through inotify.
    void ReadOpenEvents(std::optional<CSimSession>& session, int& opens);
    // The instrument operator's Enter, handed to the current session.
    bool TakeTrigger(int& delayMs);

    CSimOptions m_options;
    std::vector<std::string> m_pieces;  // the download, as the instrument sends it
    CPty m_pty;
    int m_wakeFd = -1;
    int m_inotifyFd = -1;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    bool m_triggerPending = false;
    int m_triggerDelayMs = 0;
    std::string m_received, m_wireIn, m_wireOut;
    bool m_receivedCut = false;
    int m_transfersDone = 0, m_greetings = 0, m_sessions = 0;
    bool m_hungUp = false;
    bool m_lineClosed = false;  // simulator thread only
    std::chrono::steady_clock::time_point m_hangUpAt = std::chrono::steady_clock::time_point::max();
    std::function<void(SimEvent, const std::string&)> m_eventHandler;
};
