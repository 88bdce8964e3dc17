// Eligibility: is this Windows XP with Telvaro 10.5.0 installed, and has the
// program already applied its change (the applied marker)?
#pragma once

#include <cstdint>

#include "logon/LogonConfig.h"
#include "logon/MachineState.h"
#include "registry/Registry.h"
#include "registry/TextString.h"
#include "system/System.h"

struct Notice;

// Operating-system codes of GetOsVersionCode.
enum OsVersionCode {
    kOsWindows95 = 0,
    kOsWindows98 = 1,
    kOsWindowsMe = 2,
    kOsNt4OrEarlier = 3,
    kOsWindows2000 = 4,
    kOsWindowsXp = 5,
    kOsOther = 6
};

// Why the startup check refuses the machine; each value is the id of the
// string that tells the user.
enum StartupFailureReason {
    kStartupPassed = 0,
    kNotWindowsXp = 103,
    kProductNotInstalled = 106,
    kWrongProductVersion = 107
};

// Result codes of GetFileVersion.
enum FileVersionResult {
    kFileVersionOk = 0,
    kFileVersionNoInfo = 1,
    kFileVersionNoMemory = 2,
    kFileVersionReadFailed = 3,
    kFileVersionNoRootRecord = 4,
    kFileVersionLoadFailed = 5
};

// Classifies the running Windows; 1 when a version query succeeded, 0 when
// both failed. *code is written in either case.
int GetOsVersionCode(System& system, int* code);

// The first three components of a file's version; outputs are written only
// on success and null ones are skipped.
int GetFileVersion(System& system, const char* path, std::uint32_t* major,
                   std::uint32_t* minor, std::uint32_t* third);

class ProductChecks {
public:
    ProductChecks(Registry& registry, System& system) : registry_(registry), system_(system) {}

    // 1 when fileName exists in Telvaro's install directory. After a
    // successful read of the directory fileName holds the full path (unless
    // memory for it is short, which fails the check).
    int IsProductInstalled(TextString& fileName);
    // 1 when tvhost32.exe is installed with version 10.5.0.
    int IsProductVersionValid();
    // 1 when the applied marker is present.
    int IsApplied();
    // The startup check up to the marker test, stopping at the first failure.
    StartupFailureReason StartupFailure();
    // What the machine is: one reading, from which every word and button comes.
    void ReadMachine(MachineState* state);
    bool RunsAsAdministrator() { return system_.RunsAsAdministrator(); }
    // After a run of Restore or Disable, the lock given back and the notice
    // built: the run's event in the Application log, when it has one
    // (checks/RunEvent.h).
    void ReportRun(RunSource source, LogonOperation operation, LockedOutcome outcome,
                   const RunReport& report, const Notice& notice);

private:
    Registry& registry_;
    System& system_;
};
