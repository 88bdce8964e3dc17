#include "platform/Win32MachineLock.h"

#include <windows.h>
#include <sddl.h>

namespace {

// Global\: one object for every session, the console's, other users' and
// SYSTEM's at startup.
const char kMutexName[] = "Global\\Lumivale.Logon";
// Only SYSTEM and the Administrators may open it, so that a user without the
// rights to change the logon settings cannot hold it and keep those who have
// them waiting.
const char kMutexAccess[] = "D:(A;;GA;;;SY)(A;;GA;;;BA)";
// How long a copy waits for another to finish: one operation takes well under
// a second, so this is a copy that hangs or a lock held on purpose.
const DWORD kWaitMilliseconds = 10000;

HANDLE CreateLockMutex() {
    PSECURITY_DESCRIPTOR descriptor = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kMutexAccess, SDDL_REVISION_1,
                                                              &descriptor, 0))
        return 0;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    // Created, or opened when another copy created it first; never owned
    // from here, so that taking it is always the wait below.
    HANDLE mutex = CreateMutexA(&attributes, FALSE, kMutexName);
    LocalFree(descriptor);
    return mutex;
}

}  // namespace

// Waits for the mutex while dispatching the window's messages. A nested
// modal loop (the About box) may keep it past the wait: the mutex gets one
// last look then.
DWORD Win32MachineLock::WaitResponsive(HANDLE mutex) {
    DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited != WAIT_TIMEOUT) return waited;
    SendMessageA(window_, WM_LOCK_WAIT, 1, 0);
    DWORD start = GetTickCount();
    bool quit = false;
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kWaitMilliseconds) {
            waited = WaitForSingleObject(mutex, 0);
            break;
        }
        if (quit) {
            waited = WaitForSingleObject(mutex, kWaitMilliseconds - elapsed);
            break;
        }
        waited = MsgWaitForMultipleObjects(1, &mutex, FALSE, kWaitMilliseconds - elapsed,
                                           QS_ALLINPUT);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED_0 || waited == WAIT_FAILED) break;
        if (waited == WAIT_TIMEOUT) continue;  // the time is up: the look above
        MSG message;
        while (!quit && PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
            // WM_QUIT is for the modal loop that owns the window: put back,
            // and no more messages here.
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                quit = true;
                break;
            }
            if (!IsDialogMessageA(window_, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }
    SendMessageA(window_, WM_LOCK_WAIT, 0, 0);
    return waited;
}

Win32MachineLock::~Win32MachineLock() {
    if (mutex_) CloseHandle(mutex_);
}

bool Win32MachineLock::Acquire() {
    // An existing one is opened for no more than waiting and giving it back:
    // SYNCHRONIZE for the wait, MUTEX_MODIFY_STATE for ReleaseMutex.
    HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kMutexName);
    if (!mutex) mutex = CreateLockMutex();
    if (!mutex) return false;
    // WAIT_ABANDONED: the copy that held it ended without giving it back.
    // Apply and Revert lose nothing whichever write they stopped after (the
    // marker commits the backup), so the lock is taken over.
    DWORD waited = window_ ? WaitResponsive(mutex) : WaitForSingleObject(mutex, kWaitMilliseconds);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return false;
    }
    mutex_ = mutex;
    return true;
}

void Win32MachineLock::Release() {
    if (!mutex_) return;
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
    mutex_ = 0;
}
