// The only way a transfer worker reaches the screen. The desktop program
// implements it with the window (calls carried to the user-interface thread),
// `jvs` with the console, the tests with a recorder.
#pragma once

#include <string>

class CTransferScreen {
public:
    virtual ~CTransferScreen() = default;

    // The view's whole text, as bytes (code page 936).
    virtual std::string GetViewText() = 0;
    // Replaces the view's text; the caret and scroll position are not moved.
    virtual void SetViewText(const std::string& bytes) = 0;
    // Progress display: replaces the view's text and moves the caret to its end.
    // An implementation may coalesce calls (the last one always wins).
    // Takes the text by value: a whole transfer's text is handed over, not copied.
    virtual void ShowText(std::string bytes) = 0;
    virtual void LockView() = 0;
    virtual void UnlockView() = 0;
    // A modal message (UTF-8); returns when the user has closed it.
    virtual void ShowMessage(const std::string& utf8) = 0;
    // The operator hand-shake: returns when the operator has confirmed.
    virtual void AskOperator(const std::string& utf8) = 0;
    // A download put data into the view: the document now needs saving.
    virtual void MarkModified() = 0;
    // Bytes received or records sent so far, for a status line.
    virtual void ShowProgress(long long /*units*/, bool /*receiving*/) {}
    // Called on the starting thread before the worker runs.
    virtual void TransferStarted() {}
    // Called on the worker's thread once the worker has returned (the window
    // re-enables its commands).
    virtual void TransferEnded() {}
    // The program is exiting during a transfer: a prompt or message the worker
    // waits on must return at once, and later calls must not block.
    virtual void Abandon() {}
};
