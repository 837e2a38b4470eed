// `jvs convert`: exit statuses, byte-exact output, messages on standard error, and
// the example data converting to exactly what the survey says.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string kJvs = JVS_BINARY_DIR "/bin/jvs";
const std::string kSamples = JVS_SOURCE_DIR "/samples/";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class ConvertCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/jvs_cli_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs `jvs <args>` in a shell with standard input from `stdinText`; returns the
    // exit status and leaves standard output and error in m_out / m_err.
    int Run(const std::string& args, const std::string& stdinText = "") {
        WriteFile(m_dir / "stdin", stdinText);
        const std::string command =
            "cd '" + m_dir.string() + "' && '" + kJvs + "' " + args + " <stdin >stdout 2>stderr";
        const int status = std::system(command.c_str());
        m_out = ReadFile(m_dir / "stdout");
        m_err = ReadFile(m_dir / "stderr");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path m_dir;
    std::string m_out, m_err;
};

}  // namespace

TEST_F(ConvertCli, OutputGoesToStdoutOrFileByteForByte) {
    const std::string list = "P1,,-20.005,100.25,0.012\r\n";
    ASSERT_EQ(Run("convert blocks210", list), 0) << m_err;
    const std::string blocks = m_out;
    EXPECT_EQ(blocks.substr(1, 51), "_+P1        _ x-000020005_ y+000100250_ z+000000012");
    EXPECT_TRUE(m_err.empty());

    // The same from a file, from "-", and into a file given with -o.
    WriteFile(m_dir / "list.txt", list);
    ASSERT_EQ(Run("convert blocks210 list.txt"), 0);
    EXPECT_EQ(m_out, blocks);
    ASSERT_EQ(Run("convert blocks210 - -o out.txt", list), 0);
    EXPECT_TRUE(m_out.empty());
    EXPECT_EQ(ReadFile(m_dir / "out.txt"), blocks);

    // Back again: the PCODE direction as a pipe of two commands.
    ASSERT_EQ(Run("convert pcode-blocks", "7,TREE\r\n12,电杆\r\n"), 0);
    const std::string codes = m_out;
    ASSERT_EQ(Run("convert pcode-list", codes), 0);
    EXPECT_EQ(m_out, "007,TREE      \r\n012,电杆    \r\n");  // UTF-8 source, bytes padded
}

TEST_F(ConvertCli, FailuresWriteNothingAndPrintTheMessage) {
    WriteFile(m_dir / "out.txt", "keep me");
    EXPECT_EQ(Run("convert terv210 -o out.txt", "not framed\r\n"), 1);
    EXPECT_EQ(m_err, "文件格式不正确!\n");
    EXPECT_TRUE(m_out.empty());
    EXPECT_EQ(ReadFile(m_dir / "out.txt"), "keep me");

    EXPECT_EQ(Run("convert blocks210 -o new.txt", "P1,,1,2,3\r\nTOOLONGNAME,,1,2,3\r\n"), 1);
    EXPECT_EQ(m_err, "不是有效的TERV210格式!\n第2行\n");
    EXPECT_FALSE(fs::exists(m_dir / "new.txt"));

    EXPECT_EQ(Run("convert terv610", ""), 1);
    EXPECT_EQ(m_err, "没有数据!\n");
    EXPECT_EQ(Run("convert dxf", "x"), 1);
    EXPECT_EQ(m_err, "无效TERV210格式!\n");
    EXPECT_EQ(Run("convert pcode-list", "x"), 1);
    EXPECT_EQ(m_err, "无效原始编码格式!\n");
    EXPECT_EQ(Run("convert pcode-blocks", "1,2,3\r\n"), 1);
    EXPECT_EQ(m_err, "不是有效的210 PCODE格式!\n");
}

TEST_F(ConvertCli, QuietEndsAndCommandLineErrors) {
    // Nothing to convert and nothing to say: status 3, nothing written.
    EXPECT_EQ(Run("convert edgeangle610 -o out.txt", "08KI only\r\n"), 3);
    EXPECT_TRUE(m_out.empty());
    EXPECT_TRUE(m_err.empty());
    EXPECT_FALSE(fs::exists(m_dir / "out.txt"));
    std::string cut = ReadFile(kSamples + "raw-codes.txt");
    cut.resize(cut.size() - 5);  // no end frame
    EXPECT_EQ(Run("convert pcode-list", cut), 3);
    EXPECT_TRUE(m_out.empty());

    EXPECT_EQ(Run("convert"), 2);
    EXPECT_EQ(Run("convert nosuchop"), 2);
    EXPECT_EQ(Run("convert terv210 a.txt b.txt"), 2);
    EXPECT_EQ(Run("convert terv210 -o"), 2);
    EXPECT_EQ(Run("convert terv210 --old 5"), 2);  // an option of another operation
    EXPECT_TRUE(m_out.empty());
}

TEST_F(ConvertCli, SamplesConvertToTheExpectedResults) {
    struct Case {
        const char* op;
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"terv210", "qmx210-coords.txt", "qmx210-coords.terv210.txt"},
        {"blocks210", "terv210.txt", "terv210.blocks210.txt"},
        {"measure210", "jvs-measure.txt", "jvs-measure.measure210.txt"},
        {"pcode-list", "raw-codes.txt", "raw-codes.pcode-list.txt"},
        {"pcode-blocks", "codes.txt", "codes.pcode-blocks.txt"},
        {"terv610", "qmx610-coords.txt", "qmx610-coords.terv610.txt"},
        {"zeltamap", "qmx610-coords.txt", "qmx610-coords.terv610.txt"},
        {"edgeangle610", "qmx610-angles.txt", "qmx610-angles.edgeangle610.txt"},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Run(std::string("convert ") + c.op + " '" + kSamples + c.input + "'"), 0)
            << c.op << m_err;
        EXPECT_EQ(m_out, ReadFile(kSamples + "expected/" + c.expected)) << c.op;
    }
    // The drawing of the list puts each point at its full coordinates.
    ASSERT_EQ(Run("convert dxf '" + kSamples + "terv210.txt'"), 0);
    EXPECT_NE(m_out.find("  0\r\nPOINT\r\n  8\r\nPOINT\r\n 10\r\n-5.1250\r\n 20\r\n4980.0000\r\n"),
              std::string::npos);
}
