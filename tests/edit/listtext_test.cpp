#include <gtest/gtest.h>

#include <string>

#include "edit/EditListText.h"
#include "edit/EditState.h"
#include "edit/RecordTables.h"

TEST(EditListText, CoordLinesMapToFieldsPerFormat) {
    const auto cells = [](std::uint8_t format) {
        std::string joined;
        for (const std::string& cell : CoordRowCells(g_pCoordRecords[0], format))
            joined += "[" + cell + "]";
        return joined;
    };
    const auto fields = [] {
        const CoordRecord& r = g_pCoordRecords[0];
        return std::string(r.m_szName) + "|" + r.m_szCode + "|" + r.m_szEast + "|" + r.m_szNorth +
               "|" + r.m_szHeight;
    };
    LoadCoordRecords("A,1.0,2.0,3.0,C1\r\n", kTerv810Order);
    ASSERT_EQ(g_nCoordCount, 1);
    EXPECT_EQ(fields(), "A|C1|1.0|2.0|3.0");
    EXPECT_EQ(cells(kTerv810Order), "[A][1.0][2.0][3.0][C1]");
    LoadCoordRecords("A,1.0,2.0,3.0,C1\r\n", kTerv210Order);
    EXPECT_EQ(fields(), "A|1.0|2.0|3.0|C1");
    EXPECT_EQ(cells(kTerv210Order), "[A][1.0][2.0][3.0][C1]");
    for (std::uint8_t format : {kTerv810Order, kTerv210Order})
        for (int field = 0; field < 5; ++field)
            EXPECT_EQ(CoordFieldOfColumn(CoordColumnOfField(field, format), format), field);
}

TEST(EditListText, CountsAndCuts) {
    // The table takes the lines the format's count allows (the count is pinned in convert).
    LoadCoordRecords("A,1,2,3,C\r\nB,1,2\r\nC,1,2,3,4\r\n", kTerv810Order);
    EXPECT_EQ(g_nCoordCount, 1);
    // Fields are cut to 14 bytes, never through a double-byte character.
    LoadCoordRecords("ABCDEFGHIJKLMNOP,1,2,3,ABCDEFGHIJKLM\xB1\xE0\r\n", kTerv810Order);
    EXPECT_STREQ(g_pCoordRecords[0].m_szName, "ABCDEFGHIJKLMN");
    EXPECT_STREQ(g_pCoordRecords[0].m_szCode, "ABCDEFGHIJKLM");

    LoadCodeRecords("1,A\r\n0012,ABCDEFGHIJKL\r\n003,\r\n");
    ASSERT_EQ(g_nCodeCount, 3);
    EXPECT_EQ(FieldText(g_pCodeRecords[0].m_number, 3), "1");
    EXPECT_EQ(FieldText(g_pCodeRecords[1].m_number, 3), "001");
    EXPECT_EQ(FieldText(g_pCodeRecords[1].m_code, 10), "ABCDEFGHIJ");
    EXPECT_EQ(FieldText(g_pCodeRecords[2].m_code, 10), "");
    LoadCodeRecords("1,A,B\r\n");
    EXPECT_EQ(g_nCodeCount, 0);

    std::string out;
    AppendListLine(out, {"A", "", "\xB5\xE3\xC3\xFB"}, 3);
    AppendListLine(out, {"LONGER", "X"}, 3);
    EXPECT_EQ(out, "A,,\xB5\xE3\r\nLON,X\r\n");
}
