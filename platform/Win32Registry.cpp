#include "platform/Win32Registry.h"

#include <windows.h>

#include <cstring>
#include <new>

namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }

long Opened(LONG status, HKEY handle, RegKey* key) {
    *key = status == ERROR_SUCCESS ? reinterpret_cast<RegKey>(handle) : 0;
    return status;
}

}  // namespace

long Win32Registry::OpenKey(RegKey root, const char* path, RegKey* key) {
    HKEY handle = 0;
    LONG status = RegOpenKeyA(ToHkey(root), path, &handle);
    return Opened(status, handle, key);
}

long Win32Registry::CreateKey(RegKey root, const char* path, RegKey* key) {
    HKEY handle = 0;
    LONG status = RegCreateKeyA(ToHkey(root), path, &handle);
    return Opened(status, handle, key);
}

long Win32Registry::QueryValueEx(RegKey key, const char* name, std::uint32_t* type,
                                 unsigned char* data, std::uint32_t* count) {
    DWORD valueType = type ? *type : 0;
    DWORD size = count ? *count : 0;
    LONG status = RegQueryValueExA(ToHkey(key), name, 0, type ? &valueType : 0, data,
                                   count ? &size : 0);
    if (type && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) *type = valueType;
    if (count) *count = size;
    return status;
}

long Win32Registry::SetValueEx(RegKey key, const char* name, std::uint32_t type,
                               const unsigned char* data, std::uint32_t count) {
    // For text whose last byte is not NUL, RegSetValueExA looks at the byte
    // after the count and, when that is NUL, stores a terminator as well. A
    // copy with a non-zero byte there keeps the stored bytes exactly as given
    // and keeps the look inside our own buffer.
    bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (text && data && count > 0 && data[count - 1] != 0) {
        unsigned char* copy =
            count < 0xFFFFFFFFu ? new (std::nothrow) unsigned char[count + 1] : 0;
        if (!copy) return ERROR_NOT_ENOUGH_MEMORY;
        std::memcpy(copy, data, count);
        copy[count] = 0xFF;
        LONG status = RegSetValueExA(ToHkey(key), name, 0, type, copy, count);
        delete[] copy;
        return status;
    }
    return RegSetValueExA(ToHkey(key), name, 0, type, data, count);
}

long Win32Registry::DeleteValue(RegKey key, const char* name) {
    return RegDeleteValueA(ToHkey(key), name);
}

long Win32Registry::CloseKey(RegKey key) { return RegCloseKey(ToHkey(key)); }
