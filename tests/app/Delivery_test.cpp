// What the installation delivers besides the programs: the launcher and the
// compiled help file.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "TempCwd_support.h"

namespace fs = std::filesystem;

// Started from the menu, the program must keep its settings in the user's
// folder: the installed share folder belongs to root.
TEST(Delivery, LauncherKeepsTheSettingsInTheUsersFolder) {
    std::istringstream in(ReadFileBytes(JVS_BINARY_DIR "/jvs-transfer.desktop"));
    int execs = 0;
    for (std::string line; std::getline(in, line);) {
        EXPECT_NE(line.rfind("Path=", 0), 0u) << line;
        if (line.rfind("Exec=", 0) != 0) continue;
        ++execs;
        EXPECT_EQ(line, "Exec=env JVS_SETTINGS=xdg jvs-transfer %f");
    }
    EXPECT_EQ(execs, 1);
}

TEST(Delivery, CompiledHelpHoldsEveryPage) {
    const fs::path chm = fs::path(JVS_BINARY_DIR) / "bin/JVSHelp.chm";
    if (!fs::exists(chm)) GTEST_SKIP() << "chmcmd not installed: no help file built";
    const std::string bytes = ReadFileBytes(chm);
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
