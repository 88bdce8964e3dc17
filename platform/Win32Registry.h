// The registry interface over advapi32's narrow-text functions.
#pragma once

#include "registry/Registry.h"

class Win32Registry : public Registry {
public:
    long OpenKey(RegKey root, const char* path, RegKey* key);
    long CreateKey(RegKey root, const char* path, RegKey* key);
    long QueryValueEx(RegKey key, const char* name, std::uint32_t* type, unsigned char* data,
                      std::uint32_t* count);
    long SetValueEx(RegKey key, const char* name, std::uint32_t type, const unsigned char* data,
                    std::uint32_t count);
    long DeleteValue(RegKey key, const char* name);
    long CloseKey(RegKey key);
};
