#include "ObservedRegistry.h"

bool ObservedRegistry::Record(Operation operation, const char* name) {
    Call call = {operation, name ? name : "", false};
    int n = static_cast<int>(calls_.size()) + 1;
    call.failed = (failAt_ > 0 && n == failAt_) || (failFrom_ > 0 && n >= failFrom_);
    calls_.push_back(call);
    return call.failed;
}

bool ObservedRegistry::FailedChange() const {
    for (std::size_t i = 0; i < calls_.size(); ++i)
        if (calls_[i].failed)
            return calls_[i].operation == kCreate || calls_[i].operation == kSet ||
                   calls_[i].operation == kDelete;
    return false;
}

long ObservedRegistry::OpenKey(RegKey root, const char* path, RegKey* key) {
    if (Record(kOpen, path)) {
        *key = 0;
        return kErrorAccessDenied;
    }
    long status = inner_.OpenKey(root, path, key);
    if (status == kErrorSuccess) ++openHandles_;
    return status;
}

long ObservedRegistry::CreateKey(RegKey root, const char* path, RegKey* key) {
    if (Record(kCreate, path)) {
        *key = 0;
        return kErrorAccessDenied;
    }
    long status = inner_.CreateKey(root, path, key);
    if (status == kErrorSuccess) ++openHandles_;
    return status;
}

long ObservedRegistry::QueryValueEx(RegKey key, const char* name, std::uint32_t* type,
                                    unsigned char* data, std::uint32_t* count) {
    if (Record(kQuery, name)) return kErrorAccessDenied;
    return inner_.QueryValueEx(key, name, type, data, count);
}

long ObservedRegistry::SetValueEx(RegKey key, const char* name, std::uint32_t type,
                                  const unsigned char* data, std::uint32_t count) {
    if (Record(kSet, name)) return kErrorAccessDenied;
    return inner_.SetValueEx(key, name, type, data, count);
}

long ObservedRegistry::DeleteValue(RegKey key, const char* name) {
    if (Record(kDelete, name)) return kErrorAccessDenied;
    return inner_.DeleteValue(key, name);
}

// A close that is made to fail still closes the handle underneath: the
// program ignores the close status, and a leak here would be the wrapper's.
long ObservedRegistry::CloseKey(RegKey key) {
    bool failed = Record(kClose, 0);
    long status = inner_.CloseKey(key);
    if (status == kErrorSuccess) --openHandles_;
    return failed ? kErrorInvalidHandle : status;
}
