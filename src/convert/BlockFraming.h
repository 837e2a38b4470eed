// QMX210 block framing: 128-byte payload blocks between STX and a block number,
// a three-character checksum, ETX and CR LF, closed by STX EOT ETX CR LF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Bounds.h"
#include "base/ControlBytes.h"

inline constexpr size_t kBlockPayload = 128;
inline constexpr size_t kFramedBlockSize = 136;
// Working buffers of the encoders (payload and framed text each, with their NUL).
inline constexpr size_t kWorkBufferSize = kMaxTextBytes;

// Exclusive-or of the 128 bytes, each a signed 8-bit value widened to int, with the
// block number character: -128..127.
int BlockChecksum(const char* block, char blockNumber);
// The checksum as "%03d" writes it, kept to its three-character field.
void FormatChecksum(int checksum, char out[3]);
// Size of the framed text of a payload, end frame included.
size_t FramedSize(size_t payloadSize);
// Appends the framed blocks of `payload` and the end frame to `out`.
void FramePayload(std::string_view payload, std::string& out);

// Where the bytes of an unframed payload stood in the framed text: the payload
// is runs of framed bytes copied whole, so a record found in the payload can be
// traced back to its line.
class CPayloadOrigins {
public:
    // The payload bytes from payloadPos on were copied from framedPos on.
    void Add(size_t payloadPos, size_t framedPos);
    // The payload was cut back to `payloadSize` bytes.
    void Cut(size_t payloadSize);
    // Offset in the framed text of a payload byte.
    size_t FramedOffset(size_t payloadPos) const;

private:
    std::vector<std::pair<size_t, size_t>> m_runs;  // (payload start, framed start)
};

// Variant A (coordinate and raw code downloads): drops STX and each block's number,
// checksum, ETX and CR LF; stops at EOT. Returns false when the text ends before an
// EOT (the caller then ends quietly). The text must begin with STX.
bool UnframeBlocks(std::string_view framed, std::string& payload,
                   CPayloadOrigins* origins = nullptr);
// Variant B (measurement data): drops every CR, LF and STX and, at each ETX, the
// four bytes before it; keeps everything else, EOT included.
void UnframeMeasurementBlocks(std::string_view framed, std::string& payload,
                              CPayloadOrigins* origins = nullptr);
