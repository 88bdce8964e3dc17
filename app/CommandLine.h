// Switches for running without the dialog, from a startup script, a management
// agent or a remote shell: what the command line asks for, and the exit code
// and message each run ends with. Needs no C runtime and no windows.h.
#pragma once

#include "checks/Notice.h"
#include "checks/ProductChecks.h"
#include "logon/LogonConfig.h"

enum CommandAction {
    kShowDialog,      // no switches at all
    kRestoreCommand,  // /restore
    kDisableCommand,  // /disable
    kStatusCommand,   // /status
    kUsageCommand,    // /?
    kInvalidCommand   // anything else, a second action, /quiet alone
};

struct Command {
    CommandAction action;
    bool quiet;  // no window and no message box
};

// Where the arguments begin in a whole command line: past the program's path
// (up to its closing quote when it starts with one, else to the first blank)
// and the blanks after it, as the C runtime splits it.
const char* ArgumentsOf(const char* commandLine);

// Reads the process's whole command line as GetCommandLineA gives it: the
// program's path (quoted or not), then switches written with "/" or "-" in
// any case. A null or empty line shows the dialog.
Command ParseCommandLine(const char* commandLine);

// Exit codes, as Windows Installer uses them, so that deployment tools read
// them without being taught.
enum ExitCode {
    kExitSuccess = 0,                 // nothing to do; /status: restored and shown
    kExitNotRestored = 1,             // /status: eligible, not restored
    kExitNotShown = 2,                // /status: restored, but the next logon will not show it
    kExitChainBroken = 3,             // /status: nobody can log on, whatever the marker
    kExitInvalidParameter = 87,       // ERROR_INVALID_PARAMETER
    kExitInstallFailure = 1603,       // ERROR_INSTALL_FAILURE: a change was refused
    kExitUnknownProduct = 1605,       // ERROR_UNKNOWN_PRODUCT: Telvaro not installed
    kExitAlreadyRunning = 1618,       // ERROR_INSTALL_ALREADY_RUNNING: another copy is changing it
    kExitPlatformUnsupported = 1633,  // ERROR_INSTALL_PLATFORM_UNSUPPORTED: not XP
    kExitProductVersion = 1638,       // ERROR_PRODUCT_VERSION: not Telvaro 10.5
    kExitRebootRequired = 3010        // ERROR_SUCCESS_REBOOT_REQUIRED
};

struct CommandResult {
    int exitCode;
    // What the run says: on its standard output, and unless quiet in a box
    // when one is due (boxed): where the dialog would show no message,
    // because there was nothing to do, only the standard output hears it.
    Notice notice;
    bool boxed;
};

// Runs one action other than kShowDialog with the dialog's own checks and
// operations: the startup check, then, under the machine-wide lock, the
// operation when it is due: /disable with the applied marker, /restore
// without it or once another program has undone Restore (a marker, or an
// undone Restore, that cannot be read is a refusal, never "nothing to do");
// /status reads what the next logon shows, without the lock, and the same
// refusal when the marker cannot be read. Shows and writes nothing itself.
CommandResult PerformCommand(CommandAction action, ProductChecks& checks, LogonConfig& logon,
                             MachineLock& lock);
