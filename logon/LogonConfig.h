// The two operations behind "Restore" and "Disable": save the logon settings
// once, take Telvaro's GINA out of the Winlogon chain and select the Welcome
// Screen; and write the saved settings back.
#pragma once

#include <cstdint>

#include "registry/Registry.h"
#include "registry/RegistryValue.h"
#include "system/MachineLock.h"
#include "system/System.h"

enum LogonOperation { kApplyOperation, kRevertOperation };

// What a locked run of an operation came to.
enum LockedOutcome {
    kChangesMade,     // the operation ran and every change it needed was made
    kChangeRefused,   // the operation ran and a change was refused
    kNothingDue,      // only when due: the marker, as read, says the operation is not
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
    bool Revert();

    // The operation under the machine-wide lock, taken before the marker is
    // read and given back after the last write, so that a copy that waited
    // sees what the one before it did. With onlyWhenDue it runs only from the
    // state in which its button is enabled: Apply without the marker, Revert
    // with it; a marker that cannot be read then refuses it.
    LockedOutcome RunLocked(MachineLock& lock, LogonOperation operation, bool onlyWhenDue);

    // 1 when the applied marker is there: a value of its name with at most 4
    // bytes of data, whatever its type and contents.
    int IsApplied();
    // The same, telling a marker the registry will not show (unknown) from
    // one that is not there.
    RegistryValue::Presence MarkerPresence();

    // Steps, public so that they can be exercised one at a time.
    bool BackupSettings();
    bool RepairGinaChain();
    bool SetLogonType(std::uint32_t value);
    bool SetMultipleSessions(std::uint32_t value);
    bool RestoreBackup();
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

private:
    enum ChainState { kChainLoads, kChainBroken, kChainUnknown };
    void GetSystemDirectoryText(char* systemDirectory);
    int TextAfterRestore(const char* backupName, const char* key, const char* name, char* text);
    ChainState FollowChain(bool restoredGina, bool restoredChainTo, const char* systemDirectory);
    bool RestoredGinasLoad();
    RegistryValue::Presence PresenceOf(RegKey root, const char* path, const char* name);
    bool DropStaleCopy(const char* backupName);
    bool NeverReadable(RegKey root, const char* path, const char* name, std::uint32_t bufferSize);
    bool TextNeverReadable(RegKey root, const char* path, const char* name);
    bool SaveText(const char* sourceKey, const char* sourceName, const char* backupName,
                  bool required);
    bool SaveDword(const char* sourceKey, const char* sourceName, const char* backupName,
                   std::uint32_t* value);
    bool RestoreText(const char* backupName, const char* targetKey, const char* targetName);
    bool RestoreDword(const char* backupName, const char* targetKey, const char* targetName,
                      std::uint32_t* value);
    bool RepairChainedGina(const char* systemDirectory);

    Registry& registry_;
    System& system_;
};
