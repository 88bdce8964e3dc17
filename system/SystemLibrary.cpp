#include "system/SystemLibrary.h"

#include <cstdint>
#include <cstring>

namespace {

const char kNetapiLibrary[] = "netapi32.dll";
const std::uint32_t kNerrSuccess = 0;
// NETSETUP_JOIN_STATUS.
const std::uint32_t kNetSetupUnjoined = 1;
const std::uint32_t kNetSetupWorkgroupName = 2;
const std::uint32_t kNetSetupDomainName = 3;

}  // namespace

// Loaded by bare name a library would be searched for beside the program
// first, where anyone who can write to that folder could plant one.
void* LoadSystemLibrary(System& system, const char* fileName) {
    char path[260] = {0};
    std::uint32_t length = system.SystemDirectory(path, sizeof(path));
    if (length == 0 || length + 1 + std::strlen(fileName) + 1 > sizeof(path)) return 0;
    path[length] = '\\';
    std::strcat(path, fileName);
    return system.OpenLibrary(path);
}

DomainMembership GetDomainMembership(System& system) {
    void* library = LoadSystemLibrary(system, kNetapiLibrary);
    if (!library) return kMembershipUnknown;
    void* query = system.FindEntryPoint(library, "NetGetJoinInformation");
    void* release = system.FindEntryPoint(library, "NetApiBufferFree");
    DomainMembership membership = kMembershipUnknown;
    std::uint32_t joinStatus = 0;
    // Without a way to give back the name it allocates, netapi32 is not asked.
    if (query && release &&
        system.CallNetGetJoinInformation(query, release, &joinStatus) == kNerrSuccess) {
        if (joinStatus == kNetSetupDomainName) membership = kDomainMember;
        if (joinStatus == kNetSetupWorkgroupName || joinStatus == kNetSetupUnjoined)
            membership = kWorkgroupMember;
    }
    system.CloseLibrary(library);
    return membership;
}
