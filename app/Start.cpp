// The process entry point. The program links no C runtime, so this is where
// Windows starts it: it gathers what WinMain takes and ends the process with
// WinMain's result.
#include <windows.h>

namespace {

// The command line after the program's name, as a C runtime would pass it:
// the name ends at its closing quote, or else at the first blank.
LPSTR ArgumentsOf(LPSTR line) {
    if (*line == '"') {
        ++line;
        while (*line && *line != '"') ++line;
        if (*line == '"') ++line;
    } else {
        while (static_cast<unsigned char>(*line) > ' ') ++line;
    }
    while (*line && static_cast<unsigned char>(*line) <= ' ') ++line;
    return line;
}

}  // namespace

extern "C" void WinMainCRTStartup() {
    STARTUPINFOA startup;
    startup.dwFlags = 0;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess(WinMain(GetModuleHandleA(0), 0, ArgumentsOf(GetCommandLineA()), show));
}
