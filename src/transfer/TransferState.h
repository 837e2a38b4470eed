// State shared by the transfer workers, their companion and the window.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <string_view>

// The one text that transfers fill, conversions build their results in, and the
// window refreshes from the view before every command. Every access goes
// through the guard, so an append and a copy never interleave.
class CTransferText {
public:
    std::string Get() const {
        std::lock_guard lock(m_mutex);
        return m_text;
    }
    void Set(std::string text) {
        std::lock_guard lock(m_mutex);
        m_text = std::move(text);
    }
    void Append(std::string_view bytes) {
        std::lock_guard lock(m_mutex);
        m_text.append(bytes);
    }
    void Clear() { Set(std::string()); }
    size_t Size() const {
        std::lock_guard lock(m_mutex);
        return m_text.size();
    }

private:
    mutable std::mutex m_mutex;
    std::string m_text;
};

extern CTransferText g_strTransferText;
extern std::atomic<bool> g_bTransferDone;

class CCancelToken;

// Waits the given milliseconds by blocking on the clock; never returns early,
// except when the transfer's token is cancelled.
bool DelayMs(unsigned milliseconds, const CCancelToken* cancel = nullptr);
