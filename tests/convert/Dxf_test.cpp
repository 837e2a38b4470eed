// DXF export: entities at the full coordinates, a head that never depends on the data,
// line ends byte by byte, and a read-back by an independent DXF reader when one is installed.
#include <cstdio>

#include "TempCwd_support.h"
#include "convert_support.h"

namespace {

const std::string kEntities = "  2\r\nENTITIES\r\n";

std::string Entities(const std::string& dxf) {
    const size_t at = dxf.find(kEntities);
    EXPECT_NE(at, std::string::npos);
    return dxf.substr(at + kEntities.size());
}

}  // namespace

TEST(DxfExport, PointAndLabelOfARecord) {
    EXPECT_EQ(
        Entities(OnDxfExport("P1,TREE,512.345,-20.5,12.3456\r\n").m_text),
        "  0\r\nPOINT\r\n  8\r\nPOINT\r\n 10\r\n512.3450\r\n 20\r\n-20.5000\r\n 30\r\n12.3456\r\n"
        "  0\r\nTEXT\r\n  8\r\nANNOTATION\r\n 10\r\n512.3450\r\n 20\r\n-20.5000\r\n 30\r\n"
        "12.3456\r\n 40\r\n1.00000\r\n 50\r\n0.00000\r\n  1\r\nP1 TREE 12.3456\r\n"
        "  0\r\nENDSEC\r\n  0\r\nEOF\r\n");
    // An empty code leaves two spaces between name and height; records keep their order.
    const std::string e = Entities(OnDxfExport("A,,1,2,3\r\nB,X,-0.00004,4,5.5\r\n").m_text);
    EXPECT_NE(e.find("  1\r\nA  3.0000\r\n"), std::string::npos);
    EXPECT_LT(e.find("A  3.0000"), e.find("B X 5.5000"));
    EXPECT_NE(e.find(" 10\r\n0.0000\r\n 20\r\n4.0000\r\n"), std::string::npos);  // no "-0.0000"
}

TEST(DxfExport, HeadAndLineEnds) {
    const std::string a = OnDxfExport("P1,,1,2,3\r\n").m_text;
    const std::string b = OnDxfExport("Q,C,100.5,200.25,3\r\nR,D,4,5,6\r\n").m_text;
    EXPECT_EQ(a.substr(0, a.find(kEntities)), b.substr(0, b.find(kEntities)));
    EXPECT_EQ(a.rfind("  0\r\nSECTION\r\n  2\r\nHEADER\r\n", 0), 0u);
    // Every line ends with CR LF except the four "  r" lines of the attribute definitions.
    size_t loneLf = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != '\n' || (i > 0 && a[i - 1] == '\r')) continue;
        ++loneLf;
        EXPECT_EQ(a.substr(i - 3, 3), "  r") << i;
    }
    EXPECT_EQ(loneLf, 4u);
}

TEST(DxfExport, Messages) {
    const std::pair<std::string, const char*> refused[] = {
        {"", "无效TERV210格式!"},
        {"P1,,1,2\r\n", "无效TERV210格式!"},
        {OnDxfExport("P1,,1,2,3\r\n").m_text, "无效TERV210格式!"},  // its own output
        {"P1,,1,2,3\r\nP2,,123456789012345678901,2,3\r\n", "转换失败!\n第2行"},
        {"P1,,1,2,3\r\nNAMEOFFIFTEEN15,,1,2,3\r\n", "转换失败!\n第2行"}};
    for (const auto& [text, message] : refused) EXPECT_EQ(OnDxfExport(text).m_message, message);
}

TEST(DxfExport, IndependentReaderOpensIt) {
    if (std::system("/usr/bin/python3 -c 'import ezdxf' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-ezdxf is not installed";
    const CTempDir dir;
    WriteFileBytes(dir / "p.dxf",
                   OnDxfExport("P1,TREE,512.345,-20.5,12.3456\r\nP2,,-7.25,3000.5,0\r\n").m_text);
    const std::string command =
        "/usr/bin/python3 " JVS_TEST_DATA "/convert/dxf_readback.py " + (dir / "p.dxf") + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, pipe)) output.append(buf, n);
    EXPECT_EQ(pclose(pipe), 0) << output;
    EXPECT_EQ(output,
              "errors 0\n"
              "POINT POINT 512.3450 -20.5000 12.3456 \n"
              "TEXT ANNOTATION 512.3450 -20.5000 12.3456 P1 TREE 12.3456\n"
              "POINT POINT -7.2500 3000.5000 0.0000 \n"
              "TEXT ANNOTATION -7.2500 3000.5000 0.0000 P2  0.0000\n");
}
