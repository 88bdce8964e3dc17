// Every registry key and value the program reads or writes, in one place.
// All keys lie under HKEY_LOCAL_MACHINE.
#pragma once

#include <cstdint>

#include "registry/Registry.h"

namespace layout {

// Telvaro's key; it also holds the program's backup set.
const char kProductKey[] = "SOFTWARE\\Corvane\\Telvaro\\CurrentVersion\\System";
// The logon process's key. Key names ignore case, so both spellings reach the
// same key; the GINA chain repair uses the upper-case one.
const char kWinlogonKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\WinLogon";
const char kWinlogonKeyUpper[] = "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CurrentVersion\\WinLogon";
const char kPolicyKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
// The Wayfold product's GINA, which may sit in front of Telvaro's.
const char kChainedGinaKey[] = "SOFTWARE\\Corvane\\Wayfold\\Gina";

// Values of the platform and of the two products (REG_SZ text or REG_DWORD).
const char kGinaDll[] = "GinaDLL";                 // Winlogon and product key, REG_SZ
const char kChainTo[] = "ChainTo";                 // Winlogon and chained-GINA key, REG_SZ
const char kLogonType[] = "LogonType";             // Winlogon key, REG_DWORD
const char kAllowMultipleTsSessions[] = "AllowMultipleTSSessions";  // Winlogon and policy key
const char kInstallDir[] = "InstallDir";           // product key, REG_SZ

// The backup set, in the product key. Two copies keep the platform's name and
// are never deleted: other runs rely on finding them there.
const char kBackupPrefix[] = "Zelt_";
const char kBackupGinaDll[] = "Zelt_GinaDLL";                  // REG_SZ, byte-for-byte
const char kBackupChainTo[] = "Zelt_ChainTo";                  // REG_SZ, byte-for-byte
const char kBackupLogonType[] = "Zelt_LogonType";              // REG_DWORD
const char kBackupMultipleSessions[] = "AllowMultipleTSSessions";         // REG_DWORD
const char kBackupMultipleSessionsPolicy[] = "AllowMultipleTSSessionsPolicy";  // REG_DWORD
const char kBackupChainedGinaChainTo[] = "Zelt_GinaChainTo";   // REG_SZ, byte-for-byte
// The applied marker: REG_BINARY 01 00 00 00. Present means "applied".
const char kAppliedMarker[] = "Zelt_Applied";
const std::uint32_t kAppliedMarkerData = 1;

// Text values other than InstallDir are read into zero-filled buffers of this
// size (the platform's MAX_PATH, terminator included); the repair writes
// exactly this many bytes.
const std::uint32_t kTextBufferSize = 260;
const std::uint32_t kDwordSize = 4;

// Values the logon settings are switched to.
const std::uint32_t kWelcomeScreenLogonType = 1;
const std::uint32_t kMultipleSessionsOff = 0;

// The values the event of a run shows before and after it, in this order:
// each one Restore or Disable may change.
struct LayoutValue {
    const char* key;
    const char* name;
};
const LayoutValue kRecordedValues[] = {
    {kWinlogonKey, kGinaDll},
    {kWinlogonKey, kChainTo},
    {kChainedGinaKey, kChainTo},
    {kWinlogonKey, kLogonType},
    {kWinlogonKey, kAllowMultipleTsSessions},
    {kPolicyKey, kAllowMultipleTsSessions},
    {kProductKey, kAppliedMarker},
};
const unsigned kRecordedValueCount = sizeof(kRecordedValues) / sizeof(kRecordedValues[0]);

// The program's event source in the Application log: Event Viewer finds the
// texts of its events in the message table of the file EventMessageFile
// names (REG_EXPAND_SZ), for the event types TypesSupported lists (REG_DWORD).
#define LUMIVALE_EVENT_SOURCE "Lumivale"
const char kEventSource[] = LUMIVALE_EVENT_SOURCE;
const char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\" LUMIVALE_EVENT_SOURCE;
const char kEventMessageFile[] = "EventMessageFile";
const char kTypesSupported[] = "TypesSupported";
// Error, warning and information.
const std::uint32_t kEventTypesSupported = 7;

// GINA names as they appear, folded to upper case, in a GinaDLL or ChainTo.
const char kProductGinaName[] = "TVGINA.DLL";
const char kChainedGinaName[] = "WFLGINA.DLL";
const char kDefaultGinaName[] = "msgina.dll";

}  // namespace layout
