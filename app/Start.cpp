// The process entry point. The program links no C runtime, so this is where
// Windows starts it: it gathers what WinMain takes and ends the process with
// WinMain's result.
#include <windows.h>

#include "app/CommandLine.h"

extern "C" void WinMainCRTStartup() {
    STARTUPINFOA startup;
    startup.dwFlags = 0;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    LPSTR line = GetCommandLineA();
    LPSTR arguments = line + (ArgumentsOf(line) - line);
    ExitProcess(WinMain(GetModuleHandleA(0), 0, arguments, show));
}
