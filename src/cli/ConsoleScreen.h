// The operator's side of a transfer on the console, serial or USB: messages
// and the prompt on standard error, and the progress: one line rewritten in
// place while that is a terminal, else a plain line a second and a last one.
// The prompt waits for Enter (end of input counts as Enter; --yes goes on at
// once); an interrupt stops the transfer and so ends the wait.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include "cli/Interrupt.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferScreen.h"

namespace cli {

class CConsoleScreen : public CTransferScreen {
public:
    CConsoleScreen(std::string view, bool yes);
    ~CConsoleScreen() override;
    CConsoleScreen(const CConsoleScreen&) = delete;
    CConsoleScreen& operator=(const CConsoleScreen&) = delete;

    std::string GetViewText() override;
    void SetViewText(const std::string& bytes) override;
    void ShowText(std::string bytes) override;
    void AppendText(std::string_view bytes) override;
    void LockView() override {}
    void UnlockView() override {}
    void ShowMessage(const std::string& utf8) override;
    bool AskOperator(const std::string& utf8, const CCancelToken& cancel) override;
    void MarkModified() override {}
    void ShowProgress(const CTransferProgress& progress) override;

    // How many messages the transfer showed.
    int Messages() const;
    // Ends the progress line so the next message starts on a line of its own.
    void EndProgressLine();

private:
    mutable std::mutex m_mutex;
    std::string m_view;
    bool m_yes;
    bool m_terminal = false;
    bool m_progressShown = false;
    int m_messages = 0;
    std::chrono::steady_clock::time_point m_lastProgress{};
};

// Runs the transfer; a signal stops it in order and is named on standard
// error. Returns the worker's exit code, or -1 when it could not start.
int RunOnConsole(TransferKind kind, CConsoleScreen& screen, CInterruptWatch& watch, int& signal);

// The end of a download: what arrived (complete, timed out or interrupted)
// goes to OUTPUT, or to a jvs-received file when OUTPUT cannot take it.
// `code` is the worker's (1: complete). Returns the exit status, 128 + the
// signal when one came.
int HandOverReceived(int code, int signal, const CConsoleScreen& screen, const std::string& output);

}  // namespace cli
