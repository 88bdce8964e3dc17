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
    kExitNotShown = 2,                // /status: the marker there, the next logon will not show it
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

// What /status says of a machine as read: 3 when the chain Winlogon loads
// next does not load; else 1603 when a read it needed was refused; else 1
// without the marker, 2 with it when Restore is not in effect or something
// keeps the Welcome Screen off, 0 when the next logon shows it.
CommandResult StatusResult(const MachineState& state, ProductChecks& checks);

// Runs one action other than kShowDialog with the dialog's own checks and
// operations: the startup check, then, under the machine-wide lock, the
// operation as the machine's reading finds it due, as the dialog's buttons
// do (LogonConfig::RunLocked); "nothing to do" on a machine whose reading
// was refused in part ends with 1603. /status reads the machine without the
// lock (StatusResult). A run of /restore or /disable that changed the
// machine or was refused leaves its event in the Application log
// (checks/RunEvent.h); otherwise it shows and writes nothing itself.
CommandResult PerformCommand(CommandAction action, ProductChecks& checks, LogonConfig& logon,
                             MachineLock& lock);
