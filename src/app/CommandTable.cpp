#include "app/CommandTable.h"

#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "transfer/TransferManager.h"

void CCommandTable::Register(unsigned id, std::function<void()> handler, bool blockedDuringTransfer,
                             bool onlyDuringTransfer) {
    m_entries[id] = Entry{std::move(handler), blockedDuringTransfer, onlyDuringTransfer};
}

const CCommandTable::Entry* CCommandTable::Find(unsigned id) const {
    const auto it = m_entries.find(id);
    return it == m_entries.end() || !it->second.handler ? nullptr : &it->second;
}

bool CCommandTable::IsEnabled(unsigned id, bool transferRunning) const {
    // Nothing in the program stands behind these two toolbar buttons.
    if (id == cmd::kToolbarSpare1 || id == cmd::kToolbarSpare2) return false;
    const Entry* entry = Find(id);
    if (!entry) return false;
    return transferRunning ? !entry->blockedDuringTransfer : !entry->onlyDuringTransfer;
}

CCommandTable& TheCommandTable() {
    static CCommandTable table;
    return table;
}

bool AppTransferRunning() {
    // The probe holds the ports and the view's text as a transfer does.
    return IsTransferRunning() || IsProbeRunning();
}

void RegisterCommand(unsigned id, std::function<void()> handler, bool blockedDuringTransfer) {
    TheCommandTable().Register(id, std::move(handler), blockedDuringTransfer);
}

void RegisterStopCommand(unsigned id, std::function<void()> handler) {
    TheCommandTable().Register(id, std::move(handler), false, true);
}
