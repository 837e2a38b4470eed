// Lossless code page 936 codec between the view's bytes and the screen.
// Every byte sequence survives DecodeViewUtf16 -> EncodeViewUtf16 unchanged:
// valid GBK shows as Chinese, other bytes are escaped to characters that no
// GBK sequence produces, control bytes become visible symbols. Line structure
// is left to the caller (CR LF is kept as the two characters).
#pragma once

#include <string>
#include <string_view>

// The form a UTF-16 text widget holds (Qt's strings: ui/ViewText.h).
std::u16string DecodeViewUtf16(std::string_view bytes);
// Characters that code page 936 cannot hold become '?'.
std::string EncodeViewUtf16(std::u16string_view text);

// The form a UTF-8 editor holds: bytes below 0x80 stay themselves (control
// bytes, NUL and lone CR or LF included), valid code page 936 becomes its
// character, and every other byte b becomes U+10FE00 + b, a private-use
// character outside the basic plane that no GBK sequence produces.
// Characters code page 936 cannot hold become '?'; a byte that is not
// UTF-8 is kept as it is.
std::string DecodeViewUtf8(std::string_view bytes);
std::string EncodeViewUtf8(std::string_view utf8);

// The program's own messages and texts (UTF-8) as code page 936.
std::string Utf8ToGbk(std::string_view utf8);

// Characters used for bytes that are not shown as themselves.
inline constexpr char16_t kControlSymbolBase = 0x2400;  // U+2400 + byte for 0x00..0x1F
inline constexpr char16_t kDeleteSymbol = 0x2421;       // 0x7F
inline constexpr char16_t kEscapeBase = 0xDC00;         // lone surrogate U+DC80..U+DCFF
inline constexpr char32_t kUtf8EscapeBase = 0x10FE00;   // U+10FE80..U+10FEFF
