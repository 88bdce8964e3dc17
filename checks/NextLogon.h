// Whether the next logon shows the Welcome Screen, and what keeps it off.
// Windows XP offers it only when Winlogon loads no GINA named in its GinaDLL,
// LogonType selects it and the computer is not a member of a domain.
#pragma once

#include <cstdint>

#include "logon/LogonConfig.h"
#include "logon/LogonLayout.h"
#include "registry/Registry.h"
#include "system/System.h"

// What keeps the Welcome Screen off, as flags; none means it shows.
enum WelcomeScreenBlocker {
    kBlockedByDomain = 1,     // a domain member: XP offers it only in a workgroup
    kBlockedByPolicy = 2,     // the policy's LogonType, which wins over Winlogon's
    kBlockedByGina = 4,       // Winlogon's GinaDLL names a GINA (NextLogon::gina)
    kBlockedByLogonType = 8,  // Winlogon's LogonType, with no policy value
    kBlockedUnreadable = 16   // GinaDLL or LogonType is there but could not be read
};

struct NextLogon {
    unsigned blockers;
    // With kBlockedByGina, what Winlogon's GinaDLL holds, terminated.
    char gina[layout::kTextBufferSize + 1];
    // Whether the chain Winlogon loads loads at all: a GINA it cannot load
    // stops every logon.
    ChainReport chain;
};

enum DomainMembership { kMembershipUnknown, kWorkgroupMember, kDomainMember };

// NetGetJoinInformation of the system directory's netapi32.dll; unknown when
// it cannot be loaded or asked, or gives an answer it does not document.
DomainMembership GetDomainMembership(System& system);

// Reads Winlogon's and the policy's values and the GINA chain afresh; changes nothing. A domain
// membership that is not known keeps nothing off.
void ReadNextLogon(Registry& registry, System& system, NextLogon* next);
