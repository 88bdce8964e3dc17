#include "app/UtilityApp.h"

#include <windows.h>
#include <commctrl.h>

#include "app/CommandLine.h"
#include "platform/Win32MachineLock.h"
#include "platform/Win32Registry.h"
#include "platform/Win32System.h"
#include "ui/MainDialog.h"
#include "ui/Messages.h"

bool UtilityApp::InitInstance() {
    // XP will not create a dialog under the visual-styles manifest until the
    // common controls are initialised.
    InitCommonControls();
    Win32Registry registry;
    Win32System system;
    Win32MachineLock lock;
    MainDialog dialog(registry, system, lock);
    dialog.DoModal();
    return false;
}

int UtilityApp::RunCommand(const Command& command) {
    if (command.quiet) {
        // Nobody may be there to answer Windows' own boxes either: no "insert
        // a disk" for an install folder on an empty drive, no crash dialog.
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    }
    Win32Registry registry;
    Win32System system;
    ProductChecks checks(registry, system);
    LogonConfig logon(registry, system);
    Win32MachineLock lock;
    CommandResult result = PerformCommand(command.action, checks, logon, lock);
    if (!command.quiet && result.message) {
        InitCommonControls();
        ShowStringMessage(0, result.message, &result.logon);
    }
    return result.exitCode;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    static UtilityApp app;
    Command command = ParseCommandLine(GetCommandLineA());
    if (command.action != kShowDialog) return app.RunCommand(command);
    app.InitInstance();
    return 0;
}
