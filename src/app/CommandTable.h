// Command id -> handler. Areas register their handlers; a command without one
// is shown disabled.
#pragma once

#include <functional>
#include <map>

class CCommandTable {
public:
    struct Entry {
        std::function<void()> handler;
        bool blockedDuringTransfer = true;
        bool onlyDuringTransfer = false;  // the stop command
    };

    void Register(unsigned id, std::function<void()> handler, bool blockedDuringTransfer,
                  bool onlyDuringTransfer = false);
    const Entry* Find(unsigned id) const;
    bool IsEnabled(unsigned id, bool transferRunning) const;
    void Clear() { m_entries.clear(); }

private:
    std::map<unsigned, Entry> m_entries;
};

CCommandTable& TheCommandTable();

// Whether a transfer is running now (commands that would disturb it are off).
bool AppTransferRunning();
