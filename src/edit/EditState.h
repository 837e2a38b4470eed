// State of the list editing dialogs, kept for the whole run of the program.
#pragma once

#include <cstdint>

// Coordinate edit format of the current invocation.
inline constexpr std::uint8_t kTerv810Order = 0;
inline constexpr std::uint8_t kTerv210Order = 1;

extern std::uint8_t g_nEditFormat;
// Rows of the open list dialog; add inserts at this index. Shared by both lists.
extern int g_nListRows;
// Current row of the open list dialog, -1 = none. Shared by both lists.
extern int g_nCurRow;
// "Don't show again" of the update prompts; one flag for both lists, never cleared.
extern bool g_bNoUpdatePrompt;
