// The registry accessor's behaviour as one table of cases, run against any
// Registry: natively against the in-memory registry, and under Wine against
// the real one through advapi32. No test framework: failures go to a reporter.
#pragma once

#include <cstddef>
#include <string>

#include "registry/Registry.h"

class RegistryValue;

// Each public operation of the accessor as one call that succeeds when the
// value it names holds the 4-byte text "abc".
struct AccessorOperation {
    const char* name;
    int (*run)(RegistryValue& value, const char* valueName);
};
std::size_t AccessorOperationCount();
const AccessorOperation& AccessorOperationAt(std::size_t index);

class CaseReporter {
public:
    virtual ~CaseReporter() {}
    // One failed check of the named case.
    virtual void Failure(const char* caseName, const std::string& message) = 0;
    // The case ran; passed when no check of it failed.
    virtual void Finished(const char* caseName, bool passed) = 0;
};

std::size_t AccessorCaseCount();
const char* AccessorCaseName(std::size_t index);

// Runs one case in HKEY_LOCAL_MACHINE\<scratchPath>\case<index>, which the case
// creates as it needs; deleting the scratch key afterwards is the caller's.
// Returns true when the case passed.
bool RunAccessorCase(std::size_t index, Registry& registry, const std::string& scratchPath,
                     CaseReporter& reporter);

// Runs every case; returns the number that failed.
int RunAccessorCases(Registry& registry, const std::string& scratchPath, CaseReporter& reporter);
