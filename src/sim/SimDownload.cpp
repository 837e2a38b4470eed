// The download sender: the instrument's data, paced and cut as the options say.
#include <unistd.h>

#include <algorithm>

#include "base/ControlBytes.h"
#include "sim/SimSession.h"

namespace sim_detail {

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
        if (end < data.size() && data[end] == kCr) ++end;
        if (end < data.size() && data[end] == kLf) ++end;
        pieces.push_back(data.substr(start, end - start));
        start = end;
        i = end - 1;
    }
    if (start < data.size()) pieces.push_back(data.substr(start));
    return pieces;
}

}  // namespace sim_detail

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
            if (m_qmx210 && m_opt.ackNak && awaitsAck) m_download = Download::AwaitAck;
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
