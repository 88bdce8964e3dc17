// Saving the logon settings into the product key, and writing them back.
#include <cstring>

#include "logon/LogonConfig.h"
#include "logon/LogonLayout.h"
#include "registry/RegistryValue.h"

using namespace layout;

int LogonConfig::IsApplied() {
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    std::uint32_t marker = 0;
    return product.ReadBinaryDword(kAppliedMarker, kRegBinary, &marker);
}

// A marker read can fail although a marker is there; taking that for "not
// applied" would overwrite the backup of the original settings.
RegistryValue::Presence LogonConfig::MarkerPresence() {
    if (IsApplied()) return RegistryValue::kPresent;
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    std::uint32_t size = 0;
    RegistryValue::Presence marker = product.QuerySize(kAppliedMarker, &size);
    // Data longer than 4 bytes is no marker; shorter data should have been read.
    if (marker == RegistryValue::kPresent && size > kDwordSize) return RegistryValue::kAbsent;
    return marker == RegistryValue::kAbsent ? RegistryValue::kAbsent : RegistryValue::kUnknown;
}

// A stale "Zelt_" copy from an earlier, aborted backup must not stand in for
// a source that gets no copy now: Revert would write it back. The un-prefixed
// copies are kept on purpose; later Reverts use an older one.
bool LogonConfig::DropStaleCopy(const char* backupName) {
    if (std::strncmp(backupName, kBackupPrefix, sizeof(kBackupPrefix) - 1) != 0) return true;
    return DeleteValue(kHkeyLocalMachine, kProductKey, backupName) == 1;
}

// Each Save* copies one value into the product key and succeeds when the copy
// was written or the source does not exist. A source that exists but cannot be
// read cannot be saved, so it fails the backup: nothing may change that could
// not be undone. Only a ChainTo longer than the buffer gets no copy and lets
// the backup go on (required false): Apply never writes Winlogon's, and the
// chain repair cannot read the Wayfold GINA's either, so it leaves it alone.
bool LogonConfig::SaveText(const char* sourceKey, const char* sourceName,
                           const char* backupName, bool required) {
    char buffer[kTextBufferSize] = {0};
    std::uint32_t count = kTextBufferSize;
    RegistryValue source(registry_, kHkeyLocalMachine, sourceKey);
    if (!source.ReadBytes(sourceName, kRegSz, buffer, &count)) {
        bool noCopy = required ? PresenceOf(kHkeyLocalMachine, sourceKey, sourceName) ==
                                     RegistryValue::kAbsent
                               : NeverReadable(kHkeyLocalMachine, sourceKey, sourceName,
                                               kTextBufferSize);
        return noCopy && DropStaleCopy(backupName);
    }
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    return product.WriteBytes(backupName, kRegSz, buffer, count) == 1;
}

bool LogonConfig::SaveDword(const char* sourceKey, const char* sourceName,
                            const char* backupName, std::uint32_t* value) {
    RegistryValue source(registry_, kHkeyLocalMachine, sourceKey);
    if (!source.ReadDword(sourceName, kRegDword, value))
        return PresenceOf(kHkeyLocalMachine, sourceKey, sourceName) == RegistryValue::kAbsent &&
               DropStaleCopy(backupName);
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    return product.WriteDword(backupName, kRegDword, *value) == 1;
}

bool LogonConfig::BackupSettings() {
    RegistryValue::Presence marker = MarkerPresence();
    if (marker == RegistryValue::kPresent) return true;  // the first Apply's backup is kept
    if (marker == RegistryValue::kUnknown) return false;

    bool saved = SaveText(kWinlogonKey, kGinaDll, kBackupGinaDll, true);
    saved = saved && SaveText(kWinlogonKey, kChainTo, kBackupChainTo, false);
    std::uint32_t value = 1;
    saved = saved && SaveDword(kWinlogonKey, kLogonType, kBackupLogonType, &value);
    value = 1;
    saved = saved && SaveDword(kWinlogonKey, kAllowMultipleTsSessions, kBackupMultipleSessions,
                               &value);
    saved = saved && SaveDword(kPolicyKey, kAllowMultipleTsSessions,
                               kBackupMultipleSessionsPolicy, &value);
    // The chain repair rewrites it, so it is saved as well; one it cannot read
    // it leaves alone.
    saved = saved && SaveText(kChainedGinaKey, kChainTo, kBackupChainedGinaChainTo, false);
    if (!saved) return false;
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    return product.WriteBinaryDword(kAppliedMarker, kRegBinary, kAppliedMarkerData) == 1;
}

// Each Restore* writes one saved value back and succeeds when it was written,
// no copy was saved, or the copy can never be read (its live value is then
// left as it is).
bool LogonConfig::RestoreText(const char* backupName, const char* targetKey,
                              const char* targetName) {
    char buffer[kTextBufferSize] = {0};
    std::uint32_t count = kTextBufferSize;
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    if (!product.ReadBytes(backupName, kRegSz, buffer, &count))
        return NeverReadable(kHkeyLocalMachine, kProductKey, backupName, kTextBufferSize);
    RegistryValue target(registry_, kHkeyLocalMachine, targetKey);
    return target.WriteBytes(targetName, kRegSz, buffer, count) == 1;
}

bool LogonConfig::RestoreDword(const char* backupName, const char* targetKey,
                               const char* targetName, std::uint32_t* value) {
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    // A copy too long to read leaves the number undefined, and a copy shorter
    // than 4 bytes read next into it would be padded with that.
    std::uint32_t before = *value;
    if (!product.ReadDword(backupName, kRegDword, value)) {
        *value = before;
        return NeverReadable(kHkeyLocalMachine, kProductKey, backupName, kDwordSize);
    }
    RegistryValue target(registry_, kHkeyLocalMachine, targetKey);
    return target.WriteDword(targetName, kRegDword, *value) == 1;
}

bool LogonConfig::RestoreBackup(ChainReport* why, unsigned* unreadable) {
    MachineState state;
    ReadMachine(*this, system_, &state);
    return RestoreBackup(state, why, unreadable);
}

bool LogonConfig::RestoreBackup(const MachineState& state, ChainReport* why,
                                unsigned* unreadable) {
    unsigned ignored = 0;
    if (!DisableKeepsChain(*this, state, why, unreadable ? unreadable : &ignored)) return false;
    // Every value is tried; the backup is only deleted once all are back.
    // Winlogon's GinaDLL goes back only once what the Wayfold GINA loads
    // next is in place.
    bool restored = RestoreText(kBackupChainedGinaChainTo, kChainedGinaKey, kChainTo) &&
                    RestoreText(kBackupGinaDll, kWinlogonKey, kGinaDll);
    restored = RestoreText(kBackupChainTo, kWinlogonKey, kChainTo) && restored;
    std::uint32_t value = 1;
    restored = RestoreDword(kBackupLogonType, kWinlogonKey, kLogonType, &value) && restored;
    value = 1;
    restored = RestoreDword(kBackupMultipleSessions, kWinlogonKey, kAllowMultipleTsSessions,
                            &value) && restored;
    restored = RestoreDword(kBackupMultipleSessionsPolicy, kPolicyKey, kAllowMultipleTsSessions,
                            &value) && restored;
    if (!restored) return false;
    return DeleteBackup();
}

// The marker vouches for a complete backup set, so it goes first, as soon as
// every saved value is back: the mirror of the backup writing it last. A copy
// whose deletion is then refused is a stale copy without a marker, which the
// next backup replaces or removes; a marker left over an incomplete set would
// make the next Apply skip its backup and lose the original settings.
bool LogonConfig::DeleteBackup() {
    if (!DeleteValue(kHkeyLocalMachine, kProductKey, kAppliedMarker)) return false;
    const char* const copies[] = {kBackupGinaDll, kBackupChainTo, kBackupLogonType,
                                  kBackupChainedGinaChainTo};
    bool deleted = true;
    for (std::size_t i = 0; i < sizeof(copies) / sizeof(copies[0]); ++i)
        deleted = DeleteValue(kHkeyLocalMachine, kProductKey, copies[i]) && deleted;
    return deleted;
}
