#include "ui/MainDialog.h"

#include <new>

#include "checks/Notice.h"
#include "ui/AboutDialog.h"
#include "ui/AppName.h"
#include "ui/Messages.h"
#include "ui/resource.h"

MainDialog::MainDialog(Registry& registry, System& system, Win32MachineLock& lock)
    : Dialog(IDD_MAIN, 0),
      icon_(LoadIconA(GetModuleHandleA(0), MAKEINTRESOURCEA(IDR_MAINFRAME))),
      checks_(registry, system),
      logon_(registry, system),
      lock_(lock),
      waiting_(false) {}

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
    SetDescription(IDS_DESCRIPTION);
    SetWindowTextA(hwnd, kAppName);
    lock_.KeepResponsive(hwnd);
    // Runs the check once the dialog is on screen, from the message queue.
    PostMessageA(hwnd, WM_STARTUP_CHECK, 0, 0);
    return TRUE;
}

void MainDialog::SetDescription(int id) {
    if (HWND description = GetDlgItem(Handle(), IDC_DESCRIPTION)) {
        char text[256] = {0};
        LoadStringA(GetModuleHandleA(0), id, text, sizeof(text));
        SetWindowTextA(description, text);
    }
}

void MainDialog::EnableButton(int id, bool enabled) {
    if (HWND button = GetDlgItem(Handle(), id)) EnableWindow(button, enabled);
}

void MainDialog::SetButtonState(int applied, bool restoreDue) {
    EnableButton(IDC_DISABLE, applied != 0);
    EnableButton(IDOK, applied == 0 || restoreDue);
}

void MainDialog::SetButtonsFrom(const MachineState& state) {
    SetButtonState(OffersDisable(state), OffersRestore(state));
}

// "Restore" is offered with the marker there too, once part of Restore is
// not in effect, as /restore would then act; not when that cannot be told.
__attribute__((noinline)) void MainDialog::SetButtonsFromMachine() {
    MachineState state;
    checks_.ReadMachine(&state);
    SetButtonsFrom(state);
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

// Apart from Finish: a notice and a reading in one frame would pass a page,
// which takes the C runtime's stack probe. The event goes to the log before
// the box, which waits for the user.
__attribute__((noinline)) static void Tell(HWND owner, LogonOperation operation,
                                           LockedOutcome outcome, const RunReport& report,
                                           const MachineState& now, ProductChecks& checks) {
    Notice notice;
    OperationNotice(operation, outcome, report, now, checks, &notice);
    checks.ReportRun(kRunFromDialog, operation, outcome, report, notice);
    ShowNotice(owner, notice);
}

__attribute__((noinline)) void MainDialog::Finish(LogonOperation operation,
                                                  LockedOutcome outcome,
                                                  const RunReport& report) {
    MachineState now;
    checks_.ReadMachine(&now);
    SetButtonsFrom(now);
    Tell(Handle(), operation, outcome, report, now, checks_);
}

// Under the lock, with the machine as it is then: a press whose work another
// copy has done meanwhile has nothing to do, and says so. The lock is given
// back before the notice, which waits for the user.
void MainDialog::Run(LogonOperation operation) {
    RunReport report;
    report.record = new (std::nothrow) RunRecord;
    LockedOutcome outcome = logon_.RunLocked(lock_, operation, &report);
    Finish(operation, outcome, report);
    delete report.record;
}

void MainDialog::Apply() { Run(kApplyOperation); }

void MainDialog::Revert() { Run(kRevertOperation); }

void MainDialog::ShowWaiting(bool waiting) {
    waiting_ = waiting;
    SetDescription(waiting ? IDS_WAITING : IDS_DESCRIPTION);
    if (waiting) {
        EnableButton(IDOK, false);
        EnableButton(IDC_DISABLE, false);
    }
    // The wait ends in the operation, which sets the buttons after it.
    EnableButton(IDCANCEL, !waiting);
}

// Closing while the press waits for the lock would leave its change to run
// behind a window that is gone: "Close" waits with it, at most the lock's wait.
void MainDialog::OnCancel() {
    if (!waiting_) Dialog::OnCancel();
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
    case WM_LOCK_WAIT:
        ShowWaiting(wParam != 0);
        return true;
    }
    return false;
}
