// Lossless code page 936 codec between the view's bytes and the screen.
// Every byte sequence survives DecodeViewText -> EncodeViewText unchanged:
// valid GBK shows as Chinese, other bytes are escaped to characters that no
// GBK sequence produces, control bytes become visible symbols. Line structure
// is left to the caller (CR LF is kept as the two characters).
#pragma once

#include <QString>
#include <string>
#include <string_view>

QString DecodeViewText(std::string_view bytes);
// Characters that code page 936 cannot hold become '?'.
std::string EncodeViewText(const QString& text);

// UTF-8 <-> code page 936 for the program's own messages and texts.
std::string Utf8ToGbk(std::string_view utf8);
std::string GbkToUtf8(std::string_view gbk);
