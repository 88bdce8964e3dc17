// Accessor aimed at one registry key. Every call opens the key, performs one
// registry operation and closes the key again, so no handle outlives a call.
// Results are 1 (done) or 0 (not done); status codes never leave the accessor.
#pragma once

#include <cstdint>

#include "registry/Registry.h"
#include "registry/TextString.h"

class RegistryValue {
public:
    // Size of the private buffer ReadToString reads through.
    static const std::uint32_t kStringBufferSize = 355;

    RegistryValue(Registry& registry, RegKey root, const char* subkeyPath);
    virtual ~RegistryValue();

    // Zero-fills the first *count bytes of buffer, then reads; *count receives
    // what the registry reported (the size needed when the data is too long).
    int ReadBytes(const char* name, std::uint32_t type, void* buffer, std::uint32_t* count);
    // Reads through a 355-byte buffer; text keeps its contents on failure
    // (also when memory for it is short).
    int ReadToString(const char* name, std::uint32_t type, TextString& text);
    // Reads at most 4 bytes straight into *value; a missing value leaves it as it was.
    int ReadDword(const char* name, std::uint32_t type, std::uint32_t* value);
    // Reads at most 4 bytes into a zeroed number copied to *value only on success.
    int ReadBinaryDword(const char* name, std::uint32_t type, std::uint32_t* value);
    int WriteBytes(const char* name, std::uint32_t type, const void* data, std::uint32_t count);
    int WriteDword(const char* name, std::uint32_t type, std::uint32_t value);
    int WriteBinaryDword(const char* name, std::uint32_t type, std::uint32_t value);
    int RemoveValue(const char* name);
    // Whether the value exists, with *size its data size when it does; lets
    // callers tell a value that is absent from one they could not read or
    // delete. Only "not found" from the registry counts as absent.
    enum Presence { kUnknown = -1, kAbsent = 0, kPresent = 1 };
    Presence QuerySize(const char* name, std::uint32_t* size);

    // Type requested by the last read or write, or reported by a successful read.
    std::uint32_t ValueType() const { return type_; }

private:
    RegistryValue(const RegistryValue&);
    RegistryValue& operator=(const RegistryValue&);

    int QueryValue(const char* name, std::uint32_t type, void* buffer, std::uint32_t* count);
    int StoreValue(const char* name, std::uint32_t type, const void* data, std::uint32_t count);
    bool Aimed() const { return path_ != 0 && root_ != 0; }
    bool CopyName(const char* name);

    Registry& registry_;
    RegKey root_;
    char* path_;
    char* name_;
    std::uint32_t type_;
};
