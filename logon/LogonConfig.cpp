#include "logon/LogonConfig.h"

#include "logon/LogonLayout.h"
#include "registry/RegistryValue.h"

using namespace layout;

bool LogonConfig::Apply() {
    // Without a complete backup nothing may change: it could not be undone.
    if (!BackupSettings()) return false;
    bool done = RepairGinaChain();
    done = SetLogonType(kWelcomeScreenLogonType) && done;
    done = SetMultipleSessions(kMultipleSessionsOff) && done;
    return done;
}

bool LogonConfig::Revert(ChainReport* why) { return RestoreBackup(why); }

LockedOutcome LogonConfig::RunLocked(MachineLock& lock, LogonOperation operation,
                                     bool onlyWhenDue, RunReport* report) {
    RunReport ignored;
    if (!report) report = &ignored;
    report->undone = 0;
    report->refused.trouble = kChainFine;
    report->refused.text[0] = 0;
    if (!lock.Acquire()) return kLockUnavailable;
    bool apply = operation == kApplyOperation;
    RegistryValue::Presence marker =
        onlyWhenDue || apply ? MarkerPresence() : RegistryValue::kPresent;
    if (apply && marker == RegistryValue::kPresent) report->undone = RestoreUndone();
    // A marker the registry will not show says neither that the operation
    // is due nor that it is not, and neither does an undone Restore that
    // cannot be told: those are refused reads.
    bool due = true, refused = false;
    if (onlyWhenDue) {
        refused = marker == RegistryValue::kUnknown ||
                  (apply && marker == RegistryValue::kPresent && report->undone == kUndoneUnknown);
        due = apply ? marker == RegistryValue::kAbsent || report->undone != 0
                    : marker == RegistryValue::kPresent;
    }
    LockedOutcome outcome = kNothingDue;
    if (refused) {
        outcome = kChangeRefused;
    } else if (due) {
        bool done = apply ? Apply() : Revert(&report->refused);
        outcome = done ? kChangesMade : kChangeRefused;
    }
    lock.Release();
    return outcome;
}

int LogonConfig::SelectsWelcomeScreen(const char* key, bool* present) {
    RegistryValue value(registry_, kHkeyLocalMachine, key);
    std::uint32_t size = 0;
    RegistryValue::Presence presence = value.QuerySize(kLogonType, &size);
    *present = presence == RegistryValue::kPresent;
    if (presence == RegistryValue::kUnknown) return -1;
    if (presence == RegistryValue::kAbsent || size != kDwordSize) return 0;
    std::uint32_t logonType = 0;
    if (!value.ReadDword(kLogonType, kRegDword, &logonType)) return -1;
    return value.ValueType() == kRegDword && logonType != 0 ? 1 : 0;
}

bool LogonConfig::SetLogonType(std::uint32_t value) {
    RegistryValue winlogon(registry_, kHkeyLocalMachine, kWinlogonKey);
    return winlogon.WriteDword(kLogonType, kRegDword, value) == 1;
}

bool LogonConfig::SetMultipleSessions(std::uint32_t value) {
    RegistryValue winlogon(registry_, kHkeyLocalMachine, kWinlogonKey);
    bool done = winlogon.WriteDword(kAllowMultipleTsSessions, kRegDword, value) == 1;
    // The write creates the policy key and value when they do not exist.
    RegistryValue policy(registry_, kHkeyLocalMachine, kPolicyKey);
    return policy.WriteDword(kAllowMultipleTsSessions, kRegDword, value) == 1 && done;
}

RegistryValue::Presence LogonConfig::PresenceOf(RegKey root, const char* path,
                                                const char* name) {
    RegistryValue value(registry_, root, path);
    std::uint32_t size = 0;
    return value.QuerySize(name, &size);
}

// Whether a value that could not be read is one no read will ever deliver:
// absent, or longer than the buffer. Anything else (a refused read) may
// succeed on another try.
bool LogonConfig::NeverReadable(RegKey root, const char* path, const char* name,
                                std::uint32_t bufferSize) {
    RegistryValue value(registry_, root, path);
    std::uint32_t size = 0;
    RegistryValue::Presence presence = value.QuerySize(name, &size);
    return presence == RegistryValue::kAbsent ||
           (presence == RegistryValue::kPresent && size > bufferSize);
}
