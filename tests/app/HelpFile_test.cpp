// The help file is built from every page, listed in file-name order under
// the pages' own titles.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
std::vector<std::string> Pages() {
    std::vector<std::string> pages;
    for (const auto& entry : fs::directory_iterator(fs::path(JVS_SOURCE_DIR) / "help"))
        if (entry.path().extension() == ".html") pages.push_back(entry.path().filename().string());
    std::sort(pages.begin(), pages.end());
    return pages;
}
}  // namespace

TEST(HelpFile, ContentsListEveryPageInOrderWithItsTitle) {
    const std::vector<std::string> pages = Pages();
    ASSERT_GE(pages.size(), 4u);
    const std::string hhc = Slurp(fs::path(JVS_BINARY_DIR) / "help/chm/JVSHelp.hhc");
    const std::string hhp = Slurp(fs::path(JVS_BINARY_DIR) / "help/chm/JVSHelp.hhp");
    ASSERT_FALSE(hhc.empty());
    EXPECT_NE(hhp.find("Compiled file=JVSHelp.chm"), std::string::npos);
    EXPECT_NE(hhp.find("Default topic=" + pages.front()), std::string::npos);
    size_t last = 0;
    for (const std::string& page : pages) {
        const std::string html = Slurp(fs::path(JVS_SOURCE_DIR) / "help" / page);
        std::smatch m;
        ASSERT_TRUE(std::regex_search(html, m, std::regex("<title>([^<]*)</title>"))) << page;
        const std::string entry = "<param name=\"Name\" value=\"" + m[1].str() +
                                  "\">\n<param name=\"Local\" value=\"" + page + "\">";
        const size_t at = hhc.find(entry);
        ASSERT_NE(at, std::string::npos) << page;
        EXPECT_GT(at, last) << page << " out of order";
        last = at;
        EXPECT_NE(hhp.find("\n" + page + "\n"), std::string::npos) << page;
    }
}

TEST(HelpFile, CompiledFileHoldsEveryPage) {
    const fs::path chm = fs::path(JVS_BINARY_DIR) / "bin/JVSHelp.chm";
    if (!fs::exists(chm)) GTEST_SKIP() << "chmcmd not installed: no help file built";
    const std::string bytes = Slurp(chm);
    ASSERT_EQ(bytes.substr(0, 4), "ITSF");
    for (const std::string& page : Pages())
        EXPECT_NE(bytes.find("/" + page), std::string::npos) << page;
    EXPECT_NE(bytes.find("/JVSHelp.hhc"), std::string::npos);
}
