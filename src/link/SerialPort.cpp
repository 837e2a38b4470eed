#include "link/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

CSerialPort g_SerialPort;

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned long long kMaxDrainMs = 10000;

int PollTimeoutMs(Clock::time_point deadline) {
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    // Round up so a wait never ends before its deadline.
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

Clock::time_point Later(Clock::time_point from, unsigned long long ms) {
    return from + std::chrono::milliseconds(ms);
}

bool HungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

}  // namespace

LineProtocol ProtocolOf(const ComSettingsRecord& settings) {
    return settings.Protol == 1 ? LineProtocol::AckNak : LineProtocol::None;
}

std::string PortOpenFailedText(const CPortOpenError& e) {
    std::string text = kMsgPortOpenFailed;
    if (e.kind == PortOpenFailure::None) return text;
    std::string where = e.name;
    if (!e.device.empty() && e.device != e.name) where += " -> " + e.device;
    text += "\n" + where + ": ";
    switch (e.kind) {
        case PortOpenFailure::None:
            break;
        case PortOpenFailure::NoDevice:
            text += "no device belongs to this port name (COM1-COM16 or a device path)";
            break;
        case PortOpenFailure::NotTerminal:
            text += "not a serial port (not a terminal device)";
            break;
        case PortOpenFailure::Busy:
            text += "busy, in use by another program (端口正被其他程序使用)";
            break;
        case PortOpenFailure::System: {
            char buffer[256];
            text += strerror_r(e.error, buffer, sizeof buffer);
            if (e.error == EACCES || e.error == EPERM)
                text += " - 请把用户加入 dialout 组后重新登录 (sudo usermod -aG dialout $USER)";
            else if (e.error == EBUSY)
                text += " - in use by another program (端口正被其他程序使用)";
            break;
        }
    }
    return text;
}

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
    Close();
}

bool CSerialPort::Open() {
    return Open(ComSettings.Get());
}

bool CSerialPort::Open(const ComSettingsRecord& settings) {
    return Open(settings, SerialTimeouts{});
}

bool CSerialPort::Fail(PortOpenFailure kind, int error, const std::string& device) {
    m_openError.kind = kind;
    m_openError.error = error;
    m_openError.device = device;
    return false;
}

bool CSerialPort::Open(const ComSettingsRecord& settings, const SerialTimeouts& timeouts,
                       const CCancelToken* cancel) {
    Close();
    m_ownCancel.Reset();
    m_cancel = &m_ownCancel;
    m_writeFailed = false;
    m_name.assign(settings.COMPort, strnlen(settings.COMPort, sizeof settings.COMPort));
    m_device.clear();
    m_openError = CPortOpenError{};
    m_openError.name = m_name;

    const std::string path = ResolvePortName(m_name);
    if (path.empty()) return Fail(PortOpenFailure::NoDevice, 0, {});
    // The canonical device, so that a link and the device itself are one port.
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return Fail(PortOpenFailure::System, errno, path);
    std::string device(real);
    std::free(real);

    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(PortOpenFailure::System, errno, device);
    if (!isatty(fd)) {
        ::close(fd);
        return Fail(PortOpenFailure::NotTerminal, 0, device);
    }
    // TIOCEXCL keeps other users out but not root; the lock refuses root too.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return Fail(error == EWOULDBLOCK ? PortOpenFailure::Busy : PortOpenFailure::System, error,
                    device);
    }
    ioctl(fd, TIOCEXCL);

    termios tio{};
    m_haveSavedTermios = tcgetattr(fd, &tio) == 0;
    if (m_haveSavedTermios) {
        // Put back at close: the device may be the user's own terminal.
        m_savedTermios = tio;
        ApplyLineSettings(tio, settings);
        SetTermios(fd, TCSANOW, &tio);  // what the driver takes is used
    }
    m_timeouts = timeouts;
    m_device = device;
    // Only an open port holds the token: Close gives it back.
    if (cancel) m_cancel = cancel;
    m_fd.store(fd);
    return true;
}

bool CSerialPort::IsOpen() const {
    return m_fd.load() >= 0;
}

void CSerialPort::Close() {
    int fd = m_fd.exchange(-1);
    if (fd < 0) {
        m_cancel = &m_ownCancel;  // a transfer's token does not outlive its run
        return;
    }
    // Changing the line settings back while bytes are still going out would
    // send the tail at the wrong speed; bytes nobody waits for are dropped.
    if (IsCancelled() || m_writeFailed)
        tcflush(fd, TCOFLUSH);
    else
        DrainOutput(fd);
    if (m_haveSavedTermios) tcsetattr(fd, TCSANOW, &m_savedTermios);
    m_haveSavedTermios = false;
    // Clear the exclusive flag: the tty may outlive us (a pty whose master stays open).
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    ::close(fd);
    m_cancel = &m_ownCancel;
}

void CSerialPort::DrainOutput(int fd) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
    const SerialTimeouts t = m_timeouts;
    // Bounded like a write of what is queued, and never longer than a few
    // seconds: a line held up by flow control must not hold up the close.
    const unsigned long long bound =
        static_cast<unsigned long long>(t.writeTotalMultiplier) * static_cast<unsigned>(queued) +
        t.writeTotalConstant;
    const auto deadline = Later(Clock::now(), std::min<unsigned long long>(bound, kMaxDrainMs));
    pollfd p{WakeFd(), POLLIN, 0};
    while (Clock::now() < deadline && !IsCancelled()) {
        if (ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
        poll(&p, p.fd >= 0 ? 1 : 0, std::min(10, PollTimeoutMs(deadline)));
    }
    tcflush(fd, TCOFLUSH);
}

size_t CSerialPort::QueuedBytes() const {
    int fd = m_fd.load();
    if (fd < 0) return 0;
    int n = 0;
    if (ioctl(fd, FIONREAD, &n) != 0 || n < 0) return 0;
    return static_cast<size_t>(n);
}

void CSerialPort::Purge(bool input, bool output) {
    int fd = m_fd.load();
    if (fd < 0) return;
    if (input && output)
        tcflush(fd, TCIOFLUSH);
    else if (input)
        tcflush(fd, TCIFLUSH);
    else if (output)
        tcflush(fd, TCOFLUSH);
}

void CSerialPort::Cancel() noexcept {
    m_ownCancel.Cancel();
}

bool CSerialPort::IsCancelled() const {
    return m_cancel.load()->IsCancelled();
}

int CSerialPort::WakeFd() const {
    return m_cancel.load()->Fd();
}

short CSerialPort::WaitFd(short events, Clock::time_point deadline, bool untimed) {
    int fd = m_fd.load();
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {WakeFd(), POLLIN, 0}};
        int nfds = fds[1].fd >= 0 ? 2 : 1;
        int timeout = untimed ? -1 : PollTimeoutMs(deadline);
        int r = poll(fds, nfds, timeout);
        if (r < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        if (nfds == 2 && (fds[1].revents & POLLIN)) return 0;
        if (r == 0) {
            if (untimed || Clock::now() >= deadline) return 0;
            continue;
        }
        return fds[0].revents;
    }
}

size_t CSerialPort::Read(void* buffer, size_t n) {
    int fd = m_fd.load();
    if (fd < 0 || n == 0) return 0;
    auto* out = static_cast<unsigned char*>(buffer);
    const SerialTimeouts t = m_timeouts;
    const auto start = Clock::now();
    const bool totalBound = t.readTotalMultiplier != 0 || t.readTotalConstant != 0;
    const bool immediate = t.readInterval == UINT_MAX && !totalBound;
    const auto totalDeadline = Later(
        start, static_cast<unsigned long long>(t.readTotalMultiplier) * n + t.readTotalConstant);
    size_t got = 0;
    Clock::time_point lastByte = start;
    for (;;) {
        ssize_t r = ::read(fd, out + got, n - got);
        if (r > 0) {
            got += static_cast<size_t>(r);
            lastByte = Clock::now();
            if (got == n) return got;
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EINTR) return got;  // failed
        if (r == 0 && HungUp(fd))
            return got;  // raw mode reads 0 both when idle and after a hang-up
        if (immediate || IsCancelled()) return got;

        const bool intervalBound = got > 0 && t.readInterval != 0;
        Clock::time_point deadline = Clock::time_point::max();
        if (totalBound) deadline = totalDeadline;
        if (intervalBound) deadline = std::min(deadline, Later(lastByte, t.readInterval));
        if (deadline != Clock::time_point::max() && Clock::now() >= deadline) return got;

        short rev = WaitFd(POLLIN, deadline, deadline == Clock::time_point::max());
        if (rev == 0) {
            if (IsCancelled()) return got;
            continue;  // the loop checks the deadline
        }
        if ((rev & (POLLHUP | POLLERR | POLLNVAL)) && !(rev & POLLIN)) return got;
    }
}

size_t CSerialPort::Write(const void* buffer, size_t n) {
    int fd = m_fd.load();
    if (fd < 0 || n == 0) return 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    const SerialTimeouts t = m_timeouts;
    const bool bounded = t.writeTotalMultiplier != 0 || t.writeTotalConstant != 0;
    const auto deadline =
        Later(Clock::now(),
              static_cast<unsigned long long>(t.writeTotalMultiplier) * n + t.writeTotalConstant);
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::write(fd, in + done, n - done);
        if (r > 0) {
            done += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EINTR) break;
        if (IsCancelled()) break;
        if (bounded && Clock::now() >= deadline) break;
        short rev = WaitFd(POLLOUT, deadline, !bounded);
        if (rev == 0) {
            if (IsCancelled()) break;
            continue;
        }
        if ((rev & (POLLHUP | POLLERR | POLLNVAL)) && !(rev & POLLOUT)) break;
    }
    if (done < n) m_writeFailed = true;
    return done;
}

size_t CSerialPort::ReadQueued(void* buffer, size_t n) {
    const int fd = m_fd.load();
    if (fd < 0 || n == 0) return 0;
    for (;;) {
        const ssize_t r = ::read(fd, buffer, n);
        if (r > 0) return static_cast<size_t>(r);
        if (r < 0 && errno == EINTR) continue;
        return 0;  // nothing queued, or the far end is gone
    }
}

size_t CSerialPort::ReadArriving(void* buffer, size_t n, Clock::time_point deadline) {
    const int fd = m_fd.load();
    if (fd < 0 || n == 0) return 0;
    for (bool hungUp = false;;) {
        const ssize_t r = ::read(fd, buffer, n);
        if (r > 0) return static_cast<size_t>(r);
        if (r < 0 && errno == EINTR) continue;
        // Raw mode reads 0 both when idle and after a hang-up.
        if ((r < 0 && errno != EAGAIN) || hungUp) return 0;
        if (Clock::now() >= deadline) return 0;
        // The port alone, without the cancel: that is what this read is for.
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, PollTimeoutMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return 0;
        hungUp = (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    }
}

bool CSerialPort::WaitForInput(Clock::time_point deadline) {
    if (m_fd.load() < 0) return false;
    for (;;) {
        // One poll answers for queued input, a cancel and the deadline. Not
        // the queue's count: asking it takes the line's settings lock for
        // writing, which stalls the driver delivering the next bytes.
        const short rev = WaitFd(POLLIN, deadline, false);
        if (rev == 0) {
            if (IsCancelled() || Clock::now() >= deadline) return false;
            continue;
        }
        if ((rev & POLLIN) && !(rev & (POLLHUP | POLLERR | POLLNVAL))) return true;
        if (QueuedBytes() > 0) return true;
        if (rev & (POLLHUP | POLLERR | POLLNVAL)) {
            // The far end is gone: behave like a silent line until the deadline.
            pollfd p{WakeFd(), POLLIN, 0};
            while (!IsCancelled() && Clock::now() < deadline) {
                if (poll(&p, p.fd >= 0 ? 1 : 0, PollTimeoutMs(deadline)) < 0 && errno != EINTR)
                    break;
            }
            return false;
        }
    }
}
