// `jvs config` and the settings file it works on, and the port link of
// `jvs sim`, which may only ever replace a dead simulator's link.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "JvsProcess_support.h"
#include "sim/SimHarness.h"

namespace fs = std::filesystem;

namespace {

const char kDefaults[] =
    "COMPort=COM1\nBaudrate=115200\nCheckBit=0\nDataBit=8\nProtol=0\nReceiveTimeOut=10000\n"
    "RowDelay=200\nStopBit=0\nUSBRevRowDelay=0\nUSBRevTimeOut=0\n";

struct CliSettings : ::testing::Test {
    CTempFolder work;
    CJvsResult Run(const std::vector<std::string>& args,
                   std::vector<std::pair<std::string, std::string>> env = {}) {
        CJvsOptions options;
        options.cwd = work.Path();
        // Started as from a terminal unless the case sets the switch.
        options.env = {{"JVS_SETTINGS", "\x01"}};
        options.env.insert(options.env.end(), env.begin(), env.end());
        return RunJvs(args, options);
    }
};

struct SimLink : ::testing::Test {
    CTempComDir ports;
    std::vector<std::unique_ptr<CJvsProcess>> sims;
    CJvsProcess& Sim(int port) {
        sims.push_back(std::make_unique<CJvsProcess>(
            std::vector<std::string>{"sim", "qmx210", "--port", "COM" + std::to_string(port)},
            CJvsOptions{}));
        return *sims.back();
    }
    bool WaitForLink(int port, const std::string& notTarget = "") {
        for (int i = 0; i < 300; ++i) {
            std::error_code ec;
            const auto target = fs::read_symlink(ports.PortPath(port), ec);
            if (!ec && target.string() != notTarget) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

}  // namespace

TEST_F(CliSettings, ConfigShowsTheFileInForceAndChecksIt) {
    // The path comes first, on comment lines; the values stay Key=value.
    CJvsResult r = Run({"config"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "# file: " + work.Path() +
                         "/jvs_cfg.ini\n# (no such file yet: the defaults are in force)\n" +
                         kDefaults);

    // Values no dialog could write: defaults, and a warning naming the keys.
    WriteBytes(work / "jvs_cfg.ini",
               "; mine\r\n[Mine]\r\nk=v\r\n[JVSCOMSETTING]\r\n; my instrument\r\n"
               "Baudrate=11520\r\nCOMPort=COM3\r\nRowDelay=99999999\r\n");
    r = Run({"config"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "jvs: warning: " + work.Path() +
                         "/jvs_cfg.ini: Baudrate, RowDelay are not a value the settings can "
                         "hold; the default is used\n");
    EXPECT_NE(r.out.find("COMPort=COM3\nBaudrate=115200\n"), std::string::npos);
    EXPECT_NE(r.out.find("RowDelay=200\n"), std::string::npos);

    // A save keeps every other line and section and writes the keys in order.
    r = Run({"config", "set", "--baud", "9600"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(work / "jvs_cfg.ini"),
              "; mine\r\n[Mine]\r\nk=v\r\n[JVSCOMSETTING]\r\nCOMPort=COM3\r\nBaudrate=9600\r\n"
              "CheckBit=0\r\nDataBit=8\r\nProtol=0\r\nReceiveTimeOut=10000\r\nRowDelay=200\r\n"
              "StopBit=0\r\n");

    // A settings file that is a link is never written through.
    fs::rename(work / "jvs_cfg.ini", work / "real.ini");
    fs::create_symlink("real.ini", work / "jvs_cfg.ini");
    const std::string before = ReadBytes(work / "real.ini");
    r = Run({"config", "set", "--baud", "2400"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "保存配置文件失败!\n" + work.Path() +
                         "/jvs_cfg.ini: is a symbolic link; not written through it\n");
    EXPECT_EQ(ReadBytes(work / "real.ini"), before);
}

TEST_F(CliSettings, TheSwitchMovesTheFileToTheUserConfigurationFolder) {
    const std::vector<std::pair<std::string, std::string>> xdg = {
        {"JVS_SETTINGS", "xdg"}, {"XDG_CONFIG_HOME", work / "cfg"}};
    const std::string file = work / "cfg/jvs-transfer/jvs_cfg.ini";
    CJvsResult r = Run({"config", "set", "--port", "COM7"}, xdg);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(work / "jvs_cfg.ini"));
    r = Run({"config"}, xdg);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "# file: " + file);
    EXPECT_NE(r.out.find("\nCOMPort=COM7\n"), std::string::npos);

    // From a terminal (no switch) the current directory's file is the one in force.
    EXPECT_NE(Run({"config"}).out.find("\nCOMPort=COM1\n"), std::string::npos);
}

TEST_F(SimLink, OnlyFreePlacesOrDeadSimulatorLinksAreTaken) {
    // A file, a folder or someone else's link at the port's name: refused, untouched.
    WriteBytes(ports.PortPath(3), "my notes");
    fs::create_directory(ports.PortPath(4));
    fs::create_symlink("/dev/null", ports.PortPath(5));
    for (int port : {3, 4, 5}) {
        const CJvsResult r = Sim(port).Wait(5000);
        EXPECT_EQ(r.status, 1) << port;
        EXPECT_NE(r.err.find("not replaced"), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadBytes(ports.PortPath(3)), "my notes");
    EXPECT_TRUE(fs::is_directory(ports.PortPath(4)));
    EXPECT_EQ(fs::read_symlink(ports.PortPath(5)), "/dev/null");

    // A live simulator keeps its port; a second one is refused.
    CJvsProcess& first = Sim(6);
    ASSERT_TRUE(WaitForLink(6));
    const fs::path firstTarget = fs::read_symlink(ports.PortPath(6));
    CJvsResult r = Sim(6).Wait(5000);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("running simulator"), std::string::npos) << r.err;
    EXPECT_EQ(fs::read_symlink(ports.PortPath(6)), firstTarget);
    // On its end (a hang-up too) it removes its link.
    first.Signal(SIGHUP);
    EXPECT_EQ(first.Wait(5000).status, 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports.PortPath(6))));

    // The link of a simulator that was killed is taken over (its pseudo-terminal
    // is gone, or the new one got its number).
    CJvsProcess& killed = Sim(8);
    ASSERT_TRUE(WaitForLink(8));
    killed.Signal(SIGKILL);
    killed.Wait(5000);
    EXPECT_TRUE(fs::is_symlink(ports.PortPath(8)));
    CJvsProcess& successor = Sim(8);
    EXPECT_TRUE(successor.WaitForErr("sim: COM8 -> /dev/pts/", 5000)) << successor.ErrSoFar();
    successor.Signal(SIGTERM);
    EXPECT_EQ(successor.Wait(5000).status, 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(ports.PortPath(8))));

    fs::create_symlink("/dev/pts/999999", ports.PortPath(7));
    CJvsProcess& second = Sim(7);
    ASSERT_TRUE(WaitForLink(7, "/dev/pts/999999"));
    // A link someone else put there meanwhile is not removed on exit.
    fs::remove(ports.PortPath(7));
    fs::create_symlink("/dev/null", ports.PortPath(7));
    second.Signal(SIGTERM);
    EXPECT_EQ(second.Wait(5000).status, 0);
    EXPECT_EQ(fs::read_symlink(ports.PortPath(7)), "/dev/null");
}
