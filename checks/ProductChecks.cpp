#include "checks/ProductChecks.h"

#include <cstring>

#include "logon/LogonConfig.h"
#include "logon/LogonLayout.h"
#include "registry/RegistryValue.h"
#include "system/NarrowText.h"
#include "system/SystemLibrary.h"

namespace {

const char kHostExecutable[] = "tvhost32.exe";
const std::uint32_t kRequiredMajor = 10;
const std::uint32_t kRequiredMinor = 5;
const std::uint32_t kRequiredThird = 0;
const char kVersionLibrary[] = "version.dll";
const char kRootBlock[] = "\\";

// Offsets of dwFileVersionMS and dwFileVersionLS in VS_FIXEDFILEINFO.
const std::size_t kFileVersionMsOffset = 8;
const std::size_t kFileVersionLsOffset = 12;

std::uint32_t ReadLittleEndian(const void* record, std::size_t offset) {
    const unsigned char* p = static_cast<const unsigned char*>(record) + offset;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Whether the file-version fields of a record lie within the version block.
bool InsideBlock(const void* record, const void* block, std::uint32_t size) {
    std::uintptr_t at = reinterpret_cast<std::uintptr_t>(record);
    std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block);
    return record && at >= start && at - start + kFileVersionLsOffset + 4 <= size;
}

}  // namespace

int GetOsVersionCode(System& system, int* code) {
    *code = kOsOther;
    OsVersion version = {0, 0, 0};
    if (!system.QueryOsVersion(kOsVersionInfoExSize, &version) &&
        !system.QueryOsVersion(kOsVersionInfoSize, &version))
        return 0;
    if (version.platformId == kVerPlatformWin32Windows && version.majorVersion == 4) {
        if (version.minorVersion == 0) *code = kOsWindows95;
        if (version.minorVersion == 10) *code = kOsWindows98;
        if (version.minorVersion == 90) *code = kOsWindowsMe;
    } else if (version.platformId == kVerPlatformWin32Nt) {
        if (version.majorVersion <= 4) *code = kOsNt4OrEarlier;
        if (version.majorVersion == 5 && version.minorVersion == 0) *code = kOsWindows2000;
        if (version.majorVersion == 5 && version.minorVersion == 1) *code = kOsWindowsXp;
    }
    return 1;
}

int GetFileVersion(System& system, const char* path, std::uint32_t* major,
                   std::uint32_t* minor, std::uint32_t* third) {
    void* library = LoadSystemLibrary(system, kVersionLibrary);
    if (!library) return kFileVersionLoadFailed;
    void* getSize = system.FindEntryPoint(library, "GetFileVersionInfoSizeA");
    void* getInfo = system.FindEntryPoint(library, "GetFileVersionInfoA");
    void* queryValue = system.FindEntryPoint(library, "VerQueryValueA");
    // A library without all three is not one that can answer: never call into it.
    if (!getSize || !getInfo || !queryValue) {
        system.CloseLibrary(library);
        return kFileVersionLoadFailed;
    }

    std::uint32_t handle = 0;
    std::uint32_t size = system.CallGetFileVersionInfoSize(getSize, path, &handle);
    if (size == 0) {
        system.CloseLibrary(library);
        return kFileVersionNoInfo;
    }
    int result;
    void* block = system.AllocateBlock(size);
    const void* record = 0;
    std::uint32_t length = 0;
    if (!block) {
        result = kFileVersionNoMemory;
    } else if (!system.CallGetFileVersionInfo(getInfo, path, size, block)) {
        result = kFileVersionReadFailed;
    } else if (!system.CallVerQueryValue(queryValue, block, kRootBlock, &record, &length) ||
               !InsideBlock(record, block, size)) {
        // A malformed resource could aim the record elsewhere: never read
        // outside the block.
        result = kFileVersionNoRootRecord;
    } else {
        std::uint32_t ms = ReadLittleEndian(record, kFileVersionMsOffset);
        std::uint32_t ls = ReadLittleEndian(record, kFileVersionLsOffset);
        if (major) *major = ms >> 16;
        if (minor) *minor = ms & 0xFFFF;
        if (third) *third = ls >> 16;
        result = kFileVersionOk;
    }
    if (block) system.FreeBlock(block);
    system.CloseLibrary(library);
    return result;
}

int ProductChecks::IsProductInstalled(TextString& fileName) {
    RegistryValue product(registry_, kHkeyLocalMachine, layout::kProductKey);
    TextString path;
    if (!product.ReadToString(layout::kInstallDir, kRegSz, path)) return 0;
    // A folder name may end in a double-byte character whose second byte is
    // a backslash's: that is no separator.
    if (!narrow::EndsInSeparator(system_, path.CStr(), path.Length()) && !path.Append('\\'))
        return 0;
    if (!path.Append(fileName.CStr())) return 0;
    fileName.Swap(path);
    // A folder of that name counts too: the version check then refuses it.
    return system_.FindFile(fileName.CStr(), 0) ? 1 : 0;
}

int ProductChecks::IsProductVersionValid() {
    TextString path;
    if (!path.Assign(kHostExecutable) || !IsProductInstalled(path)) return 0;
    std::uint32_t major = 0, minor = 0, third = 0;
    if (GetFileVersion(system_, path.CStr(), &major, &minor, &third) != kFileVersionOk) return 0;
    return major == kRequiredMajor && minor == kRequiredMinor && third == kRequiredThird;
}

void ProductChecks::ReadMachine(MachineState* state) {
    LogonConfig logon(registry_, system_);
    ::ReadMachine(logon, system_, state);
}

int ProductChecks::IsApplied() { return LogonConfig(registry_, system_).IsApplied(); }

StartupFailureReason ProductChecks::StartupFailure() {
    int code = kOsOther;
    GetOsVersionCode(system_, &code);
    if (code != kOsWindowsXp) return kNotWindowsXp;
    TextString path;
    if (!path.Assign(kHostExecutable) || !IsProductInstalled(path)) return kProductNotInstalled;
    if (!IsProductVersionValid()) return kWrongProductVersion;
    return kStartupPassed;
}
