// The profile reader behind the settings file: names and entries in file order,
// cut where the Windows buffers would cut them, never past them.
#include "config/IniFile.h"

#include <gtest/gtest.h>

#include "TempCwd_support.h"

TEST(IniFile, SectionNamesAndEntriesInFileOrder) {
    CTempCwd cwd;
    CIniFile ini(".\\t.ini");
    EXPECT_EQ(ini.FileName(), "./t.ini");
    std::vector<std::string> names, keys{"old"}, values{"old"};
    // No file: one empty name; a missing section: one empty entry (the arrays emptied first).
    EXPECT_EQ(ini.GetSectionNames(names), 1);
    EXPECT_EQ(names, std::vector<std::string>{""});
    EXPECT_EQ(ini.GetSectionEntries("S", keys, values), 1);
    EXPECT_EQ(keys, std::vector<std::string>{""});
    EXPECT_EQ(values, std::vector<std::string>{""});

    WriteFileBytes("t.ini", "[Zeta]\r\nabc\r\nk=v=w\r\n\r\n=x\r\n[alpha]\r\n[Beta]\r\n");
    EXPECT_EQ(ini.GetSectionNames(names), 3);
    EXPECT_EQ(names, (std::vector<std::string>{"Zeta", "alpha", "Beta"}));
    EXPECT_EQ(ini.GetSectionEntries("zeta", keys, values), 3);
    EXPECT_EQ(keys, (std::vector<std::string>{"", "k", ""}));
    EXPECT_EQ(values, (std::vector<std::string>{"abc", "v=w", "x"}));
}

TEST(IniFile, SizeLimitsCutWithoutOverrun) {
    CTempCwd cwd;
    CIniFile ini("t.ini");
    const std::string longName(400, 'n');
    WriteFileBytes("t.ini", "[" + longName + "]\r\nk=" + std::string(500, 'v') + "\r\n");
    std::vector<std::string> names, keys, values;
    ASSERT_EQ(ini.GetSectionNames(names), 1);
    EXPECT_EQ(names[0], std::string(259, 'n'));
    ASSERT_EQ(ini.GetSectionEntries(longName, keys, values), 1);
    EXPECT_EQ(values[0].size(), 257u);  // the whole "k=..." line is cut to 259

    // The name list holds what fits 2048 bytes, whole names only.
    std::string many;
    for (int i = 0; i < 300; ++i) many += "[Section" + std::to_string(1000 + i) + "]\r\n";
    WriteFileBytes("t.ini", many);
    int count = ini.GetSectionNames(names);
    EXPECT_GT(count, 100);
    EXPECT_LT(count, 300);
    size_t total = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], "Section" + std::to_string(1000 + i));
        total += names[i].size() + 1;
    }
    EXPECT_LE(total + 1, kIniNamesBuffer);

    // A section beyond 6000 bytes: its first entries, whole.
    std::string big = "[Big]\r\n";
    for (int i = 0; i < 1000; ++i) big += "key" + std::to_string(1000 + i) + "=value\r\n";
    WriteFileBytes("t.ini", big);
    count = ini.GetSectionEntries("Big", keys, values);
    EXPECT_GT(count, 100);
    EXPECT_LT(count, 1000);
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i], "key" + std::to_string(1000 + i));
        EXPECT_EQ(values[i], "value");
    }
}
