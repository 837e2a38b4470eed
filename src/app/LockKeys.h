// The keyboard's lock states (Caps, Num, Scroll) for the status bar's panes.
#pragma once

#include <array>
#include <optional>

// Caps Lock, Num Lock, Scroll Lock, in the panes' order; nothing where the
// display system does not tell (Wayland, offscreen).
std::optional<std::array<bool, 3>> ReadLockKeys();
