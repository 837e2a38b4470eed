// The view codec for Qt's strings: what a line edit or table cell shows of the
// view's bytes, and the bytes it stands for.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "convert/ViewCodec.h"

inline QString DecodeViewText(std::string_view bytes) {
    return QString::fromStdU16String(DecodeViewUtf16(bytes));
}

// Characters that code page 936 cannot hold become '?'.
inline std::string EncodeViewText(const QString& text) {
    return EncodeViewUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())));
}
