// Port names: the "COMn" names the program shows everywhere, the devices
// they stand for, and the serial devices present on this machine.
#pragma once

#include <string>
#include <vector>

// The dialog's and `jvs config set`'s refusal of a path that is no serial
// device; "<path>: <reason>" follows on a second line.
inline constexpr char kMsgNotSerialDevice[] = "该路径不是串口设备!";

// "COMn" -> device path: a path starting with '/' as it is; with JVS_COM_DIR
// set, $JVS_COM_DIR/COMn; else COM1-8 ttyUSB0-7, COM9-12 ttyACM0-3, COM13-16 ttyS0-3.
// Returns an empty string for a name that maps to nothing.
std::string ResolvePortName(const std::string& name);

// The folder the serial devices are looked for in: $JVS_DEV_DIR when set;
// none when only JVS_COM_DIR is set (a test or the simulator must never
// reach a real device); else /dev.
std::string DeviceRoot();

struct CPortEntry {
    std::string name;      // what the settings hold: "COM3" or a device path
    std::string device;    // the file it opens, "" when the name maps to nothing
    std::string readable;  // for people: the by-id name or the kind of port, "" if unknown
};

// The serial devices present under devRoot: the links in serial/by-id (named
// from their link names), then ttyUSB*, ttyACM*, rfcomm* and ttyS* that are
// character devices and that no by-id link reaches, in number order. With a
// sysRoot (/sys/class/tty) a ttyS* is listed only when real hardware stands
// behind it: the kernel makes placeholders (UART type 0) for ports that are
// not there.
std::vector<CPortEntry> ListSerialDevices(const std::string& devRoot, const std::string& sysRoot);
// The same under DeviceRoot().
std::vector<CPortEntry> ListSerialDevices();

// What the COM dialog offers: COM1..COM6 (whether or not there is a device
// behind them), then the serial devices present.
inline constexpr int kDialogComPorts = 6;
std::vector<CPortEntry> ListOfferedPorts();

// The devices present that no name COM1..COM16 reaches: the probe tries them
// after the COM names.
std::vector<std::string> UncoveredDevices();

// Why a path cannot be a port: empty when it is a character device (a serial
// port or a pseudo-terminal), else the reason (missing, a directory, a FIFO,
// a regular file, a loop of links, ...). Nothing is opened.
std::string DevicePathProblem(const std::string& path);
