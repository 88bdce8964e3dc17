// The accessor's table of cases against the real registry (under Wine),
// through advapi32. Works in a scratch key of its own, which it deletes.
//
//   registry_cases.exe [scratch key path under HKEY_LOCAL_MACHINE]
//
// The default scratch key is SOFTWARE\LumivaleTest\<process id>. Prints one
// line per case and "N passed, N failed"; the exit code is 0 only when every
// case passed and the scratch key is gone again.
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "AccessorCases.h"
#include "platform/Win32Registry.h"

namespace {

const char kScratchParent[] = "SOFTWARE\\LumivaleTest";

class PrintingReporter : public CaseReporter {
public:
    void Failure(const char*, const std::string& message) {
        failures_ += failures_.empty() ? ": " : "; ";
        failures_ += message;
    }
    void Finished(const char* caseName, bool casePassed) {
        if (casePassed) {
            std::printf("ok    %s\n", caseName);
            ++passed;
        } else {
            std::printf("FAIL  %s%s\n", caseName, failures_.c_str());
            ++failed;
        }
        std::fflush(stdout);
        failures_.clear();
    }

    int passed = 0, failed = 0;

private:
    std::string failures_;
};

bool KeyExists(const std::string& path) {
    HKEY key = 0;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string scratch;
    if (argc > 1) {
        scratch = argv[1];
    } else {
        std::ostringstream path;
        path << kScratchParent << "\\" << GetCurrentProcessId();
        scratch = path.str();
    }
    // Left over from an earlier run that was stopped: start clean.
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, scratch.c_str());

    Win32Registry registry;
    PrintingReporter reporter;
    RunAccessorCases(registry, scratch, reporter);
    int passed = reporter.passed, failed = reporter.failed;

    SHDeleteKeyA(HKEY_LOCAL_MACHINE, scratch.c_str());
    // The shared parent goes only when no other run still uses it.
    if (argc <= 1) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kScratchParent);
    if (KeyExists(scratch)) {
        std::printf("FAIL  cleanup: HKLM\\%s is still there\n", scratch.c_str());
        ++failed;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
