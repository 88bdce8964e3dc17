// The application object: runs the main dialog modally, then ends the process;
// with switches on the command line it runs one action without the dialog.
#pragma once

struct Command;

class UtilityApp {
public:
    // Returns false: there is no message loop after the dialog closes.
    bool InitInstance();
    // One action of the command line; returns the process's exit code.
    int RunCommand(const Command& command);
};
