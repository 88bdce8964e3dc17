// What the program tells the user after "Restore" or "Disable", and what a
// switch run says: string ids of its table, one line each.
#pragma once

#include "checks/NextLogon.h"
#include "checks/ProductChecks.h"
#include "logon/LogonConfig.h"

struct Notice {
    int message;      // string id; 0 for none
    int note;         // a line after it: string id, 0 for none
    NextLogon logon;  // then a line for each of its blockers
};

Notice MessageNotice(int message);

// "Some errors occured.", followed by a line on the rights it takes when the
// program runs without an administrator's.
Notice RefusalNotice(ProductChecks& checks);

// After an operation ran (or could not take the lock): the restart notice,
// after "Restore" followed by why the next logon will still not show the
// Welcome Screen when something keeps it off; else the refusal. Reads the
// registry afresh; changes nothing.
Notice OperationNotice(LogonOperation operation, LockedOutcome outcome, ProductChecks& checks);
