// The program's main window: one sentence and the buttons "Restore",
// "Disable" and "Close".
#pragma once

#include "checks/ProductChecks.h"
#include "logon/LogonConfig.h"
#include "platform/Dialog.h"
#include "platform/Win32MachineLock.h"

class MainDialog : public Dialog {
public:
    MainDialog(Registry& registry, System& system, Win32MachineLock& lock);

    // "Disable" enabled exactly when applied is non-zero, "Restore" when it
    // is zero or part of Restore is due again; "Close" is never touched.
    void SetButtonState(int applied, bool restoreDue = false);
    // A modal box with string id, caption "Lumivale" and an OK button.
    void ShowMessage(int id);

    void Apply();
    void Revert();
    void OnStartupCheck();

protected:
    BOOL OnInitDialog();
    void OnOK();
    void OnCancel();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);

private:
    bool PaintMinimised();
    bool IsEnabled(int id);
    void EnableButton(int id, bool enabled);
    void SetDescription(int id);
    // The buttons as a reading finds the machine: each enabled when its
    // press is due; the first reads it now.
    void SetButtonsFromMachine();
    void SetButtonsFrom(const MachineState& state);
    // Runs an operation as the machine is due for it, like its switch; then
    // the buttons from the machine as it is after it, then the notice.
    void Run(LogonOperation operation);
    void Finish(LogonOperation operation, LockedOutcome outcome, const RunReport& report);
    // While another copy holds the lock: the buttons off and a word that it waits.
    void ShowWaiting(bool waiting);

    HICON icon_;
    ProductChecks checks_;
    LogonConfig logon_;
    Win32MachineLock& lock_;
    bool waiting_;
};
