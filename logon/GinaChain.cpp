// Taking Telvaro's GINA out of the Winlogon chain, whether Winlogon loads it
// directly or the Wayfold GINA loads it after itself.
#include <cstring>

#include "logon/LogonConfig.h"
#include "logon/LogonLayout.h"
#include "registry/RegistryValue.h"
#include "system/NarrowText.h"

using namespace layout;

namespace {

// Upper-case copy (ASCII letters only) of a 260-byte text buffer. A
// double-byte character stays as it is: its second byte may be an ASCII
// letter's, and folding it would make it another character.
void Fold(System& system, const char* text, char* folded) {
    std::memset(folded, 0, kTextBufferSize);
    for (std::size_t i = 0; i < kTextBufferSize - 1 && text[i];) {
        std::size_t size = narrow::CharLength(system, text + i);
        for (std::size_t k = 0; k < size && i < kTextBufferSize - 1; ++k, ++i)
            folded[i] = size == 1 && text[i] >= 'a' && text[i] <= 'z'
                            ? static_cast<char>(text[i] - 'a' + 'A')
                            : text[i];
    }
}

// Whether a GINA name occurs in a text, ignoring case and any directory part;
// only from the start of a character, never from a second byte.
bool Names(System& system, const char* text, const char* upperName) {
    char folded[kTextBufferSize];
    Fold(system, text, folded);
    std::size_t length = std::strlen(upperName);
    for (const char* p = folded; *p; p += narrow::CharLength(system, p))
        if (std::strncmp(p, upperName, length) == 0) return true;
    return false;
}

// Copies text into a 260-byte buffer; false, leaving it empty, when it does not fit.
bool CopyPath(char* target, const char* text) {
    std::memset(target, 0, kTextBufferSize);
    std::size_t length = std::strlen(text);
    if (length >= kTextBufferSize) return false;
    std::memcpy(target, text, length);
    return true;
}

bool SameText(System& system, const char* a, const char* b) {
    char foldedA[kTextBufferSize], foldedB[kTextBufferSize];
    Fold(system, a, foldedA);
    Fold(system, b, foldedB);
    return std::strncmp(foldedA, foldedB, kTextBufferSize) == 0;
}

}  // namespace

int LogonConfig::ReadText(RegKey root, const char* path, const char* name, char* buffer) {
    RegistryValue value(registry_, root, path);
    std::uint32_t count = kTextBufferSize;
    if (!value.ReadBytes(name, kRegSz, buffer, &count)) {
        // What a refused or too long read leaves in the buffer is undefined.
        std::memset(buffer, 0, kTextBufferSize);
        return 0;
    }
    // Text that fills the buffer without a terminator would be read past its end;
    // bytes after a terminator do not matter.
    if (!std::memchr(buffer, 0, kTextBufferSize)) {
        std::memset(buffer, 0, kTextBufferSize);
        return 0;
    }
    return 1;
}

int LogonConfig::WriteText(RegKey root, const char* path, const char* name, std::uint32_t type,
                           const char* buffer) {
    // The text, its terminator and zeros up to 260 bytes, whatever followed
    // the terminator in the caller's buffer.
    char data[kTextBufferSize];
    if (!CopyPath(data, buffer)) return 0;
    RegistryValue value(registry_, root, path);
    return value.WriteBytes(name, type, data, kTextBufferSize);
}

int LogonConfig::DeleteValue(RegKey root, const char* path, const char* name) {
    RegistryValue value(registry_, root, path);
    if (value.RemoveValue(name)) return 1;
    return PresenceOf(root, path, name) == RegistryValue::kAbsent ? 1 : 0;
}

int LogonConfig::FileExists(const char* path) {
    if (!path || !*path) return 0;
    // A wildcard would let the search find some other file, and a folder is
    // no GINA: the logon process could load neither, and nobody could log on.
    if (std::strpbrk(path, "*?<>\"")) return 0;
    bool directory = false;
    return system_.FindFile(path, &directory) && !directory ? 1 : 0;
}

int LogonConfig::JoinPath(char* base, const char* name) {
    if (!base || !name) return 0;
    if (!*name) return 1;
    std::size_t baseLength = strnlen(base, kTextBufferSize);
    if (baseLength == kTextBufferSize) return 0;
    bool separator = baseLength > 0 && !narrow::EndsInSeparator(system_, base, baseLength);
    std::size_t length = baseLength + (separator ? 1 : 0) + std::strlen(name);
    if (length >= kTextBufferSize) return 0;
    if (separator) base[baseLength++] = '\\';
    std::memcpy(base + baseLength, name, std::strlen(name) + 1);
    return 1;
}

bool LogonConfig::IsSystemGina(const char* text, const char* systemDirectory) {
    char inSystem[kTextBufferSize];
    return SameText(text, kDefaultGinaName) ||
           (systemDirectory[0] && CopyPath(inSystem, systemDirectory) &&
            JoinPath(inSystem, kDefaultGinaName) && SameText(text, inSystem));
}

int LogonConfig::FindGina(const char* name, const char* systemDirectory) {
    char inSystem[kTextBufferSize];
    // An empty name names no file: joined to the system directory it would
    // find the directory itself.
    return name[0] && (FileExists(name) ||
                       (systemDirectory[0] && CopyPath(inSystem, systemDirectory) &&
                        JoinPath(inSystem, name) && FileExists(inSystem)))
               ? 1
               : 0;
}

void LogonConfig::SystemDirectoryText(char* systemDirectory) {
    std::memset(systemDirectory, 0, kTextBufferSize);
    std::uint32_t length = system_.SystemDirectory(systemDirectory, kTextBufferSize);
    if (length >= kTextBufferSize) std::memset(systemDirectory, 0, kTextBufferSize);
}

bool LogonConfig::RepairGinaChain() {
    MachineState state;
    ReadMachine(*this, system_, &state);
    return RepairGinaChain(state);
}

bool LogonConfig::RepairGinaChain(const MachineState& m) {
    OsVersion version = {0, 0, 0};
    if (!system_.QueryOsVersion(kOsVersionInfoSize, &version)) return true;
    bool nt4OrEarlier = version.platformId == kVerPlatformWin32Nt && version.majorVersion <= 4;
    bool xp = version.platformId == kVerPlatformWin32Nt && version.majorVersion == 5 &&
              version.minorVersion == 1;
    if (!nt4OrEarlier && !xp) return true;

    char systemDirectory[kTextBufferSize];
    SystemDirectoryText(systemDirectory);

    // A GinaDLL that is there but cannot be read is left alone: deleting it
    // could take another product's GINA out of the chain as well.
    if (m.gina.state != kTextPath && m.gina.state != kTextAbsent) return false;
    const char* current = m.gina.state == kTextPath ? m.gina.text : "";

    if (Names(current, kProductGinaName)) {
        const TextValue& record = m.record;
        bool recorded = record.state == kTextPath;
        // A record the registry will not show may name the GINA to put back.
        if (record.state == kTextUnknown) return false;
        // Telvaro's record is written back as it stands, not as the path it
        // was found by. A record of Telvaro's own GINA would keep it first.
        // The system's own GINA is put back by deleting the value: Winlogon
        // loads it just the same, and only without a GinaDLL does Windows XP
        // offer the Welcome Screen.
        if (recorded && !Names(record.text, kProductGinaName) &&
            !IsSystemGina(record.text, systemDirectory) && FindGina(record.text, systemDirectory)) {
            if (WriteText(kHkeyLocalMachine, kWinlogonKeyUpper, kGinaDll, kRegSz, record.text) != 1)
                return false;
            // Telvaro had replaced the Wayfold GINA: what that loads next must
            // not be Telvaro's GINA again.
            return !Names(record.text, kChainedGinaName) ||
                   ChainedGinaLeavesProduct(m, systemDirectory);
        }
    } else if (Names(current, kChainedGinaName)) {
        return RepairChainedGina(m, systemDirectory);
    }
    // Without GinaDLL the logon process loads the system default, msgina.dll.
    return DeleteValue(kHkeyLocalMachine, kWinlogonKeyUpper, kGinaDll) == 1;
}

// The Wayfold GINA now first, after Telvaro's was taken out in front of
// it: a ChainTo that names Telvaro's GINA is repaired, any other left as it is.
bool LogonConfig::ChainedGinaLeavesProduct(const MachineState& m, const char* systemDirectory) {
    if (m.chainTo.state != kTextPath) return m.chainTo.state != kTextUnknown;
    return !Names(m.chainTo.text, kProductGinaName) ||
           RepairChainedGina(m, systemDirectory);
}

// The Wayfold GINA is first: its ChainTo becomes the GINA Telvaro replaced
// when that can be found, else the system default by full path.
bool LogonConfig::RepairChainedGina(const MachineState& m, const char* systemDirectory) {
    // Without a readable ChainTo there is nothing to repair: one that is not
    // there or is too long for any path is left as it is. Only a refused read
    // fails, as the next try may repair it.
    if (m.chainTo.state != kTextPath) return m.chainTo.state != kTextUnknown;

    char text[kTextBufferSize];
    std::memcpy(text, systemDirectory, kTextBufferSize);
    bool fallbackFits = systemDirectory[0] != 0 && JoinPath(text, kDefaultGinaName);

    if (Names(m.chainTo.text, kProductGinaName)) {
        const TextValue& record = m.record;
        // A record the registry will not show may name the GINA to chain to.
        if (record.state == kTextUnknown) return false;
        // It must not chain back to itself, nor to Telvaro's GINA again.
        if (record.state == kTextPath && !Names(record.text, kChainedGinaName) &&
            !Names(record.text, kProductGinaName) &&
            FindGina(record.text, systemDirectory)) {
            CopyPath(text, record.text);
            fallbackFits = true;
        }
    }
    // Never write a truncated or directory-less path.
    if (!fallbackFits) return false;
    return WriteText(kHkeyLocalMachine, kChainedGinaKey, kChainTo, kRegSz, text) == 1;
}

bool LogonConfig::Names(const char* text, const char* upperName) {
    return ::Names(system_, text, upperName);
}

bool LogonConfig::SameText(const char* a, const char* b) { return ::SameText(system_, a, b); }

// One rule for every registry text: a path when it holds a terminator
// within the buffer; else absent, too long, 260 bytes without a terminator,
// or refused.
void LogonConfig::ReadTextValue(const char* key, const char* name, TextValue* value) {
    value->text[kTextBufferSize] = 0;
    if (ReadText(kHkeyLocalMachine, key, name, value->text)) {
        value->state = kTextPath;
        return;
    }
    RegistryValue setting(registry_, kHkeyLocalMachine, key);
    std::uint32_t size = 0;
    RegistryValue::Presence presence = setting.QuerySize(name, &size);
    value->state = presence == RegistryValue::kAbsent    ? kTextAbsent
                   : presence == RegistryValue::kUnknown ? kTextUnknown
                   : size > kTextBufferSize              ? kTextTooLong
                                                         : kTextUnknown;
    if (value->state != kTextUnknown || presence != RegistryValue::kPresent) return;
    // ReadBytes zero-fills the whole buffer: only data that fills it can lack
    // a terminator there.
    std::uint32_t count = kTextBufferSize;
    if (setting.ReadBytes(name, kRegSz, value->text, &count) &&
        !std::memchr(value->text, 0, kTextBufferSize))
        value->state = kTextUnterminated;
    else
        std::memset(value->text, 0, kTextBufferSize);
}
