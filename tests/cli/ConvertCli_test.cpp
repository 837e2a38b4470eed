// `jvs convert`: exit statuses, byte-exact output, messages on standard error, and
// the example data converting to exactly what the survey says.
#include <gtest/gtest.h>

#include <filesystem>

#include "JvsProcess_support.h"

namespace {

const std::string kSamples = JVS_SOURCE_DIR "/samples/";

struct ConvertCli : ::testing::Test {
    CTempDir work;
    CJvsResult Run(std::vector<std::string> args, const std::string& input = "") {
        args.insert(args.begin(), "convert");
        return RunJvsIn(work, args, input);
    }
};

}  // namespace

TEST_F(ConvertCli, OutputGoesToStdoutOrFileByteForByte) {
    const std::string list = "P1,,-20.005,100.25,0.012\r\n";
    CJvsResult r = Run({"blocks210"}, list);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string blocks = r.out;
    EXPECT_EQ(blocks.substr(1, 51), "_+P1        _ x-000020005_ y+000100250_ z+000000012");
    EXPECT_EQ(r.err, "");
    // The same from "-" into a file given with -o.
    r = Run({"blocks210", "-", "-o", "out.txt"}, list);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFileBytes(work / "out.txt"), blocks);
    // Back again: UTF-8 source text becomes code page 936 bytes, padded.
    const std::string codes = Run({"pcode-blocks"}, "7,TREE\r\n12,电杆\r\n").out;
    EXPECT_EQ(Run({"pcode-list"}, codes).out, "007,TREE      \r\n012,电杆    \r\n");
}

TEST_F(ConvertCli, FailuresQuietEndsAndCommandLineErrors) {
    WriteFileBytes(work / "out.txt", "keep me");
    const struct {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string err;
    } cases[] = {
        {{"terv210", "-o", "out.txt"}, "not framed\r\n", 1, "文件格式不正确!\n"},
        // The converter's refusal and the line it names (the converters own the texts).
        {{"blocks210", "-o", "new.txt"},
         "P1,,1,2,3\r\nTOOLONGNAME,,1,2,3\r\n",
         1,
         "不是有效的TERV210格式!\n第2行\n"},
        // Nothing to convert and nothing to say: status 3, nothing written.
        {{"edgeangle610", "-o", "new.txt"}, "08KI only\r\n", 3, ""},
    };
    for (const auto& c : cases) {
        const CJvsResult r = Run(c.args, c.input);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_EQ(r.err, c.err) << c.args[0];
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(ReadFileBytes(work / "out.txt"), "keep me");
    EXPECT_FALSE(std::filesystem::exists(work / "new.txt"));
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"nosuchop"},
             {"terv210", "a.txt", "b.txt"},
             {"terv210", "-o"},
             {"terv210", "--old", "5"}})  // the last an option of another operation
        EXPECT_EQ(Run(args).status, 2);
}

TEST_F(ConvertCli, SamplesConvertToTheExpectedResults) {
    const char* const cases[][3] = {
        {"terv210", "qmx210-coords.txt", "qmx210-coords.terv210.txt"},
        {"blocks210", "terv210.txt", "terv210.blocks210.txt"},
        {"measure210", "jvs-measure.txt", "jvs-measure.measure210.txt"},
        {"pcode-list", "raw-codes.txt", "raw-codes.pcode-list.txt"},
        {"pcode-blocks", "codes.txt", "codes.pcode-blocks.txt"},
        {"terv610", "qmx610-coords.txt", "qmx610-coords.terv610.txt"},
        {"zeltamap", "qmx610-coords.txt", "qmx610-coords.terv610.txt"},
        {"edgeangle610", "qmx610-angles.txt", "qmx610-angles.edgeangle610.txt"},
    };
    for (const auto& c : cases) {
        const CJvsResult r = Run({c[0], kSamples + c[1]});
        ASSERT_EQ(r.status, 0) << c[0] << r.err;
        EXPECT_EQ(r.out, ReadFileBytes(kSamples + "expected/" + c[2])) << c[0];
    }
}
