// The program's main window: one sentence and the buttons "Restore",
// "Disable" and "Close".
#pragma once

#include "checks/ProductChecks.h"
#include "logon/LogonConfig.h"
#include "platform/Dialog.h"

class MainDialog : public Dialog {
public:
    MainDialog(Registry& registry, System& system, MachineLock& lock);

    // "Disable" enabled exactly when applied is non-zero, "Restore" exactly when
    // it is zero or another program has undone Restore; "Close" is never touched.
    void SetButtonState(int applied, bool undone = false);
    // A modal box with string id, caption "Lumivale" and an OK button.
    void ShowMessage(int id);

    void Apply();
    void Revert();
    void OnStartupCheck();

protected:
    BOOL OnInitDialog();
    void OnOK();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);

private:
    bool PaintMinimised();
    bool IsEnabled(int id);
    // The buttons as the marker, and what another program undid, are now.
    void SetButtonsFromMachine();
    // Ends an operation: buttons after the outcome, then the notice.
    void Finish(LogonOperation operation, LockedOutcome outcome, const RunReport& report);

    HICON icon_;
    ProductChecks checks_;
    LogonConfig logon_;
    MachineLock& lock_;
};
