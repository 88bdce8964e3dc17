// Libraries of the system directory, loaded by full path, and the one
// question the program asks netapi32: is this computer in a domain?
#pragma once

#include "system/System.h"

// Loads a library of the system directory by its full path; null when the
// directory cannot be read, the path would not fit or loading fails.
void* LoadSystemLibrary(System& system, const char* fileName);

enum DomainMembership { kMembershipUnknown, kWorkgroupMember, kDomainMember };

// NetGetJoinInformation of the system directory's netapi32.dll; unknown when
// it cannot be loaded or asked, or gives an answer it does not document.
DomainMembership GetDomainMembership(System& system);
