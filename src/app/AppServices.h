// What command handlers outside the shell use of the application and window.
// Implemented by the application object.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <string_view>

class QWidget;
class CTransferScreen;

// Read or replace the whole edit-view text (bytes, code page 936). Replacing it
// does not mark the document modified.
bool GetViewText(std::string& text);
bool SetViewText(std::string text);
// Replaces the view's text with data of another kind (a conversion's result,
// the probe's status): when it differs, the document becomes untitled and
// modified, so it never overwrites the file the view came from.
bool ShowNewData(std::string_view text);
// Replaces the view's text with an edited form of the same data (list
// editing, prism correction): the document keeps its file and is marked
// modified when the text differs.
bool ShowEditedData(std::string_view text);

// A command begins: the first text it replaces is kept as one undo step.
void BeginUndoStep();
// Offers to save a modified document; false: the user cancelled.
bool SaveModifiedDocument();

// Parent for modal dialogs and message boxes (ui/MessageSeam.h).
QWidget* AppMainWindow();

// The window's implementation of the worker interface.
CTransferScreen& AppTransferScreen();

// Registers the handler of a command id. A command with a handler is enabled;
// one whose handler reads or replaces the view text or uses the port
// (blockedDuringTransfer) is disabled while a transfer runs.
void RegisterCommand(unsigned id, std::function<void()> handler, bool blockedDuringTransfer = true);

// The window's connection probe runs on a thread of its own: whether one
// runs (commands that would disturb it are off, like during a transfer), and
// stopping it, waiting for its end (leaving the program).
bool IsProbeRunning();
void StopProbe();

// A command that only a running transfer enables (停止传输).
void RegisterStopCommand(unsigned id, std::function<void()> handler);

// Each area registers its commands here (one file each).
void RegisterConvertCommands();
void RegisterLinkCommands();
void RegisterTransferCommands();
void RegisterEditCommands();
void RegisterExportCommands();
void RegisterPlanCommands();
