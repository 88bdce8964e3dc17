// The command line: how switches are read, and what /restore and /disable
// end with when the registry refuses their changes.
#include <gtest/gtest.h>

#include "../logon/LogonTestSupport.h"
#include "app/CommandLine.h"
#include "ui/resource.h"

using namespace logontest;

namespace {

// ---- Parsing ------------------------------------------------------------------

struct ParseRow {
    const char* line;
    CommandAction action;
    bool quiet;
};

const ParseRow kParseRows[] = {
    // No switches: the dialog, whatever the program's path looks like.
    {nullptr, kShowDialog, false},
    {"", kShowDialog, false},
    {"Lumivale.exe", kShowDialog, false},
    {"\"C:\\Program Files\\Lumivale.exe\"", kShowDialog, false},
    {"\"C:\\Program Files\\Lumivale.exe\"  \t ", kShowDialog, false},
    {"\"C:\\x /restore\\Lumivale.exe\"", kShowDialog, false},
    {"\"C:\\unterminated /restore", kShowDialog, false},
    // One action, "/" or "-", any case, quoted or not, /quiet anywhere.
    {"Lumivale.exe /restore", kRestoreCommand, false},
    {"Lumivale.exe -RESTORE", kRestoreCommand, false},
    {"Lumivale.exe /DiSaBlE", kDisableCommand, false},
    {"Lumivale.exe -Status", kStatusCommand, false},
    {"Lumivale.exe /?", kUsageCommand, false},
    {"Lumivale.exe -?", kUsageCommand, false},
    {"\"C:\\x /disable\\Lumivale.exe\" /status", kStatusCommand, false},
    {"\"C:\\Lumivale.exe\"/status", kStatusCommand, false},
    {"Lumivale.exe\t/restore\t/quiet\t", kRestoreCommand, true},
    {"Lumivale.exe -QUIET /disable", kDisableCommand, true},
    {"Lumivale.exe \"/restore\" \"-quiet\"", kRestoreCommand, true},
    {"Lumivale.exe /re\"st\"ore", kRestoreCommand, false},
    {"Lumivale.exe /quiet /?", kUsageCommand, true},
    // Anything else: nothing is done; /quiet still keeps the usage box away.
    {"Lumivale.exe /quiet", kInvalidCommand, true},
    {"Lumivale.exe /quiet /quiet", kInvalidCommand, true},
    {"Lumivale.exe /restore /quiet /quiet", kInvalidCommand, true},
    {"Lumivale.exe /restore /disable", kInvalidCommand, false},
    {"Lumivale.exe /restore /restore", kInvalidCommand, false},
    {"Lumivale.exe /? /status", kInvalidCommand, false},
    {"Lumivale.exe /bogus", kInvalidCommand, false},
    {"Lumivale.exe /bogus /quiet", kInvalidCommand, true},
    {"Lumivale.exe /restore extra", kInvalidCommand, false},
    {"Lumivale.exe restore", kInvalidCommand, false},
    {"Lumivale.exe /restore:yes", kInvalidCommand, false},
    {"Lumivale.exe //restore", kInvalidCommand, false},
    {"Lumivale.exe --restore", kInvalidCommand, false},
    {"Lumivale.exe /restor", kInvalidCommand, false},
    {"Lumivale.exe /", kInvalidCommand, false},
    {"Lumivale.exe -", kInvalidCommand, false},
    {"Lumivale.exe \"\"", kInvalidCommand, false},
    {"Lumivale.exe \"/restore /quiet\"", kInvalidCommand, false},
    {"Lumivale.exe /restorerestorerestorerestore", kInvalidCommand, false},
    {"Lumivale.exe /st\xC1tus", kInvalidCommand, false},
    {"Lumivale.exe /D\xDDSABLE", kInvalidCommand, false},  // no locale's capital I
};

TEST(CommandLine, ParsesEachRow) {
    for (const ParseRow& row : kParseRows) {
        SCOPED_TRACE(row.line ? row.line : "(null)");
        Command command = ParseCommandLine(row.line);
        EXPECT_EQ(row.action, command.action);
        EXPECT_EQ(row.quiet, command.quiet);
    }
}

// ---- Outcomes -------------------------------------------------------------------

const char kHost[] = "C:\\Program Files\\Telvaro\\tvhost32.exe";

// Reads pass; every change is refused, as for a user who is no administrator.
class ReadOnlyRegistry : public Registry {
public:
    explicit ReadOnlyRegistry(Registry& inner) : inner_(inner) {}
    long OpenKey(RegKey root, const char* path, RegKey* key) {
        return inner_.OpenKey(root, path, key);
    }
    long CreateKey(RegKey, const char*, RegKey*) { return kDenied; }
    long QueryValueEx(RegKey key, const char* name, std::uint32_t* type, unsigned char* data,
                      std::uint32_t* count) {
        return inner_.QueryValueEx(key, name, type, data, count);
    }
    long SetValueEx(RegKey, const char*, std::uint32_t, const unsigned char*, std::uint32_t) {
        return kDenied;
    }
    long DeleteValue(RegKey, const char*) { return kDenied; }
    long CloseKey(RegKey key) { return inner_.CloseKey(key); }

private:
    static const long kDenied = 5;  // ERROR_ACCESS_DENIED
    Registry& inner_;
};

Machine EligibleMachine() {
    Machine m = DirectMachine();
    m.system.AddFile(kHost);
    m.system.fileVersions[kHost] = {10, 5, 0, 0};
    return m;
}

// From the state in which each would act, /restore and /disable change
// nothing and end with message 105 when the registry refuses their changes
// (1603) or another copy keeps the machine-wide lock (1618). Wine lets every
// change through, so only this test sees the first.
TEST(CommandLine, RefusedChangesAndABusyLockChangeNothing) {
    for (bool busy : {false, true}) {
        for (CommandAction action : {kRestoreCommand, kDisableCommand}) {
            SCOPED_TRACE(std::string(action == kRestoreCommand ? "/restore" : "/disable") +
                         (busy ? ", lock held elsewhere" : ", registry read-only"));
            Machine m = EligibleMachine();
            if (action == kDisableCommand) m = After(m, Perform(m, kApply));
            const Values before = AllValues(m.registry);
            ReadOnlyRegistry readOnly(m.registry);
            Registry& registry = busy ? static_cast<Registry&>(m.registry) : readOnly;
            ProductChecks checks(registry, m.system);
            LogonConfig logon(registry, m.system);
            FakeMachineLock lock;
            lock.busy = busy;
            CommandResult result = PerformCommand(action, checks, logon, lock);
            EXPECT_EQ(busy ? 1618 : 1603, result.exitCode);
            EXPECT_EQ(IDS_ERRORS, result.message);
            EXPECT_EQ(before, AllValues(m.registry));
            EXPECT_FALSE(lock.held);
            // /status reads without the lock.
            EXPECT_EQ(action == kRestoreCommand ? 1 : 0,
                      PerformCommand(kStatusCommand, checks, logon, lock).exitCode);
        }
    }
}

// Two copies of /restore (or of /disable) started together: the one that
// waits for the lock finds the marker as the first one left it and does
// nothing, so the backup still holds the machine as it was.
TEST(CommandLine, ACopyThatWaitedFindsTheFirstCopysChange) {
    for (CommandAction action : {kRestoreCommand, kDisableCommand}) {
        SCOPED_TRACE(action == kRestoreCommand ? "/restore" : "/disable");
        const Machine original = EligibleMachine();
        Machine m = action == kRestoreCommand ? original : After(original, Perform(original, kApply));
        ProductChecks checks(m.registry, m.system);
        LogonConfig logon(m.registry, m.system);
        FakeMachineLock first, second;
        second.meanwhile = [&] {
            EXPECT_EQ(3010, PerformCommand(action, checks, logon, first).exitCode);
        };
        EXPECT_EQ(0, PerformCommand(action, checks, logon, second).exitCode);
        EXPECT_EQ(1, second.acquisitions);
        EXPECT_FALSE(second.held);
        if (action == kRestoreCommand) {
            EXPECT_TRUE(IsApplied(m.registry));
            EXPECT_TRUE(NothingLost(original, m.registry));
            EXPECT_TRUE(OriginalsBack(original, After(m, Perform(m, kRevert)).registry));
        } else {
            EXPECT_FALSE(IsApplied(m.registry));
            EXPECT_TRUE(OriginalsBack(original, m.registry));
        }
    }
}

}  // namespace
