#include "app/CommandLine.h"

#include <new>

#include "checks/MessageIds.h"

namespace {

// Longer than any switch: a longer argument is no switch.
const int kArgumentSize = 16;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// ASCII only: the locale's rules (a dotless i, for one) must not decide
// whether a switch is known.
char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Copies the next argument, blanks inside quotes kept and the quotes
// dropped, into `argument`; *fits is false when it was cut short. Returns
// where the argument ends, or null when there is none.
const char* NextArgument(const char* p, char* argument, bool* fits) {
    while (IsBlank(*p)) ++p;
    if (!*p) return 0;
    int length = 0;
    bool quoted = false;
    *fits = true;
    for (; *p && (quoted || !IsBlank(*p)); ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (length < kArgumentSize - 1) {
            argument[length++] = *p;
        } else {
            *fits = false;
        }
    }
    argument[length] = 0;
    return p;
}

bool Matches(const char* text, const char* name) {
    while (*name && Fold(*text) == *name) ++text, ++name;
    return !*text && !*name;
}

enum Switch { kUnknownSwitch, kQuietSwitch, kActionSwitch };

Switch Classify(const char* argument, CommandAction* action) {
    if (argument[0] != '/' && argument[0] != '-') return kUnknownSwitch;
    static const struct { const char* name; CommandAction action; } kActions[] = {
        {"restore", kRestoreCommand},
        {"disable", kDisableCommand},
        {"status", kStatusCommand},
        {"?", kUsageCommand},
    };
    const char* name = argument + 1;
    if (Matches(name, "quiet")) return kQuietSwitch;
    for (unsigned i = 0; i < sizeof(kActions) / sizeof(kActions[0]); ++i) {
        if (Matches(name, kActions[i].name)) {
            *action = kActions[i].action;
            return kActionSwitch;
        }
    }
    return kUnknownSwitch;
}

CommandResult Result(int exitCode, const Notice& notice, bool boxed = true) {
    CommandResult result = {exitCode, notice, boxed};
    return result;
}

CommandResult Result(int exitCode, int message) { return Result(exitCode, MessageNotice(message)); }

// Builds what an operation's run says, from the machine as read after it.
// Apart from Operate: a notice and a reading together would pass a page,
// which takes the C runtime's stack probe.
__attribute__((noinline)) CommandResult OperationResult(LogonOperation operation,
                                                        LockedOutcome outcome,
                                                        const RunReport& report,
                                                        ProductChecks& checks) {
    MachineState now;
    checks.ReadMachine(&now);
    CommandResult result;
    OperationNotice(operation, outcome, report, now, checks, &result.notice);
    result.exitCode = outcome == kChangesMade     ? kExitRebootRequired
                      : outcome == kChangeRefused ? kExitInstallFailure
                      : outcome == kNothingDue    ? kExitSuccess
                                                  : kExitAlreadyRunning;
    // Nothing to do on a machine whose reading was refused in part is no
    // answer a script may take for "fine".
    if (outcome == kNothingDue && result.notice.unreadable) result.exitCode = kExitInstallFailure;
    // Where there was nothing to do, only the standard output hears it,
    // unless nobody can log on at the next start.
    result.boxed = result.exitCode != kExitSuccess || result.notice.chain.trouble != kChainFine;
    return result;
}

// The run's event is written once the lock is given back and what the run
// says is known, before anything is shown.
__attribute__((noinline)) CommandResult Operate(LogonOperation operation, ProductChecks& checks,
                                                LogonConfig& logon, MachineLock& lock) {
    RunReport report;
    report.record = new (std::nothrow) RunRecord;
    LockedOutcome outcome = logon.RunLocked(lock, operation, &report);
    CommandResult result = OperationResult(operation, outcome, report, checks);
    checks.ReportRun(kRunFromSwitch, operation, outcome, report, result.notice);
    delete report.record;
    return result;
}

__attribute__((noinline)) CommandResult Status(ProductChecks& checks) {
    MachineState state;
    checks.ReadMachine(&state);
    return StatusResult(state, checks);
}

}  // namespace

CommandResult StatusResult(const MachineState& m, ProductChecks& checks) {
    CommandResult result = {kExitNotRestored, MessageNotice(IDS_STATUS_NOT_RESTORED), true};
    bool blockers = false;
    if (m.unreadable) {
        result.exitCode = kExitInstallFailure;
        result.notice = RefusalNotice(checks);
    } else if (m.marker == RegistryValue::kPresent) {
        blockers = m.blockers != 0;
        result.exitCode = m.notInEffect || blockers ? kExitNotShown : kExitSuccess;
        result.notice.message = m.notInEffect ? IDS_STATUS_NOT_IN_EFFECT
                                : blockers    ? IDS_STATUS_NOT_SHOWN
                                              : IDS_STATUS_SHOWN;
        result.notice.notInEffect = m.notInEffect;
    }
    DescribeMachine(m, blockers, &result.notice);
    // Said once: a LogonType that is not in effect is the same line.
    if (m.notInEffect & kOffLogonType) result.notice.blockers &= ~kBlockedByLogonType;
    // Nobody can log on: that outranks every other answer.
    if (m.chainState == kChainBroken) result.exitCode = kExitChainBroken;
    return result;
}

const char* ArgumentsOf(const char* p) {
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p) ++p;
    } else {
        while (*p && !IsBlank(*p)) ++p;
    }
    while (IsBlank(*p)) ++p;
    return p;
}

Command ParseCommandLine(const char* commandLine) {
    Command command = {kShowDialog, false};
    if (!commandLine) return command;
    // Each switch at most once, exactly one action.
    int actions = 0, quiets = 0, unknown = 0;
    char argument[kArgumentSize];
    bool fits = true;
    const char* p = ArgumentsOf(commandLine);
    while ((p = NextArgument(p, argument, &fits)) != 0) {
        CommandAction action = kInvalidCommand;
        Switch kind = fits ? Classify(argument, &action) : kUnknownSwitch;
        if (kind == kQuietSwitch) {
            ++quiets;
        } else if (kind == kActionSwitch) {
            if (++actions == 1) command.action = action;
        } else {
            ++unknown;
        }
    }
    command.quiet = quiets > 0;
    if (actions + quiets + unknown == 0) return command;
    if (unknown || actions != 1 || quiets > 1) command.action = kInvalidCommand;
    return command;
}

CommandResult PerformCommand(CommandAction action, ProductChecks& checks, LogonConfig& logon,
                             MachineLock& lock) {
    if (action == kUsageCommand) return Result(kExitSuccess, IDS_USAGE);
    if (action != kRestoreCommand && action != kDisableCommand && action != kStatusCommand)
        return Result(kExitInvalidParameter, IDS_USAGE);

    // The same refusals as the dialog's, each with a code of its own.
    switch (checks.StartupFailure()) {
    case kStartupPassed: break;
    case kNotWindowsXp: return Result(kExitPlatformUnsupported, IDS_ONLY_XP);
    case kProductNotInstalled: return Result(kExitUnknownProduct, IDS_NOT_INSTALLED);
    case kWrongProductVersion: return Result(kExitProductVersion, IDS_WRONG_VERSION);
    }

    if (action == kStatusCommand) return Status(checks);

    // Each operation runs only from the state in which the dialog would
    // enable its button; otherwise there is nothing to do, and only the
    // standard output is told so.
    LogonOperation operation = action == kRestoreCommand ? kApplyOperation : kRevertOperation;
    return Operate(operation, checks, logon, lock);
}
