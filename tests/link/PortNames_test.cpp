// Port names: COMn to devices, the serial devices present under a device
// folder that holds every kind of thing that is not one, and the check of a
// device path typed by the user.
#include "link/PortNames.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "TempCwd_support.h"
#include "sim/Pty.h"

namespace fs = std::filesystem;

namespace {

// Makes the folders on the way and a link `path` -> `target`.
void Link(const std::string& target, const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    fs::create_symlink(target, path);
}

}  // namespace

TEST(PortNames, ResolveWithoutAndWithPortDirectory) {
    CTempComDir restores;  // JVS_COM_DIR as it was, at the end
    // Each "name>path" without a port folder, then with one; explicit paths stay explicit.
    const std::pair<const char*, const char*> cases[] = {
        {nullptr,
         "COM1>/dev/ttyUSB0 COM8>/dev/ttyUSB7 COM9>/dev/ttyACM0 COM12>/dev/ttyACM3 "
         "COM13>/dev/ttyS0 com16>/dev/ttyS3 COM17> COM0> COMX> > /dev/ttyS7>/dev/ttyS7"},
        {"/tmp/ports",
         "COM3>/tmp/ports/COM3 COM16>/tmp/ports/COM16 COM20>/tmp/ports/COM20 ../etc/x> "
         "/dev/ttyS0>/dev/ttyS0"}};
    for (const auto& [folder, pairs] : cases) {
        folder ? setenv("JVS_COM_DIR", folder, 1) : unsetenv("JVS_COM_DIR");
        std::istringstream in(pairs);
        for (std::string pair; in >> pair;) {
            const size_t cut = pair.find('>');
            EXPECT_EQ(ResolvePortName(pair.substr(0, cut)), pair.substr(cut + 1)) << pair;
        }
    }
}

TEST(PortNames, DevicesPresentAndPathsRefused) {
    CTempComDir ports;
    CTempDevRoot dev;
    CPty pty[4];
    for (CPty& p : pty) ASSERT_TRUE(p.Create());
    const std::string root = dev.Path();
    fs::create_directory(dev / "ttyUSB0");  // a directory named like a port
    Link(pty[0].SlavePath(), dev / "ttyUSB1");
    Link(pty[0].SlavePath(), dev / "ttyUSBx");
    ASSERT_EQ(mkfifo((dev / "ttyACM0").c_str(), 0600), 0);
    Link(pty[1].SlavePath(), dev / "rfcomm0");
    Link(pty[2].SlavePath(), dev / "ttyS10");
    Link(pty[3].SlavePath(), dev / "ttyS2");
    WriteFileBytes(dev / "ttyS3", "x");
    Link("../../ttyUSB1", dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0");
    Link("../../ttyUSB9", dev / "serial/by-id/usb-Gone-if00-port0");
    Link("loopB", dev / "serial/by-id/loopA");
    Link("loopA", dev / "serial/by-id/loopB");

    auto shown = [](const std::vector<CPortEntry>& list) {
        std::string text;
        for (const CPortEntry& e : list) text += e.name + "=" + e.device + "|" + e.readable + "\n";
        return text;
    };
    // ttyUSB1 is listed once, under the name that survives replugging.
    const std::string byId =
        root + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0=" + pty[0].SlavePath() +
        "|FTDI FT232R USB UART A5\n";
    const std::string rfcomm = root + "/rfcomm0=" + pty[1].SlavePath() + "|蓝牙串口\n";
    const std::string s2 = root + "/ttyS2=" + pty[3].SlavePath() + "|串口\n";
    const std::string s10 = root + "/ttyS10=" + pty[2].SlavePath() + "|串口\n";
    EXPECT_EQ(shown(ListSerialDevices()), byId + rfcomm + s2 + s10);
    // With the kernel's view: a ttyS* whose UART type is unknown is a placeholder.
    const std::string sys = root + "-sys";
    fs::create_directories(sys + "/ttyS2");
    fs::create_directories(sys + "/ttyS10");
    WriteFileBytes(sys + "/ttyS2/type", "0\n");
    WriteFileBytes(sys + "/ttyS10/type", "4\n");
    EXPECT_EQ(shown(ListSerialDevices(root, sys)), byId + rfcomm + s10);
    fs::remove_all(sys);

    // COM1 reaches rfcomm0: the probe leaves it to the COM name.
    Link(pty[1].SlavePath(), ports.PortPath(1));
    EXPECT_EQ(UncoveredDevices(), (std::vector<std::string>{
                                      root + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A5-if00-port0",
                                      root + "/ttyS2", root + "/ttyS10"}));

    Link(pty[0].SlavePath(), dev / "串口 一");
    const std::pair<std::string, std::string> paths[] = {
        {dev / "ttyUSB1", ""},
        {dev / "串口 一", ""},
        {pty[2].SlavePath(), ""},
        {dev / "ttyUSB0", "a directory, not a serial device"},
        {dev / "ttyACM0", "a FIFO, not a serial device"},
        {dev / "ttyS3", "a regular file, not a serial device"},
        {dev / "serial/by-id/usb-Gone-if00-port0", "No such file or directory"},
        {dev / "serial/by-id/loopA", "Too many levels of symbolic links"},
        {"ttyUSB1", "not a device path (it must begin with /)"},
        {"/dev/tty\x01", "too long, or holds control characters"},
        {"/" + std::string(300, 'x'), "too long, or holds control characters"}};
    for (const auto& [path, problem] : paths) EXPECT_EQ(DevicePathProblem(path), problem) << path;

    // Without a device folder of its own a test reaches no device at all.
    unsetenv("JVS_DEV_DIR");
    EXPECT_EQ(DeviceRoot(), "");
    EXPECT_TRUE(ListSerialDevices().empty());
}
