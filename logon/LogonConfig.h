// The two operations behind "Restore" and "Disable": save the logon settings
// once, take Telvaro's GINA out of the Winlogon chain and select the Welcome
// Screen; and write the saved settings back.
#pragma once

#include <cstdint>

#include "logon/MachineState.h"
#include "registry/Registry.h"
#include "registry/RegistryValue.h"
#include "system/MachineLock.h"
#include "system/System.h"

enum LogonOperation { kApplyOperation, kRevertOperation };
// How an operation was started: a button of the dialog, or its switch.
enum RunSource { kRunFromDialog, kRunFromSwitch };

// A logon value as the event of a run shows it: read raw, whatever its type.
struct RecordedValue {
    RegistryValue::Presence presence;  // kUnknown: the registry refused the read
    std::uint32_t type;
    std::uint32_t size;  // more than the buffer: only the type and size were read
    unsigned char data[layout::kTextBufferSize];
};

// The values of layout::kRecordedValues before and after a run's changes,
// read under the lock, so that they are this run's and no other copy's.
struct RunRecord {
    bool taken;  // false: nothing was due, so nothing was read or changed
    RecordedValue before[layout::kRecordedValueCount];
    RecordedValue after[layout::kRecordedValueCount];
};

// What a locked run found beside its outcome.
struct RunReport {
    unsigned redone;      // NotInEffect: what a Restore with the marker there put in place
    ChainReport refused;  // why Disable would not give the chain back, when that was why
    unsigned unreadable;  // Unreadable: reads refused that decided the run
    RunRecord* record;    // given by the caller, or null for none

    RunReport() : redone(0), unreadable(0), record(0) {
        refused.trouble = kChainFine;
        refused.text[0] = 0;
    }
};

// What a locked run of an operation came to.
enum LockedOutcome {
    kChangesMade,     // the operation ran and every change it needed was made
    kChangeRefused,   // a change was refused, or a read that decides what is due
    kNothingDue,      // the machine, as read, has nothing for the operation to do
    kLockUnavailable  // another copy kept the lock; nothing was read or changed
};

class LogonConfig {
public:
    LogonConfig(Registry& registry, System& system) : registry_(registry), system_(system) {}

    // Each returns true when every registry change it needed was made. On
    // false the applied marker tells how far it got: a failed backup leaves
    // the machine untouched, a failed restore keeps the whole backup set, and
    // a failed clean-up after a complete restore has already removed the marker.
    bool Apply();
    bool Apply(const MachineState& state);  // with the machine as just read
    // why, when given, tells when the GINA chain it would give back is why
    // not; *unreadable (when given) the reads refused on the way.
    bool Revert(ChainReport* why = 0, unsigned* unreadable = 0);

    // The operation under the machine-wide lock, taken before the machine is
    // read and given back after the last write, so that a copy that waited
    // sees what the one before it did. It runs as the reading finds it due:
    // the whole of Restore without the marker, with it only what of Restore
    // is not in effect; Disable with the marker. A reading that cannot tell
    // refuses it. report, when given, tells what the run found; with its
    // record, the values before and after whatever was due.
    LockedOutcome RunLocked(MachineLock& lock, LogonOperation operation, RunReport* report = 0);

    // Whether a key's LogonType selects the Welcome Screen: only a REG_DWORD
    // of 4 bytes that is not 0 does; -1 when it cannot be read. *present
    // tells whether it is there.
    int SelectsWelcomeScreen(const char* key, bool* present);

    // 1 when the applied marker is there: a value of its name with at most 4
    // bytes of data, whatever its type and contents.
    int IsApplied();
    // The same, telling a marker the registry will not show (unknown) from
    // one that is not there.
    RegistryValue::Presence MarkerPresence();

    // Reads each of layout::kRecordedValues into values, changing nothing.
    void RecordValues(RecordedValue* values);

    // Steps, public so that they can be exercised one at a time.
    bool BackupSettings();
    bool RepairGinaChain();  // on a reading of its own
    bool RepairGinaChain(const MachineState& state);
    bool SetLogonType(std::uint32_t value);
    bool SetMultipleSessions(std::uint32_t value);
    bool RestoreBackup(ChainReport* why = 0, unsigned* unreadable = 0);
    bool RestoreBackup(const MachineState& state, ChainReport* why, unsigned* unreadable);
    bool DeleteBackup();

    // Helpers of the repair, on 260-byte text buffers. ReadText fails for a
    // value that fills the buffer without a terminator; DeleteValue succeeds
    // when the value is gone, also when it was never there.
    int ReadText(RegKey root, const char* path, const char* name, char* buffer);
    int WriteText(RegKey root, const char* path, const char* name, std::uint32_t type,
                  const char* buffer);
    int DeleteValue(RegKey root, const char* path, const char* name);
    int FileExists(const char* path);
    // Appends a backslash (unless base ends in one, a character of its own)
    // and name to base, a 260-byte buffer. 0, with base unchanged, when an
    // argument is missing or the result would not fit.
    int JoinPath(char* base, const char* name);
    // A GINA file found as named or in the system directory.
    int FindGina(const char* name, const char* systemDirectory);
    // The system's own GINA, by name or by its path in the system directory.
    bool IsSystemGina(const char* text, const char* systemDirectory);
    // Whether a GINA name (upper case) occurs in a text, ignoring case and any
    // directory part; only from the start of a character.
    bool Names(const char* text, const char* upperName);
    // Two texts the same but for the case of ASCII letters.
    bool SameText(const char* a, const char* b);
    // A text setting as every decision judges it (see TextState).
    void ReadTextValue(const char* key, const char* name, TextValue* value);
    // The system directory in a 260-byte buffer; empty when it does not fit.
    void SystemDirectoryText(char* systemDirectory);

private:
    RegistryValue::Presence PresenceOf(RegKey root, const char* path, const char* name);
    bool DropStaleCopy(const char* backupName);
    bool NeverReadable(RegKey root, const char* path, const char* name, std::uint32_t bufferSize);
    bool SaveText(const char* sourceKey, const char* sourceName, const char* backupName,
                  bool required);
    bool SaveDword(const char* sourceKey, const char* sourceName, const char* backupName,
                   std::uint32_t* value);
    bool RestoreText(const char* backupName, const char* targetKey, const char* targetName);
    bool RestoreDword(const char* backupName, const char* targetKey, const char* targetName,
                      std::uint32_t* value);
    bool RepairChainedGina(const MachineState& state, const char* systemDirectory);
    bool ChainedGinaLeavesProduct(const MachineState& state, const char* systemDirectory);

    Registry& registry_;
    System& system_;
};
