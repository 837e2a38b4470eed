#include <gtest/gtest.h>

#include <string>

#include "edit/EditListText.h"
#include "edit/EditState.h"
#include "edit/RecordTables.h"

namespace {
std::string Cells(const CoordRecord& record, std::uint8_t format) {
    std::string joined;
    for (const std::string& cell : CoordRowCells(record, format)) joined += "[" + cell + "]";
    return joined;
}
}  // namespace

TEST(EditListText, CoordLinesMapToFieldsPerFormat) {
    const std::string text = "A,1.0,2.0,3.0,C1\r\n";
    LoadCoordRecords(text, kTerv810Order);
    ASSERT_EQ(g_nCoordCount, 1);
    EXPECT_EQ(g_pCoordRecords.size(), 2u);  // one spare record
    EXPECT_STREQ(g_pCoordRecords[0].m_szEast, "1.0");
    EXPECT_STREQ(g_pCoordRecords[0].m_szNorth, "2.0");
    EXPECT_STREQ(g_pCoordRecords[0].m_szHeight, "3.0");
    EXPECT_STREQ(g_pCoordRecords[0].m_szCode, "C1");
    EXPECT_EQ(Cells(g_pCoordRecords[0], kTerv810Order), "[A][1.0][2.0][3.0][C1]");

    LoadCoordRecords(text, kTerv210Order);
    EXPECT_STREQ(g_pCoordRecords[0].m_szCode, "1.0");
    EXPECT_STREQ(g_pCoordRecords[0].m_szEast, "2.0");
    EXPECT_STREQ(g_pCoordRecords[0].m_szNorth, "3.0");
    EXPECT_STREQ(g_pCoordRecords[0].m_szHeight, "C1");
    EXPECT_EQ(Cells(g_pCoordRecords[0], kTerv210Order), "[A][1.0][2.0][3.0][C1]");

    for (std::uint8_t format : {kTerv810Order, kTerv210Order})
        for (int field = 0; field < 5; ++field)
            EXPECT_EQ(CoordFieldOfColumn(CoordColumnOfField(field, format), format), field);
    EXPECT_EQ(CoordColumnOfField(kFieldEast, kTerv210Order), 2);
    EXPECT_STREQ(CoordHeadings(kTerv210Order)[2], "坐标N");
    EXPECT_STREQ(CoordHeadings(kTerv810Order)[1], "坐标E");
}

TEST(EditListText, CoordCountAndCuts) {
    // An unterminated last line is not counted; one with too few commas refuses the text.
    LoadCoordRecords("A,1,2,3,C\r\nB,1,2,3,C", kTerv810Order);
    EXPECT_EQ(g_nCoordCount, 1);
    LoadCoordRecords("A,1,2,3,C\r\nB,1,2", kTerv810Order);
    EXPECT_EQ(g_nCoordCount, 0);
    // A line with too few commas ends the count with the lines before it.
    LoadCoordRecords("A,1,2,3,C\r\nB,1,2\r\nC,1,2,3,4\r\n", kTerv810Order);
    EXPECT_EQ(g_nCoordCount, 1);
    // Fields are cut to 14 bytes, never through a double-byte character.
    LoadCoordRecords("ABCDEFGHIJKLMNOP,1,2,3,ABCDEFGHIJKLM\xB1\xE0\r\n", kTerv810Order);
    ASSERT_EQ(g_nCoordCount, 1);
    EXPECT_STREQ(g_pCoordRecords[0].m_szName, "ABCDEFGHIJKLMN");
    EXPECT_STREQ(g_pCoordRecords[0].m_szCode, "ABCDEFGHIJKLM");
    LoadCoordRecords("", kTerv810Order);
    EXPECT_EQ(g_nCoordCount, 0);
    EXPECT_EQ(g_pCoordRecords.size(), 1u);
}

TEST(EditListText, CodeLinesKeepTheirLength) {
    LoadCodeRecords("1,A\r\n0012,ABCDEFGHIJKL\r\n003,\r\n");
    ASSERT_EQ(g_nCodeCount, 3);
    EXPECT_EQ(FieldText(g_pCodeRecords[0].m_number, 3), "1");
    EXPECT_EQ(FieldText(g_pCodeRecords[0].m_code, 10), "A");
    EXPECT_EQ(FieldText(g_pCodeRecords[1].m_number, 3), "001");
    EXPECT_EQ(FieldText(g_pCodeRecords[1].m_code, 10), "ABCDEFGHIJ");
    EXPECT_EQ(FieldText(g_pCodeRecords[2].m_code, 10), "");
    LoadCodeRecords("1,A,B\r\n");
    EXPECT_EQ(g_nCodeCount, 0);
    EXPECT_EQ(g_pCodeRecords.size(), 1u);
}

TEST(EditListText, LinesAreJoinedAndCut) {
    std::string out;
    AppendListLine(out, {"A", "", "\xB5\xE3\xC3\xFB"}, 3);
    AppendListLine(out, {"LONGER", "X"}, 3);
    EXPECT_EQ(out, "A,,\xB5\xE3\r\nLON,X\r\n");
}
