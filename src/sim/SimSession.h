// The simulator's inside: one opening of the port by the PC (a session), with
// its phases in files of their own: greeting and faults (SimSession.cpp), the
// download sender (SimDownload.cpp), the upload receiver (SimUpload.cpp).
#pragma once

#include <poll.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim/SimInstrument.h"

namespace sim_detail {

using Clock = std::chrono::steady_clock;

// A moment that may be unset (a plain value: GCC 12 misjudges optional<time_point>).
class CDeadline {
public:
    CDeadline& operator=(Clock::time_point t) {
        m_at = t;
        return *this;
    }
    explicit operator bool() const { return m_at != Clock::time_point::max(); }
    Clock::time_point operator*() const { return m_at; }
    void reset() { m_at = Clock::time_point::max(); }

private:
    Clock::time_point m_at = Clock::time_point::max();
};

inline constexpr int kHangUpGraceMs = 200;
// An upload's segment (or line) is held only to find its end; one that never
// ends is not held whole.
inline constexpr size_t kSegmentCap = 65536;
// The PC sends a segment longer than its limit in 128-byte pieces and waits
// for an answer after each.
inline constexpr size_t kPieceSize = 128;
inline constexpr int kPieceQuietMs = 30;

// Milliseconds until t, as poll() takes them (0 when past).
int MsUntil(Clock::time_point t);

// Download pieces: under the QMX210 hand-shake each ends after an ETX (with the
// CR LF that follows it); otherwise the whole data is one piece.
std::vector<std::string> SplitPieces(const std::string& data, bool afterEtx);

}  // namespace sim_detail

using sim_detail::CDeadline;
using sim_detail::Clock;

// One opening of the port by the PC: what it has seen and done, with one
// method per phase (greeting, download sender, upload receiver, faults).
class CSimSession {
public:
    CSimSession(CSimInstrument& sim, const std::vector<std::string>& pieces)
        : m_sim(sim),
          m_opt(sim.m_options),
          m_pieces(pieces),
          m_qmx210(sim.m_options.family == SimFamily::Qmx210) {
        if (m_opt.afterMs >= 0) m_afterAt = Clock::now() + std::chrono::milliseconds(m_opt.afterMs);
    }

    // Bytes from the PC.
    void Incoming(const char* data, size_t n);
    // Reads what the PC wrote, as far as the read fault lets it.
    void Drain();
    // Timers and the download: called after every wake-up.
    void Step();
    void Trigger(int delayMs) { m_triggerAt = Clock::now() + std::chrono::milliseconds(delayMs); }

    // The poll set and time-out the session needs.
    short PollEvents() const {
        return static_cast<short>((StillReading() ? POLLIN : 0) | (m_out.empty() ? 0 : POLLOUT));
    }
    void ConsiderDeadlines(int& timeout) const;
    // The PC closed the port: reports a transfer it cut short.
    void End();

private:
    enum class Download { Waiting, Sending, AwaitAck, Finished };
    bool Idle() const { return !m_uploading && m_download == Download::Waiting; }
    bool LineGone() const { return m_sim.m_lineClosed; }

    // Greeting: true while the byte may still belong to "Connect\r\n".
    bool GreetingByte(char c);
    // Download sender.
    void AdvanceDownload();
    void WriteOut();
    void Send(const std::string& bytes);
    // Upload receiver.
    void UploadByte(char c);
    void UploadLineByte(char c);     // QMX610/710
    void UploadSegmentByte(char c);  // QMX210
    void KeepUploaded(std::string_view bytes);
    void UploadEnded();
    void AnswerSegment(const std::string& segment);
    // Fault injection.
    bool ReachedLimit(long long limit) const { return limit >= 0 && m_transferBytes >= limit; }
    size_t CutToLimits(size_t n) const;
    void CheckFaults();
    bool StillReading() const {
        return m_opt.stopReadingAfter < 0 || m_bytesIn < m_opt.stopReadingAfter;
    }

    CSimInstrument& m_sim;
    const CSimOptions& m_opt;
    const std::vector<std::string>& m_pieces;
    const bool m_qmx210;

    std::string m_front;  // bytes that may still be the greeting
    bool m_enqSeen = false;
    int m_ackTokens = 0;
    bool m_triggered = false;
    CDeadline m_afterAt, m_triggerAt, m_gapUntil;

    Download m_download = Download::Waiting;
    size_t m_piece = 0, m_offset = 0;
    std::string m_out;  // written to the line as it takes it

    bool m_uploading = false, m_uploadDone = false;
    std::string m_segment;
    bool m_longLine = false;  // the current line went to the upload in parts
    int m_segmentIndex = 0;
    CDeadline m_pieceQuietAt;

    bool m_silent = false;
    long long m_transferBytes = 0;
    long long m_bytesIn = 0;
};
