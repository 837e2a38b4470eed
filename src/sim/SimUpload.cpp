// The upload receiver: QMX610/710 lines up to EOT CR LF, QMX210 segments
// answered one by one.
#include "base/ControlBytes.h"
#include "sim/SimSession.h"

using sim_detail::kPieceQuietMs;
using sim_detail::kPieceSize;
using sim_detail::kSegmentCap;

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
    if (m_qmx210)
        UploadSegmentByte(c);
    else
        UploadLineByte(c);
}

void CSimSession::KeepUploaded(std::string_view bytes) {
    m_sim.Update([&] {
        if (!m_sim.AppendKept(m_sim.m_received, bytes)) m_sim.m_receivedCut = true;
    });
}

void CSimSession::UploadEnded() {
    m_uploadDone = true;
    m_sim.CompleteTransfer(SimEvent::UploadComplete, std::to_string(m_sim.Received().size()));
}

// Lines up to EOT CR LF at the start of a line. A line without end goes to
// the upload in parts.
void CSimSession::UploadLineByte(char c) {
    if (c != kLf) {
        if (m_segment.size() >= kSegmentCap) {
            KeepUploaded(m_segment);
            m_segment.clear();
            m_longLine = true;
        }
        return;
    }
    if (m_segment == kEndMarker && !m_longLine)
        UploadEnded();
    else
        KeepUploaded(m_segment);
    m_segment.clear();
    m_longLine = false;
}

void CSimSession::UploadSegmentByte(char c) {
    KeepUploaded(std::string_view(&c, 1));
    // Only the segment's end is looked at; an endless one keeps its last bytes.
    if (m_segment.size() >= kSegmentCap) m_segment.erase(0, m_segment.size() - kEndRecord.size());
    if (m_segment.ends_with(kSegmentEnd)) {
        std::string segment;
        segment.swap(m_segment);
        if (segment.ends_with(kEndRecord))
            UploadEnded();
        else
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
        answer = kAckReply;
    ++m_segmentIndex;
    if (!m_silent && !ReachedLimit(m_opt.silentAfter)) Send(answer);
}
