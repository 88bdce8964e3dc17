// The machine-wide lock as a named kernel mutex in the Global\ namespace.
#pragma once

#include <windows.h>

#include "system/MachineLock.h"

// Sent to the window a lock keeps responsive: wParam 1 when its wait for
// another copy begins, 0 when it ends.
#define WM_LOCK_WAIT (WM_USER + 1001)

class Win32MachineLock : public MachineLock {
public:
    Win32MachineLock() : mutex_(0), window_(0) {}
    ~Win32MachineLock();
    bool Acquire();
    void Release();
    // While it waits for another copy, the lock keeps this window's messages
    // flowing (it paints, and Windows does not call it "Not Responding"),
    // telling it when the wait begins and ends.
    void KeepResponsive(HWND window) { window_ = window; }

private:
    Win32MachineLock(const Win32MachineLock&);
    Win32MachineLock& operator=(const Win32MachineLock&);

    DWORD WaitResponsive(HANDLE mutex);

    void* mutex_;  // open only while the lock is held
    HWND window_;
};
