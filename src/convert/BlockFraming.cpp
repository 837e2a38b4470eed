#include "convert/BlockFraming.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

int BlockChecksum(const char* block, char blockNumber) {
    int sum = 0;
    for (size_t i = 0; i < kBlockPayload; ++i) sum ^= static_cast<signed char>(block[i]);
    return sum ^ blockNumber;
}

void FormatChecksum(int checksum, char out[3]) {
    // "%03d" may write four characters (e.g. -128); the field keeps the first three.
    char text[16];
    std::snprintf(text, sizeof text, "%03d", checksum);
    std::memcpy(out, text, 3);
}

size_t FramedSize(size_t payloadSize) {
    const size_t blocks = payloadSize == 0 ? 1 : (payloadSize + kBlockPayload - 1) / kBlockPayload;
    return blocks * kFramedBlockSize + sizeof kEndFrame;
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
    out.append(kEndFrame, sizeof kEndFrame);
}

namespace {

// The block number and checksum before an ETX belong to that block: never take
// back more than the block brought, so the end frame costs no payload bytes.
void TakeBackTail(std::string& payload, size_t blockStart) {
    const size_t kept = payload.size() - blockStart;
    payload.resize(payload.size() - (kept < 4 ? kept : 4));
}

}  // namespace

bool UnframeBlocks(std::string_view framed, std::string& payload) {
    payload.clear();
    payload.reserve(framed.size());
    size_t i = 0, blockStart = 0;
    while (i < framed.size()) {
        const char c = framed[i];
        if (c == kEot) return true;
        if (c == kStx) {
            blockStart = payload.size();
            ++i;
        } else if (c == kEtx) {
            TakeBackTail(payload, blockStart);
            blockStart = payload.size();
            i += 3;  // the ETX and the CR LF after it
        } else {
            payload.push_back(c);
            ++i;
        }
    }
    return false;
}

void UnframeMeasurementBlocks(std::string_view framed, std::string& payload) {
    payload.clear();
    payload.reserve(framed.size());
    size_t blockStart = 0;
    for (const char c : framed) {
        if (c == '\r' || c == '\n') continue;
        if (c == kStx) {
            blockStart = payload.size();
            continue;
        }
        if (c == kEtx) {
            TakeBackTail(payload, blockStart);
            blockStart = payload.size();
            continue;
        }
        payload.push_back(c);
    }
}
