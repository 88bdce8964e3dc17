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

// A source without a copy must not find a stale "Zelt_" copy from an earlier,
// aborted backup in its place: Revert would write that back. The un-prefixed
// copies are kept on purpose; later Reverts use an older one.
bool LogonConfig::SourceAbsent(const char* sourceKey, const char* sourceName,
                               const char* backupName) {
    if (PresenceOf(kHkeyLocalMachine, sourceKey, sourceName) != RegistryValue::kAbsent)
        return false;
    if (std::strncmp(backupName, kBackupPrefix, sizeof(kBackupPrefix) - 1) != 0) return true;
    return DeleteValue(kHkeyLocalMachine, kProductKey, backupName) == 1;
}

// Each Save* copies one value into the product key and succeeds when the copy
// was written or the source does not exist. A source that exists but cannot be
// read cannot be saved, so it fails as well.
bool LogonConfig::SaveText(const char* sourceKey, const char* sourceName,
                           const char* backupName) {
    char buffer[kTextBufferSize] = {0};
    std::uint32_t count = kTextBufferSize;
    RegistryValue source(registry_, kHkeyLocalMachine, sourceKey);
    if (!source.ReadBytes(sourceName, kRegSz, buffer, &count))
        return SourceAbsent(sourceKey, sourceName, backupName);
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    return product.WriteBytes(backupName, kRegSz, buffer, count) == 1;
}

bool LogonConfig::SaveDword(const char* sourceKey, const char* sourceName,
                            const char* backupName, std::uint32_t* value) {
    RegistryValue source(registry_, kHkeyLocalMachine, sourceKey);
    if (!source.ReadDword(sourceName, kRegDword, value))
        return SourceAbsent(sourceKey, sourceName, backupName);
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    return product.WriteDword(backupName, kRegDword, *value) == 1;
}

bool LogonConfig::BackupSettings() {
    RegistryValue::Presence marker = MarkerPresence();
    if (marker == RegistryValue::kPresent) return true;  // the first Apply's backup is kept
    if (marker == RegistryValue::kUnknown) return false;

    bool saved = SaveText(kWinlogonKey, kGinaDll, kBackupGinaDll);
    saved = saved && SaveText(kWinlogonKey, kChainTo, kBackupChainTo);
    std::uint32_t value = 1;
    saved = saved && SaveDword(kWinlogonKey, kLogonType, kBackupLogonType, &value);
    value = 1;
    saved = saved && SaveDword(kWinlogonKey, kAllowMultipleTsSessions, kBackupMultipleSessions,
                               &value);
    saved = saved && SaveDword(kPolicyKey, kAllowMultipleTsSessions,
                               kBackupMultipleSessionsPolicy, &value);
    // The chain repair rewrites it, so it is saved as well.
    saved = saved && SaveText(kChainedGinaKey, kChainTo, kBackupChainedGinaChainTo);
    if (!saved) return false;
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    return product.WriteBinaryDword(kAppliedMarker, kRegBinary, kAppliedMarkerData) == 1;
}

// Each Restore* writes one saved value back and succeeds when it was written
// or no copy was saved.
bool LogonConfig::RestoreText(const char* backupName, const char* targetKey,
                              const char* targetName) {
    char buffer[kTextBufferSize] = {0};
    std::uint32_t count = kTextBufferSize;
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    if (!product.ReadBytes(backupName, kRegSz, buffer, &count))
        return PresenceOf(kHkeyLocalMachine, kProductKey, backupName) == RegistryValue::kAbsent;
    RegistryValue target(registry_, kHkeyLocalMachine, targetKey);
    return target.WriteBytes(targetName, kRegSz, buffer, count) == 1;
}

bool LogonConfig::RestoreDword(const char* backupName, const char* targetKey,
                               const char* targetName, std::uint32_t* value) {
    RegistryValue product(registry_, kHkeyLocalMachine, kProductKey);
    if (!product.ReadDword(backupName, kRegDword, value))
        return PresenceOf(kHkeyLocalMachine, kProductKey, backupName) == RegistryValue::kAbsent;
    RegistryValue target(registry_, kHkeyLocalMachine, targetKey);
    return target.WriteDword(targetName, kRegDword, *value) == 1;
}

bool LogonConfig::RestoreBackup() {
    // Every value is tried; the backup is only deleted once all are back.
    bool restored = RestoreText(kBackupGinaDll, kWinlogonKey, kGinaDll);
    restored = RestoreText(kBackupChainTo, kWinlogonKey, kChainTo) && restored;
    std::uint32_t value = 1;
    restored = RestoreDword(kBackupLogonType, kWinlogonKey, kLogonType, &value) && restored;
    value = 1;
    restored = RestoreDword(kBackupMultipleSessions, kWinlogonKey, kAllowMultipleTsSessions,
                            &value) && restored;
    restored = RestoreDword(kBackupMultipleSessionsPolicy, kPolicyKey, kAllowMultipleTsSessions,
                            &value) && restored;
    restored = RestoreText(kBackupChainedGinaChainTo, kChainedGinaKey, kChainTo) && restored;
    if (!restored) return false;
    return DeleteBackup();
}

bool LogonConfig::DeleteBackup() {
    const char* const copies[] = {kBackupGinaDll, kBackupChainTo, kBackupLogonType,
                                  kBackupChainedGinaChainTo};
    bool deleted = true;
    for (std::size_t i = 0; i < sizeof(copies) / sizeof(copies[0]); ++i)
        deleted = DeleteValue(kHkeyLocalMachine, kProductKey, copies[i]) && deleted;
    // The marker goes last, and only when no stale copy is left for a later
    // Apply to mistake for its own.
    if (!deleted) return false;
    return DeleteValue(kHkeyLocalMachine, kProductKey, kAppliedMarker) == 1;
}
