#include "config/SafeFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <thread>

#include "TempCwd_support.h"

namespace fs = std::filesystem;

namespace {

size_t EntriesIn(const std::string& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
}

// A file-size limit stands in for a full disk: writes past it fail with EFBIG.
struct FileSizeLimit {
    rlimit old{};
    void (*oldHandler)(int);
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit r{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
};

}  // namespace

TEST(SafeFile, ReplaceKeepsOldFileWholeWhenTheDiskFills) {
    CTempCwd cwd;
    WriteFileBytes("data.txt", "old contents\r\n");
    chmod("data.txt", 0640);
    {
        FileSizeLimit limit(1000);
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

TEST(SafeFile, ReplaceNeverWritesThroughLinksOrIntoDirectories) {
    CTempCwd cwd;
    WriteFileBytes("victim", "precious");
    fs::create_symlink("victim", "link");
    EXPECT_EQ(ReplaceFile("link", "evil"), kFileIsSymlink);
    EXPECT_EQ(ReadFileBytes("victim"), "precious");
    EXPECT_TRUE(fs::is_symlink("link"));

    fs::create_directory("dir");
    EXPECT_EQ(ReplaceFile("dir", "x"), EISDIR);
    EXPECT_EQ(ReplaceFile("missing/file", "x"), ENOENT);
    EXPECT_EQ(ReplaceFile("fresh", "made"), 0);
    EXPECT_EQ(ReadFileBytes("fresh"), "made");
}

TEST(SafeFile, FifoIsWrittenDirectlyNotReplaced) {
    CTempCwd cwd;
    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    FileRead got;
    std::thread reader([&] { got = ReadFileBounded("pipe", 100); });
    EXPECT_EQ(ReplaceFile("pipe", "through the pipe"), 0);
    reader.join();
    EXPECT_EQ(got.error, 0);
    EXPECT_EQ(got.bytes, "through the pipe");
    struct stat st {};
    lstat("pipe", &st);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
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
    EXPECT_EQ(ReadFileBounded("exact", 10).error, 0);
    EXPECT_EQ(ReadFileBounded("exact", 9).error, kFileTooLarge);
    EXPECT_EQ(ReadFileBounded("exact", 10).bytes, std::string(10, 'a'));
}
