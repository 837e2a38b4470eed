// The profile reader behind the settings file: names and entries in file order,
// cut where the Windows buffers would cut them, never past them; text read as
// a person writes it; changes that keep every other line, and two programs'
// changes both kept.
#include "config/IniFile.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "TempCwd_support.h"

TEST(IniFile, SectionNamesAndEntriesInFileOrderCutWithoutOverrun) {
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

    const std::string longName(400, 'n');
    WriteFileBytes("t.ini", "[" + longName + "]\r\nk=" + std::string(500, 'v') + "\r\n");
    ASSERT_EQ(ini.GetSectionNames(names), 1);
    EXPECT_EQ(names[0], std::string(259, 'n'));
    ASSERT_EQ(ini.GetSectionEntries(longName, keys, values), 1);
    EXPECT_EQ(values[0].size(), 257u);  // the whole "k=..." line is cut to 259

    // The name list holds the whole names that fit 2048 bytes with their zeros
    // and the closing one: 170 of 11 characters.
    std::string many;
    for (int i = 0; i < 300; ++i) many += "[Section" + std::to_string(1000 + i) + "]\r\n";
    WriteFileBytes("t.ini", many);
    EXPECT_EQ(ini.GetSectionNames(names), 170);
    EXPECT_EQ(names.back(), "Section1169");
    // A section beyond 6000 bytes: its first 428 entries of 13 characters, whole.
    std::string big = "[Big]\r\n";
    for (int i = 0; i < 1000; ++i) big += "key" + std::to_string(1000 + i) + "=value\r\n";
    WriteFileBytes("t.ini", big);
    EXPECT_EQ(ini.GetSectionEntries("Big", keys, values), 428);
    EXPECT_EQ(keys.back() + "=" + values.back(), "key1427=value");
}

TEST(IniFile, TextIsReadAsAPersonWritesIt) {
    const std::string comments = "; " + std::string(7000, 'c') + "\r\n";
    const struct {
        std::string bytes;
        int error;
        const char* value;  // of k in section S, nullptr: none
    } cases[] = {
        {"\xEF\xBB\xBF[S]\r\nk=v\r\n", 0, "v"},
        {"[s]\nK = v w \n", 0, "v w"},
        {"[S]\r\n" + comments + comments + "k=v\r\n", 0, "v"},
        {comments + "[S]\r\n" + comments + "k=v", 0, "v"},
        {"[S]\r\nk=v\r\n[S]\r\nk=w\r\n", 0, "v"},
        {std::string("\xFF\xFE[\0S\0]\0", 8), kIniNotText, nullptr},
        {"\xFE\xFF\0[\0S\0]", kIniNotText, nullptr},
        {std::string("[S]\r\nk=v\0\r\n", 11), kIniNotText, nullptr},
    };
    for (const auto& c : cases) {
        CIniText text;
        EXPECT_EQ(text.Parse(c.bytes), c.error) << c.bytes;
        EXPECT_EQ(text.Find("S", "k"), c.value ? std::optional<std::string>(c.value) : std::nullopt)
            << c.bytes;
        if (c.error == 0) {
            EXPECT_EQ(text.Bytes(), c.bytes) << "every byte comes back";
        }
    }
}

TEST(IniFile, ReplaceKeysKeepsEveryOtherLine) {
    const IniEntries entries = {{"A", "1"}, {"B", "2"}, {"C", "3"}};
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        // In order: each key keeps its line; comments, foreign keys and other sections stay.
        {"; top\r\n[S]\r\n; a\r\nA=x\r\n; b\r\nb = y\r\nmine=z\r\nC=w\r\n\r\n[T]\r\nA=q\r\n",
         "; top\r\n[S]\r\n; a\r\nA=1\r\n; b\r\nB=2\r\nmine=z\r\nC=3\r\n\r\n[T]\r\nA=q\r\n"},
        // Out of order or repeated: put in order at the first of them.
        {"[S]\r\n; c\r\nC=w\r\nB=y\r\nA=x\r\nA=again\r\n", "[S]\r\n; c\r\nA=1\r\nB=2\r\nC=3\r\n"},
        // A header in another case is that section; missing keys after its last line.
        {"[s]\r\n; only a note\r\n\r\n", "[s]\r\n; only a note\r\nA=1\r\nB=2\r\nC=3\r\n\r\n"},
        // No such section: appended, after a last line that had no end; LF files stay LF.
        {"[T]\nx=1", "[T]\nx=1\n[S]\nA=1\nB=2\nC=3\n"},
        {"\xEF\xBB\xBF", "\xEF\xBB\xBF[S]\r\nA=1\r\nB=2\r\nC=3\r\n"},
    };
    for (const auto& c : cases) {
        CIniText text;
        ASSERT_EQ(text.Parse(c.before), 0);
        text.ReplaceKeys("S", entries);
        EXPECT_EQ(text.Bytes(), c.after) << c.before;
    }
}

TEST(IniFile, ChangesFromTwoProgramsAtOnceAreBothKept) {
    CTempCwd cwd;
    // Every round the two start together, half of them on a file not yet there.
    for (int round = 0; round < 20; ++round) {
        if (round % 2 == 0) std::remove("t.ini");
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        pid_t children[2];
        for (int i = 0; i < 2; ++i) {
            children[i] = fork();
            ASSERT_GE(children[i], 0);
            if (children[i] == 0) {
                char c;
                close(go[1]);
                (void)!read(go[0], &c, 1);
                const int error =
                    CIniFile("t.ini").WriteString(i ? "B" : "A", "k", std::to_string(round), true);
                _exit(error == 0 ? 0 : 1);
            }
        }
        close(go[0]);
        close(go[1]);
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const CIniFile ini("t.ini");
        ASSERT_EQ(ini.ReadString("A", "k"), std::to_string(round)) << "round " << round;
        ASSERT_EQ(ini.ReadString("B", "k"), std::to_string(round)) << "round " << round;
    }
    EXPECT_EQ(EntriesIn("."), 1u) << "nothing left beside the file";
}
