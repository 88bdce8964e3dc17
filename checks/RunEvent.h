// The record a run of Restore or Disable leaves in the Application log: one
// event for each run that changes the machine or is refused, none for one
// that had nothing to do. Its texts are the message table of the program's
// own file (ui/Events.mc), which the event source's registration names.
#pragma once

#include "checks/Notice.h"
#include "logon/LogonConfig.h"
#include "logon/LogonLayout.h"

// The message table's ids; Event Viewer shows them as the event ids.
enum EventId {
    kNoEvent = 0,
    kEventRestored = 1,  // Restore, all of it
    kEventRepaired = 2,  // Restore with the marker: what was not in effect put back
    kEventDisabled = 3,  // Disable
    kEventRefused = 4,   // a change, or a read that decides one, refused (1603)
    kEventLockTaken = 5  // another copy kept the lock (1618)
};

// The Application log's event types (EVENTLOG_*_TYPE).
enum EventType { kEventError = 1, kEventWarning = 2, kEventInformation = 4 };

struct RunEvent {
    EventId id;
    EventType type;
};

// The insertion strings: %1 how the program ran, %2 what it said, one line
// for each recorded value it changed, %3 on.
const unsigned kEventStringCount = 2 + layout::kRecordedValueCount;

// The event of a run, from what it came to and what it said: an error for a
// refusal and wherever the chain left behind does not load; a warning for a
// lock that was taken, and for a change after which the next logon will
// still not show the Welcome Screen (Restore) or cannot be told; otherwise
// information. kNoEvent for a run that had nothing to do.
RunEvent EventOf(LogonOperation operation, LockedOutcome outcome, const RunReport& report,
                 const Notice& notice);

// Registers the event source when it is missing or names another file than
// this program: EventMessageFile, REG_EXPAND_SZ, the program's full path;
// TypesSupported. A refused write is left at that: the event is written all
// the same.
void RegisterSource(Registry& registry, System& system);

// The run's event, when it has one, with the source registered first.
// Neither failing changes anything else: not the exit code, not what the
// run says, not a logon value.
void ReportRun(Registry& registry, System& system, RunSource source, LogonOperation operation,
               LockedOutcome outcome, const RunReport& report, const Notice& notice);
