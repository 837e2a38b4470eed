#include "config/SettingsFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "TempCwd_support.h"
#include "base/SafeFile.h"

namespace fs = std::filesystem;

namespace {

struct Settings : ::testing::Test {
    CTempCwd cwd;
    void SetUp() override { ResetLinkSettings(); }
    void TearDown() override { ResetLinkSettings(); }
    // Loads the COM section of `text` into a default record; the replaced keys go to `bad`.
    static ComSettingsRecord Load(const std::string& text, std::vector<std::string>* bad = nullptr,
                                  int* count = nullptr) {
        ComSettingsRecord r;
        const int n = LoadComSettings(Ini(text), r, bad);
        if (count) *count = n;
        return r;
    }
    static CIniText Ini(const std::string& bytes) {
        CIniText text;
        EXPECT_EQ(text.Parse(bytes), 0);
        return text;
    }
};

std::string Text(const ComSettingsRecord& c) {
    return std::string(c.COMPort) + " " + std::to_string(c.Baudrate) + " " +
           std::to_string(c.CheckBit) + " " + std::to_string(c.DataBit) + " " +
           std::to_string(c.Protol) + " " + std::to_string(c.ReceiveTimeOut) + " " +
           std::to_string(c.RowDelay) + " " + std::to_string(c.StopBit);
}

}  // namespace

TEST_F(Settings, SavedFileByteForByteKeepsOtherLinesAndOrder) {
    ASSERT_TRUE(SaveComSettings());
    EXPECT_EQ(ReadFileBytes("jvs_cfg.ini"), kDefaultsFile);

    // Every value other than the default's, in the fixed order; the USB section after.
    const std::string com =
        "[JVSCOMSETTING]\r\nCOMPort=COM12\r\nBaudrate=9600\r\nCheckBit=2\r\nDataBit=7\r\n"
        "Protol=1\r\nReceiveTimeOut=999000\r\nRowDelay=1\r\nStopBit=2\r\n";
    ComSettingsRecord c = Load(com);
    ComSettings.Set(c);
    UsbSettings.Set(UsbSettingsRecord{5000, 30});
    ASSERT_TRUE(SaveUsbSettings());
    ASSERT_TRUE(SaveComSettings());
    EXPECT_EQ(ReadFileBytes("jvs_cfg.ini"),
              com + "[JVSUSBSETTING]\r\nUSBRevRowDelay=30\r\nUSBRevTimeOut=5000\r\n");
    c.CheckBit = -1;  // negative byte codes are written from their signed value
    ASSERT_TRUE(SaveComSettings(c));
    EXPECT_NE(ReadFileBytes("jvs_cfg.ini").find("\r\nCheckBit=-1\r\n"), std::string::npos);
}

TEST_F(Settings, LoadTakesKeysByNameAndChecksTheirValues) {
    // Any order, any case, comments and foreign lines between: each key by name.
    const std::string good =
        "[JVSCOMSETTING]\r\n; my instrument\r\nstopbit=2\r\nROWDELAY = 50\r\n"
        "junk line\r\nReceiveTimeOut=3000\r\nProtol=1\r\nDataBit=7\r\n"
        "CheckBit=1\r\nBaudrate=4800\r\nComPort=COM16\r\nBaudrate=9600\r\n"
        "[JVSUSBSETTING]\r\nUSBRevTimeOut=7000\r\n;x\r\nUSBRevRowDelay=40\r\n";
    std::vector<std::string> replaced;
    int count = 0;
    // The first of a repeated key counts.
    EXPECT_EQ(Text(Load(good, &replaced, &count)), "COM16 4800 1 7 1 3000 50 2");
    EXPECT_EQ(count, 11);
    UsbSettingsRecord u;
    EXPECT_EQ(LoadUsbSettings(Ini(good), u, &replaced), 3);
    EXPECT_EQ(u.USBRevRowDelay, 40);
    EXPECT_EQ(u.USBRevTimeOut, 7000);
    EXPECT_TRUE(replaced.empty());

    // Values no dialog could write get their defaults and are named, in table order.
    const CIniText invalid =
        Ini("[JVSCOMSETTING]\r\nRowDelay=99999999\r\nCOMPort=COM17\r\nBaudrate=11520\r\n"
            "CheckBit=3\r\nDataBit=2\r\nProtol=-128\r\nReceiveTimeOut=999001\r\n"
            "StopBit=1\r\n[JVSUSBSETTING]\r\nUSBRevRowDelay=10000\r\nUSBRevTimeOut=abc\r\n");
    ComSettingsRecord bad{.Baudrate = 9600};
    LoadComSettings(invalid, bad, &replaced);
    EXPECT_EQ(Text(bad), Text(ComSettingsRecord{}));
    UsbSettingsRecord badUsb{0, 5};
    LoadUsbSettings(invalid, badUsb, &replaced);
    EXPECT_EQ(badUsb.USBRevRowDelay + badUsb.USBRevTimeOut, 0);
    EXPECT_EQ(replaced, (std::vector<std::string>{"COMPort", "Baudrate", "CheckBit", "DataBit",
                                                  "Protol", "ReceiveTimeOut", "RowDelay", "StopBit",
                                                  "USBRevRowDelay", "USBRevTimeOut"}));

    // The edges of each range, a device path, trailing junk, a name too long for the field.
    const std::pair<std::string, std::vector<std::string>> edges[] = {
        {"ReceiveTimeOut=1000\r\nRowDelay=1\r\nCOMPort=/dev/ttyS4\r\n", {}},
        {"ReceiveTimeOut=999000\r\nRowDelay=9999\r\nCOMPort=COM1\r\n", {}},
        {"ReceiveTimeOut=999\r\nRowDelay=0\r\n", {"ReceiveTimeOut", "RowDelay"}},
        {"Baudrate=4800x\r\nCOMPort=COM01\r\n", {"COMPort", "Baudrate"}},
        {"COMPort=/" + std::string(300, 'p') + "\r\n", {"COMPort"}},
        {"COMPort=/dev/tty\x01\r\n", {"COMPort"}},
        {"COMPort=\r\n", {"COMPort"}}};
    for (const auto& [lines, keys] : edges) {
        replaced.clear();
        Load("[JVSCOMSETTING]\r\n" + lines, &replaced);
        EXPECT_EQ(replaced, keys) << lines;
    }

    // Nothing loaded: a missing or empty section.
    for (const char* text : {"[Other]\r\nCOMPort=COM5\r\n", "[JVSCOMSETTING]\r\n[X]\r\n"}) {
        EXPECT_EQ(Text(Load(text, nullptr, &count)), Text(ComSettingsRecord{})) << text;
        EXPECT_EQ(count, 0) << text;
    }
}

TEST_F(Settings, AFileThatCannotBeReadIsSaidSoAndKept) {
    int error = -1;
    EXPECT_FALSE(LoadSettingsAtStartup(nullptr, &error)) << "none: the defaults, not an error";
    EXPECT_EQ(error, -1);
    const std::string utf16("\xFF\xFE[\0J\0]\0", 8), huge(kIniMaxFile + 1, ';');
    const struct {
        const char* what;
        std::function<void()> make;
        int error;
    } cases[] = {
        {"UTF-16", [&] { WriteFileBytes("jvs_cfg.ini", utf16); }, kIniNotText},
        {"over 1 MiB", [&] { WriteFileBytes("jvs_cfg.ini", huge); }, kFileTooLarge},
        {"folder", [] { mkdir("jvs_cfg.ini", 0755); }, EISDIR},
        {"FIFO", [] { mkfifo("jvs_cfg.ini", 0600); }, kFileNotRegular},
        {"link to nothing", [] { (void)!symlink("gone", "jvs_cfg.ini"); }, ENOENT},
    };
    for (const auto& c : cases) {
        fs::remove_all("jvs_cfg.ini");
        c.make();
        const std::string before =
            fs::is_regular_file("jvs_cfg.ini") ? ReadFileBytes("jvs_cfg.ini") : std::string();
        EXPECT_TRUE(LoadSettingsAtStartup(nullptr, &error)) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        // A save never replaces what it could not read.
        EXPECT_FALSE(SaveComSettings(ComSettingsRecord{}, &error)) << c.what;
        EXPECT_EQ(fs::is_regular_file("jvs_cfg.ini") ? ReadFileBytes("jvs_cfg.ini") : "", before)
            << c.what;
    }
    EXPECT_EQ(SettingsErrorDetail(kIniNotText),
              cwd.Path() + "/jvs_cfg.ini: not 8-bit text (UTF-16 or binary)");
}

TEST_F(Settings, TheSwitchPutsTheFileInTheUserConfigurationFolder) {
    const std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", cwd.Path().c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFilePath(), kSettingsFile);
    EXPECT_EQ(SettingsFileShownPath(), cwd.Path() + "/jvs_cfg.ini");
    setenv("JVS_SETTINGS", "xdg", 1);
    EXPECT_EQ(SettingsFilePath(), cwd.Path() + "/.config/jvs-transfer/jvs_cfg.ini");
    setenv("XDG_CONFIG_HOME", (cwd.Path() + "/cfg/").c_str(), 1);
    const std::string file = cwd.Path() + "/cfg/jvs-transfer/jvs_cfg.ini";
    EXPECT_EQ(SettingsFilePath(), file);

    // The folders are made by the first save; the current directory is not touched.
    EXPECT_FALSE(LoadSettingsAtStartup());
    ASSERT_TRUE(SaveComSettings(ComSettingsRecord{.Baudrate = 9600}));
    ASSERT_TRUE(SaveUsbSettings(UsbSettingsRecord{2000, 9}));
    EXPECT_EQ(fs::status(cwd.Path() + "/cfg/jvs-transfer").permissions(), fs::perms::owner_all);
    EXPECT_FALSE(fs::exists("jvs_cfg.ini"));
    ResetLinkSettings();
    EXPECT_TRUE(LoadSettingsAtStartup());
    EXPECT_EQ(ComSettings.Get().Baudrate, 9600);
    EXPECT_EQ(UsbSettings.Get().USBRevTimeOut, 2000);
    EXPECT_EQ(UsbSettings.Get().USBRevRowDelay, 9);
    unsetenv("JVS_SETTINGS");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", home.c_str(), 1);
}

TEST_F(Settings, DialogNumberChecks) {
    const char* const kRange = "请输入1到999的整数!";
    const char* const kPositive = "请输入正的整数!";
    const struct {
        const char* text;
        int ms;
        const char* message;
    } timeouts[] = {{"10 ", 10000, nullptr}, {"5abc", 5000, nullptr}, {"999", 999000, nullptr},
                    {"1", 1000, nullptr},    {"0", 10000, kRange},    {"1000", 10000, kRange},
                    {"abc", 10000, kRange},  {"-3", 10000, kRange}},
      delays[] = {{"200", 200, nullptr},
                  {"9999", 9999, nullptr},
                  {"  +12x", 12, nullptr},
                  {"10000", 800, kPositive},
                  {"0", 800, kPositive},
                  {"", 800, kPositive},
                  {"99999999999999999999", 800, kPositive}};
    for (const auto& c : timeouts) {
        const char* message = "unset";
        EXPECT_EQ(CheckedTimeoutMs(c.text, &message), c.ms) << c.text;
        EXPECT_STREQ(message, c.message) << c.text;
    }
    for (const auto& c : delays) {
        const char* message = "unset";
        EXPECT_EQ(CheckedRowDelay(c.text, &message), c.ms) << c.text;
        EXPECT_STREQ(message, c.message) << c.text;
    }
    EXPECT_EQ(DecimalPrefix(" \t-42z"), -42);
    EXPECT_EQ(DecimalPrefix("+"), 0);
}
