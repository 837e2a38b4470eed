#include "edit/EditState.h"

std::uint8_t g_nEditFormat = kTerv810Order;
int g_nListRows = 0;
int g_nCurRow = 0;
bool g_bNoUpdatePrompt = false;
