// The machine-wide lock that lets one copy of the program at a time change the
// logon settings: copies in every session (the console, other users' sessions,
// SYSTEM at startup) share it. Windows implements it in platform/; tests fake it.
#pragma once

class MachineLock {
public:
    virtual ~MachineLock() {}

    // Waits a bounded time for the lock. True when this copy holds it, also
    // when a copy that held it ended without giving it back; false when
    // another copy kept it for the whole wait, or it cannot be had at all.
    virtual bool Acquire() = 0;
    // Gives back the lock Acquire took.
    virtual void Release() = 0;
};
