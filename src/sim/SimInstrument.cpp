#include "sim/SimInstrument.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr char kEnq = 0x05, kAck = 0x06, kEtx = 0x03, kEot = 0x04, kStx = 0x02;
const std::string kGreeting = "Connect\r\n";
const std::string kEndRecord = std::string{kStx, kEot, kEtx, '\r', '\n'};
const std::string kEndMarker = std::string{kEot, '\r', '\n'};

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
// The PC sends a segment longer than its limit in 128-byte pieces and waits
// for an answer after each.
constexpr size_t kPieceSize = 128;
constexpr int kPieceQuietMs = 30;

int MsUntil(Clock::time_point t) {
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
    return ms < 0 ? 0 : (ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
}

}  // namespace

// What one opening of the port by the PC has seen and done.
struct CSimInstrument::Session {
    std::string front;  // bytes that may still be the greeting
    bool enqSeen = false;
    int ackTokens = 0;
    bool triggered = false;
    CDeadline triggerAt;
    CDeadline gapUntil;

    enum class Download { Waiting, Sending, AwaitAck, Finished } download = Download::Waiting;
    size_t piece = 0, offset = 0;
    std::string out;  // written to the line as it takes it
    bool uploading = false;
    std::string segment;
    int segmentIndex = 0;
    CDeadline pieceQuietAt;
    bool uploadDone = false;
    long long transferBytes = 0;
};

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

void CSimInstrument::Run() {
    const CSimOptions& opt = m_options;
    const bool qmx210 = opt.family == SimFamily::Qmx210;
    const std::vector<std::string> pieces =
        opt.sendData ? SplitPieces(*opt.sendData, qmx210 && opt.ackNak && opt.waitForAck)
                     : std::vector<std::string>{};
    // Without a way to see opens, the PC is taken to be there all the time.
    int opens = m_inotifyFd >= 0 ? 0 : 1;
    std::optional<Session> s;
    if (opens > 0) s.emplace();
    CDeadline afterAt;
    bool silent = false;
    bool hungUp = false;
    CDeadline hangUpAt;

    auto lockedUpdate = [&](auto&& change) {
        {
            std::lock_guard lock(m_mutex);
            change();
        }
        m_changed.notify_all();
    };
    auto completeTransfer = [&](SimEvent event, const std::string& detail) {
        lockedUpdate([&] { ++m_transfersDone; });
        Emit(event, detail);
    };
    auto hangUp = [&] {
        m_pty.CloseMaster();
        hungUp = true;
        lockedUpdate([&] { m_hungUp = true; });
        Emit(SimEvent::HungUp, "");
    };
    auto reachedLimit = [&](long long limit) { return limit >= 0 && s->transferBytes >= limit; };

    // Sends the next bytes of the download when the line is ready for them.
    auto advanceDownload = [&] {
        if (!s || silent || hungUp || !opt.sendData || s->uploading) return;
        if (s->download == Session::Download::Waiting) {
            if (!s->triggered || (opt.ackNak && !s->enqSeen)) return;
            s->download = Session::Download::Sending;
            Emit(SimEvent::SendingStarted, std::to_string(opt.sendData->size()));
        }
        if (s->download == Session::Download::AwaitAck) {
            if (s->ackTokens == 0) return;
            --s->ackTokens;
            s->download = Session::Download::Sending;
        }
        while (s->download == Session::Download::Sending && s->out.empty()) {
            if (s->gapUntil && Clock::now() < *s->gapUntil) return;
            s->gapUntil.reset();
            if (s->piece >= pieces.size()) {
                s->download = Session::Download::Finished;
                completeTransfer(SimEvent::DownloadSent, std::to_string(opt.sendData->size()));
                return;
            }
            const std::string& p = pieces[s->piece];
            size_t n = p.size() - s->offset;
            // Unpaced data goes out in slices, so the line takes it without copying much.
            n = std::min(n, opt.chunkSize > 0 ? opt.chunkSize : size_t{65536});
            for (long long limit : {opt.silentAfter, opt.hangUpAfter}) {
                if (limit >= 0)
                    n = static_cast<size_t>(std::min<long long>(
                        static_cast<long long>(n), std::max(0LL, limit - s->transferBytes)));
            }
            s->out = p.substr(s->offset, n);
            s->offset += n;
            s->transferBytes += static_cast<long long>(n);
            if (s->offset >= p.size()) {
                s->offset = 0;
                ++s->piece;
                // After EOT the PC stops listening: no ACK will come for that piece.
                bool awaitsAck =
                    p.find(kEtx) != std::string::npos && p.find(kEot) == std::string::npos;
                if (qmx210 && opt.ackNak && opt.waitForAck && awaitsAck)
                    s->download = Session::Download::AwaitAck;
            }
            if (opt.chunkSize > 0 && opt.chunkGapMs > 0)
                s->gapUntil = Clock::now() + std::chrono::milliseconds(opt.chunkGapMs);
            if (s->out.empty()) break;  // cut to nothing by a fault limit
        }
    };

    auto writeOut = [&] {
        if (!s || s->out.empty() || hungUp) return;
        ssize_t r = ::write(m_pty.Master(), s->out.data(), s->out.size());
        if (r > 0) {
            std::string sent = s->out.substr(0, static_cast<size_t>(r));
            s->out.erase(0, static_cast<size_t>(r));
            lockedUpdate([&] { m_wireOut += sent; });
        }
    };
    auto send = [&](const std::string& bytes) {
        if (!s || silent || hungUp || bytes.empty()) return;
        s->out += bytes;
        writeOut();
    };
    auto checkFaults = [&] {
        if (!s || hungUp) return;
        // Limits count from the start of a transfer.
        if (!s->uploading && s->download == Session::Download::Waiting) return;
        if (reachedLimit(opt.hangUpAfter) && s->out.empty()) {
            // Hanging up flushes what the PC has not read yet: give it time to read.
            silent = true;
            if (!hangUpAt) hangUpAt = Clock::now() + std::chrono::milliseconds(kHangUpGraceMs);
        } else if (reachedLimit(opt.silentAfter) && !silent) {
            silent = true;
        }
    };

    auto answerSegment = [&](const std::string& seg) {
        s->pieceQuietAt.reset();
        std::string answer;
        if (opt.reply)
            answer = opt.reply(s->segmentIndex, seg);
        else if (opt.ackNak)
            answer = std::string{kAck, '\r', '\n'};
        ++s->segmentIndex;
        if (!silent && !reachedLimit(opt.silentAfter)) send(answer);
    };

    auto uploadByte = [&](char c) {
        if (!s->uploading) {
            s->uploading = true;
            lockedUpdate([&] { m_received.clear(); });
        }
        if (s->uploadDone) return;
        ++s->transferBytes;
        s->segment += c;
        if (qmx210) {
            lockedUpdate([&] { m_received += c; });
            if (s->segment.size() >= 3 &&
                s->segment.compare(s->segment.size() - 3, 3, std::string{kEtx, '\r', '\n'}) == 0) {
                std::string seg;
                seg.swap(s->segment);
                if (seg.size() >= kEndRecord.size() &&
                    seg.compare(seg.size() - kEndRecord.size(), kEndRecord.size(), kEndRecord) ==
                        0) {
                    s->uploadDone = true;
                    completeTransfer(SimEvent::UploadComplete, std::to_string(Received().size()));
                    return;
                }
                answerSegment(seg);
            } else if (s->segment.size() >= kPieceSize) {
                // Maybe a 128-byte piece of an overlong segment: answered when the PC pauses.
                s->pieceQuietAt = Clock::now() + std::chrono::milliseconds(kPieceQuietMs);
            }
        } else {
            // Lines up to EOT CR LF at the start of a line.
            if (c == '\n') {
                if (s->segment == kEndMarker) {
                    s->uploadDone = true;
                    completeTransfer(SimEvent::UploadComplete, std::to_string(Received().size()));
                } else {
                    std::string line;
                    line.swap(s->segment);
                    lockedUpdate([&] { m_received += line; });
                }
                s->segment.clear();
            }
        }
    };

    auto incoming = [&](const char* data, size_t n) {
        lockedUpdate([&] { m_wireIn.append(data, n); });
        for (size_t i = 0; i < n && s && !hungUp; ++i) {
            char c = data[i];
            // The greeting is only looked for before a transfer begins.
            bool idle = !s->uploading && s->download == Session::Download::Waiting;
            if (idle) {
                s->front += c;
                if (kGreeting.compare(0, s->front.size(), s->front) == 0) {
                    if (s->front.size() == kGreeting.size()) {
                        s->front.clear();
                        lockedUpdate([&] { ++m_greetings; });
                        if (opt.answerGreeting) send(opt.greetingReply);
                        Emit(SimEvent::Greeting, "");
                    }
                    continue;
                }
                std::string pending;
                pending.swap(s->front);
                for (char p : pending) {
                    if (opt.sendData && (p == kEnq || p == kAck)) {
                        if (p == kEnq) s->enqSeen = true;
                        continue;
                    }
                    uploadByte(p);
                    checkFaults();
                }
                continue;
            }
            if (opt.sendData && !s->uploading && (c == kEnq || c == kAck)) {
                if (c == kEnq) s->enqSeen = true;
                if (c == kAck) ++s->ackTokens;
                continue;
            }
            if (s->uploading) {
                uploadByte(c);
                checkFaults();
            }
        }
    };

    auto drainMaster = [&] {
        char buf[4096];
        for (;;) {
            if (hungUp) return;
            ssize_t r = ::read(m_pty.Master(), buf, sizeof buf);
            if (r > 0) {
                incoming(buf, static_cast<size_t>(r));
                continue;
            }
            return;
        }
    };

    auto beginSession = [&] {
        s.emplace();
        silent = false;
        lockedUpdate([&] { ++m_sessions; });
        if (opt.afterMs >= 0) afterAt = Clock::now() + std::chrono::milliseconds(opt.afterMs);
        Emit(SimEvent::PortOpened, "");
    };
    auto endSession = [&] {
        drainMaster();  // what the PC wrote just before it closed
        if (s) {
            bool midDownload = s->download == Session::Download::Sending ||
                               s->download == Session::Download::AwaitAck;
            bool midUpload = s->uploading && !s->uploadDone;
            if (midDownload || midUpload)
                Emit(SimEvent::TransferAborted, midUpload ? "upload" : "download");
        }
        s.reset();
        afterAt.reset();
        Emit(SimEvent::PortClosed, "");
    };

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
        if (s && !hungUp) {
            masterIndex = n;
            fds[n++] = {m_pty.Master(), static_cast<short>(POLLIN | (s->out.empty() ? 0 : POLLOUT)),
                        0};
        }
        int timeout = -1;
        auto consider = [&](const CDeadline& t) {
            if (!t) return;
            int ms = MsUntil(*t);
            timeout = timeout < 0 ? ms : std::min(timeout, ms);
        };
        consider(afterAt);
        if (!hungUp) consider(hangUpAt);
        if (s) {
            consider(s->triggerAt);
            consider(s->gapUntil);
            consider(s->pieceQuietAt);
        }
        if (hungUp && !s) timeout = -1;
        int r = poll(fds, static_cast<nfds_t>(n), timeout);
        if (r < 0 && errno != EINTR) return;

        if (inotifyIndex >= 0 && (fds[inotifyIndex].revents & POLLIN)) {
            alignas(inotify_event) char buf[4096];
            ssize_t len;
            while ((len = ::read(m_inotifyFd, buf, sizeof buf)) > 0) {
                for (char* p = buf; p < buf + len;) {
                    auto* ev = reinterpret_cast<inotify_event*>(p);
                    if (ev->mask & IN_OPEN) {
                        if (opens++ == 0 && !hungUp) beginSession();
                    }
                    if (ev->mask & IN_CLOSE) {
                        if (opens > 0 && --opens == 0 && s) endSession();
                    }
                    p += sizeof(inotify_event) + ev->len;
                }
            }
        }
        if (fds[0].revents & POLLIN) {
            eventfd_t ignored;
            eventfd_read(m_wakeFd, &ignored);
            bool trigger = false;
            int delay = 0;
            {
                std::lock_guard lock(m_mutex);
                if (m_stop) return;
                trigger = m_triggerPending;
                delay = m_triggerDelayMs;
                m_triggerPending = false;
            }
            if (trigger && s) s->triggerAt = Clock::now() + std::chrono::milliseconds(delay);
        }
        if (hangUpAt && !hungUp && Clock::now() >= *hangUpAt) hangUp();
        if (!s || hungUp) continue;
        if (masterIndex >= 0 && (fds[masterIndex].revents & POLLIN)) drainMaster();
        if (!s || hungUp) continue;
        if (s->pieceQuietAt && Clock::now() >= *s->pieceQuietAt && !s->uploadDone) {
            std::string piece;
            piece.swap(s->segment);
            answerSegment(piece);
        }
        if (afterAt && Clock::now() >= *afterAt) {
            afterAt.reset();
            s->triggered = true;
        }
        if (s->triggerAt && Clock::now() >= *s->triggerAt) {
            s->triggerAt.reset();
            s->triggered = true;
        }
        // Write what the line takes; when a piece is out, go on with the next.
        for (;;) {
            writeOut();
            if (!s || hungUp || !s->out.empty()) break;
            advanceDownload();
            if (s->out.empty()) break;
        }
        checkFaults();
    }
}
