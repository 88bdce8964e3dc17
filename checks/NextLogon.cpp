#include "checks/NextLogon.h"

#include "checks/ProductChecks.h"
#include "logon/LogonConfig.h"
#include "registry/RegistryValue.h"

namespace {

const char kNetapiLibrary[] = "netapi32.dll";
const std::uint32_t kNerrSuccess = 0;
// NETSETUP_JOIN_STATUS.
const std::uint32_t kNetSetupUnjoined = 1;
const std::uint32_t kNetSetupWorkgroupName = 2;
const std::uint32_t kNetSetupDomainName = 3;

}  // namespace

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

void ReadNextLogon(Registry& registry, System& system, NextLogon* next) {
    next->blockers = 0;
    next->gina[0] = 0;

    // Any GinaDLL Winlogon can read names the GINA it loads instead of its
    // own, even one naming msgina.dll; a longer one it ignores.
    RegistryValue winlogon(registry, kHkeyLocalMachine, layout::kWinlogonKey);
    std::uint32_t size = 0;
    RegistryValue::Presence gina = winlogon.QuerySize(layout::kGinaDll, &size);
    if (gina == RegistryValue::kUnknown) {
        next->blockers |= kBlockedUnreadable;
    } else if (gina == RegistryValue::kPresent && size <= layout::kTextBufferSize) {
        std::uint32_t count = layout::kTextBufferSize;
        bool read = winlogon.ReadBytes(layout::kGinaDll, kRegSz, next->gina, &count) != 0;
        next->gina[layout::kTextBufferSize] = 0;
        next->blockers |= read ? kBlockedByGina : kBlockedUnreadable;
    }

    // The policy's LogonType, when there is one, wins over Winlogon's.
    LogonConfig logon(registry, system);
    bool inPolicy = false, inWinlogon = false;
    int welcome = logon.SelectsWelcomeScreen(layout::kPolicyKey, &inPolicy);
    if (!inPolicy && welcome >= 0) welcome = logon.SelectsWelcomeScreen(layout::kWinlogonKey, &inWinlogon);
    if (welcome < 0) next->blockers |= kBlockedUnreadable;
    if (welcome == 0) next->blockers |= inPolicy ? kBlockedByPolicy : kBlockedByLogonType;
    logon.NextChain(&next->chain);

    if (GetDomainMembership(system) == kDomainMember) next->blockers |= kBlockedByDomain;
}
