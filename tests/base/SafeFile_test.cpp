#include "base/SafeFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "TempCwd_support.h"

namespace fs = std::filesystem;

TEST(SafeFile, ReplaceIsWholeOrNothingAndKeepsThePermissions) {
    CTempCwd cwd;
    WriteFileBytes("data.txt", "old contents\r\n");
    chmod("data.txt", 0640);
    {
        CFileSizeLimit full(1000);
        EXPECT_EQ(ReplaceFile("data.txt", std::string(5000, 'x')), EFBIG);
    }
    EXPECT_EQ(ReadFileBytes("data.txt"), "old contents\r\n");
    EXPECT_EQ(EntriesIn("."), 1u) << "the temporary file was left behind";
    ASSERT_EQ(ReplaceFile("data.txt", std::string("new\0bytes", 9)), 0);
    EXPECT_EQ(ReadFileBytes("data.txt"), std::string("new\0bytes", 9));
    struct stat st {};
    stat("data.txt", &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(EntriesIn("."), 1u);

    // The owner stays (root writing a user's file), and a file nobody may
    // write is refused, for root as well.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown("data.txt", 65534, 65534), 0);
    }
    ASSERT_EQ(ReplaceFile("data.txt", "again"), 0);
    stat("data.txt", &st);
    EXPECT_EQ(st.st_uid, root ? 65534u : geteuid());
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    chmod("data.txt", 0444);
    EXPECT_EQ(ReplaceFile("data.txt", "refused"), EACCES);
    EXPECT_EQ(ReadFileBytes("data.txt"), "again");

    // The temporary fits beside the longest name the system allows.
    const std::string longest(255, 'n');
    EXPECT_EQ(ReplaceFile(longest, "first"), 0);
    EXPECT_EQ(ReplaceFile(longest, "second"), 0);
    EXPECT_EQ(ReadFileBytes(longest), "second");
    EXPECT_EQ(EntriesIn("."), 2u);
}

TEST(SafeFile, NeverThroughLinksNorIntoDirectoriesAndFifosDirectly) {
    CTempCwd cwd;
    WriteFileBytes("victim", "precious");
    fs::create_symlink("victim", "link");
    EXPECT_EQ(ReplaceFile("link", "evil"), kFileIsSymlink);
    EXPECT_EQ(ReadFileBytes("victim"), "precious");
    EXPECT_TRUE(fs::is_symlink("link"));
    fs::create_directory("dir");
    EXPECT_EQ(ReplaceFile("dir", "x"), EISDIR);
    EXPECT_EQ(ReplaceFile("missing/file", "x"), ENOENT);

    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    FileRead got;
    std::thread reader([&] { got = ReadFileBounded("pipe", 100); });
    EXPECT_EQ(ReplaceFile("pipe", "through the pipe"), 0);
    reader.join();
    EXPECT_EQ(got.bytes, "through the pipe");
    EXPECT_EQ(fs::symlink_status("pipe").type(), fs::file_type::fifo);
    // Nobody opens it: the caller is asked in steps and may give up.
    int asked = 0;
    EXPECT_EQ(ReplaceFile("pipe", "x", [&asked] { return ++asked < 3; }), kFileInterrupted);
    EXPECT_EQ(asked, 3);
}

TEST(SafeFile, BoundedReadRefusesDirectoriesEndlessAndMissingInput) {
    CTempCwd cwd;
    fs::create_directory("dir");
    EXPECT_EQ(ReadFileBounded("dir", 10).error, EISDIR);
    EXPECT_EQ(ReadFileBounded("nothing", 10).error, ENOENT);
    const FileRead endless = ReadFileBounded("/dev/zero", 4096);
    EXPECT_EQ(endless.error, kFileTooLarge);
    EXPECT_EQ(endless.bytes.size(), 4097u);
    WriteFileBytes("exact", std::string(10, 'a'));
    EXPECT_EQ(ReadFileBounded("exact", 10).bytes, std::string(10, 'a'));
    EXPECT_EQ(ReadFileBounded("exact", 9).error, kFileTooLarge);
}
