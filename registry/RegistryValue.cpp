#include "registry/RegistryValue.h"

#include <cstring>
#include <new>

namespace {

bool IsSupportedType(std::uint32_t type) {
    return type == kRegSz || type == kRegBinary || type == kRegDword;
}

// Heap copy of a text with its terminator; null when memory is short.
char* CopyText(const char* text) {
    std::size_t size = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[size];
    if (copy) std::memcpy(copy, text, size);
    return copy;
}

}  // namespace

RegistryValue::RegistryValue(Registry& registry, RegKey root, const char* subkeyPath)
    : registry_(registry), root_(0), path_(0), name_(0), type_(0) {
    if (subkeyPath) path_ = CopyText(subkeyPath);
    root_ = root;
}

RegistryValue::~RegistryValue() {
    delete[] path_;
    delete[] name_;
    path_ = 0;
    name_ = 0;
    root_ = 0;
    type_ = 0;
}

// Never leaves a null name behind for a registry call: a null name would
// address the key's unnamed default value instead of the one asked for.
bool RegistryValue::CopyName(const char* name) {
    delete[] name_;
    name_ = name ? CopyText(name) : 0;
    return name_ != 0;
}

int RegistryValue::QueryValue(const char* name, std::uint32_t type, void* buffer,
                              std::uint32_t* count) {
    type_ = type;
    if (!Aimed() || !IsSupportedType(type)) return 0;
    if (!CopyName(name)) return 0;
    RegKey key = 0;
    if (registry_.OpenKey(root_, path_, &key) != kErrorSuccess) return 0;
    long status = registry_.QueryValueEx(key, name_, &type_,
                                         static_cast<unsigned char*>(buffer), count);
    registry_.CloseKey(key);
    return status == kErrorSuccess ? 1 : 0;
}

int RegistryValue::StoreValue(const char* name, std::uint32_t type, const void* data,
                              std::uint32_t count) {
    type_ = type;
    if (!Aimed() || !IsSupportedType(type)) return 0;
    if (!CopyName(name)) return 0;
    RegKey key = 0;
    if (registry_.CreateKey(root_, path_, &key) != kErrorSuccess) return 0;
    long status = registry_.SetValueEx(key, name_, type_,
                                       static_cast<const unsigned char*>(data), count);
    registry_.CloseKey(key);
    return status == kErrorSuccess ? 1 : 0;
}

int RegistryValue::ReadBytes(const char* name, std::uint32_t type, void* buffer,
                             std::uint32_t* count) {
    if (!buffer || !count) return 0;
    std::memset(buffer, 0, *count);
    return QueryValue(name, type, buffer, count);
}

int RegistryValue::ReadToString(const char* name, std::uint32_t type, TextString& text) {
    char buffer[kStringBufferSize] = {0};
    std::uint32_t count = kStringBufferSize;
    if (!QueryValue(name, type, buffer, &count)) return 0;
    // Stored text need not carry its terminator: stop at the buffer's end.
    return text.Assign(buffer, strnlen(buffer, kStringBufferSize)) ? 1 : 0;
}

int RegistryValue::ReadDword(const char* name, std::uint32_t type, std::uint32_t* value) {
    if (!value) return 0;
    std::uint32_t count = 4;
    return QueryValue(name, type, value, &count);
}

int RegistryValue::ReadBinaryDword(const char* name, std::uint32_t type, std::uint32_t* value) {
    if (!value) return 0;
    std::uint32_t number = 0;
    std::uint32_t count = 4;
    if (!QueryValue(name, type, &number, &count)) return 0;
    *value = number;
    return 1;
}

int RegistryValue::WriteBytes(const char* name, std::uint32_t type, const void* data,
                              std::uint32_t count) {
    return StoreValue(name, type, data, count);
}

int RegistryValue::WriteDword(const char* name, std::uint32_t type, std::uint32_t value) {
    // Least significant byte first, whatever the host's byte order.
    unsigned char bytes[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return StoreValue(name, type, bytes, 4);
}

int RegistryValue::WriteBinaryDword(const char* name, std::uint32_t type, std::uint32_t value) {
    return WriteDword(name, type, value);
}

int RegistryValue::RemoveValue(const char* name) {
    if (!Aimed()) return 0;
    if (!CopyName(name)) return 0;
    RegKey key = 0;
    if (registry_.OpenKey(root_, path_, &key) != kErrorSuccess) return 0;
    long status = registry_.DeleteValue(key, name_);
    registry_.CloseKey(key);
    return status == kErrorSuccess ? 1 : 0;
}

RegistryValue::Presence RegistryValue::QuerySize(const char* name, std::uint32_t* size) {
    if (!Aimed() || !size) return kUnknown;
    if (!CopyName(name)) return kUnknown;
    RegKey key = 0;
    long status = registry_.OpenKey(root_, path_, &key);
    if (status == kErrorSuccess) {
        std::uint32_t type = 0;
        *size = 0;
        status = registry_.QueryValueEx(key, name_, &type, 0, size);
        registry_.CloseKey(key);
    }
    if (status == kErrorSuccess) return kPresent;
    return status == kErrorFileNotFound ? kAbsent : kUnknown;
}
