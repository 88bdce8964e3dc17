#include "MemoryRegistry.h"

#include <cstring>

namespace {

// ASCII letters only: every name here is ASCII. Kept cheap for the explorer.
std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

bool operator==(const StoredValue& a, const StoredValue& b) {
    return a.type == b.type && a.data == b.data;
}

std::string MemoryRegistry::KeyName(RegKey root, const char* path) const {
    std::string base;
    if (root == kHkeyLocalMachine) {
        base = "hklm";
    } else if (const std::string* opened = Opened(root)) {
        base = *opened;
    } else {
        return std::string();
    }
    std::string sub = path ? Lower(path) : std::string();
    return sub.empty() ? base : base + "\\" + sub;
}

const std::string* MemoryRegistry::Opened(RegKey key) const {
    std::map<RegKey, std::string>::const_iterator it = handles_.find(key);
    return it == handles_.end() ? 0 : &it->second;
}

RegKey MemoryRegistry::NewHandle(const std::string& key) {
    RegKey handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = key;
    return handle;
}

long MemoryRegistry::OpenKey(RegKey root, const char* path, RegKey* key) {
    *key = 0;
    std::string name = KeyName(root, path);
    if (name.empty()) return kErrorInvalidHandle;
    if (name != "hklm" && !keys_.count(name)) return kErrorFileNotFound;
    *key = NewHandle(name);
    return kErrorSuccess;
}

long MemoryRegistry::CreateKey(RegKey root, const char* path, RegKey* key) {
    *key = 0;
    std::string name = KeyName(root, path);
    if (name.empty()) return kErrorInvalidHandle;
    // Every missing key along the path is created.
    for (std::size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1))
        keys_[name.substr(0, at)];
    keys_[name];
    *key = NewHandle(name);
    return kErrorSuccess;
}

long MemoryRegistry::QueryValueEx(RegKey key, const char* name, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* count) {
    const std::string* opened = Opened(key);
    if (!opened) return kErrorInvalidHandle;
    if (!name || !*name) defaultTouched_ = true;
    std::map<std::string, std::map<std::string, StoredValue> >::const_iterator values =
        keys_.find(*opened);
    if (values == keys_.end()) return kErrorFileNotFound;
    std::map<std::string, StoredValue>::const_iterator it =
        values->second.find(Lower(name ? name : ""));
    if (it == values->second.end()) return kErrorFileNotFound;
    std::uint32_t size = static_cast<std::uint32_t>(it->second.data.size());
    if (type) *type = it->second.type;
    if (!data) {
        if (count) *count = size;
        return kErrorSuccess;
    }
    if (!count) return kErrorInvalidHandle;
    if (size > *count) {
        // The buffer's contents are undefined after this failure; make any
        // use of them show.
        std::memset(data, 0xCD, *count);
        *count = size;
        return kErrorMoreData;
    }
    if (size) std::memcpy(data, it->second.data.data(), size);
    *count = size;
    return kErrorSuccess;
}

long MemoryRegistry::SetValueEx(RegKey key, const char* name, std::uint32_t type,
                                const unsigned char* data, std::uint32_t count) {
    const std::string* opened = Opened(key);
    if (!opened) return kErrorInvalidHandle;
    if (!name || !*name) defaultTouched_ = true;
    StoredValue value;
    value.type = type;
    if (count) value.data.assign(data, data + count);
    keys_[*opened][Lower(name ? name : "")] = value;
    return kErrorSuccess;
}

long MemoryRegistry::DeleteValue(RegKey key, const char* name) {
    const std::string* opened = Opened(key);
    if (!opened) return kErrorInvalidHandle;
    if (!name || !*name) defaultTouched_ = true;
    std::map<std::string, std::map<std::string, StoredValue> >::iterator values =
        keys_.find(*opened);
    if (values == keys_.end()) return kErrorFileNotFound;
    return values->second.erase(Lower(name ? name : "")) ? kErrorSuccess : kErrorFileNotFound;
}

long MemoryRegistry::CloseKey(RegKey key) {
    return handles_.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

void MemoryRegistry::Set(const std::string& path, const std::string& name, std::uint32_t type,
                         const std::vector<unsigned char>& data) {
    RegKey key = 0;
    CreateKey(kHkeyLocalMachine, path.c_str(), &key);
    SetValueEx(key, name.c_str(), type, data.data(), static_cast<std::uint32_t>(data.size()));
    CloseKey(key);
}

void MemoryRegistry::SetText(const std::string& path, const std::string& name,
                             const std::string& text) {
    std::vector<unsigned char> data(text.begin(), text.end());
    data.push_back(0);
    Set(path, name, kRegSz, data);
}

void MemoryRegistry::SetDword(const std::string& path, const std::string& name,
                              std::uint32_t value) {
    std::vector<unsigned char> data;
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<unsigned char>(value >> (8 * i)));
    Set(path, name, kRegDword, data);
}

bool MemoryRegistry::Get(const std::string& path, const std::string& name,
                         StoredValue* value) const {
    std::map<std::string, std::map<std::string, StoredValue> >::const_iterator key =
        keys_.find(KeyName(kHkeyLocalMachine, path.c_str()));
    if (key == keys_.end()) return false;
    std::map<std::string, StoredValue>::const_iterator it = key->second.find(Lower(name));
    if (it == key->second.end()) return false;
    if (value) *value = it->second;
    return true;
}

bool MemoryRegistry::HasKey(const std::string& path) const {
    return keys_.count(KeyName(kHkeyLocalMachine, path.c_str())) != 0;
}
