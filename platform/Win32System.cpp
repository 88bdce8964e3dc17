#include "platform/Win32System.h"

#include <windows.h>
#include <lmcons.h>
#include <lmerr.h>
#include <lmjoin.h>

#include <new>

namespace {

typedef DWORD(WINAPI* GetFileVersionInfoSizeFn)(LPCSTR, LPDWORD);
typedef BOOL(WINAPI* GetFileVersionInfoFn)(LPCSTR, DWORD, DWORD, LPVOID);
typedef BOOL(WINAPI* VerQueryValueFn)(LPCVOID, LPCSTR, LPVOID*, PUINT);
typedef NET_API_STATUS(WINAPI* NetGetJoinInformationFn)(LPCWSTR, LPWSTR*, PNETSETUP_JOIN_STATUS);
typedef NET_API_STATUS(WINAPI* NetApiBufferFreeFn)(LPVOID);

// Entry points travel through the portable code as plain addresses.
template <typename Fn>
Fn AsFunction(void* entry) {
    Fn fn;
    static_assert(sizeof(fn) == sizeof(entry), "function and data pointers differ in size");
    __builtin_memcpy(&fn, &entry, sizeof(fn));
    return fn;
}

}  // namespace

bool Win32System::QueryOsVersion(std::uint32_t recordSize, OsVersion* version) {
    OSVERSIONINFOEXA record;
    ZeroMemory(&record, sizeof(record));
    if (recordSize > sizeof(record)) return false;
    record.dwOSVersionInfoSize = recordSize;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record))) return false;
    version->majorVersion = record.dwMajorVersion;
    version->minorVersion = record.dwMinorVersion;
    version->platformId = record.dwPlatformId;
    return true;
}

std::uint32_t Win32System::SystemDirectory(char* buffer, std::uint32_t size) {
    return GetSystemDirectoryA(buffer, size);
}

bool Win32System::FindFile(const char* path, bool* directory) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path, &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    if (directory) *directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool Win32System::IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

void* Win32System::OpenLibrary(const char* path) {
    return reinterpret_cast<void*>(LoadLibraryA(path));
}

void* Win32System::FindEntryPoint(void* library, const char* name) {
    FARPROC entry = GetProcAddress(static_cast<HMODULE>(library), name);
    void* address;
    static_assert(sizeof(address) == sizeof(entry), "function and data pointers differ in size");
    __builtin_memcpy(&address, &entry, sizeof(address));
    return address;
}

void Win32System::CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::uint32_t Win32System::CallGetFileVersionInfoSize(void* entry, const char* path,
                                                      std::uint32_t* handle) {
    DWORD zero = 0;
    DWORD size = AsFunction<GetFileVersionInfoSizeFn>(entry)(path, &zero);
    if (handle) *handle = zero;
    return size;
}

int Win32System::CallGetFileVersionInfo(void* entry, const char* path, std::uint32_t size,
                                        void* block) {
    return AsFunction<GetFileVersionInfoFn>(entry)(path, 0, size, block) ? 1 : 0;
}

int Win32System::CallVerQueryValue(void* entry, const void* block, const char* subBlock,
                                   const void** record, std::uint32_t* length) {
    LPVOID found = 0;
    UINT size = 0;
    BOOL ok = AsFunction<VerQueryValueFn>(entry)(block, subBlock, &found, &size);
    *record = found;
    if (length) *length = size;
    return ok ? 1 : 0;
}

std::uint32_t Win32System::CallNetGetJoinInformation(void* entry, void* freeEntry,
                                                     std::uint32_t* joinStatus) {
    LPWSTR name = 0;
    NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
    NET_API_STATUS result = AsFunction<NetGetJoinInformationFn>(entry)(0, &name, &status);
    // The name is netapi32's to allocate and to give back; it is only ours
    // to free when the call says it answered.
    if (result == NERR_Success && name) AsFunction<NetApiBufferFreeFn>(freeEntry)(name);
    *joinStatus = static_cast<std::uint32_t>(status);
    return result;
}

void* Win32System::AllocateBlock(std::uint32_t size) {
    return new (std::nothrow) unsigned char[size];
}

void Win32System::FreeBlock(void* block) { delete[] static_cast<unsigned char*>(block); }

// A check that cannot be made answers yes: the program then blames nobody's
// rights.
bool Win32System::RunsAsAdministrator() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = {SECURITY_NT_AUTHORITY};
    PSID administrators = 0;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
        return true;
    // A null token: the thread's impersonation token, else the process's. A
    // group held only for deny (a restricted token) does not count.
    BOOL member = TRUE;
    if (!CheckTokenMembership(0, administrators, &member)) member = TRUE;
    FreeSid(administrators);
    return member != FALSE;
}

int Win32System::LoadText(int id, char* buffer, int size) {
    return LoadStringA(GetModuleHandleA(0), id, buffer, size);
}

// On XP a path that fills the buffer comes back without its terminator: it
// counts as not known, and no truncated path is ever written.
std::uint32_t Win32System::ProgramPath(char* buffer, std::uint32_t size) {
    DWORD length = GetModuleFileNameA(0, buffer, size);
    return length < size ? length : 0;
}

bool Win32System::WriteEvent(const char* sourceName, std::uint16_t type, std::uint32_t id,
                             const char* const* strings, std::uint16_t count) {
    HANDLE source = RegisterEventSourceA(0, sourceName);
    if (!source) return false;
    // The event's user: the account whose token the process runs with. A
    // TOKEN_USER and the longest SID fit; without one the event has no user.
    DWORD user[64];
    PSID sid = 0;
    HANDLE token = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD size = 0;
        if (GetTokenInformation(token, TokenUser, user, sizeof(user), &size))
            sid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
        CloseHandle(token);
    }
    BOOL written = ReportEventA(source, type, 0, id, sid, count, 0,
                                const_cast<const char**>(strings), 0);
    DeregisterEventSource(source);
    return written != FALSE;
}
