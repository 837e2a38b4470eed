// What the installation delivers besides the programs: the launcher.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "TempCwd_support.h"

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
