#include "sim/SimSession.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "base/ControlBytes.h"

namespace sim_detail {

int MsUntil(Clock::time_point t) {
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
    return ms < 0 ? 0 : (ms > INT_MAX ? INT_MAX : static_cast<int>(ms));
}

}  // namespace sim_detail

using sim_detail::kHangUpGraceMs;
using sim_detail::MsUntil;

bool CSimSession::GreetingByte(char c) {
    m_front += c;
    if (kProbeGreeting.compare(0, m_front.size(), m_front) != 0) return false;
    if (m_front.size() == kProbeGreeting.size()) {
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
