// Serial downloads of both instrument families: listen for the instrument's
// stream, keep every byte, end on EOT (QMX210) or ETX (QMX610/710). The
// receiving itself is the one both links share (Receive).
#include <algorithm>
#include <cstring>

#include "config/LinkSettings.h"
#include "link/SerialPort.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kSettle{5};
// A line delivering more than this is faster than any serial line (about
// 2 Mbaud): no pause is needed to gather a chunk.
constexpr double kFastLineBytesPerSecond = 200000.0;

class CSerialSource : public CReceiveSource {
public:
    CSerialSource(const CCancelToken& cancel, bool ackNak, bool acknowledgeEtx)
        : m_cancel(cancel), m_ackNak(ackNak), m_acknowledgeEtx(acknowledgeEtx) {}

    size_t Read(unsigned char* buffer, size_t n, Clock::time_point deadline) override {
        if (m_ackNak && !m_enqSent) {
            const char enq = kENQ;
            g_SerialPort.Write(&enq, 1);
            m_enqSent = true;
        }
        // A line faster than any serial line (a pseudo-terminal) is read at
        // once: a pause would throttle it, and while it is busy there is
        // nearly always a chunk queued, so it costs one call per chunk.
        const bool fast = FastLine();
        size_t got = fast ? g_SerialPort.ReadQueued(buffer, n) : 0;
        if (got == 0) {
            if (!g_SerialPort.WaitForInput(deadline)) return 0;
            // Let the bytes of a serial line settle for up to 5 ms so they are
            // read in large chunks rather than byte by byte; stop as soon as
            // a full chunk is queued.
            if (!fast) {
                const auto settleEnd = Clock::now() + kSettle;
                auto step = std::chrono::microseconds(500);
                while (g_SerialPort.QueuedBytes() < n && !m_cancel.IsCancelled()) {
                    const auto now = Clock::now();
                    if (now >= settleEnd) break;
                    m_cancel.WaitUntil(std::min<Clock::time_point>(settleEnd, now + step));
                    step *= 2;
                }
            }
            // What is queued, at most a buffer: asking the queue's count
            // first would cost as much as the read.
            got = g_SerialPort.ReadQueued(buffer, n);
            if (got == 0) {
                // Readable but nothing there: the far end hung up. Do not
                // spin; the deadline ends the download.
                m_cancel.WaitUntil(std::min(deadline, Clock::now() + kSettle));
                return 0;
            }
        }
        m_lastChunkBytes = got;
        m_lastChunkAt = Clock::now();
        return got;
    }

    size_t ReadTail(unsigned char* buffer, size_t n, Clock::time_point deadline) override {
        return g_SerialPort.ReadArriving(buffer, n, deadline);
    }

    // Each ETX before a QMX210's EOT is acknowledged under Ack/Nak.
    void Acknowledge(std::string_view scanned) override {
        if (!m_acknowledgeEtx || !m_enqSent) return;
        for (size_t at = scanned.find(kETX); at != std::string_view::npos;
             at = scanned.find(kETX, at + 1)) {
            const char ack = kACK;
            g_SerialPort.Write(&ack, 1);
        }
    }

private:
    bool FastLine() const {
        return m_lastChunkBytes > 0 &&
               m_lastChunkBytes >=
                   kFastLineBytesPerSecond *
                       std::chrono::duration<double>(Clock::now() - m_lastChunkAt).count();
    }

    const CCancelToken& m_cancel;
    bool m_ackNak, m_acknowledgeEtx;
    bool m_enqSent = false;
    size_t m_lastChunkBytes = 0;
    Clock::time_point m_lastChunkAt = Clock::now();
};

unsigned Download(CTransferRun& run, bool qmx210) {
    const ComSettingsRecord cfg = ComSettings.Get();
    if (!run.OpenPort(cfg)) return run.Finish(0, g_SerialPort.OpenFailedText(), EEndView::Keep);
    // Cleared before the question, not after the answer: an operator who
    // starts the instrument first loses nothing.
    g_SerialPort.Purge(true, true);
    const bool ackNak = ProtocolOf(cfg) == LineProtocol::AckNak;
    // 取消 closes the port and changes nothing.
    if (!run.Ask(qmx210 && ackNak ? kMsgPromptInstrumentFirst : kMsgPromptPcFirst))
        return run.Finish(0, {}, EEndView::Keep);
    // The queues were cleared when the port opened: what came after the
    // question is the instrument's data.
    CSerialSource source(run.Token(), ackNak, qmx210 && ackNak);
    return Receive(run, source, qmx210 ? kEOT : kETX,
                   milliseconds(std::max<int32_t>(0, cfg.ReceiveTimeOut)), sizeof g_abyRxBuffer,
                   false);
}

}  // namespace

unsigned DownloadQmx210Worker(CTransferRun& run) {
    g_bTransferDone = true;
    return Download(run, true);
}

unsigned DownloadQmx610Worker(CTransferRun& run) {
    g_bTransferDone = false;
    return Download(run, false);
}
