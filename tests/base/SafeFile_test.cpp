#include "base/SafeFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
