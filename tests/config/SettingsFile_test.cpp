#include "config/SettingsFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "TempCwd_support.h"
#include "config/SafeFile.h"

namespace fs = std::filesystem;

namespace {

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

// Sets (or with nullptr unsets) an environment variable for the scope.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old, m_had = true;
        Set(value);
    }
    ~EnvVar() { Set(m_had ? m_old.c_str() : nullptr); }
    void Set(const char* value) {
        if (value)
            setenv(m_name, value, 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

size_t EntriesIn(const std::string& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
}

struct Settings : ::testing::Test {
    CTempCwd cwd;
    void SetUp() override { ResetLinkSettings(); }
    void TearDown() override { ResetLinkSettings(); }
};

const char kDefaultsFile[] =
    "[JVSCOMSETTING]\r\nCOMPort=COM1\r\nBaudrate=115200\r\nCheckBit=0\r\nDataBit=8\r\n"
    "Protol=0\r\nReceiveTimeOut=10000\r\nRowDelay=200\r\nStopBit=0\r\n";

bool SameRecord(const ComSettingsRecord& a, const ComSettingsRecord& b) {
    return a.Protol == b.Protol && std::strcmp(a.COMPort, b.COMPort) == 0 &&
           a.Baudrate == b.Baudrate && a.DataBit == b.DataBit && a.StopBit == b.StopBit &&
           a.CheckBit == b.CheckBit && a.ReceiveTimeOut == b.ReceiveTimeOut &&
           a.RowDelay == b.RowDelay;
}

}  // namespace

TEST_F(Settings, DefaultsAfterReset) {
    ComSettingsRecord c = ComSettings.Get();
    EXPECT_EQ(c.Protol, 0);
    EXPECT_STREQ(c.COMPort, "COM1");
    EXPECT_EQ(c.Baudrate, 115200);
    EXPECT_EQ(c.DataBit, 8);
    EXPECT_EQ(c.StopBit, 0);
    EXPECT_EQ(c.CheckBit, 0);
    EXPECT_EQ(c.ReceiveTimeOut, 10000);
    EXPECT_EQ(c.RowDelay, 200);
    EXPECT_EQ(UsbSettings.Get().USBRevTimeOut, 0);
    EXPECT_EQ(UsbSettings.Get().USBRevRowDelay, 0);
}

TEST_F(Settings, SavedFileByteForByte) {
    ASSERT_TRUE(SaveComSettings());
    EXPECT_EQ(ReadFileBytes("jvs_cfg.ini"), kDefaultsFile);

    ComSettingsRecord c;
    std::strcpy(c.COMPort, "COM12");
    c.Baudrate = 9600;
    c.CheckBit = 2;
    c.DataBit = 7;
    c.Protol = 1;
    c.ReceiveTimeOut = 999000;
    c.RowDelay = 1;
    c.StopBit = 2;
    ComSettings.Set(c);
    UsbSettingsRecord u;
    u.USBRevTimeOut = 5000;
    u.USBRevRowDelay = 30;
    UsbSettings.Set(u);
    ASSERT_TRUE(SaveUsbSettings());
    ASSERT_TRUE(SaveComSettings());
    // The rewritten section moves behind the other one.
    EXPECT_EQ(ReadFileBytes("jvs_cfg.ini"),
              "[JVSUSBSETTING]\r\nUSBRevRowDelay=30\r\nUSBRevTimeOut=5000\r\n"
              "[JVSCOMSETTING]\r\nCOMPort=COM12\r\nBaudrate=9600\r\nCheckBit=2\r\nDataBit=7\r\n"
              "Protol=1\r\nReceiveTimeOut=999000\r\nRowDelay=1\r\nStopBit=2\r\n");

    // Negative byte codes are written from their signed value.
    c.CheckBit = -1;
    ASSERT_TRUE(SaveComSettings(c));
    EXPECT_EQ(CIniFile(kSettingsFile).ReadString(kComSection, "CheckBit"), "-1");
}

TEST_F(Settings, HandEditedFileIsRewrittenInOrder) {
    WriteFileBytes("jvs_cfg.ini",
                   "; edited by hand\r\n[jvscomsetting]\r\nStopBit=2\r\nRowDelay=50\r\n"
                   "COMPort=COM3\r\nextra line\r\n[Other]\r\nk=v\r\n");
    ASSERT_TRUE(SaveComSettings());
    EXPECT_EQ(ReadFileBytes("jvs_cfg.ini"),
              std::string("; edited by hand\r\n[Other]\r\nk=v\r\n") + kDefaultsFile);
}

TEST_F(Settings, LoadTakesKeysByNameAndChecksTheirValues) {
    // Any order, any case, comments and foreign lines between: each key by name.
    WriteFileBytes("jvs_cfg.ini",
                   "[JVSCOMSETTING]\r\n; my instrument\r\nstopbit=2\r\nROWDELAY = 50\r\n"
                   "junk line\r\nReceiveTimeOut=3000\r\nProtol=1\r\nDataBit=7\r\n"
                   "CheckBit=1\r\nBaudrate=4800\r\nComPort=COM16\r\nBaudrate=9600\r\n"
                   "[JVSUSBSETTING]\r\nUSBRevTimeOut=7000\r\n;x\r\nUSBRevRowDelay=40\r\n");
    ComSettingsRecord c;
    std::vector<std::string> replaced;
    EXPECT_EQ(LoadComSettings(CIniFile(kSettingsFile), c, &replaced), 11);
    EXPECT_STREQ(c.COMPort, "COM16");
    EXPECT_EQ(c.Baudrate, 4800) << "the first of a repeated key counts";
    EXPECT_EQ(c.CheckBit, 1);
    EXPECT_EQ(c.DataBit, 7);
    EXPECT_EQ(c.Protol, 1);
    EXPECT_EQ(c.ReceiveTimeOut, 3000);
    EXPECT_EQ(c.RowDelay, 50);
    EXPECT_EQ(c.StopBit, 2);
    UsbSettingsRecord u;
    EXPECT_EQ(LoadUsbSettings(CIniFile(kSettingsFile), u, &replaced), 3);
    EXPECT_EQ(u.USBRevRowDelay, 40);
    EXPECT_EQ(u.USBRevTimeOut, 7000);
    EXPECT_TRUE(replaced.empty());

    // Values no dialog could write get their defaults and are named, in table order;
    // a key that is not there keeps what the record held.
    WriteFileBytes("jvs_cfg.ini",
                   "[JVSCOMSETTING]\r\nRowDelay=99999999\r\nCOMPort=COM17\r\nBaudrate=11520\r\n"
                   "CheckBit=3\r\nDataBit=2\r\nProtol=-128\r\nReceiveTimeOut=999001\r\n"
                   "StopBit=1\r\n[JVSUSBSETTING]\r\nUSBRevRowDelay=10000\r\nUSBRevTimeOut=abc\r\n");
    ComSettingsRecord bad;
    bad.Baudrate = 9600;
    replaced.clear();
    LoadComSettings(CIniFile(kSettingsFile), bad, &replaced);
    EXPECT_TRUE(SameRecord(bad, ComSettingsRecord{}));
    UsbSettingsRecord badUsb;
    badUsb.USBRevRowDelay = 5;
    LoadUsbSettings(CIniFile(kSettingsFile), badUsb, &replaced);
    EXPECT_EQ(badUsb.USBRevRowDelay, 0);
    EXPECT_EQ(badUsb.USBRevTimeOut, 0);
    EXPECT_EQ(replaced, (std::vector<std::string>{"COMPort", "Baudrate", "CheckBit", "DataBit",
                                                  "Protol", "ReceiveTimeOut", "RowDelay", "StopBit",
                                                  "USBRevRowDelay", "USBRevTimeOut"}));

    // The edges of each range, a device path, trailing junk, a name too long for the field.
    auto check = [](const std::string& lines) {
        WriteFileBytes("jvs_cfg.ini", "[JVSCOMSETTING]\r\n" + lines);
        ComSettingsRecord r;
        std::vector<std::string> out;
        LoadComSettings(CIniFile(kSettingsFile), r, &out);
        return out;
    };
    EXPECT_TRUE(check("ReceiveTimeOut=1000\r\nRowDelay=1\r\nCOMPort=/dev/ttyS4\r\n").empty());
    EXPECT_TRUE(check("ReceiveTimeOut=999000\r\nRowDelay=9999\r\nCOMPort=COM1\r\n").empty());
    EXPECT_EQ(check("ReceiveTimeOut=999\r\nRowDelay=0\r\n"),
              (std::vector<std::string>{"ReceiveTimeOut", "RowDelay"}));
    EXPECT_EQ(check("Baudrate=4800x\r\nCOMPort=COM01\r\n"),
              (std::vector<std::string>{"COMPort", "Baudrate"}));
    EXPECT_EQ(check("COMPort=/" + std::string(100, 'p') + "\r\n"),
              std::vector<std::string>{"COMPort"});
    EXPECT_EQ(check("COMPort=\r\n"), std::vector<std::string>{"COMPort"});

    // Nothing loaded: missing file, missing section, case differs, empty section,
    // more than 10 sections.
    const ComSettingsRecord untouched;
    auto loads = [&](const std::string& text) {
        if (text.empty())
            std::remove("jvs_cfg.ini");
        else
            WriteFileBytes("jvs_cfg.ini", text);
        ComSettingsRecord r;
        int n = LoadComSettings(CIniFile(kSettingsFile), r);
        EXPECT_TRUE(SameRecord(r, untouched)) << text;
        return n;
    };
    EXPECT_EQ(loads(""), 0);
    EXPECT_EQ(loads("[Other]\r\nCOMPort=COM5\r\n"), 0);
    EXPECT_EQ(loads("[jvscomsetting]\r\nCOMPort=COM5\r\n"), 0);
    EXPECT_EQ(loads("[JVSCOMSETTING]\r\n[X]\r\n"), 0);
    std::string eleven = "[JVSCOMSETTING]\r\nCOMPort=COM5\r\n";
    for (int i = 0; i < 10; ++i) eleven += "[S" + std::to_string(i) + "]\r\n";
    EXPECT_EQ(loads(eleven), 0);
    std::string ten = "[JVSCOMSETTING]\r\nCOMPort=COM5\r\n";
    for (int i = 0; i < 9; ++i) ten += "[S" + std::to_string(i) + "]\r\n";
    WriteFileBytes("jvs_cfg.ini", ten);
    ComSettingsRecord r;
    EXPECT_EQ(LoadComSettings(CIniFile(kSettingsFile), r), 1);
    EXPECT_STREQ(r.COMPort, "COM5");
}

TEST_F(Settings, SaveReplacesTheFileWholeAndNeverThroughALink) {
    // One replace: a save that cannot finish leaves every line as it was.
    const std::string before =
        "[Mine]\r\nnote=" + std::string(3000, 'n') + "\r\n[JVSCOMSETTING]\r\nCOMPort=COM4\r\n";
    WriteFileBytes("jvs_cfg.ini", before);
    {
        FileSizeLimit limit(2048);
        int error = 0;
        EXPECT_FALSE(SaveComSettings(ComSettingsRecord{}, &error));
        EXPECT_EQ(error, EFBIG);
    }
    EXPECT_EQ(ReadFileBytes("jvs_cfg.ini"), before);
    EXPECT_EQ(EntriesIn("."), 1u) << "no temporary file left behind";

    // A link is never written through, and its target keeps its bytes.
    std::remove("jvs_cfg.ini");
    WriteFileBytes("victim", "precious\n");
    ASSERT_EQ(symlink("victim", "jvs_cfg.ini"), 0);
    int error = 0;
    EXPECT_FALSE(SaveUsbSettings(UsbSettingsRecord{}, &error));
    EXPECT_EQ(error, kFileIsSymlink);
    EXPECT_NE(SettingsErrorDetail(error).find("/jvs_cfg.ini: is a symbolic link"),
              std::string::npos);
    EXPECT_EQ(ReadFileBytes("victim"), "precious\n");

    // A FIFO in its place is neither read (no hang) nor written.
    std::remove("jvs_cfg.ini");
    ASSERT_EQ(mkfifo("jvs_cfg.ini", 0600), 0);
    EXPECT_FALSE(LoadSettingsAtStartup());
    EXPECT_FALSE(SaveComSettings(ComSettingsRecord{}, &error));
    EXPECT_EQ(error, kFileNotRegular);

    // Nor is a file far larger than any settings file: it is refused, not cut.
    std::remove("jvs_cfg.ini");
    WriteFileBytes("jvs_cfg.ini", std::string(kIniMaxFile + 1, ';'));
    EXPECT_FALSE(SaveComSettings(ComSettingsRecord{}, &error));
    EXPECT_EQ(error, kFileTooLarge);
    EXPECT_EQ(ReadFileBytes("jvs_cfg.ini").size(), kIniMaxFile + 1);
}

TEST_F(Settings, TheSwitchPutsTheFileInTheUserConfigurationFolder) {
    EnvVar sw("JVS_SETTINGS", nullptr), config("XDG_CONFIG_HOME", nullptr),
        home("HOME", cwd.Path().c_str());
    EXPECT_EQ(SettingsFilePath(), kSettingsFile);
    EXPECT_EQ(SettingsFileShownPath(), cwd.Path() + "/jvs_cfg.ini");
    sw.Set("yes");
    EXPECT_EQ(SettingsFilePath(), kSettingsFile) << "only \"xdg\" switches";

    sw.Set("xdg");
    EXPECT_EQ(SettingsFilePath(), cwd.Path() + "/.config/jvs-transfer/jvs_cfg.ini");
    config.Set("relative/dir");
    EXPECT_EQ(SettingsFilePath(), cwd.Path() + "/.config/jvs-transfer/jvs_cfg.ini")
        << "a relative XDG_CONFIG_HOME is ignored";
    config.Set((cwd.Path() + "/cfg/").c_str());
    const std::string file = cwd.Path() + "/cfg/jvs-transfer/jvs_cfg.ini";
    EXPECT_EQ(SettingsFilePath(), file);

    // The folders are made by the first save; the current directory is not touched.
    EXPECT_FALSE(LoadSettingsAtStartup());
    ComSettingsRecord c;
    c.Baudrate = 9600;
    ASSERT_TRUE(SaveComSettings(c));
    struct stat st {};
    ASSERT_EQ(stat((cwd.Path() + "/cfg/jvs-transfer").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_NE(ReadFileBytes(file).find("Baudrate=9600\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists("jvs_cfg.ini"));
    EXPECT_TRUE(LoadSettingsAtStartup());
    EXPECT_EQ(ComSettings.Get().Baudrate, 9600);
}

TEST_F(Settings, StartupLoadAndFailedSave) {
    EXPECT_FALSE(LoadSettingsAtStartup());
    EXPECT_STREQ(ComSettings.Get().COMPort, "COM1");
    WriteFileBytes(
        "jvs_cfg.ini",
        "[JVSUSBSETTING]\r\nUSBRevRowDelay=9\r\nUSBRevTimeOut=2000\r\n"
        "[JVSCOMSETTING]\r\nCOMPort=COM4\r\nBaudrate=19200\r\nCheckBit=0\r\n"
        "DataBit=8\r\nProtol=1\r\nReceiveTimeOut=20000\r\nRowDelay=300\r\nStopBit=0\r\n");
    EXPECT_TRUE(LoadSettingsAtStartup());
    EXPECT_STREQ(ComSettings.Get().COMPort, "COM4");
    EXPECT_EQ(ComSettings.Get().Baudrate, 19200);
    EXPECT_EQ(ComSettings.Get().Protol, 1);
    EXPECT_EQ(ComSettings.Get().RowDelay, 300);
    EXPECT_EQ(UsbSettings.Get().USBRevTimeOut, 2000);
    EXPECT_EQ(UsbSettings.Get().USBRevRowDelay, 9);

    // Saving where the file cannot be written reports it.
    std::remove("jvs_cfg.ini");
    ASSERT_EQ(mkdir("jvs_cfg.ini", 0755), 0);
    EXPECT_FALSE(SaveComSettings());
    EXPECT_FALSE(SaveUsbSettings());
}

TEST_F(Settings, DialogNumberChecks) {
    const char* message = nullptr;
    EXPECT_EQ(CheckedTimeoutMs("10 ", &message), 10000);
    EXPECT_EQ(message, nullptr);
    EXPECT_EQ(CheckedTimeoutMs("5abc", &message), 5000);
    EXPECT_EQ(message, nullptr);
    EXPECT_EQ(CheckedTimeoutMs("999", &message), 999000);
    EXPECT_EQ(CheckedTimeoutMs("0", &message), 10000);
    EXPECT_STREQ(message, kMsgTimeoutRange);
    EXPECT_EQ(CheckedTimeoutMs("1000", &message), 10000);
    EXPECT_STREQ(message, "请输入1到999的整数!");
    EXPECT_EQ(CheckedTimeoutMs("abc", &message), 10000);
    EXPECT_EQ(CheckedTimeoutMs("-3", &message), 10000);
    EXPECT_EQ(CheckedTimeoutMs("1", &message), 1000);
    EXPECT_EQ(message, nullptr);

    EXPECT_EQ(CheckedRowDelay("200", &message), 200);
    EXPECT_EQ(message, nullptr);
    EXPECT_EQ(CheckedRowDelay("9999", &message), 9999);
    EXPECT_EQ(CheckedRowDelay("10000", &message), 800);
    EXPECT_STREQ(message, "请输入正的整数!");
    EXPECT_EQ(CheckedRowDelay("0", &message), 800);
    EXPECT_EQ(CheckedRowDelay("", &message), 800);
    EXPECT_EQ(CheckedRowDelay("  +12x", &message), 12);
    EXPECT_EQ(message, nullptr);
    EXPECT_EQ(CheckedRowDelay("99999999999999999999", &message), 800);

    EXPECT_EQ(DecimalPrefix(" \t-42z"), -42);
    EXPECT_EQ(DecimalPrefix("+"), 0);
    EXPECT_EQ(DecimalPrefix("x1"), 0);
}
