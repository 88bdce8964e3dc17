// Wraps any registry to watch what the program does with it: counts the calls
// and the handles left open, records each call, and can make the N-th call
// fail as a refusing registry would (access denied).
#pragma once

#include <string>
#include <vector>

#include "registry/Registry.h"

class ObservedRegistry : public Registry {
public:
    enum Operation { kOpen, kCreate, kQuery, kSet, kDelete, kClose };
    struct Call {
        Operation operation;
        std::string name;  // subkey path or value name
        bool failed;       // made to fail by FailCall
    };

    explicit ObservedRegistry(Registry& inner) : inner_(inner) {}

    // The n-th call through this wrapper (1-based) fails; 0 makes none fail.
    void FailCall(int n) { failAt_ = n; }
    // The n-th call and every one after it fail, as for a registry that
    // stops answering, or a user who may not touch the keys at all.
    void FailFrom(int n) { failFrom_ = n; }

    long OpenKey(RegKey root, const char* path, RegKey* key);
    long CreateKey(RegKey root, const char* path, RegKey* key);
    long QueryValueEx(RegKey key, const char* name, std::uint32_t* type, unsigned char* data,
                      std::uint32_t* count);
    long SetValueEx(RegKey key, const char* name, std::uint32_t type, const unsigned char* data,
                    std::uint32_t count);
    long DeleteValue(RegKey key, const char* name);
    long CloseKey(RegKey key);

    int CallCount() const { return static_cast<int>(calls_.size()); }
    int OpenHandles() const { return openHandles_; }
    const std::vector<Call>& Calls() const { return calls_; }
    // Whether an injected failure hit a call that changes the registry.
    bool FailedChange() const;

private:
    bool Record(Operation operation, const char* name);

    Registry& inner_;
    std::vector<Call> calls_;
    int failAt_ = 0;
    int failFrom_ = 0;
    int openHandles_ = 0;
};
