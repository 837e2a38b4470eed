#include "sim/SimInstrument.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "sim/SimSession.h"

using sim_detail::MsUntil;
using sim_detail::SplitPieces;

CSimInstrument::CSimInstrument(CSimOptions options) : m_options(std::move(options)) {}

CSimInstrument::~CSimInstrument() {
    Stop();
}

bool CSimInstrument::Start(std::string* error) {
    if (m_thread.joinable()) return true;
    if (!m_pty.Create(error)) return false;
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    // Opens and closes of the port's device tell when the PC holds the port.
    m_inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotifyFd >= 0 &&
        inotify_add_watch(m_inotifyFd, m_pty.SlavePath().c_str(), IN_OPEN | IN_CLOSE) < 0) {
        ::close(m_inotifyFd);
        m_inotifyFd = -1;
    }
    if (m_wakeFd < 0) {
        if (error) *error = "eventfd failed";
        return false;
    }
    m_thread = std::thread([this] { Run(); });
    // The link last: whoever finds it finds the simulator watching the port.
    if (!m_options.linkPath.empty() && !m_pty.LinkAs(m_options.linkPath, error)) {
        Stop();
        return false;
    }
    return true;
}

void CSimInstrument::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    if (m_wakeFd >= 0) eventfd_write(m_wakeFd, 1);
    if (m_thread.joinable()) m_thread.join();
    m_pty.RemoveLink();
    m_pty.CloseMaster();
    if (m_inotifyFd >= 0) ::close(m_inotifyFd);
    if (m_wakeFd >= 0) ::close(m_wakeFd);
    m_inotifyFd = m_wakeFd = -1;
}

void CSimInstrument::Trigger(int delayMs) {
    {
        std::lock_guard lock(m_mutex);
        m_triggerPending = true;
        m_triggerDelayMs = delayMs < 0 ? 0 : delayMs;
    }
    if (m_wakeFd >= 0) eventfd_write(m_wakeFd, 1);
}

bool CSimInstrument::WaitUntilDone(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_transfersDone > 0 || m_hungUp; });
}

bool CSimInstrument::WaitForBytesIn(size_t n, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_wireIn.size() >= n; });
}

std::string CSimInstrument::Received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}
bool CSimInstrument::ReceivedCut() const {
    std::lock_guard lock(m_mutex);
    return m_receivedCut;
}
std::string CSimInstrument::WireIn() const {
    std::lock_guard lock(m_mutex);
    return m_wireIn;
}
std::string CSimInstrument::WireOut() const {
    std::lock_guard lock(m_mutex);
    return m_wireOut;
}
int CSimInstrument::TransfersDone() const {
    std::lock_guard lock(m_mutex);
    return m_transfersDone;
}
int CSimInstrument::Greetings() const {
    std::lock_guard lock(m_mutex);
    return m_greetings;
}
int CSimInstrument::Sessions() const {
    std::lock_guard lock(m_mutex);
    return m_sessions;
}
bool CSimInstrument::HasHungUp() const {
    std::lock_guard lock(m_mutex);
    return m_hungUp;
}

void CSimInstrument::SetEventHandler(std::function<void(SimEvent, const std::string&)> handler) {
    std::lock_guard lock(m_mutex);
    m_eventHandler = std::move(handler);
}

void CSimInstrument::Emit(SimEvent event, const std::string& detail) {
    std::function<void(SimEvent, const std::string&)> handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_eventHandler;
    }
    if (handler) handler(event, detail);
}

bool CSimInstrument::AppendKept(std::string& record, std::string_view bytes) const {
    const size_t room =
        record.size() >= m_options.keepLimit ? 0 : m_options.keepLimit - record.size();
    record.append(bytes.substr(0, room));
    return bytes.size() <= room;
}

void CSimInstrument::CompleteTransfer(SimEvent event, const std::string& detail) {
    Update([&] { ++m_transfersDone; });
    Emit(event, detail);
}

void CSimInstrument::HangUp() {
    m_pty.CloseMaster();
    m_lineClosed = true;
    Update([&] { m_hungUp = true; });
    Emit(SimEvent::HungUp, "");
}

void CSimInstrument::ReadOpenEvents(std::optional<CSimSession>& session, int& opens) {
    alignas(inotify_event) char buf[4096];
    ssize_t len;
    while ((len = ::read(m_inotifyFd, buf, sizeof buf)) > 0) {
        for (char* p = buf; p < buf + len;) {
            auto* ev = reinterpret_cast<inotify_event*>(p);
            if ((ev->mask & IN_OPEN) && opens++ == 0 && !m_lineClosed) {
                session.emplace(*this, m_pieces);
                Update([&] { ++m_sessions; });
                Emit(SimEvent::PortOpened, "");
            }
            if ((ev->mask & IN_CLOSE) && opens > 0 && --opens == 0 && session) {
                session->End();
                session.reset();
                Emit(SimEvent::PortClosed, "");
            }
            p += sizeof(inotify_event) + ev->len;
        }
    }
}

bool CSimInstrument::TakeTrigger(int& delayMs) {
    eventfd_t ignored;
    eventfd_read(m_wakeFd, &ignored);
    std::lock_guard lock(m_mutex);
    const bool trigger = m_triggerPending && !m_stop;
    delayMs = m_triggerDelayMs;
    m_triggerPending = false;
    return trigger;
}

void CSimInstrument::Run() {
    const bool qmx210 = m_options.family == SimFamily::Qmx210;
    if (m_options.sendData) m_pieces = SplitPieces(*m_options.sendData, qmx210 && m_options.ackNak);
    // Without a way to see opens, the PC is taken to be there all the time.
    int opens = m_inotifyFd >= 0 ? 0 : 1;
    std::optional<CSimSession> session;
    if (opens > 0) session.emplace(*this, m_pieces);

    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
        }
        pollfd fds[3];
        int n = 0;
        fds[n++] = {m_wakeFd, POLLIN, 0};
        int inotifyIndex = -1, masterIndex = -1;
        if (m_inotifyFd >= 0) {
            inotifyIndex = n;
            fds[n++] = {m_inotifyFd, POLLIN, 0};
        }
        if (session && !m_lineClosed) {
            masterIndex = n;
            fds[n++] = {m_pty.Master(), session->PollEvents(), 0};
        }
        int timeout = -1;
        if (!m_lineClosed && m_hangUpAt != Clock::time_point::max()) timeout = MsUntil(m_hangUpAt);
        if (session) session->ConsiderDeadlines(timeout);
        const int r = poll(fds, static_cast<nfds_t>(n), timeout);
        if (r < 0 && errno != EINTR) return;

        if (inotifyIndex >= 0 && (fds[inotifyIndex].revents & POLLIN))
            ReadOpenEvents(session, opens);
        int delayMs = 0;
        if ((fds[0].revents & POLLIN) && TakeTrigger(delayMs) && session) session->Trigger(delayMs);
        if (!m_lineClosed && Clock::now() >= m_hangUpAt) HangUp();
        if (!session || m_lineClosed) continue;
        if (masterIndex >= 0 && (fds[masterIndex].revents & POLLIN)) session->Drain();
        session->Step();
    }
}
