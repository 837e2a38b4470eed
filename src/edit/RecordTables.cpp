#include "edit/RecordTables.h"

std::vector<CoordRecord> g_pCoordRecords;
int g_nCoordCount = 0;
std::vector<CodeRecord> g_pCodeRecords;
int g_nCodeCount = 0;

void SetCoordTable(std::vector<CoordRecord> records) {
    g_pCoordRecords = std::move(records);
    g_nCoordCount = static_cast<int>(g_pCoordRecords.size());
}

void SetCodeTable(std::vector<CodeRecord> records) {
    g_pCodeRecords = std::move(records);
    g_nCodeCount = static_cast<int>(g_pCodeRecords.size());
}
