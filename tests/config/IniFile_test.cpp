#include "config/IniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "TempCwd_support.h"

namespace {

struct Ini : ::testing::Test {
    CTempCwd cwd;
    CIniFile ini{".\\t.ini"};
};

}  // namespace

TEST_F(Ini, RelativePathCreateAppendAndReplaceInPlace) {
    EXPECT_EQ(ini.FileName(), "./t.ini");
    EXPECT_EQ(CIniFile("/abs/x.ini").FileName(), "/abs/x.ini");

    // Missing file: created, section appended, key appended at the section's end.
    EXPECT_EQ(ini.WriteString("S1", "a", "1", true), 0);
    EXPECT_EQ(ReadFileBytes(cwd.Path() + "/t.ini"), "[S1]\r\na=1\r\n");
    EXPECT_EQ(ini.WriteString("S2", "x", "9", true), 0);
    EXPECT_EQ(ini.WriteString("S1", "b", "2", true), 0);
    EXPECT_EQ(ReadFileBytes("t.ini"), "[S1]\r\na=1\r\nb=2\r\n[S2]\r\nx=9\r\n");

    // Existing key (any case) replaced in place; names looked up without case.
    EXPECT_EQ(ini.WriteString("s1", "A", "one", true), 0);
    EXPECT_EQ(ReadFileBytes("t.ini"), "[S1]\r\na=one\r\nb=2\r\n[S2]\r\nx=9\r\n");
    EXPECT_EQ(ini.ReadString("S1", "a"), "one");
    EXPECT_EQ(ini.ReadString("s2", "X"), "9");
    EXPECT_EQ(ini.ReadString("S2", "a"), "");
    EXPECT_EQ(ini.ReadString("S9", "a"), "");

    // A key is appended after the section's last entry, not after blank lines
    // that separate it from the next section; untouched lines keep their bytes.
    WriteFileBytes("t.ini", "; note\n[A]\nk=1\n\n[B]\r\nz = spaced value \r\n");
    EXPECT_EQ(ini.WriteString("a", "new", "2", true), 0);
    EXPECT_EQ(ReadFileBytes("t.ini"), "; note\n[A]\nk=1\nnew=2\r\n\n[B]\r\nz = spaced value \r\n");
    EXPECT_EQ(ini.ReadString("B", "Z"), "spaced value");

    // A last line without line end gets one before anything is added.
    WriteFileBytes("t.ini", "[A]\nk=1");
    EXPECT_EQ(ini.WriteString("C", "c", "3", true), 0);
    EXPECT_EQ(ReadFileBytes("t.ini"), "[A]\nk=1\r\n[C]\r\nc=3\r\n");

    WriteFileBytes("t.ini", "[A]\nk=1\r");
    EXPECT_EQ(ini.WriteString("C", "c", "3", true), 0);
    EXPECT_EQ(ReadFileBytes("t.ini"), "[A]\nk=1\r\n[C]\r\nc=3\r\n");
    EXPECT_EQ(ini.ReadString("c", "C"), "3");
    WriteFileBytes("t.ini", "[A]\nk=1\r");
    EXPECT_EQ(ini.WriteString("A", "j", "2", true), 0);
    EXPECT_EQ(ReadFileBytes("t.ini"), "[A]\nk=1\r\nj=2\r\n");

    // A value cannot break the file apart.
    EXPECT_EQ(ini.WriteString("C", "c", "3\r\n[Evil]\r\nk=v", true), 0);
    EXPECT_EQ(ini.ReadString("C", "c"), "3");
    std::vector<std::string> names;
    EXPECT_EQ(ini.GetSectionNames(names), 2);
}

TEST_F(Ini, WriteWithoutCreateAndTheNoneValue) {
    EXPECT_EQ(ini.WriteString("S", "k", "v", false), 1);
    struct stat st {};
    EXPECT_NE(stat("t.ini", &st), 0) << "no file may be created";

    EXPECT_EQ(ini.WriteString("S", "k", "v", true), 0);
    const std::string before = ReadFileBytes("t.ini");
    EXPECT_EQ(ini.WriteString("S", "other", "v", false), 1);
    EXPECT_EQ(ReadFileBytes("t.ini"), before);
    EXPECT_EQ(ini.WriteString("S", "K", "w", false), 0);
    EXPECT_EQ(ini.ReadString("S", "k"), "w");

    // A key whose value is the marker counts as missing.
    EXPECT_EQ(ini.WriteString("S", "k", kIniNoneValue, true), 0);
    const std::string marked = ReadFileBytes("t.ini");
    EXPECT_EQ(ini.WriteString("S", "k", "x", false), 1);
    EXPECT_EQ(ReadFileBytes("t.ini"), marked);

    // ReadStringInto: default for a missing key, always cut to the buffer.
    char buf[5];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_TRUE(ini.ReadStringInto("S", "none", "defaultvalue", buf, sizeof buf));
    EXPECT_STREQ(buf, "defa");
    EXPECT_TRUE(ini.ReadStringInto("S", "k", "d", buf, sizeof buf));
    EXPECT_STREQ(buf, "!*&*");
    EXPECT_TRUE(ini.ReadStringInto("S", "k", "d", buf, 1));
    EXPECT_STREQ(buf, "");
}

TEST_F(Ini, DeletingSectionsAndKeys) {
    // Missing file and missing section: success, nothing created or changed.
    EXPECT_EQ(ini.DeleteSection("X"), 0);
    EXPECT_EQ(ini.DeleteKey("X", "k"), 0);
    struct stat st {};
    EXPECT_NE(stat("t.ini", &st), 0);

    const std::string text = "[A]\r\na=1\r\n[B]\r\nb=2\r\nc=3\r\n[C]\r\nd=4\r\n";
    WriteFileBytes("t.ini", text);
    EXPECT_EQ(ini.DeleteSection("Z"), 0);
    EXPECT_EQ(ReadFileBytes("t.ini"), text);
    EXPECT_EQ(ini.DeleteKey("B", "zz"), 0);
    EXPECT_EQ(ReadFileBytes("t.ini"), text);

    EXPECT_EQ(ini.DeleteSection("b"), 0);
    EXPECT_EQ(ReadFileBytes("t.ini"), "[A]\r\na=1\r\n[C]\r\nd=4\r\n");
    EXPECT_EQ(ini.DeleteKey("C", "D"), 0);
    EXPECT_EQ(ReadFileBytes("t.ini"), "[A]\r\na=1\r\n[C]\r\n");

    EXPECT_EQ(ini.DeleteAllSections(), 0);
    std::vector<std::string> names;
    EXPECT_EQ(ini.GetSectionNames(names), 1);
    EXPECT_EQ(names, std::vector<std::string>{""});
}

TEST_F(Ini, SectionNamesAndEntriesInFileOrder) {
    std::vector<std::string> names, keys, values;
    // No file: one empty name; a missing section: one empty entry.
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
    EXPECT_EQ(ini.GetSectionEntries("alpha", keys, values), 1);
    EXPECT_EQ(values, std::vector<std::string>{""});
    // The arrays are emptied first.
    keys = {"old"};
    values = {"old"};
    EXPECT_EQ(ini.GetSectionEntries("Zeta", keys, values), 3);
    EXPECT_EQ(keys.size(), 3u);
}

TEST_F(Ini, SizeLimitsCutWithoutOverrun) {
    // Names are cut to 259 characters.
    std::string longName(400, 'n');
    std::string file = "[" + longName + "]\r\n" + "k=" + std::string(500, 'v') + "\r\n";
    WriteFileBytes("t.ini", file);
    std::vector<std::string> names, keys, values;
    ASSERT_EQ(ini.GetSectionNames(names), 1);
    EXPECT_EQ(names[0], std::string(259, 'n'));
    ASSERT_EQ(ini.GetSectionEntries(longName, keys, values), 1);
    EXPECT_EQ(keys[0], "k");
    EXPECT_EQ(values[0].size(), 257u);  // the whole "k=..." line is cut to 259
    EXPECT_EQ(ini.ReadString(longName, "k").size(), 500u) << "a key read is not cut";

    // The name list holds what fits 2048 bytes; nothing beyond is returned.
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

    // A section beyond 6000 bytes: its first entries, whole, nothing past the buffer.
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

TEST_F(Ini, WriteFailureIsReported) {
    EXPECT_NE(CIniFile("./nodir/x.ini").WriteString("S", "k", "v", true), 0);
    ASSERT_EQ(mkdir("ro", 0755), 0);
    WriteFileBytes("ro/x.ini", "[S]\r\nk=1\r\n");
    ASSERT_EQ(chmod("ro/x.ini", 0444), 0);
    CIniFile ro("./ro/x.ini");
    if (geteuid() != 0) {
        EXPECT_NE(ro.WriteString("S", "k", "2", true), 0);
    }
    // A directory where the file should be cannot be written, also for root.
    ASSERT_EQ(mkdir("isdir.ini", 0755), 0);
    EXPECT_NE(CIniFile("./isdir.ini").WriteString("S", "k", "v", true), 0);
}
