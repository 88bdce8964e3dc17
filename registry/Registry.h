// The six registry operations the program needs, behind an interface so that
// the logic above it runs natively against an in-memory registry in tests and
// against advapi32 on Windows.
#pragma once

#include <cstdint>

// An opened key or a predefined root. Values are the platform's own: the
// predefined roots are sign-extended 32-bit constants on both 32 and 64 bits.
typedef std::uintptr_t RegKey;

const RegKey kHkeyLocalMachine =
    static_cast<RegKey>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u)));

// Registry value types used by the program.
const std::uint32_t kRegNone = 0;
const std::uint32_t kRegSz = 1;
const std::uint32_t kRegExpandSz = 2;
const std::uint32_t kRegBinary = 3;
const std::uint32_t kRegDword = 4;

// Platform status codes the implementations report.
const long kErrorSuccess = 0;
const long kErrorFileNotFound = 2;
const long kErrorAccessDenied = 5;
const long kErrorInvalidHandle = 6;
const long kErrorMoreData = 234;

class Registry {
public:
    virtual ~Registry() {}

    // Opens an existing key.
    virtual long OpenKey(RegKey root, const char* path, RegKey* key) = 0;
    // Opens a key, creating every missing key along the path first.
    virtual long CreateKey(RegKey root, const char* path, RegKey* key) = 0;
    // Copies a value's data when it fits into *count; on ERROR_MORE_DATA *count
    // holds the size needed. With data null only the type and size are reported.
    virtual long QueryValueEx(RegKey key, const char* name, std::uint32_t* type,
                              unsigned char* data, std::uint32_t* count) = 0;
    // Creates or replaces a value with exactly the given type and bytes.
    virtual long SetValueEx(RegKey key, const char* name, std::uint32_t type,
                            const unsigned char* data, std::uint32_t count) = 0;
    // Deletes a value; fails when it does not exist.
    virtual long DeleteValue(RegKey key, const char* name) = 0;
    virtual long CloseKey(RegKey key) = 0;
};
