#include "link/TermiosLine.h"

#include <atomic>
#include <iterator>

namespace {

std::atomic<TermiosSetter> g_termiosSetter{nullptr};

// The termios constant of each rate of kBaudRates, in the same order.
constexpr speed_t kBaudSpeeds[] = {B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200};
static_assert(std::size(kBaudSpeeds) == std::size(kBaudRates));

}  // namespace

bool BaudSpeed(int32_t baud, speed_t& speed) {
    for (size_t i = 0; i < std::size(kBaudRates); ++i)
        if (kBaudRates[i] == baud) {
            speed = kBaudSpeeds[i];
            return true;
        }
    return false;
}

void SetTermiosSetterForTest(TermiosSetter setter) {
    g_termiosSetter.store(setter);
}

int SetTermios(int fd, int optionalActions, const termios* tio) {
    const TermiosSetter setter = g_termiosSetter.load();
    return setter ? setter(fd, optionalActions, tio) : tcsetattr(fd, optionalActions, tio);
}

void ApplyLineSettings(termios& tio, const ComSettingsRecord& settings) {
    const tcflag_t before = tio.c_cflag;
    cfmakeraw(&tio);
    tio.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY | IGNPAR | PARMRK | ISTRIP);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~CRTSCTS;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    if (speed_t speed = B0; BaudSpeed(settings.Baudrate, speed)) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }

    tio.c_cflag &= ~CSIZE;
    switch (settings.DataBit) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        case 8:
            tio.c_cflag |= CS8;
            break;
        default:
            tio.c_cflag |= before & CSIZE;
            break;
    }

    const tcflag_t parityBits = PARENB | PARODD | CMSPAR;
    tio.c_cflag &= ~parityBits;
    switch (settings.CheckBit) {
        case 0:
            break;
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            tio.c_cflag |= before & parityBits;
            break;
    }

    switch (settings.StopBit) {
        case 0:
            tio.c_cflag &= ~CSTOPB;
            break;
        case 1:
        case 2:
            tio.c_cflag |= CSTOPB;
            break;
        default:
            tio.c_cflag = (tio.c_cflag & ~CSTOPB) | (before & CSTOPB);
            break;
    }
}
