// The control bytes of the instruments' line protocols, and the sequences made
// of them, defined once for the converters, the transfers and the simulator.
#pragma once

#include <string_view>

inline constexpr char kStx = 0x02, kEtx = 0x03, kEot = 0x04, kEnq = 0x05, kAck = 0x06, kNak = 0x15;
inline constexpr char kCr = '\r', kLf = '\n';

// EOT CR LF: the end of a transfer's lines.
inline constexpr std::string_view kEndMarker{"\x04\r\n", 3};
// STX EOT ETX CR LF: the framed end record of the block formats.
inline constexpr std::string_view kEndRecord{"\x02\x04\x03\r\n", 5};
// What the program sends to find an instrument on a port.
inline constexpr std::string_view kProbeGreeting{"Connect\r\n", 9};
// What an instrument answers to it.
inline constexpr std::string_view kProbeAnswer{"OK\r\n", 4};
// ETX CR LF: the end of a QMX210 segment.
inline constexpr std::string_view kSegmentEnd{"\x03\r\n", 3};
// The instrument's answers to a QMX210 segment.
inline constexpr std::string_view kAckReply{"\x06\r\n", 3};
inline constexpr std::string_view kNakReply{"\x15\r\n", 3};

// Code page 936: the bytes that start a two-byte character, and the range of
// the byte after one (0x7F in it pairs with nothing).
inline constexpr unsigned kGbkLeadFirst = 0x81, kGbkLeadLast = 0xFE;
inline constexpr unsigned kGbkTrailFirst = 0x40, kGbkTrailLast = 0xFE;
constexpr bool IsGbkLeadByte(unsigned char b) {
    return b >= kGbkLeadFirst && b <= kGbkLeadLast;
}
constexpr bool IsGbkTrailByte(unsigned char b) {
    return b >= kGbkTrailFirst && b <= kGbkTrailLast && b != 0x7F;
}
