#include "app/UtilityApp.h"

#include <windows.h>
#include <commctrl.h>

#include "Events.h"
#include "app/CommandLine.h"
#include "checks/RunEvent.h"
#include "platform/Win32MachineLock.h"
#include "platform/Win32Registry.h"
#include "platform/Win32System.h"
#include "ui/MainDialog.h"
#include "ui/Messages.h"

static_assert(EVENT_RESTORED == kEventRestored && EVENT_REPAIRED == kEventRepaired &&
                  EVENT_DISABLED == kEventDisabled && EVENT_REFUSED == kEventRefused &&
                  EVENT_LOCK_TAKEN == kEventLockTaken,
              "the events the core writes are the message table's");

namespace {

// Writes text to the standard output the program was given (a file, a pipe:
// cmd's "> file", PsExec, an agent), each line ended by CR LF as Windows'
// tools read them. A program started without one (from Explorer, a
// shortcut) has none and writes nothing; a write that fails changes nothing
// else.
// Apart from RunCommand: with the notice beside it, one frame would pass a
// page, which takes the C runtime's stack probe.
__attribute__((noinline)) void WriteStandardOutput(System& system, const Notice& notice) {
    char text[kNoticeTextSize];
    NoticeText(system, notice, text, sizeof(text));
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!output || output == INVALID_HANDLE_VALUE || !*text) return;
    for (const char* line = text;;) {
        const char* end = line;
        while (*end && *end != '\n') ++end;
        DWORD written = 0;
        if (end > line) WriteFile(output, line, static_cast<DWORD>(end - line), &written, 0);
        WriteFile(output, "\r\n", 2, &written, 0);
        if (!*end) return;
        line = end + 1;
    }
}

}  // namespace

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
    WriteStandardOutput(system, result.notice);
    if (!command.quiet && result.boxed) {
        InitCommonControls();
        ShowNotice(0, result.notice);
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
