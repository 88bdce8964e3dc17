// What the program tells the user after "Restore" or "Disable", and what a
// switch run says: string ids of its table, one line each, all taken from
// one reading of the machine.
#pragma once

#include "checks/ProductChecks.h"
#include "logon/LogonConfig.h"
#include "logon/MachineState.h"

// The lines, in this order: one when chain does not load; message; one for
// refused; one for each flag of redone; note; one for each flag of
// notInEffect; one for each blocker; the reads that were refused.
struct Notice {
    int message;           // string id; 0 for none
    int note;              // string id, 0 for none
    ChainReport chain;     // the chain Winlogon loads next, when it does not load
    ChainReport refused;   // the GINA chain Disable would not give back
    unsigned redone;       // NotInEffect: what a Restore with the marker there put in place
    unsigned notInEffect;  // /status: what of Restore is not in effect
    unsigned blockers;     // WelcomeScreenBlocker
    unsigned unreadable;   // Unreadable
    char gina[layout::kTextBufferSize + 1];  // Winlogon's GinaDLL, with a GINA blocker
};

// A byte of a text read from the registry as the program shows it: a
// control character as '?', so that it can neither end a line nor forge
// another in a log.
inline char ShownByte(char c) { return static_cast<unsigned char>(c) < 0x20 ? '?' : c; }

// Room for every line of a notice and a GINA name of 260 bytes.
const int kNoticeTextSize = 2048;

// The notice's lines, separated by '\n' and terminated, as the box shows
// them and the standard output and the event log carry them.
void NoticeText(System& system, const Notice& notice, char* text, int size);

// Only the message.
Notice MessageNotice(int message);

// "Some errors occured.", followed by a line on the rights it takes when the
// program runs without an administrator's.
Notice RefusalNotice(ProductChecks& checks);

// Adds what the reading tells of the next logon: the chain that does not
// load, the reads refused and, with blockers, what keeps the Welcome Screen off.
void DescribeMachine(const MachineState& state, bool blockers, Notice* notice);

// After an operation ran, found nothing due or could not take the lock, with
// the machine as read after it: the restart notice, "Nothing to do: ..." or
// the refusal with what Disable would not give back. After "Restore" also
// what it put in place, and why the next logon will still not show the
// Welcome Screen when something keeps it off. Written in place: a notice is
// large for a program without the C runtime's stack probe.
void OperationNotice(LogonOperation operation, LockedOutcome outcome, const RunReport& report,
                     const MachineState& now, ProductChecks& checks, Notice* notice);
