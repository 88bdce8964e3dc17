// The command line: how switches are read, and what each run without the
// dialog ends with on the in-memory registry and a fake system.
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

enum MachineKind { kEligible, kApplied, kNotXp, kNotInstalled, kWrongVersion };
enum Change { kUnchanged, kChanged };

struct OutcomeRow {
    MachineKind machine;
    bool writesRefused;
    CommandAction action;
    int exitCode;
    int message;
    Change change;
};

const OutcomeRow kOutcomeRows[] = {
    {kEligible, false, kRestoreCommand, 3010, IDS_RESTART, kChanged},
    {kApplied, false, kDisableCommand, 3010, IDS_RESTART, kChanged},
    {kEligible, true, kRestoreCommand, 1603, IDS_ERRORS, kUnchanged},
    {kApplied, true, kDisableCommand, 1603, IDS_ERRORS, kUnchanged},
    // Nothing to do: nothing done, nothing said.
    {kApplied, false, kRestoreCommand, 0, 0, kUnchanged},
    {kEligible, false, kDisableCommand, 0, 0, kUnchanged},
    {kApplied, false, kStatusCommand, 0, 0, kUnchanged},
    {kEligible, false, kStatusCommand, 1, 0, kUnchanged},
    // The startup check refuses every action alike.
    {kNotXp, false, kRestoreCommand, 1633, IDS_ONLY_XP, kUnchanged},
    {kNotXp, false, kStatusCommand, 1633, IDS_ONLY_XP, kUnchanged},
    {kNotInstalled, false, kRestoreCommand, 1605, IDS_NOT_INSTALLED, kUnchanged},
    {kNotInstalled, false, kDisableCommand, 1605, IDS_NOT_INSTALLED, kUnchanged},
    {kWrongVersion, false, kDisableCommand, 1638, IDS_WRONG_VERSION, kUnchanged},
    {kWrongVersion, false, kStatusCommand, 1638, IDS_WRONG_VERSION, kUnchanged},
    // Usage: nothing is looked at.
    {kEligible, false, kUsageCommand, 0, IDS_USAGE, kUnchanged},
    {kEligible, false, kInvalidCommand, 87, IDS_USAGE, kUnchanged},
};

Machine MachineOf(MachineKind kind) {
    Machine m = DirectMachine();
    m.system.AddFile(kHost);
    m.system.fileVersions[kHost] = {10, 5, 0, 0};
    if (kind == kApplied) m = After(m, Perform(m, kApply));
    if (kind == kNotXp) m.system.SetVersion(kVerPlatformWin32Nt, 5, 2);
    if (kind == kNotInstalled) m.system.files.clear();
    if (kind == kWrongVersion) m.system.fileVersions[kHost] = {10, 4, 0, 0};
    return m;
}

TEST(CommandLine, EachActionEndsWithItsCodeAndMessage) {
    for (const OutcomeRow& row : kOutcomeRows) {
        SCOPED_TRACE(::testing::Message() << "machine " << row.machine << ", action "
                                          << row.action << (row.writesRefused ? ", refused" : ""));
        Machine m = MachineOf(row.machine);
        const Values before = AllValues(m.registry);
        ReadOnlyRegistry readOnly(m.registry);
        Registry& registry = row.writesRefused ? static_cast<Registry&>(readOnly) : m.registry;
        ProductChecks checks(registry, m.system);
        LogonConfig logon(registry, m.system);
        CommandResult result = PerformCommand(row.action, checks, logon);
        EXPECT_EQ(row.exitCode, result.exitCode);
        EXPECT_EQ(row.message, result.message);
        EXPECT_EQ(row.change == kChanged, AllValues(m.registry) != before);
        // The marker follows the operation exactly when it succeeded.
        if (row.change == kChanged) {
            EXPECT_EQ(row.action == kRestoreCommand, IsApplied(m.registry));
        }
    }
}

}  // namespace
