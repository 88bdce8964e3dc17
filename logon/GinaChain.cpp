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

// Appends text to a terminated buffer of size bytes, cut short where it
// does not fit.
void AppendText(char* buffer, std::size_t size, const char* text) {
    std::size_t length = strnlen(buffer, size - 1);
    while (*text && length + 1 < size) buffer[length++] = *text++;
    buffer[length] = 0;
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

// A text the repair cannot read: absent, longer than the buffer, or filling it
// without a terminator.
bool LogonConfig::TextNeverReadable(RegKey root, const char* path, const char* name) {
    if (NeverReadable(root, path, name, kTextBufferSize)) return true;
    char buffer[kTextBufferSize];
    std::uint32_t count = kTextBufferSize;
    RegistryValue value(registry_, root, path);
    // ReadBytes zero-fills the whole buffer: only data that fills it can lack
    // a terminator there.
    return value.ReadBytes(name, kRegSz, buffer, &count) &&
           !std::memchr(buffer, 0, kTextBufferSize);
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
    return SameText(system_, text, kDefaultGinaName) ||
           (systemDirectory[0] && CopyPath(inSystem, systemDirectory) &&
            JoinPath(inSystem, kDefaultGinaName) && SameText(system_, text, inSystem));
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

void LogonConfig::GetSystemDirectoryText(char* systemDirectory) {
    std::memset(systemDirectory, 0, kTextBufferSize);
    std::uint32_t length = system_.SystemDirectory(systemDirectory, kTextBufferSize);
    if (length >= kTextBufferSize) std::memset(systemDirectory, 0, kTextBufferSize);
}

bool LogonConfig::RepairGinaChain() {
    OsVersion version = {0, 0, 0};
    if (!system_.QueryOsVersion(kOsVersionInfoSize, &version)) return true;
    bool nt4OrEarlier = version.platformId == kVerPlatformWin32Nt && version.majorVersion <= 4;
    bool xp = version.platformId == kVerPlatformWin32Nt && version.majorVersion == 5 &&
              version.minorVersion == 1;
    if (!nt4OrEarlier && !xp) return true;

    char systemDirectory[kTextBufferSize];
    GetSystemDirectoryText(systemDirectory);

    char current[kTextBufferSize] = {0};
    // A GinaDLL that is there but cannot be read is left alone: deleting it
    // could take another product's GINA out of the chain as well.
    if (!ReadText(kHkeyLocalMachine, kWinlogonKeyUpper, kGinaDll, current) &&
        PresenceOf(kHkeyLocalMachine, kWinlogonKeyUpper, kGinaDll) != RegistryValue::kAbsent)
        return false;

    if (Names(system_, current, kProductGinaName)) {
        char candidate[kTextBufferSize] = {0};
        bool recorded = ReadText(kHkeyLocalMachine, kProductKey, kGinaDll, candidate);
        // A record the registry will not show may name the GINA to put back.
        if (!recorded && !TextNeverReadable(kHkeyLocalMachine, kProductKey, kGinaDll))
            return false;
        // Telvaro's record is written back as it stands, not as the path it
        // was found by. A record of Telvaro's own GINA would keep it first.
        // The system's own GINA is put back by deleting the value: Winlogon
        // loads it just the same, and only without a GinaDLL does Windows XP
        // offer the Welcome Screen.
        if (recorded && !Names(system_, candidate, kProductGinaName) &&
            !IsSystemGina(candidate, systemDirectory) && FindGina(candidate, systemDirectory)) {
            if (WriteText(kHkeyLocalMachine, kWinlogonKeyUpper, kGinaDll, kRegSz, candidate) != 1)
                return false;
            // Telvaro had replaced the Wayfold GINA: what that loads next must
            // not be Telvaro's GINA again.
            return !Names(system_, candidate, kChainedGinaName) ||
                   ChainedGinaLeavesProduct(systemDirectory);
        }
    } else if (Names(system_, current, kChainedGinaName)) {
        return RepairChainedGina(systemDirectory);
    }
    // Without GinaDLL the logon process loads the system default, msgina.dll.
    return DeleteValue(kHkeyLocalMachine, kWinlogonKeyUpper, kGinaDll) == 1;
}

// The Wayfold GINA now first, after Telvaro's was taken out in front of
// it: a ChainTo that names Telvaro's GINA is repaired, any other left as it is.
bool LogonConfig::ChainedGinaLeavesProduct(const char* systemDirectory) {
    char next[kTextBufferSize];
    if (!ReadText(kHkeyLocalMachine, kChainedGinaKey, kChainTo, next))
        return TextNeverReadable(kHkeyLocalMachine, kChainedGinaKey, kChainTo);
    return !Names(system_, next, kProductGinaName) || RepairChainedGina(systemDirectory);
}

// The Wayfold GINA is first: its ChainTo becomes the GINA Telvaro replaced
// when that can be found, else the system default by full path.
bool LogonConfig::RepairChainedGina(const char* systemDirectory) {
    char candidate[kTextBufferSize] = {0};
    // Without a readable ChainTo there is nothing to repair: one that is not
    // there or is too long for any path is left as it is. Only a refused read
    // fails, as the next try may repair it.
    if (!ReadText(kHkeyLocalMachine, kChainedGinaKey, kChainTo, candidate))
        return TextNeverReadable(kHkeyLocalMachine, kChainedGinaKey, kChainTo);

    char text[kTextBufferSize];
    std::memcpy(text, systemDirectory, kTextBufferSize);
    bool fallbackFits = systemDirectory[0] != 0 && JoinPath(text, kDefaultGinaName);

    if (Names(system_, candidate, kProductGinaName)) {
        bool recorded = ReadText(kHkeyLocalMachine, kProductKey, kGinaDll, candidate);
        // A record the registry will not show may name the GINA to chain to.
        if (!recorded && !TextNeverReadable(kHkeyLocalMachine, kProductKey, kGinaDll))
            return false;
        // It must not chain back to itself, nor to Telvaro's GINA again.
        if (recorded && !Names(system_, candidate, kChainedGinaName) &&
            !Names(system_, candidate, kProductGinaName) && FindGina(candidate, systemDirectory)) {
            CopyPath(text, candidate);
            fallbackFits = true;
        }
    }
    // Never write a truncated or directory-less path.
    if (!fallbackFits) return false;
    return WriteText(kHkeyLocalMachine, kChainedGinaKey, kChainTo, kRegSz, text) == 1;
}

unsigned LogonConfig::RestoreUndone() {
    unsigned undone = 0;
    char gina[kTextBufferSize], next[kTextBufferSize];
    // A GinaDLL the repair can never read (Winlogon ignores one too long for
    // its path buffer) is not Telvaro's GINA put back: Restore could not take
    // it out either.
    if (ReadText(kHkeyLocalMachine, kWinlogonKeyUpper, kGinaDll, gina)) {
        if (Names(system_, gina, kProductGinaName)) {
            undone |= kUndoneGina;
        } else if (Names(system_, gina, kChainedGinaName)) {
            if (ReadText(kHkeyLocalMachine, kChainedGinaKey, kChainTo, next)) {
                if (Names(system_, next, kProductGinaName)) undone |= kUndoneChainedGina;
            } else if (!TextNeverReadable(kHkeyLocalMachine, kChainedGinaKey, kChainTo)) {
                return kUndoneUnknown;
            }
        }
    } else if (!TextNeverReadable(kHkeyLocalMachine, kWinlogonKeyUpper, kGinaDll)) {
        return kUndoneUnknown;
    }
    // The policy's LogonType, when there is one, decides instead of Winlogon's,
    // and Restore does not change it.
    bool inPolicy = false, inWinlogon = false;
    int policy = SelectsWelcomeScreen(kPolicyKey, &inPolicy);
    int winlogon = inPolicy || policy < 0 ? 1 : SelectsWelcomeScreen(kWinlogonKey, &inWinlogon);
    if (policy < 0 || winlogon < 0) return kUndoneUnknown;
    if (winlogon == 0) undone |= kUndoneLogonType;
    return undone;
}

// The text a GINA setting holds once the backup is written back: its copy's
// when there is one to write, else its own. Empty when no path can be read
// from it; 0 when a read was refused.
int LogonConfig::TextAfterRestore(const char* backupName, const char* key, const char* name,
                                  char* text) {
    if (backupName) {
        if (ReadText(kHkeyLocalMachine, kProductKey, backupName, text)) return 1;
        // A copy that fits is written back, also one without a terminator.
        if (!NeverReadable(kHkeyLocalMachine, kProductKey, backupName, kTextBufferSize))
            return TextNeverReadable(kHkeyLocalMachine, kProductKey, backupName) ? 1 : 0;
    }
    if (ReadText(kHkeyLocalMachine, key, name, text)) return 1;
    return TextNeverReadable(kHkeyLocalMachine, key, name) ? 1 : 0;
}

// Follows the chain Winlogon loads: its GinaDLL (none: the system default),
// after Telvaro's GINA the one it recorded, after the Wayfold GINA its
// ChainTo; each of the two settings as it is, or as the backup writes it back.
// A chain that does not load is told in report, when given.
LogonConfig::ChainState LogonConfig::FollowChain(bool restoredGina, bool restoredChainTo,
                                                 const char* systemDirectory,
                                                 ChainReport* report) {
    char text[kTextBufferSize];
    if (!TextAfterRestore(restoredGina ? kBackupGinaDll : 0, kWinlogonKey, kGinaDll, text))
        return kChainUnknown;
    if (!text[0]) return kChainLoads;
    bool product = false, chained = false;
    char chain[sizeof(report->text)] = {0};  // the GINAs met, "A -> B"; 3 fit
    for (;;) {
        if (chain[0]) AppendText(chain, sizeof(chain), " -> ");
        AppendText(chain, sizeof(chain), text);
        if (!FindGina(text, systemDirectory)) return Broken(report, kChainMissingGina, text);
        bool isProduct = Names(system_, text, kProductGinaName);
        if (!isProduct && !Names(system_, text, kChainedGinaName)) return kChainLoads;
        if (isProduct ? product : chained) return Broken(report, kChainLoops, chain);
        (isProduct ? product : chained) = true;
        char gina[kTextBufferSize];
        std::memcpy(gina, text, kTextBufferSize);
        // Disable leaves Telvaro's record as it is.
        int read = isProduct ? TextAfterRestore(0, kProductKey, kGinaDll, text)
                             : TextAfterRestore(restoredChainTo ? kBackupChainedGinaChainTo : 0,
                                                kChainedGinaKey, kChainTo, text);
        if (!read) return kChainUnknown;
        if (!text[0]) return Broken(report, kChainNoNextGina, gina);
    }
}

LogonConfig::ChainState LogonConfig::Broken(ChainReport* report, ChainTrouble trouble,
                                            const char* text) {
    if (report) {
        report->trouble = trouble;
        report->text[0] = 0;
        AppendText(report->text, sizeof(report->text), text);
    }
    return kChainBroken;
}

void LogonConfig::NextChain(ChainReport* report) {
    report->trouble = kChainFine;
    report->text[0] = 0;
    char systemDirectory[kTextBufferSize];
    GetSystemDirectoryText(systemDirectory);
    FollowChain(false, false, systemDirectory, report);
}
