// What the program tells the user after "Restore" or "Disable", and what a
// switch run says: string ids of its table, one line each.
#pragma once

#include "checks/NextLogon.h"
#include "checks/ProductChecks.h"
#include "logon/LogonConfig.h"

// The lines, in this order: one when logon.chain does not load; message;
// one for refused; one for each flag of redone; note; one for each flag of
// undone; one for each of logon's blockers.
struct Notice {
    int message;          // string id; 0 for none
    ChainReport refused;  // the GINA chain Disable would not give back
    unsigned redone;      // what another program had undone, which Restore put right
    int note;             // string id, 0 for none
    unsigned undone;      // /status: what another program has undone of Restore
    NextLogon logon;
};

// Only the message; the next logon left unread.
Notice MessageNotice(int message);

// "Some errors occured.", followed by a line on the rights it takes when the
// program runs without an administrator's.
Notice RefusalNotice(ProductChecks& checks);

// After an operation ran (or could not take the lock): the restart notice,
// after "Restore" followed by what it put right that another program had
// undone and why the next logon will still not show the Welcome Screen when
// something keeps it off; else the refusal, with the GINA chain Disable
// would not give back. Either way first a line when the chain Winlogon
// loads next does not load. Reads the registry afresh; changes nothing.
// Written in place: a notice is large for a program without the C
// runtime's stack probe.
void OperationNotice(LogonOperation operation, LockedOutcome outcome, const RunReport& report,
                     ProductChecks& checks, Notice* notice);

// Reads the chain Winlogon loads next into a notice, for its first line.
void AddChainLine(Notice& notice, ProductChecks& checks);
