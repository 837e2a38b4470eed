#include "link/PortNames.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>

#include "config/SettingsFile.h"

namespace {

// "COM" (any case) and a decimal number without sign; 0 when the name is not one.
int ComNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 8) return 0;
    if (strncasecmp(name.c_str(), "COM", 3) != 0) return 0;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

// The device families we list, in the order shown, with their kind of port.
struct CFamily {
    const char* prefix;
    const char* kind;
};
constexpr CFamily kFamilies[] = {
    {"ttyUSB", "USB转串口"}, {"ttyACM", "USB串口 (ACM)"}, {"rfcomm", "蓝牙串口"}, {"ttyS", "串口"}};

std::string Canonical(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return {};
    std::string result(real);
    std::free(real);
    return result;
}

bool IsCharDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The number after the family's prefix, or -1 when the rest is not one.
long NodeNumber(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 6 ||
        name.compare(0, prefix.size(), prefix) != 0)
        return -1;
    long n = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" -> "FTDI FT232R USB UART A50285BI".
std::string ByIdReadable(std::string name) {
    if (name.rfind("usb-", 0) == 0) name.erase(0, 4);
    if (size_t cut = name.rfind("-if"); cut != std::string::npos && cut > 0) {
        const std::string tail = name.substr(cut + 3);
        if (!tail.empty() && std::isdigit(static_cast<unsigned char>(tail[0]))) name.erase(cut);
    }
    std::replace(name.begin(), name.end(), '_', ' ');
    return name;
}

// Whether a ttyS* stands for hardware: the kernel makes placeholders for
// absent legacy ports, whose UART type reads 0 (unknown).
bool RealLegacyPort(const std::string& sysRoot, const std::string& name) {
    std::ifstream type(sysRoot + "/" + name + "/type");
    int code = -1;
    return !(type >> code) || code != 0;
}

}  // namespace

std::string ResolvePortName(const std::string& name) {
    if (name.empty()) return {};
    if (name[0] == '/') return name;
    if (const char* dir = std::getenv("JVS_COM_DIR"); dir && *dir) {
        // Only plain names inside the directory: a test can never reach a real device.
        int n = ComNumber(name);
        if (n > 0) return std::string(dir) + "/COM" + std::to_string(n);
        if (name.find('/') != std::string::npos || name == "." || name == "..") return {};
        return std::string(dir) + "/" + name;
    }
    int n = ComNumber(name);
    if (n >= 1 && n <= 8) return "/dev/ttyUSB" + std::to_string(n - 1);
    if (n >= 9 && n <= 12) return "/dev/ttyACM" + std::to_string(n - 9);
    if (n >= 13 && n <= 16) return "/dev/ttyS" + std::to_string(n - 13);
    return {};
}

std::string DeviceRoot() {
    if (const char* dir = std::getenv("JVS_DEV_DIR"); dir && *dir) return dir;
    if (const char* com = std::getenv("JVS_COM_DIR"); com && *com) return {};
    return "/dev";
}

std::vector<CPortEntry> ListSerialDevices(const std::string& devRoot, const std::string& sysRoot) {
    std::vector<CPortEntry> list;
    if (devRoot.empty()) return list;
    std::set<std::string> reached;  // devices a by-id link already names
    const std::string byId = devRoot + "/serial/by-id";
    for (const std::string& name : Names(byId)) {
        const std::string path = byId + "/" + name;
        // A dangling link, a loop, a directory or a FIFO is no port; nor is
        // a name the settings could not hold whole.
        if (!IsValidPortName(path) || !IsCharDevice(path)) continue;
        const std::string device = Canonical(path);
        if (device.empty() || !reached.insert(device).second) continue;
        list.push_back({path, device, ByIdReadable(name)});
    }
    const std::vector<std::string> names = Names(devRoot);
    for (const CFamily& family : kFamilies) {
        std::vector<std::pair<long, std::string>> nodes;
        for (const std::string& name : names)
            if (long n = NodeNumber(name, family.prefix); n >= 0) nodes.emplace_back(n, name);
        std::sort(nodes.begin(), nodes.end());
        for (const auto& [n, name] : nodes) {
            const std::string path = devRoot + "/" + name;
            if (!IsValidPortName(path) || !IsCharDevice(path)) continue;
            if (!sysRoot.empty() && family.prefix == std::string("ttyS") &&
                !RealLegacyPort(sysRoot, name))
                continue;
            const std::string device = Canonical(path);
            if (device.empty() || !reached.insert(device).second) continue;
            list.push_back({path, device, family.kind});
        }
    }
    return list;
}

std::vector<CPortEntry> ListSerialDevices() {
    const std::string root = DeviceRoot();
    return ListSerialDevices(root, root == "/dev" ? "/sys/class/tty" : "");
}

std::vector<CPortEntry> ListOfferedPorts() {
    const std::vector<CPortEntry> devices = ListSerialDevices();
    std::vector<CPortEntry> offered;
    for (int n = 1; n <= kDialogComPorts; ++n) {
        CPortEntry com{"COM" + std::to_string(n), ResolvePortName("COM" + std::to_string(n)), {}};
        // A COM name whose device is present reads like that device.
        const std::string device = Canonical(com.device);
        for (const CPortEntry& d : devices)
            if (!device.empty() && d.device == device) com.readable = d.readable;
        offered.push_back(std::move(com));
    }
    offered.insert(offered.end(), devices.begin(), devices.end());
    return offered;
}

std::vector<std::string> UncoveredDevices() {
    std::set<std::string> covered;
    for (int n = 1; n <= 16; ++n)
        if (std::string device = Canonical(ResolvePortName("COM" + std::to_string(n)));
            !device.empty())
            covered.insert(device);
    std::vector<std::string> extra;
    for (const CPortEntry& d : ListSerialDevices())
        if (!covered.count(d.device)) extra.push_back(d.name);
    return extra;
}

std::string DevicePathProblem(const std::string& path) {
    if (path.empty() || path[0] != '/') return "not a device path (it must begin with /)";
    if (!IsValidPortName(path)) return "too long, or holds control characters";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        char buffer[256];
        return strerror_r(errno, buffer, sizeof buffer);
    }
    if (S_ISCHR(st.st_mode)) return {};
    if (S_ISDIR(st.st_mode)) return "a directory, not a serial device";
    if (S_ISFIFO(st.st_mode)) return "a FIFO, not a serial device";
    if (S_ISREG(st.st_mode)) return "a regular file, not a serial device";
    return "not a character device";
}
