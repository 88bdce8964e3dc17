#include "checks/NextLogon.h"

#include "checks/ProductChecks.h"
#include "registry/RegistryValue.h"

namespace {

const char kNetapiLibrary[] = "netapi32.dll";
const std::uint32_t kNerrSuccess = 0;
// NETSETUP_JOIN_STATUS.
const std::uint32_t kNetSetupUnjoined = 1;
const std::uint32_t kNetSetupWorkgroupName = 2;
const std::uint32_t kNetSetupDomainName = 3;

enum Answer { kNo, kYes, kCannotTell };

// Whether the LogonType of a key selects the Welcome Screen: only a REG_DWORD
// of 4 bytes that is not 0 does. *present tells whether the value is there.
Answer SelectsWelcomeScreen(Registry& registry, const char* key, bool* present) {
    RegistryValue value(registry, kHkeyLocalMachine, key);
    std::uint32_t size = 0;
    RegistryValue::Presence presence = value.QuerySize(layout::kLogonType, &size);
    *present = presence == RegistryValue::kPresent;
    if (presence == RegistryValue::kUnknown) return kCannotTell;
    if (presence == RegistryValue::kAbsent || size != layout::kDwordSize) return kNo;
    std::uint32_t logonType = 0;
    if (!value.ReadDword(layout::kLogonType, kRegDword, &logonType)) return kCannotTell;
    return value.ValueType() == kRegDword && logonType != 0 ? kYes : kNo;
}

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
    bool inPolicy = false, inWinlogon = false;
    Answer welcome = SelectsWelcomeScreen(registry, layout::kPolicyKey, &inPolicy);
    if (!inPolicy && welcome != kCannotTell)
        welcome = SelectsWelcomeScreen(registry, layout::kWinlogonKey, &inWinlogon);
    if (welcome == kCannotTell) next->blockers |= kBlockedUnreadable;
    if (welcome == kNo) next->blockers |= inPolicy ? kBlockedByPolicy : kBlockedByLogonType;

    if (GetDomainMembership(system) == kDomainMember) next->blockers |= kBlockedByDomain;
}
