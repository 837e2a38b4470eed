// DXF export: fixed head, entities at the full coordinates, line ends byte by byte,
// and a read-back by an independent DXF reader when one is installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "convert/Converters.h"

namespace {

std::string Entities(const std::string& dxf) {
    const std::string start = "  2\r\nENTITIES\r\n";
    const size_t at = dxf.find(start);
    EXPECT_NE(at, std::string::npos);
    return dxf.substr(at + start.size());
}

std::string Head(const std::string& dxf) {
    return dxf.substr(0, dxf.find("  2\r\nENTITIES\r\n"));
}

}  // namespace

TEST(DxfExport, PointAndLabelOfARecord) {
    const CConvertResult r = OnDxfExport("P1,TREE,512.345,-20.5,12.3456\r\n");
    ASSERT_TRUE(r.IsDone()) << r.m_message;
    EXPECT_EQ(
        Entities(r.m_text),
        "  0\r\nPOINT\r\n  8\r\nPOINT\r\n 10\r\n512.3450\r\n 20\r\n-20.5000\r\n 30\r\n12.3456\r\n"
        "  0\r\nTEXT\r\n  8\r\nANNOTATION\r\n 10\r\n512.3450\r\n 20\r\n-20.5000\r\n "
        "30\r\n12.3456\r\n"
        " 40\r\n1.00000\r\n 50\r\n0.00000\r\n  1\r\nP1 TREE 12.3456\r\n"
        "  0\r\nENDSEC\r\n  0\r\nEOF\r\n");

    // An empty code leaves two spaces between name and height; records keep their order.
    const CConvertResult two = OnDxfExport("A,,1,2,3\r\nB,X,-0.00004,4,5.5\r\n");
    ASSERT_TRUE(two.IsDone());
    const std::string e = Entities(two.m_text);
    EXPECT_NE(e.find("  1\r\nA  3.0000\r\n"), std::string::npos);
    EXPECT_LT(e.find("A  3.0000"), e.find("B X 5.5000"));
    EXPECT_NE(e.find(" 10\r\n0.0000\r\n 20\r\n4.0000\r\n"), std::string::npos);  // no "-0.0000"
}

TEST(DxfExport, HeadTablesAndLineEnds) {
    const std::string a = OnDxfExport("P1,,1,2,3\r\n").m_text;
    const std::string b = OnDxfExport("Q,C,100.5,200.25,3\r\nR,D,4,5,6\r\n").m_text;
    EXPECT_EQ(Head(a), Head(b));  // the head never depends on the data
    EXPECT_EQ(a.rfind("  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$EXTMIN\r\n", 0), 0u);
    EXPECT_NE(a.find("  9\r\n$ACADVER\r\n  1\r\nAC1006\r\n"), std::string::npos);
    EXPECT_NE(a.find("  9\r\n$LIMMIN\r\n 10\r\n10000.0\r\n 20\r\n9990.85\r\n"), std::string::npos);
    EXPECT_NE(a.find("  0\r\nLAYER\r\n  2\r\nPLANFORM\r\n70\r\n0\r\n62\r\n7\r\n6\r\nCONTINUOUS\r\n"
                     "0\r\nENDTAB\r\n0\r\nENDSEC\r\n0\r\nSECTION\r\n  2\r\nBLOCKS\r\n"),
              std::string::npos);
    // Five layers, "POINT" not among them.
    size_t layers = 0;
    for (size_t p = a.find("  0\r\nLAYER\r\n"); p != std::string::npos;
         p = a.find("  0\r\nLAYER\r\n", p + 1))
        ++layers;
    EXPECT_EQ(layers, 5u);
    EXPECT_EQ(a.find("  2\r\nPOINT\r\n"), std::string::npos);
    // Every line ends with CR LF except the four "  r" lines of the attribute definitions.
    size_t loneLf = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != '\n' || (i > 0 && a[i - 1] == '\r')) continue;
        ++loneLf;
        EXPECT_EQ(a.substr(i - 3, 3), "  r") << i;
    }
    EXPECT_EQ(loneLf, 4u);
    EXPECT_NE(a.find("  1\r\n  r\n  3\r\n  r\n 2\r\nPOINTID\r\n  70\r\n  1\r\n"),
              std::string::npos);
    EXPECT_EQ(a.substr(a.size() - 23), "  0\r\nENDSEC\r\n  0\r\nEOF\r\n");
}

TEST(DxfExport, Messages) {
    EXPECT_EQ(OnDxfExport("").m_message, "无效TERV210格式!");
    EXPECT_EQ(OnDxfExport("P1,,1,2\r\n").m_message, "无效TERV210格式!");
    // Its own output is no coordinate list.
    EXPECT_EQ(OnDxfExport(OnDxfExport("P1,,1,2,3\r\n").m_text).m_message, "无效TERV210格式!");
    EXPECT_EQ(OnDxfExport("P1,,1,2,3\r\nP2,,123456789012345678901,2,3\r\n").m_message,
              "转换失败!\n第2行");
    EXPECT_EQ(OnDxfExport("P1,,1,2,3\r\nP2,,1,2,3\r\nP3,,x,2,3\r\n").m_message, "转换失败!\n第3行");
    EXPECT_EQ(OnDxfExport("P1,,1,2,3\r\nNAMEOFFIFTEEN15,,1,2,3\r\n").m_message, "转换失败!\n第2行");
}

TEST(DxfExport, IndependentReaderOpensIt) {
    if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3";
    if (std::system("/usr/bin/python3 -c 'import ezdxf' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-ezdxf is not installed";
    const CConvertResult r = OnDxfExport("P1,TREE,512.345,-20.5,12.3456\r\nP2,,-7.25,3000.5,0\r\n");
    ASSERT_TRUE(r.IsDone());
    char path[] = "/tmp/jvs_dxf_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, r.m_text.data(), r.m_text.size()), static_cast<ssize_t>(r.m_text.size()));
    close(fd);
    const std::string script =
        "import ezdxf,sys\n"
        "doc=ezdxf.readfile(sys.argv[1])\n"
        "a=doc.audit()\n"
        "print('errors',len(a.errors))\n"
        "for e in doc.modelspace():\n"
        "  p=e.dxf.insert if e.dxftype()=='TEXT' else e.dxf.location\n"
        "  print(e.dxftype(),e.dxf.layer,'%.4f %.4f %.4f'%(p.x,p.y,p.z),"
        "e.dxf.text if e.dxftype()=='TEXT' else '')\n";
    const std::string command = "/usr/bin/python3 -c \"" + script + "\" " + path + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, pipe)) output.append(buf, n);
    const int status = pclose(pipe);
    unlink(path);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output,
              "errors 0\n"
              "POINT POINT 512.3450 -20.5000 12.3456 \n"
              "TEXT ANNOTATION 512.3450 -20.5000 12.3456 P1 TREE 12.3456\n"
              "POINT POINT -7.2500 3000.5000 0.0000 \n"
              "TEXT ANNOTATION -7.2500 3000.5000 0.0000 P2  0.0000\n");
}
