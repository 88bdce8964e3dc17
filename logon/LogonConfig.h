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

// What another program undid of a Restore that the marker vouches for, as
// flags; none while it holds. A repair or reinstall of Telvaro, or Windows
// Installer's resiliency, may put its GINA back, and select the classic logon.
enum RestoreUndone {
    kUndoneGina = 1,         // Winlogon's GinaDLL names Telvaro's GINA again
    kUndoneChainedGina = 2,  // the Wayfold GINA first, its ChainTo naming Telvaro's
    kUndoneLogonType = 4,    // no policy LogonType, and Winlogon's selects no Welcome Screen
    kUndoneUnknown = 8       // alone: a value needed to tell could not be read
};

// Why a GINA chain Winlogon would load does not load: a logon stops there.
enum ChainTrouble {
    kChainFine = 0,
    kChainMissingGina,  // a GINA it names is found neither as named nor in the system directory
    kChainNoNextGina,   // Telvaro's or the Wayfold GINA names no GINA to load after it
    kChainLoops         // a GINA comes round again
};

struct ChainReport {
    ChainTrouble trouble;
    // The GINA that is missing or has nothing after it; for a loop the
    // chain, "A -> B -> A". Terminated.
    char text[3 * 260 + 16];
};

// What a locked run found beside its outcome.
struct RunReport {
    unsigned undone;      // before Restore, with the marker there: what had been undone
    ChainReport refused;  // why Disable would not give the chain back, when that was why
};

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
    // why, when given, tells when a GINA chain it would give back is why not.
    bool Revert(ChainReport* why = 0);

    // The operation under the machine-wide lock, taken before the marker is
    // read and given back after the last write, so that a copy that waited
    // sees what the one before it did. With onlyWhenDue it runs only from the
    // state in which its button is enabled: Apply without the marker, Revert
    // with it; a marker that cannot be read then refuses it.
    // Restore, when due, is also due with the marker there once another
    // program has undone it (RestoreUndone), and refused when that cannot be
    // told. report, when given, tells what the run found.
    LockedOutcome RunLocked(MachineLock& lock, LogonOperation operation, bool onlyWhenDue,
                            RunReport* report = 0);

    // What has been undone of Restore, read afresh, as Apply's repair would
    // recognise Telvaro's GINA; kUndoneUnknown alone when a read was refused.
    // Meaningful only with the marker there.
    unsigned RestoreUndone();
    // Whether the chain Winlogon loads at the next start loads, and if not
    // why; kChainFine also when a read was refused.
    void NextChain(ChainReport* report);
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

    // Steps, public so that they can be exercised one at a time.
    bool BackupSettings();
    bool RepairGinaChain();
    bool SetLogonType(std::uint32_t value);
    bool SetMultipleSessions(std::uint32_t value);
    bool RestoreBackup(ChainReport* why = 0);
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
    ChainState FollowChain(bool restoredGina, bool restoredChainTo, const char* systemDirectory,
                           ChainReport* report = 0);
    ChainState Broken(ChainReport* report, ChainTrouble trouble, const char* text);
    bool RestoredGinasLoad(ChainReport* report);
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
    bool ChainedGinaLeavesProduct(const char* systemDirectory);

    Registry& registry_;
    System& system_;
};
