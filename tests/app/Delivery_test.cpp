// What the installation delivers besides the programs: the launcher and the
// compiled help file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {
std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

// Started from the menu, the program must keep its settings in the user's
// folder: the installed share folder belongs to root.
TEST(Delivery, LauncherKeepsTheSettingsInTheUsersFolder) {
    std::ifstream in(fs::path(JVS_BINARY_DIR) / "jvs-transfer.desktop");
    ASSERT_TRUE(in);
    std::vector<std::string> exec;
    for (std::string line; std::getline(in, line);) {
        EXPECT_NE(line.rfind("Path=", 0), 0u) << line;
        if (line.rfind("Exec=", 0) == 0) exec.push_back(line);
    }
    EXPECT_EQ(exec, std::vector<std::string>{"Exec=env JVS_SETTINGS=xdg jvs-transfer %f"});
}

TEST(Delivery, CompiledHelpHoldsEveryPage) {
    const fs::path chm = fs::path(JVS_BINARY_DIR) / "bin/JVSHelp.chm";
    if (!fs::exists(chm)) GTEST_SKIP() << "chmcmd not installed: no help file built";
    const std::string bytes = Slurp(chm);
    ASSERT_EQ(bytes.substr(0, 4), "ITSF");
    int pages = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(JVS_SOURCE_DIR) / "help")) {
        if (entry.path().extension() != ".html") continue;
        ++pages;
        EXPECT_NE(bytes.find("/" + entry.path().filename().string()), std::string::npos)
            << entry.path();
    }
    EXPECT_GE(pages, 4);
    EXPECT_NE(bytes.find("/JVSHelp.hhc"), std::string::npos);
}
