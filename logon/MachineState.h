// What the machine is: one reading of every value that decides what the
// program says, which buttons it offers and what "Restore" and "Disable" are
// due to do. Everything the program tells or decides comes from a reading;
// a change reads again, under the machine-wide lock, before it acts.
#pragma once

#include <cstdint>

#include "logon/LogonLayout.h"
#include "registry/Registry.h"
#include "registry/RegistryValue.h"
#include "system/SystemLibrary.h"

// A registry text as every part of the program judges it. Only a text with
// a terminator within the 260-byte path buffer names a path (a GINA, which
// may be Telvaro's); Winlogon's GinaDLL of at most 260 bytes keeps the
// Welcome Screen off all the same.
enum TextState {
    kTextAbsent,
    kTextPath,          // text holds it
    kTextUnterminated,  // 260 bytes without a terminator: a copy is still written back
    kTextTooLong,       // more than 260 bytes
    kTextUnknown        // the registry refused the read
};

struct TextValue {
    TextState state;
    // The path; for an unterminated text its 260 bytes, as a notice shows
    // them. Always terminated.
    char text[layout::kTextBufferSize + 1];
};

// How a LogonType is set: the Welcome Screen only by a 4-byte REG_DWORD that
// is not 0.
enum LogonTypeState { kTypeAbsent, kTypeWelcome, kTypeClassic, kTypeUnknown };

// What keeps the Welcome Screen off, as flags; none means it shows.
enum WelcomeScreenBlocker {
    kBlockedByDomain = 1,     // a domain member: XP offers it only in a workgroup
    kBlockedByPolicy = 2,     // the policy's LogonType, which wins over Winlogon's
    kBlockedByGina = 4,       // Winlogon's GinaDLL names a GINA (MachineState::gina)
    kBlockedByLogonType = 8,  // Winlogon's LogonType, with no policy value
    // Winlogon's GinaDLL fills 260 bytes without a terminator: no path to
    // load a GINA from, yet a GinaDLL all the same (MachineState::gina).
    kBlockedByUnusableGina = 16
};

// What of Restore's change is not in effect, as flags: Telvaro's GINA out
// of the chain and the Welcome Screen's logon type. A repair or reinstall of
// Telvaro, Windows Installer's resiliency, or a Restore refused part way,
// leaves or puts them back.
enum NotInEffect {
    kOffGina = 1,         // Winlogon's GinaDLL names Telvaro's GINA
    kOffChainedGina = 2,  // the Wayfold GINA first, its ChainTo naming Telvaro's
    kOffLogonType = 4,    // no policy LogonType, and Winlogon's selects no Welcome Screen
};

// Values whose read the registry refused, where a decision needed them.
enum Unreadable {
    kUnreadMarker = 1,
    kUnreadGina = 2,          // Winlogon's GinaDLL
    kUnreadRecord = 4,        // Telvaro's record of the GINA it replaced
    kUnreadChainTo = 8,       // the Wayfold GINA's ChainTo
    kUnreadLogonType = 16,    // Winlogon's LogonType
    kUnreadPolicy = 32,       // the policy's LogonType
    kUnreadSavedGina = 64,    // the backup's copy of Winlogon's GinaDLL
    kUnreadSavedChainTo = 128 // the backup's copy of the Wayfold GINA's ChainTo
};

// Why a GINA chain Winlogon would load does not load: a logon stops there.
// The last is no fault of the chain: Disable would take a GINA out of one
// that loads now.
enum ChainTrouble {
    kChainFine = 0,
    kChainMissingGina,  // a GINA it names is found neither as named nor in the system directory
    kChainNoNextGina,   // Telvaro's or the Wayfold GINA names no GINA to load after it
    kChainLoops,        // a GINA comes round again
    kChainDropsGina     // Disable only: this GINA loads now and would not after it
};

struct ChainReport {
    ChainTrouble trouble;
    // The GINA that is missing, has nothing after it or would be dropped;
    // for a loop the chain, "A -> B -> A". Terminated.
    char text[3 * 260 + 16];
};

enum ChainState { kChainLoads, kChainBroken, kChainUnknown };

struct MachineState {
    RegistryValue::Presence marker;  // the applied marker
    TextValue gina;                  // Winlogon's GinaDLL
    TextValue record;                // Telvaro's GinaDLL: the GINA its own loads next
    TextValue chainTo;               // the Wayfold GINA's ChainTo
    TextValue savedGina;             // the backup's copies, which Disable writes back
    TextValue savedChainTo;
    LogonTypeState logonType;        // Winlogon's
    LogonTypeState policyType;       // the policy's, which wins when there is one
    DomainMembership domain;

    // Judged from the values above.
    ChainState chainState;  // the chain Winlogon loads at the next start
    ChainReport chain;      // why it does not load; kChainFine when it loads or is unknown
    unsigned blockers;      // WelcomeScreenBlocker
    unsigned notInEffect;   // NotInEffect, whatever the marker
    unsigned unreadable;    // Unreadable: what /status and the notices could not tell
};

class LogonConfig;

// Reads the machine once and judges it; changes nothing.
void ReadMachine(LogonConfig& logon, System& system, MachineState* state);

// Whether the chain of GINAs loads once Disable has written the backup's
// copies back (both, or only the Wayfold GINA's ChainTo, which goes back
// first), and whether it keeps every GINA that loads now other than
// Telvaro's and the system's own. A refused read adds to *unreadable.
bool DisableKeepsChain(LogonConfig& logon, const MachineState& state, ChainReport* why,
                       unsigned* unreadable);

// What a press or a switch is due to do on this machine.
enum Due {
    kDueNothing,  // Restore in effect, or Disable without the marker
    kDueRestore,  // no marker: the whole of Restore, backup first
    kDueRepair,   // the marker there, part of Restore not in effect: only that
    kDueDisable,  // the marker there
    kDueUnknown   // a value that decides it could not be read
};
Due RestoreDue(const MachineState& state);
Due DisableDue(const MachineState& state);

// The dialog's buttons: "Disable" with the marker, "Restore" when it is due
// or the marker could not be read (pressing it then says so).
bool OffersDisable(const MachineState& state);
bool OffersRestore(const MachineState& state);
