// An in-memory registry with the platform behaviours the program relies on:
// keys and value names ignore case, writes create the key path, too-long data
// reports the size needed, deleting an absent value fails.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "registry/Registry.h"

struct StoredValue {
    std::uint32_t type;
    std::vector<unsigned char> data;
};

class MemoryRegistry : public Registry {
public:
    long OpenKey(RegKey root, const char* path, RegKey* key);
    long CreateKey(RegKey root, const char* path, RegKey* key);
    long QueryValueEx(RegKey key, const char* name, std::uint32_t* type, unsigned char* data,
                      std::uint32_t* count);
    long SetValueEx(RegKey key, const char* name, std::uint32_t type, const unsigned char* data,
                    std::uint32_t count);
    long DeleteValue(RegKey key, const char* name);
    long CloseKey(RegKey key);

    // Direct access for tests, by path under HKEY_LOCAL_MACHINE.
    void Set(const std::string& path, const std::string& name, std::uint32_t type,
             const std::vector<unsigned char>& data);
    void SetText(const std::string& path, const std::string& name, const std::string& text);
    void SetDword(const std::string& path, const std::string& name, std::uint32_t value);
    bool Get(const std::string& path, const std::string& name, StoredValue* value) const;
    bool HasKey(const std::string& path) const;
    // Every value of every key, for comparing whole registry states.
    std::map<std::string, std::map<std::string, StoredValue> > Snapshot() const { return keys_; }

    int OpenHandles() const { return static_cast<int>(handles_.size()); }
    // True once a value without a name (the key's default value) was addressed.
    bool DefaultValueTouched() const { return defaultTouched_; }

private:
    std::string KeyName(RegKey root, const char* path) const;
    RegKey NewHandle(const std::string& key);
    const std::string* Opened(RegKey key) const;

    std::map<std::string, std::map<std::string, StoredValue> > keys_;
    std::map<RegKey, std::string> handles_;
    RegKey nextHandle_ = 0x1000;
    bool defaultTouched_ = false;
};

bool operator==(const StoredValue& a, const StoredValue& b);
