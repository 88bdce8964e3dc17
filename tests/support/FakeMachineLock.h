// A stand-in for the machine-wide lock: free, or held by another copy for
// the whole wait; it notes when it was taken and given back.
#pragma once

#include <functional>

#include "system/MachineLock.h"

class FakeMachineLock : public MachineLock {
public:
    bool busy = false;  // another copy holds it: Acquire fails
    // What another copy does while this one waits, before Acquire takes it.
    std::function<void()> meanwhile;
    // The clock the moments below are read from, e.g. the registry calls so far.
    std::function<int()> clock;

    bool held = false;
    int acquisitions = 0;
    int takenAt = -1, givenBackAt = -1;

    bool Acquire() {
        if (meanwhile) meanwhile();
        if (busy || held) return false;
        held = true;
        ++acquisitions;
        takenAt = clock ? clock() : 0;
        return true;
    }
    void Release() {
        held = false;
        givenBackAt = clock ? clock() : 0;
    }
};
