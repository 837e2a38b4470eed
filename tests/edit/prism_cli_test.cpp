// `jvs convert prism`: constants in millimetres, all or nothing, exit statuses.
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

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class PrismCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/jvs_prism_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    int Run(const std::string& args, const std::string& input) {
        std::ofstream(m_dir / "in", std::ios::binary) << input;
        const std::string command = "cd '" + m_dir.string() + "' && '" + kJvs + "' convert prism " +
                                    args + " <in >out 2>err";
        const int status = std::system(command.c_str());
        m_out = ReadAll(m_dir / "out");
        m_err = ReadAll(m_dir / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path m_dir;
    std::string m_out, m_err;
};

}  // namespace

TEST_F(PrismCli, CorrectsOrRefusesWholeText) {
    ASSERT_EQ(Run("--old 0 --new 13000", "P1,C1,3,4,12\r\nQ,K,0,0,0"), 0) << m_err;
    EXPECT_EQ(m_out, "P1,C1,6.000000,8.000000,24.000000\r\nQ,K,0,0,0");
    ASSERT_EQ(Run("--old 0 --new 0 - -o result", "Q,K,123.456,0,0\r\n"), 0) << m_err;
    EXPECT_EQ(m_out, "");
    EXPECT_EQ(ReadAll(m_dir / "result"), "Q,K,123.456001,0.000000,0.000000\r\n");

    EXPECT_EQ(Run("--old 0 --new 5 -o result2", "P1,C1,3,4,12\r\nP2,C2,3,4\r\n"), 1);
    EXPECT_EQ(m_out, "");
    EXPECT_EQ(m_err.substr(0, m_err.find('\n')), "无效原始数据!");
    EXPECT_NE(m_err.find("第2行"), std::string::npos);
    EXPECT_FALSE(fs::exists(m_dir / "result2"));
}

TEST_F(PrismCli, CommandLineAndEmptyInput) {
    EXPECT_EQ(Run("--old 0", "P,C,1,0,0\r\n"), 2);
    EXPECT_EQ(Run("--new 0", "P,C,1,0,0\r\n"), 2);
    EXPECT_EQ(Run("--old x --new 0", "P,C,1,0,0\r\n"), 2);
    EXPECT_EQ(Run("--old 0 --new 0 --bogus 1", "P,C,1,0,0\r\n"), 2);
    EXPECT_EQ(m_out, "");
    EXPECT_EQ(Run("--old 0 --new 0", ""), 3);
    EXPECT_EQ(m_out, "");
    EXPECT_EQ(m_err, "");
}
