// The coordinate and code tables the list editors show: filled by the editors
// from the view text, or by the window after a conversion that read them. They
// belong to the user-interface thread.
#pragma once

#include <vector>

#include "convert/RecordFormats.h"

// The count mirrors the records last read; an editor may keep spare rows beyond it.
extern std::vector<CoordRecord> g_pCoordRecords;
extern int g_nCoordCount;
extern std::vector<CodeRecord> g_pCodeRecords;
extern int g_nCodeCount;

// Replaces a table (and its count) with the records a conversion read.
void SetCoordTable(std::vector<CoordRecord> records);
void SetCodeTable(std::vector<CodeRecord> records);
