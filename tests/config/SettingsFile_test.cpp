#include "config/SettingsFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "TempCwd_support.h"

namespace {

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

TEST_F(Settings, LoadByPositionAndItsLimits) {
    // Keys are ignored: the values count by their place.
    WriteFileBytes("jvs_cfg.ini",
                   "[JVSCOMSETTING]\r\nA=COM7\r\nB=  4800x\r\nC=1\r\nD=7\r\nE=1\r\nF=3000\r\n"
                   "G=-5\r\nH=258\r\n[JVSUSBSETTING]\r\nx=40\r\ny=+7000\r\n");
    ComSettingsRecord c;
    EXPECT_EQ(LoadComSettings(CIniFile(kSettingsFile), c), 8);
    EXPECT_STREQ(c.COMPort, "COM7");
    EXPECT_EQ(c.Baudrate, 4800);
    EXPECT_EQ(c.CheckBit, 1);
    EXPECT_EQ(c.DataBit, 7);
    EXPECT_EQ(c.Protol, 1);
    EXPECT_EQ(c.ReceiveTimeOut, 3000);
    EXPECT_EQ(c.RowDelay, -5);
    EXPECT_EQ(c.StopBit, 2) << "byte fields keep the low 8 bits";
    UsbSettingsRecord u;
    EXPECT_EQ(LoadUsbSettings(CIniFile(kSettingsFile), u), 2);
    EXPECT_EQ(u.USBRevRowDelay, 40);
    EXPECT_EQ(u.USBRevTimeOut, 7000);

    // Fewer entries: only those present are read, the rest stays.
    WriteFileBytes("jvs_cfg.ini", "[JVSCOMSETTING]\r\nCOMPort=COM2\r\nBaudrate=abc\r\n");
    ComSettingsRecord partial;
    partial.DataBit = 7;
    EXPECT_EQ(LoadComSettings(CIniFile(kSettingsFile), partial), 2);
    EXPECT_STREQ(partial.COMPort, "COM2");
    EXPECT_EQ(partial.Baudrate, 0) << "no digits read as 0";
    EXPECT_EQ(partial.DataBit, 7);
    EXPECT_EQ(partial.RowDelay, 200);

    // A port name longer than the field is cut, never overrun.
    WriteFileBytes("jvs_cfg.ini", "[JVSCOMSETTING]\r\nCOMPort=" + std::string(200, 'P') + "\r\n");
    ComSettingsRecord cut;
    EXPECT_EQ(LoadComSettings(CIniFile(kSettingsFile), cut), 1);
    EXPECT_EQ(std::strlen(cut.COMPort), sizeof cut.COMPort - 1);

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
    EXPECT_EQ(loads("[Other]\r\nk=COM5\r\n"), 0);
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
