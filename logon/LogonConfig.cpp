#include "logon/LogonConfig.h"

#include "logon/LogonLayout.h"
#include "registry/RegistryValue.h"

using namespace layout;

bool LogonConfig::Apply() {
    MachineState state;
    ReadMachine(*this, system_, &state);
    return Apply(state);
}

bool LogonConfig::Apply(const MachineState& state) {
    // Without a complete backup nothing may change: it could not be undone.
    // The backup writes only its own copies, so the reading still holds.
    if (!BackupSettings()) return false;
    bool done = RepairGinaChain(state);
    done = SetLogonType(kWelcomeScreenLogonType) && done;
    done = SetMultipleSessions(kMultipleSessionsOff) && done;
    return done;
}

bool LogonConfig::Revert(ChainReport* why, unsigned* unreadable) {
    return RestoreBackup(why, unreadable);
}

// What is due, done; true when every change it needed was made.
__attribute__((noinline)) static bool Act(LogonConfig& logon, Due due, const MachineState& state,
                                          RunReport* report) {
    if (due == kDueRestore) return logon.Apply(state);
    if (due == kDueDisable)
        return logon.RestoreBackup(state, &report->refused, &report->unreadable);
    if (due != kDueRepair) return false;
    // Only what is not in effect: the multiple-sessions values may have
    // been turned on since, on purpose, for Fast User Switching.
    report->redone = state.notInEffect;
    bool done = true;
    if (state.notInEffect & (kOffGina | kOffChainedGina)) done = logon.RepairGinaChain(state);
    if (state.notInEffect & kOffLogonType)
        done = logon.SetLogonType(kWelcomeScreenLogonType) && done;
    return done;
}

// Apart from RunLocked, so that the reading and the steps it calls never
// share one frame: without the C runtime's stack probe no frame may pass a page.
__attribute__((noinline)) static LockedOutcome RunDue(LogonConfig& logon, System& system,
                                                      LogonOperation operation,
                                                      RunReport* report) {
    MachineState state;
    ReadMachine(logon, system, &state);
    Due due = operation == kApplyOperation ? RestoreDue(state) : DisableDue(state);
    report->unreadable = state.unreadable;
    if (due == kDueNothing) return kNothingDue;
    // Nothing is changed when the reading cannot tell what is due.
    RunRecord* record = due == kDueUnknown ? 0 : report->record;
    if (record) {
        record->taken = true;
        logon.RecordValues(record->before);
    }
    bool done = Act(logon, due, state, report);
    if (record) logon.RecordValues(record->after);
    return done ? kChangesMade : kChangeRefused;
}

LockedOutcome LogonConfig::RunLocked(MachineLock& lock, LogonOperation operation,
                                     RunReport* report) {
    RunReport ignored;
    if (!report) report = &ignored;
    report->redone = 0;
    report->unreadable = 0;
    report->refused.trouble = kChainFine;
    report->refused.text[0] = 0;
    if (report->record) report->record->taken = false;
    if (!lock.Acquire()) return kLockUnavailable;
    LockedOutcome outcome = RunDue(*this, system_, operation, report);
    lock.Release();
    return outcome;
}

// Straight through the registry interface: any type, and the size of data
// too long for the buffer, is worth showing. Only "not found" is absent.
// One copy for the reads before and after.
__attribute__((noinline)) void LogonConfig::RecordValues(RecordedValue* values) {
    for (unsigned i = 0; i < kRecordedValueCount; ++i) {
        RecordedValue& value = values[i];
        value.presence = RegistryValue::kUnknown;
        value.type = kRegNone;
        value.size = sizeof(value.data);
        RegKey key = 0;
        long status = registry_.OpenKey(kHkeyLocalMachine, kRecordedValues[i].key, &key);
        if (status == kErrorSuccess) {
            status = registry_.QueryValueEx(key, kRecordedValues[i].name, &value.type, value.data,
                                            &value.size);
            registry_.CloseKey(key);
        }
        if (status == kErrorSuccess || status == kErrorMoreData)
            value.presence = RegistryValue::kPresent;
        else if (status == kErrorFileNotFound)
            value.presence = RegistryValue::kAbsent;
    }
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
