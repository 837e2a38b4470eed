#include "convert/BlockFraming.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

int BlockChecksum(const char* block, char blockNumber) {
    int sum = 0;
    for (size_t i = 0; i < kBlockPayload; ++i) sum ^= static_cast<signed char>(block[i]);
    return sum ^ blockNumber;
}

void FormatChecksum(int checksum, char out[3]) {
    // What "%03d" writes, kept to three characters: "046", "-05", "-62", "-12" for -128.
    if (checksum >= 0) {
        out[0] = static_cast<char>('0' + checksum / 100 % 10);
        out[1] = static_cast<char>('0' + checksum / 10 % 10);
        out[2] = static_cast<char>('0' + checksum % 10);
        return;
    }
    const int magnitude = -checksum;
    out[0] = '-';
    if (magnitude >= 100) {
        out[1] = static_cast<char>('0' + magnitude / 100);
        out[2] = static_cast<char>('0' + magnitude / 10 % 10);
    } else {
        out[1] = static_cast<char>('0' + magnitude / 10);
        out[2] = static_cast<char>('0' + magnitude % 10);
    }
}

size_t FramedSize(size_t payloadSize) {
    const size_t blocks = payloadSize == 0 ? 1 : (payloadSize + kBlockPayload - 1) / kBlockPayload;
    return blocks * kFramedBlockSize + kEndRecord.size();
}

static void AppendBlock(const char* block, char blockNumber, std::string& out) {
    char tail[7];
    tail[0] = blockNumber;
    FormatChecksum(BlockChecksum(block, blockNumber), tail + 1);
    tail[4] = kEtx;
    tail[5] = '\r';
    tail[6] = '\n';
    out.push_back(kStx);
    out.append(block, kBlockPayload);
    out.append(tail, sizeof tail);
}

void FramePayload(std::string_view payload, std::string& out) {
    out.reserve(out.size() + FramedSize(payload.size()));
    char blockNumber = '0';
    size_t pos = 0;
    // Full blocks, except that the last block is always written by the tail below,
    // padded or not.
    while (payload.size() - pos > kBlockPayload) {
        AppendBlock(payload.data() + pos, blockNumber, out);
        blockNumber = blockNumber == '9' ? '0' : blockNumber + 1;
        pos += kBlockPayload;
    }
    char last[kBlockPayload];
    const size_t rest = payload.size() - pos;
    std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(pos), rest, last);
    if (rest < kBlockPayload) {
        last[rest] = '_';
        std::memset(last + rest + 1, ' ', kBlockPayload - rest - 1);
    }
    AppendBlock(last, blockNumber, out);
    out.append(kEndRecord);
}

namespace {

// The block number and checksum before an ETX belong to that block: never take
// back more than the block brought, so the end frame costs no payload bytes.
void TakeBackTail(std::string& payload, size_t blockStart, CPayloadOrigins* origins) {
    const size_t kept = payload.size() - blockStart;
    payload.resize(payload.size() - (kept < 4 ? kept : 4));
    if (origins) origins->Cut(payload.size());
}

// Appends framed bytes to the payload and notes where they came from.
void Take(std::string& payload, std::string_view framed, size_t from, size_t count,
          CPayloadOrigins* origins) {
    if (origins) origins->Add(payload.size(), from);
    payload.append(framed.substr(from, count));
}

}  // namespace

namespace {

using CByteSet = std::array<bool, 256>;

constexpr CByteSet MakeByteSet(std::string_view bytes) {
    CByteSet set{};
    for (const char c : bytes) set[static_cast<unsigned char>(c)] = true;
    return set;
}

// Length of the run of ordinary bytes at `from`, up to the next byte of `specials`.
size_t PlainRun(std::string_view text, size_t from, const CByteSet& specials) {
    size_t i = from;
    while (i < text.size() && !specials[static_cast<unsigned char>(text[i])]) ++i;
    return i - from;
}

constexpr CByteSet kBlockControls = MakeByteSet("\x02\x03\x04");
constexpr CByteSet kMeasurementControls = MakeByteSet("\r\n\x02\x03");

}  // namespace

void CPayloadOrigins::Add(size_t payloadPos, size_t framedPos) {
    m_runs.emplace_back(payloadPos, framedPos);
}

void CPayloadOrigins::Cut(size_t payloadSize) {
    while (!m_runs.empty() && m_runs.back().first >= payloadSize) m_runs.pop_back();
}

size_t CPayloadOrigins::FramedOffset(size_t payloadPos) const {
    auto it = std::upper_bound(m_runs.begin(), m_runs.end(), payloadPos,
                               [](size_t pos, const auto& run) { return pos < run.first; });
    if (it == m_runs.begin()) return payloadPos;
    --it;
    return it->second + (payloadPos - it->first);
}

bool UnframeBlocks(std::string_view framed, std::string& payload, CPayloadOrigins* origins) {
    payload.clear();
    payload.reserve(framed.size());
    size_t i = 0, blockStart = 0;
    while (i < framed.size()) {
        if (const size_t run = PlainRun(framed, i, kBlockControls)) {
            Take(payload, framed, i, run, origins);
            i += run;
            continue;
        }
        const char c = framed[i];
        if (c == kEot) return true;
        if (c == kStx) {
            blockStart = payload.size();
            ++i;
        } else if (c == kEtx) {
            TakeBackTail(payload, blockStart, origins);
            blockStart = payload.size();
            i += 3;  // the ETX and the CR LF after it
        } else {
            Take(payload, framed, i, 1, origins);
            ++i;
        }
    }
    return false;
}

void UnframeMeasurementBlocks(std::string_view framed, std::string& payload,
                              CPayloadOrigins* origins) {
    payload.clear();
    payload.reserve(framed.size());
    size_t blockStart = 0;
    for (size_t i = 0; i < framed.size(); ++i) {
        if (const size_t run = PlainRun(framed, i, kMeasurementControls)) {
            Take(payload, framed, i, run, origins);
            i += run - 1;
            continue;
        }
        const char c = framed[i];
        if (c == '\r' || c == '\n') continue;
        if (c == kStx) {
            blockStart = payload.size();
            continue;
        }
        if (c == kEtx) {
            TakeBackTail(payload, blockStart, origins);
            blockStart = payload.size();
            continue;
        }
        Take(payload, framed, i, 1, origins);
    }
}
