// Helpers for the fixed-width text fields of the record tables.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Longest prefix of a code page 936 text that fits maxBytes without splitting
// a double-byte character.
std::string_view CutToField(std::string_view text, std::size_t maxBytes);
