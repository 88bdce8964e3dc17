// What the checks and the logon operations need from Windows besides the
// registry: the version query, the system directory, a find-first-file test,
// the ANSI code page's lead bytes, the version library, netapi32's domain
// query, the token's rights, the program's strings and path, and the
// Application event log. Windows implements it in platform/; tests fake it.
#pragma once

#include <cstdint>

// The fields of OSVERSIONINFO(EX)A that the program reads.
struct OsVersion {
    std::uint32_t majorVersion;
    std::uint32_t minorVersion;
    std::uint32_t platformId;
};

const std::uint32_t kVerPlatformWin32s = 0;
const std::uint32_t kVerPlatformWin32Windows = 1;
const std::uint32_t kVerPlatformWin32Nt = 2;

// Sizes of the two version records GetVersionExA accepts.
const std::uint32_t kOsVersionInfoExSize = 156;
const std::uint32_t kOsVersionInfoSize = 148;

class System {
public:
    virtual ~System() {}

    // GetVersionExA with a zeroed record whose size field is recordSize;
    // false when the call refuses that size.
    virtual bool QueryOsVersion(std::uint32_t recordSize, OsVersion* version) = 0;
    // GetSystemDirectoryA: length copied, 0 on failure, more than size when too small.
    virtual std::uint32_t SystemDirectory(char* buffer, std::uint32_t size) = 0;
    // A find-first-file search on one path, closed again at once: true when
    // an entry matches; *directory (when given) tells whether it is a folder.
    virtual bool FindFile(const char* path, bool* directory) = 0;
    // IsDBCSLeadByte: whether the byte starts a double-byte character of the
    // ANSI code page, in which narrow texts and paths are written.
    virtual bool IsLeadByte(unsigned char byte) = 0;

    // The version library and netapi32, loaded at run time by full path. An
    // entry point is an opaque address; the Call* members are only ever given
    // ones that FindEntryPoint returned.
    virtual void* OpenLibrary(const char* path) = 0;
    virtual void* FindEntryPoint(void* library, const char* name) = 0;
    virtual void CloseLibrary(void* library) = 0;
    virtual std::uint32_t CallGetFileVersionInfoSize(void* entry, const char* path,
                                                     std::uint32_t* handle) = 0;
    virtual int CallGetFileVersionInfo(void* entry, const char* path, std::uint32_t size,
                                       void* block) = 0;
    // VerQueryValueA: nonzero with *record aimed into the block.
    virtual int CallVerQueryValue(void* entry, const void* block, const char* subBlock,
                                  const void** record, std::uint32_t* length) = 0;

    // NetGetJoinInformation of this computer: its status (0 when it answered)
    // and the join status (NETSETUP_JOIN_STATUS) it gave; the name it returns
    // is given back with freeEntry, netapi32's NetApiBufferFree.
    virtual std::uint32_t CallNetGetJoinInformation(void* entry, void* freeEntry,
                                                    std::uint32_t* joinStatus) = 0;

    // The block for the version information; null when memory is short.
    virtual void* AllocateBlock(std::uint32_t size) = 0;
    virtual void FreeBlock(void* block) = 0;

    // Whether the process's token holds the Administrators group, enabled:
    // only then may it change the logon settings under HKEY_LOCAL_MACHINE.
    // True when that cannot be told.
    virtual bool RunsAsAdministrator() = 0;

    // LoadStringA of the program's string table: the length copied, 0 when
    // there is no such string.
    virtual int LoadText(int id, char* buffer, int size) = 0;
    // GetModuleFileNameA of the program: the length of its full path, 0 when
    // it cannot be told or does not fit with its terminator.
    virtual std::uint32_t ProgramPath(char* buffer, std::uint32_t size) = 0;
    // One event in the Application log, of the event source `source`, with
    // the account the program runs under as its user: type (EVENTLOG_*_TYPE),
    // id in the source's message table and its insertion strings. False when
    // it could not be written (a full log, a source that cannot be opened).
    virtual bool WriteEvent(const char* source, std::uint16_t type, std::uint32_t id,
                            const char* const* strings, std::uint16_t count) = 0;
};
