#include "ui/MainDialog.h"

#include "checks/Notice.h"
#include "ui/AboutDialog.h"
#include "ui/AppName.h"
#include "ui/Messages.h"
#include "ui/resource.h"

MainDialog::MainDialog(Registry& registry, System& system, MachineLock& lock)
    : Dialog(IDD_MAIN, 0),
      icon_(LoadIconA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      checks_(registry, system),
      logon_(registry, system),
      lock_(lock) {}

BOOL MainDialog::OnInitDialog() {
    HWND hwnd = Handle();
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    if (menu) {
        char text[256] = {0};
        if (LoadStringA(GetModuleHandleA(0), IDS_ABOUTBOX, text, sizeof(text)) > 0) {
            AppendMenuA(menu, MF_SEPARATOR, 0, 0);
            AppendMenuA(menu, MF_STRING, CMD_SHOW_ABOUT, text);
        }
    }
    SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    if (HWND description = GetDlgItem(hwnd, IDC_DESCRIPTION)) {
        char text[256] = {0};
        LoadStringA(GetModuleHandleA(0), IDS_DESCRIPTION, text, sizeof(text));
        SetWindowTextA(description, text);
    }
    SetWindowTextA(hwnd, kAppName);
    // Runs the check once the dialog is on screen, from the message queue.
    PostMessageA(hwnd, WM_STARTUP_CHECK, 0, 0);
    return TRUE;
}

void MainDialog::SetButtonState(int applied, bool undone) {
    if (HWND disable = GetDlgItem(Handle(), IDC_DISABLE)) EnableWindow(disable, applied != 0);
    if (HWND restore = GetDlgItem(Handle(), IDOK)) EnableWindow(restore, applied == 0 || undone);
}

// With the marker there, "Restore" is offered again once another program has
// undone it, as /restore would then act; not when that cannot be told.
void MainDialog::SetButtonsFromMachine() {
    int applied = checks_.IsApplied();
    unsigned undone = applied ? logon_.RestoreUndone() : 0;
    SetButtonState(applied, undone != 0 && undone != kUndoneUnknown);
}

void MainDialog::ShowMessage(int id) { ShowStringMessage(Handle(), id); }

bool MainDialog::IsEnabled(int id) {
    HWND control = GetDlgItem(Handle(), id);
    return control && IsWindowEnabled(control);
}

// A WM_COMMAND can arrive while the button is disabled (Enter on a dialog whose
// default button is disabled, or one sent by another program); the operations
// run only from the state in which their button is enabled.
void MainDialog::OnOK() {
    if (IsEnabled(IDOK)) Apply();
}

void MainDialog::Finish(LogonOperation operation, LockedOutcome outcome,
                        const RunReport& report) {
    if (outcome == kChangesMade)
        SetButtonState(operation == kApplyOperation);
    else
        SetButtonsFromMachine();
    Notice notice;
    OperationNotice(operation, outcome, report, checks_, &notice);
    ShowNotice(Handle(), notice);
}

// Under the lock, with the marker as it is then: Restore skips a backup
// another copy has taken meanwhile. The lock is given back before the notice,
// which waits for the user.
void MainDialog::Apply() {
    RunReport report;
    LockedOutcome outcome = logon_.RunLocked(lock_, kApplyOperation, false, &report);
    Finish(kApplyOperation, outcome, report);
}

void MainDialog::Revert() {
    RunReport report;
    LockedOutcome outcome = logon_.RunLocked(lock_, kRevertOperation, false, &report);
    Finish(kRevertOperation, outcome, report);
}

static_assert(kNotWindowsXp == IDS_ONLY_XP && kProductNotInstalled == IDS_NOT_INSTALLED &&
                  kWrongProductVersion == IDS_WRONG_VERSION,
              "startup failures name their messages");

void MainDialog::OnStartupCheck() {
    StartupFailureReason failure = checks_.StartupFailure();
    if (failure) {
        ShowMessage(failure);
        return;
    }
    SetButtonsFromMachine();
}

// Draws the icon centred in the client area while the window is minimised.
bool MainDialog::PaintMinimised() {
    HWND hwnd = Handle();
    if (!IsIconic(hwnd)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    SendMessageA(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    int iconWidth = GetSystemMetrics(SM_CXICON);
    int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(hwnd, &client);
    int x = (client.right - client.left - iconWidth + 1) / 2;
    int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(hwnd, &paint);
    return true;
}

bool MainDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR* result) {
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == CMD_SHOW_ABOUT) {
            AboutDialog about(Handle());
            about.DoModal();
            return true;
        }
        return false;
    case WM_PAINT:
        return PaintMinimised();
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<INT_PTR>(icon_);
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_DISABLE && HIWORD(wParam) == BN_CLICKED) {
            if (IsEnabled(IDC_DISABLE)) Revert();
            return true;
        }
        if (LOWORD(wParam) == CMD_HELP) {
            ShowMessage(IDS_DESCRIPTION);
            return true;
        }
        return false;
    case WM_HELP:  // F1
        ShowMessage(IDS_DESCRIPTION);
        return true;
    case WM_STARTUP_CHECK:
        OnStartupCheck();
        return true;
    }
    return false;
}
