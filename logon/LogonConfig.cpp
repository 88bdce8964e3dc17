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

bool LogonConfig::Revert() { return RestoreBackup(); }

LockedOutcome LogonConfig::RunLocked(MachineLock& lock, LogonOperation operation,
                                     bool onlyWhenDue) {
    if (!lock.Acquire()) return kLockUnavailable;
    LockedOutcome outcome = kNothingDue;
    RegistryValue::Presence marker = onlyWhenDue ? MarkerPresence() : RegistryValue::kPresent;
    // A marker the registry will not show says neither that the operation
    // is due nor that it is not: that is a refused read.
    if (marker == RegistryValue::kUnknown) {
        outcome = kChangeRefused;
    } else if (!onlyWhenDue ||
               (marker == RegistryValue::kPresent) == (operation == kRevertOperation)) {
        bool done = operation == kApplyOperation ? Apply() : Revert();
        outcome = done ? kChangesMade : kChangeRefused;
    }
    lock.Release();
    return outcome;
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
