// The bounds every layer keeps to, defined once.
#pragma once

#include <cstddef>

// Most bytes of a text the program reads, holds, receives or opens: an input of
// `jvs`, a download, the window's text. Whatever the program writes within it
// opens again.
inline constexpr size_t kMaxTextBytes = 4194304;
// Most bytes of a file of our own beside the data (the settings file, a help
// page): each is a few kilobytes, anything past 1 MiB is not one of ours.
inline constexpr size_t kMaxOwnFileBytes = 1 << 20;
