// The bounds every layer keeps to, defined once.
#pragma once

#include <cstddef>

// Most bytes of a text the program reads, holds, receives or opens: an input of
// `jvs`, a download, the window's text. Whatever the program writes within it
// opens again.
inline constexpr size_t kMaxTextBytes = 4194304;
