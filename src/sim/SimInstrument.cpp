#include "sim/SimInstrument.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kEnq = 0x05, kAck = 0x06, kEtx = 0x03, kEot = 0x04, kStx = 0x02;
const std::string kGreeting = "Connect\r\n";
const std::string kEndRecord = std::string{kStx, kEot, kEtx, '\r', '\n'};
const std::string kEndMarker = std::string{kEot, '\r', '\n'};
const std::string kSegmentEnd = std::string{kEtx, '\r', '\n'};

// Download pieces: under the QMX210 hand-shake each ends after an ETX (with the
// CR LF that follows it); otherwise the whole data is one piece.
std::vector<std::string> SplitPieces(const std::string& data, bool afterEtx) {
    std::vector<std::string> pieces;
    if (!afterEtx) {
        if (!data.empty()) pieces.push_back(data);
        return pieces;
    }
    size_t start = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] != kEtx) continue;
        size_t end = i + 1;
        if (end < data.size() && data[end] == '\r') ++end;
        if (end < data.size() && data[end] == '\n') ++end;
        pieces.push_back(data.substr(start, end - start));
        start = end;
        i = end - 1;
    }
    if (start < data.size()) pieces.push_back(data.substr(start));
    return pieces;
}

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

constexpr int kHangUpGraceMs = 200;
// An upload's segment (or line) is held only to find its end; one that never
// ends is not held whole.
constexpr size_t kSegmentCap = 65536;
// The PC sends a segment longer than its limit in 128-byte pieces and waits
// for an answer after each.
constexpr size_t kPieceSize = 128;
constexpr int kPieceQuietMs = 30;

int MsUntil(Clock::time_point t) {
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
    return ms < 0 ? 0 : (ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
}

}  // namespace

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

bool CSimSession::GreetingByte(char c) {
    m_front += c;
    if (kGreeting.compare(0, m_front.size(), m_front) != 0) return false;
    if (m_front.size() == kGreeting.size()) {
        m_front.clear();
        m_sim.Update([&] { ++m_sim.m_greetings; });
        if (m_opt.answerGreeting) Send(m_opt.greetingReply);
        m_sim.Emit(SimEvent::Greeting, "");
    }
    return true;
}

void CSimSession::Incoming(const char* data, size_t n) {
    m_sim.Update([&] { m_sim.AppendKept(m_sim.m_wireIn, {data, n}); });
    for (size_t i = 0; i < n && !LineGone(); ++i) {
        const char c = data[i];
        // The greeting is only looked for before a transfer begins.
        if (Idle()) {
            if (GreetingByte(c)) continue;
            std::string pending;
            pending.swap(m_front);
            for (char p : pending) {
                if (m_opt.sendData && (p == kEnq || p == kAck)) {
                    if (p == kEnq) m_enqSeen = true;
                    continue;
                }
                UploadByte(p);
                CheckFaults();
            }
            continue;
        }
        if (m_opt.sendData && !m_uploading && (c == kEnq || c == kAck)) {
            if (c == kEnq) m_enqSeen = true;
            if (c == kAck) ++m_ackTokens;
            continue;
        }
        if (m_uploading) {
            UploadByte(c);
            CheckFaults();
        }
    }
}

void CSimSession::Drain() {
    char buf[4096];
    while (!LineGone() && StillReading()) {
        size_t want = sizeof buf;
        if (m_opt.stopReadingAfter >= 0)
            want = std::min<size_t>(want, static_cast<size_t>(m_opt.stopReadingAfter - m_bytesIn));
        const ssize_t r = ::read(m_sim.m_pty.Master(), buf, want);
        if (r <= 0) return;
        m_bytesIn += r;
        Incoming(buf, static_cast<size_t>(r));
    }
}

// Sends the next bytes of the download when the line is ready for them.
void CSimSession::AdvanceDownload() {
    if (m_silent || LineGone() || !m_opt.sendData || m_uploading) return;
    if (m_download == Download::Waiting) {
        if (!m_triggered || (m_opt.ackNak && !m_enqSeen)) return;
        m_download = Download::Sending;
        m_sim.Emit(SimEvent::SendingStarted, std::to_string(m_opt.sendData->size()));
    }
    if (m_download == Download::AwaitAck) {
        if (m_ackTokens == 0) return;
        --m_ackTokens;
        m_download = Download::Sending;
    }
    while (m_download == Download::Sending && m_out.empty()) {
        if (m_gapUntil && Clock::now() < *m_gapUntil) return;
        m_gapUntil.reset();
        if (m_piece >= m_pieces.size() && m_opt.repeat && !m_pieces.empty()) m_piece = 0;
        if (m_piece >= m_pieces.size()) {
            m_download = Download::Finished;
            m_sim.CompleteTransfer(SimEvent::DownloadSent, std::to_string(m_opt.sendData->size()));
            return;
        }
        const std::string& p = m_pieces[m_piece];
        // Unpaced data goes out in slices, so the line takes it without copying much.
        size_t n = std::min(p.size() - m_offset, m_opt.chunkSize > 0 ? m_opt.chunkSize : 65536);
        n = CutToLimits(n);
        m_out = p.substr(m_offset, n);
        m_offset += n;
        m_transferBytes += static_cast<long long>(n);
        if (m_offset >= p.size()) {
            m_offset = 0;
            ++m_piece;
            // After EOT the PC stops listening: no ACK will come for that piece.
            const bool awaitsAck =
                p.find(kEtx) != std::string::npos && p.find(kEot) == std::string::npos;
            if (m_qmx210 && m_opt.ackNak && m_opt.waitForAck && awaitsAck)
                m_download = Download::AwaitAck;
        }
        if (m_opt.chunkSize > 0 && m_opt.chunkGapMs > 0)
            m_gapUntil = Clock::now() + std::chrono::milliseconds(m_opt.chunkGapMs);
        if (m_out.empty()) break;  // cut to nothing by a fault limit
    }
}

void CSimSession::WriteOut() {
    if (m_out.empty() || LineGone()) return;
    const ssize_t r = ::write(m_sim.m_pty.Master(), m_out.data(), m_out.size());
    if (r <= 0) return;
    const std::string sent = m_out.substr(0, static_cast<size_t>(r));
    m_out.erase(0, static_cast<size_t>(r));
    m_sim.Update([&] { m_sim.AppendKept(m_sim.m_wireOut, sent); });
}

void CSimSession::Send(const std::string& bytes) {
    if (m_silent || LineGone() || bytes.empty()) return;
    m_out += bytes;
    WriteOut();
}

void CSimSession::UploadByte(char c) {
    if (!m_uploading) {
        m_uploading = true;
        m_sim.Update([&] {
            m_sim.m_received.clear();
            m_sim.m_receivedCut = false;
        });
    }
    if (m_uploadDone) return;
    ++m_transferBytes;
    m_segment += c;
    const auto keep = [&](std::string_view bytes) {
        m_sim.Update([&] {
            if (!m_sim.AppendKept(m_sim.m_received, bytes)) m_sim.m_receivedCut = true;
        });
    };
    if (!m_qmx210) {
        // Lines up to EOT CR LF at the start of a line. A line without end
        // goes to the upload in parts.
        if (c != '\n') {
            if (m_segment.size() >= kSegmentCap) {
                keep(m_segment);
                m_segment.clear();
                m_longLine = true;
            }
            return;
        }
        if (m_segment == kEndMarker && !m_longLine) {
            m_uploadDone = true;
            m_sim.CompleteTransfer(SimEvent::UploadComplete,
                                   std::to_string(m_sim.Received().size()));
        } else {
            keep(m_segment);
        }
        m_segment.clear();
        m_longLine = false;
        return;
    }
    keep(std::string_view(&c, 1));
    // Only the segment's end is looked at; an endless one keeps its last bytes.
    if (m_segment.size() >= kSegmentCap) m_segment.erase(0, m_segment.size() - kEndRecord.size());
    if (m_segment.ends_with(kSegmentEnd)) {
        std::string segment;
        segment.swap(m_segment);
        if (segment.ends_with(kEndRecord)) {
            m_uploadDone = true;
            m_sim.CompleteTransfer(SimEvent::UploadComplete,
                                   std::to_string(m_sim.Received().size()));
            return;
        }
        AnswerSegment(segment);
    } else if (m_segment.size() >= kPieceSize) {
        // Maybe a 128-byte piece of an overlong segment: answered when the PC pauses.
        m_pieceQuietAt = Clock::now() + std::chrono::milliseconds(kPieceQuietMs);
    }
}

void CSimSession::AnswerSegment(const std::string& segment) {
    m_pieceQuietAt.reset();
    std::string answer;
    if (m_opt.reply)
        answer = m_opt.reply(m_segmentIndex, segment);
    else if (m_opt.ackNak)
        answer = std::string{kAck, '\r', '\n'};
    ++m_segmentIndex;
    if (!m_silent && !ReachedLimit(m_opt.silentAfter)) Send(answer);
}

size_t CSimSession::CutToLimits(size_t n) const {
    for (long long limit : {m_opt.silentAfter, m_opt.hangUpAfter}) {
        if (limit >= 0)
            n = static_cast<size_t>(std::min<long long>(static_cast<long long>(n),
                                                        std::max(0LL, limit - m_transferBytes)));
    }
    return n;
}

void CSimSession::CheckFaults() {
    if (LineGone()) return;
    // Limits count from the start of a transfer.
    if (Idle()) return;
    if (ReachedLimit(m_opt.hangUpAfter) && m_out.empty()) {
        m_silent = true;
        if (m_uploading) {
            m_sim.HangUp();
        } else if (m_sim.m_hangUpAt == Clock::time_point::max()) {
            // Hanging up flushes what the PC has not read yet: give it time to read.
            m_sim.m_hangUpAt = Clock::now() + std::chrono::milliseconds(kHangUpGraceMs);
        }
    } else if (ReachedLimit(m_opt.silentAfter)) {
        m_silent = true;
    }
}

void CSimSession::Step() {
    if (LineGone()) return;
    const auto now = Clock::now();
    if (m_pieceQuietAt && now >= *m_pieceQuietAt && !m_uploadDone) {
        std::string piece;
        piece.swap(m_segment);
        AnswerSegment(piece);
    }
    if (m_afterAt && now >= *m_afterAt) {
        m_afterAt.reset();
        m_triggered = true;
    }
    if (m_triggerAt && now >= *m_triggerAt) {
        m_triggerAt.reset();
        m_triggered = true;
    }
    // Write what the line takes; when a piece is out, go on with the next.
    for (;;) {
        WriteOut();
        if (LineGone() || !m_out.empty()) break;
        AdvanceDownload();
        if (m_out.empty()) break;
    }
    CheckFaults();
}

void CSimSession::ConsiderDeadlines(int& timeout) const {
    for (const CDeadline* t : {&m_afterAt, &m_triggerAt, &m_gapUntil, &m_pieceQuietAt}) {
        if (!*t) continue;
        const int ms = MsUntil(**t);
        timeout = timeout < 0 ? ms : std::min(timeout, ms);
    }
}

void CSimSession::End() {
    Drain();  // what the PC wrote just before it closed
    const bool midDownload = m_download == Download::Sending || m_download == Download::AwaitAck;
    const bool midUpload = m_uploading && !m_uploadDone;
    if (midDownload || midUpload)
        m_sim.Emit(SimEvent::TransferAborted, midUpload ? "upload" : "download");
}

CSimInstrument::CSimInstrument(CSimOptions options) : m_options(std::move(options)) {}

CSimInstrument::~CSimInstrument() {
    Stop();
}

bool CSimInstrument::Start(std::string* error) {
    if (m_thread.joinable()) return true;
    if (!m_pty.Create(error)) return false;
    if (!m_options.linkPath.empty() && !m_pty.LinkAs(m_options.linkPath, error)) return false;
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    // Opens and closes of the port's device tell when the PC holds the port.
    m_inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotifyFd >= 0 &&
        inotify_add_watch(m_inotifyFd, m_pty.SlavePath().c_str(), IN_OPEN | IN_CLOSE) < 0) {
        ::close(m_inotifyFd);
        m_inotifyFd = -1;
    }
    if (m_wakeFd < 0) {
        if (error) *error = "eventfd failed";
        return false;
    }
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CSimInstrument::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    if (m_wakeFd >= 0) eventfd_write(m_wakeFd, 1);
    if (m_thread.joinable()) m_thread.join();
    m_pty.RemoveLink();
    m_pty.CloseMaster();
    if (m_inotifyFd >= 0) ::close(m_inotifyFd);
    if (m_wakeFd >= 0) ::close(m_wakeFd);
    m_inotifyFd = m_wakeFd = -1;
}

void CSimInstrument::Trigger(int delayMs) {
    {
        std::lock_guard lock(m_mutex);
        m_triggerPending = true;
        m_triggerDelayMs = delayMs < 0 ? 0 : delayMs;
    }
    if (m_wakeFd >= 0) eventfd_write(m_wakeFd, 1);
}

bool CSimInstrument::WaitUntilDone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_transfersDone > 0 || m_hungUp; });
}

bool CSimInstrument::WaitForBytesIn(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_wireIn.size() >= n; });
}

std::string CSimInstrument::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}
bool CSimInstrument::ReceivedCut() const {
    std::lock_guard lock(m_mutex);
    return m_receivedCut;
}
std::string CSimInstrument::WireIn() const {
    std::lock_guard lock(m_mutex);
    return m_wireIn;
}
std::string CSimInstrument::WireOut() const {
    std::lock_guard lock(m_mutex);
    return m_wireOut;
}
int CSimInstrument::TransfersDone() const {
    std::lock_guard lock(m_mutex);
    return m_transfersDone;
}
int CSimInstrument::Greetings() const {
    std::lock_guard lock(m_mutex);
    return m_greetings;
}
int CSimInstrument::Sessions() const {
    std::lock_guard lock(m_mutex);
    return m_sessions;
}
bool CSimInstrument::HasHungUp() const {
    std::lock_guard lock(m_mutex);
    return m_hungUp;
}

void CSimInstrument::SetEventHandler(std::function<void(SimEvent, const std::string&)> handler) {
    std::lock_guard lock(m_mutex);
    m_eventHandler = std::move(handler);
}

void CSimInstrument::Emit(SimEvent event, const std::string& detail) {
    std::function<void(SimEvent, const std::string&)> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_eventHandler;
    }
    if (handler) handler(event, detail);
}

bool CSimInstrument::AppendKept(std::string& record, std::string_view bytes) const {
    const size_t room =
        record.size() >= m_options.keepLimit ? 0 : m_options.keepLimit - record.size();
    record.append(bytes.substr(0, room));
    return bytes.size() <= room;
}

void CSimInstrument::CompleteTransfer(SimEvent event, const std::string& detail) {
    Update([&] { ++m_transfersDone; });
    Emit(event, detail);
}

void CSimInstrument::HangUp() {
    m_pty.CloseMaster();
    m_lineClosed = true;
    Update([&] { m_hungUp = true; });
    Emit(SimEvent::HungUp, "");
}

void CSimInstrument::ReadOpenEvents(std::optional<CSimSession>& session, int& opens) {
    alignas(inotify_event) char buf[4096];
    ssize_t len;
    while ((len = ::read(m_inotifyFd, buf, sizeof buf)) > 0) {
        for (char* p = buf; p < buf + len;) {
            auto* ev = reinterpret_cast<inotify_event*>(p);
            if ((ev->mask & IN_OPEN) && opens++ == 0 && !m_lineClosed) {
                session.emplace(*this, m_pieces);
                Update([&] { ++m_sessions; });
                Emit(SimEvent::PortOpened, "");
            }
            if ((ev->mask & IN_CLOSE) && opens > 0 && --opens == 0 && session) {
                session->End();
                session.reset();
                Emit(SimEvent::PortClosed, "");
            }
            p += sizeof(inotify_event) + ev->len;
        }
    }
}

bool CSimInstrument::TakeTrigger(int& delayMs) {
    eventfd_t ignored;
    eventfd_read(m_wakeFd, &ignored);
    std::lock_guard lock(m_mutex);
    const bool trigger = m_triggerPending && !m_stop;
    delayMs = m_triggerDelayMs;
    m_triggerPending = false;
    return trigger;
}

void CSimInstrument::Run() {
    const bool qmx210 = m_options.family == SimFamily::Qmx210;
    if (m_options.sendData)
        m_pieces =
            SplitPieces(*m_options.sendData, qmx210 && m_options.ackNak && m_options.waitForAck);
    // Without a way to see opens, the PC is taken to be there all the time.
    int opens = m_inotifyFd >= 0 ? 0 : 1;
    std::optional<CSimSession> session;
    if (opens > 0) session.emplace(*this, m_pieces);

    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
        }
        pollfd fds[3];
        int n = 0;
        fds[n++] = {m_wakeFd, POLLIN, 0};
        int inotifyIndex = -1, masterIndex = -1;
        if (m_inotifyFd >= 0) {
            inotifyIndex = n;
            fds[n++] = {m_inotifyFd, POLLIN, 0};
        }
        if (session && !m_lineClosed) {
            masterIndex = n;
            fds[n++] = {m_pty.Master(), session->PollEvents(), 0};
        }
        int timeout = -1;
        if (!m_lineClosed && m_hangUpAt != Clock::time_point::max()) timeout = MsUntil(m_hangUpAt);
        if (session) session->ConsiderDeadlines(timeout);
        const int r = poll(fds, static_cast<nfds_t>(n), timeout);
        if (r < 0 && errno != EINTR) return;

        if (inotifyIndex >= 0 && (fds[inotifyIndex].revents & POLLIN))
            ReadOpenEvents(session, opens);
        int delayMs = 0;
        if ((fds[0].revents & POLLIN) && TakeTrigger(delayMs) && session) session->Trigger(delayMs);
        if (!m_lineClosed && Clock::now() >= m_hangUpAt) HangUp();
        if (!session || m_lineClosed) continue;
        if (masterIndex >= 0 && (fds[masterIndex].revents & POLLIN)) session->Drain();
        session->Step();
    }
}
