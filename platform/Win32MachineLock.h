// The machine-wide lock as a named kernel mutex in the Global\ namespace.
#pragma once

#include "system/MachineLock.h"

class Win32MachineLock : public MachineLock {
public:
    Win32MachineLock() : mutex_(0) {}
    ~Win32MachineLock();
    bool Acquire();
    void Release();

private:
    Win32MachineLock(const Win32MachineLock&);
    Win32MachineLock& operator=(const Win32MachineLock&);

    void* mutex_;  // open only while the lock is held
};
