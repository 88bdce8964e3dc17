// Apply's backup and Revert's restore: byte-for-byte copies, kept once made,
// and refused registry changes that end in an error instead of a loss.
#include "LogonTestSupport.h"

using namespace logontest;

namespace {

// What Apply leaves in the logon values that did not exist before it.
const struct {
    const char* key;
    const char* name;
    std::uint32_t value;
} kAppliedSettings[] = {
    {kWinlogon, "LogonType", 1},
    {kWinlogon, "AllowMultipleTSSessions", 0},
    {kPolicy, "AllowMultipleTSSessions", 0},
};

struct MachineCase {
    const char* name;
    Machine (*make)();
};
// Test names in listings rather than the bytes of the case.
void PrintTo(const MachineCase& c, std::ostream* out) { *out << c.name; }

const MachineCase kMachines[] = {
    {"Direct", DirectMachine},
    {"Chained", ChainedMachine},
    {"Bare", BareMachine},
};

class RoundTrip : public ::testing::TestWithParam<MachineCase> {};

// Also covers deletions of values that are not there: the Bare machine's
// repair deletes an absent GinaDLL, and Revert deletes copies never written.
TEST_P(RoundTrip, ApplyTwiceThenRevertRestoresEverySavedValue) {
    const Machine original = GetParam().make();

    Outcome first = Perform(original, kApply);
    ASSERT_TRUE(first.result);
    StoredValue before, copy;
    for (const SavedValue& saved : kSavedValues) {
        bool existed = original.registry.Get(saved.key, saved.name, &before);
        ASSERT_EQ(existed, first.registry.Get(kProduct, saved.copy, &copy)) << saved.copy;
        if (existed) {
            EXPECT_EQ(before, copy) << saved.copy;
        }
    }
    ASSERT_TRUE(first.registry.Get(kProduct, kMarker, &copy));
    EXPECT_EQ(kRegBinary, copy.type);
    EXPECT_EQ(Raw(std::string("\x01\0\0\0", 4)), copy.data);

    // Telvaro puts its GINA back in front and the classic logon is
    // selected; a second Apply repairs again but keeps the first backup.
    Machine again = After(original, first);
    again.registry.SetText(kWinlogon, "GinaDLL", "TVGINA.DLL");
    again.registry.SetDword(kWinlogon, "LogonType", 0);
    Outcome second = Perform(again, kApply);
    EXPECT_TRUE(second.result);
    EXPECT_EQ(BackupValues(first.registry), BackupValues(second.registry));

    Outcome revert = Perform(After(original, second), kRevert);
    EXPECT_TRUE(revert.result);
    EXPECT_FALSE(IsApplied(revert.registry));

    // Everything as it was, except: the two copies without the prefix stay in
    // the product key, and values that did not exist keep what Apply wrote.
    Values expected = AllValues(original.registry);
    for (const SavedValue& saved : kSavedValues)
        if (std::string(saved.copy).compare(0, 5, "Zelt_") != 0 &&
            original.registry.Get(saved.key, saved.name, &before))
            expected[ValueKey(kProduct, saved.copy)] = before;
    for (const auto& setting : kAppliedSettings)
        if (!original.registry.Get(setting.key, setting.name, 0))
            expected[ValueKey(setting.key, setting.name)] =
                StoredValue{kRegDword, Dword(setting.value)};
    EXPECT_EQ(expected, AllValues(revert.registry));
}

INSTANTIATE_TEST_SUITE_P(Logon, RoundTrip, ::testing::ValuesIn(kMachines),
                         [](const ::testing::TestParamInfo<MachineCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(Revert, WritesAnOlderPolicyCopyWhenTheLatestBackupFoundNoPolicy) {
    Machine machine = ChainedMachine();  // policy value 1
    Outcome apply = Perform(machine, kApply);
    Outcome revert = Perform(After(machine, apply), kRevert);
    ASSERT_TRUE(apply.result && revert.result);

    machine = After(machine, revert);
    Remove(machine.registry, kPolicy, "AllowMultipleTSSessions");
    apply = Perform(machine, kApply);
    StoredValue policy;
    ASSERT_TRUE(apply.registry.Get(kPolicy, "AllowMultipleTSSessions", &policy));
    EXPECT_EQ(Dword(0), policy.data);

    revert = Perform(After(machine, apply), kRevert);
    ASSERT_TRUE(revert.registry.Get(kPolicy, "AllowMultipleTSSessions", &policy));
    EXPECT_EQ(Dword(1), policy.data);
}

// One registry change refused (or one read, where that alone must stop the
// operation). The result is false, so the dialog reports errors and sets its
// buttons from the marker as it really is.
struct RefusalCase {
    const char* name;
    Machine (*original)();
    bool applied;  // start from the machine after a successful Apply
    Operation operation;
    ObservedRegistry::Operation refused;
    const char* target;  // value name, or key path for a creation
    bool markerAfter;
    bool logonUntouched;  // no logon value changed
    bool backupKept;      // backup set and marker exactly as before
    int nth;              // which call of that kind on that target, from 1
};
// Test names in listings rather than the bytes of the case.
void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

const RefusalCase kRefusals[] = {
    {"RepairDeletion", DirectMachine, false, kApply, ObservedRegistry::kDelete, "GinaDLL",
     true, false, false, 1},
    {"LogonTypeWrite", DirectMachine, false, kApply, ObservedRegistry::kSet, "LogonType",
     true, false, false, 1},
    {"PolicyKeyCreation", DirectMachine, false, kApply, ObservedRegistry::kCreate, kPolicy,
     true, false, false, 1},
    {"BackupCopyWrite", ChainedMachine, false, kApply, ObservedRegistry::kSet, "Zelt_ChainTo",
     false, true, false, 1},
    {"ChainedGinaCopyWrite", ChainedMachine, false, kApply, ObservedRegistry::kSet,
     "Zelt_GinaChainTo", false, true, false, 1},
    {"MarkerWrite", ChainedMachine, false, kApply, ObservedRegistry::kSet, kMarker,
     false, true, false, 1},
    // The backup's read of Winlogon's LogonType, after the reading's of the
    // policy's (its size) and of Winlogon's (its size and number).
    {"SourceRead", ChainedMachine, false, kApply, ObservedRegistry::kQuery, "LogonType",
     false, true, false, 4},
    // A marker the registry will not show: whether Restore is due cannot be told.
    {"MarkerReadWhileApplied", DirectMachine, true, kApply, ObservedRegistry::kQuery, kMarker,
     true, true, true, 1},
    {"RestoreWrite", ChainedMachine, true, kRevert, ObservedRegistry::kSet, "ChainTo",
     true, false, true, 1},
    // Every value is back: the marker goes first, the refused copy stays behind.
    {"BackupDeletion", ChainedMachine, true, kRevert, ObservedRegistry::kDelete,
     "Zelt_LogonType", false, false, false, 1},
    {"MarkerDeletion", ChainedMachine, true, kRevert, ObservedRegistry::kDelete, kMarker,
     true, false, true, 1},
    // The reading's, which the repair works from. A record the registry will
    // not show is no missing record, and a short ChainTo without a terminator
    // is one the repair can read: a refused read of either is an error.
    {"RecordReadDirect", DirectMachine, false, kApply, ObservedRegistry::kQuery, "GinaDLL",
     true, false, false, 2},
    {"RecordReadChained", ChainedMachine, false, kApply, ObservedRegistry::kQuery, "GinaDLL",
     true, false, false, 2},
    {"UnterminatedChainToRead",
     [] {
         Machine m = ChainedMachine();
         m.registry.Set(kChained, "ChainTo", kRegSz, Raw("TVGINA.DLL"));
         m.system.AddFile(std::string(kSystemDir) + "\\TVGINA.DLL");
         return m;
     },
     false, kApply, ObservedRegistry::kQuery, "ChainTo", true, false, false, 1},
};

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, ReportsErrorLosesNothingAndASecondTryCompletes) {
    const RefusalCase& c = GetParam();
    const Machine original = c.original();
    Machine start = original;
    if (c.applied) start = After(original, Perform(original, kApply));

    int call = CallIndex(Perform(start, c.operation), c.refused, c.target, c.nth);
    ASSERT_NE(0, call);
    Outcome failed = Perform(start, c.operation, call);
    EXPECT_FALSE(failed.result);
    EXPECT_EQ(c.markerAfter, IsApplied(failed.registry));
    if (c.logonUntouched) {
        EXPECT_EQ(LogonValues(start.registry), LogonValues(failed.registry));
    }
    if (c.backupKept) {
        EXPECT_EQ(BackupValues(start.registry), BackupValues(failed.registry));
    }
    EXPECT_TRUE(NothingLost(original, failed.registry));

    // Pressed again without the refusal: done, or nothing left to do (the
    // multiple-sessions values are no part of that; the marker gone with
    // every value back).
    Outcome retry = Perform(After(start, failed), c.operation);
    EXPECT_TRUE(retry.result || retry.outcome == kNothingDue);
    Machine now = After(start, retry);
    if (c.operation == kApply) {
        EXPECT_TRUE(IsApplied(now.registry));
        Outcome revert = Perform(now, kRevert);
        EXPECT_TRUE(revert.result);
        now = After(now, revert);
    }
    EXPECT_FALSE(IsApplied(now.registry));
    EXPECT_TRUE(OriginalsBack(original, now.registry));
}

INSTANTIATE_TEST_SUITE_P(Logon, Refusal, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace

// An aborted backup can leave "Zelt_" copies without a marker; the next
// backup must not adopt one whose source has gone since.
TEST(Backup, DropsAStaleCopyWhoseSourceIsGone) {
    Machine machine = DirectMachine();
    Remove(machine.registry, kWinlogon, "GinaDLL");
    machine.registry.SetText(kProduct, "Zelt_GinaDLL", "stale.dll");
    Outcome apply = Perform(machine, kApply);
    ASSERT_TRUE(apply.result);
    EXPECT_FALSE(apply.registry.Get(kProduct, "Zelt_GinaDLL", 0));

    Outcome revert = Perform(After(machine, apply), kRevert);
    ASSERT_TRUE(revert.result);
    EXPECT_FALSE(revert.registry.Get(kWinlogon, "GinaDLL", 0));
}

// A ChainTo too long for any path is neither saved nor changed, and does not
// stop Restore; a copy too long to read leaves its live value as it is and
// does not keep Disable from completing.
TEST(Backup, TooLongValuesNeitherBlockNorGetLost) {
    const Bytes tooLong = Sz(std::string(300, 'x') + "TVGINA.DLL");
    const struct {
        const char* key;
        const char* name;
    } kChainTos[] = {{kWinlogon, "ChainTo"}, {kChained, "ChainTo"}};
    for (const auto& chainTo : kChainTos) {
        SCOPED_TRACE(std::string(chainTo.key) + "\\" + chainTo.name);
        Machine machine = ChainedMachine();
        machine.registry.Set(chainTo.key, chainTo.name, kRegSz, tooLong);
        Outcome apply = Perform(machine, kApply);
        EXPECT_TRUE(apply.result);
        EXPECT_TRUE(IsApplied(apply.registry));
        Outcome revert = Perform(After(machine, apply), kRevert);
        EXPECT_TRUE(revert.result);
        EXPECT_TRUE(OriginalsBack(machine, revert.registry));
    }

    const struct {
        const char* copy;
        const char* key;
        const char* name;
        std::uint32_t type;
        Bytes data;
    } kCopies[] = {
        {"Zelt_GinaDLL", kWinlogon, "GinaDLL", kRegSz, Sz(std::string(260, 'g'))},
        {"Zelt_LogonType", kWinlogon, "LogonType", kRegDword, Raw(std::string(8, '\1'))},
        {"AllowMultipleTSSessionsPolicy", kPolicy, "AllowMultipleTSSessions", kRegDword,
         Raw(std::string(5, '\1'))},
    };
    for (const auto& copy : kCopies) {
        SCOPED_TRACE(copy.copy);
        Machine machine = ChainedMachine();
        machine = After(machine, Perform(machine, kApply));
        machine.registry.Set(kProduct, copy.copy, copy.type, copy.data);
        StoredValue live;
        ASSERT_TRUE(machine.registry.Get(copy.key, copy.name, &live));
        Outcome revert = Perform(machine, kRevert);
        EXPECT_TRUE(revert.result);
        EXPECT_EQ(std::string(copy.copy).compare(0, 5, "Zelt_") != 0,
                  revert.registry.Get(kProduct, copy.copy, 0));
        EXPECT_FALSE(IsApplied(revert.registry));
        StoredValue after;
        EXPECT_TRUE(revert.registry.Get(copy.key, copy.name, &after) && after == live);
    }
}

// Found by the state explorer: a number copy too long to read must not leave
// what the failed read put into the number to pad the policy copy after it.
TEST(Revert, ShortPolicyCopyAfterAnUnreadableCopyIsPaddedAsRead) {
    Machine machine = ChainedMachine();
    machine = After(machine, Perform(machine, kApply));
    machine.registry.Set(kProduct, "AllowMultipleTSSessions", kRegDword, Raw(std::string(8, 2)));
    machine.registry.Set(kProduct, "AllowMultipleTSSessionsPolicy", kRegDword, Raw("\x05"));
    Outcome revert = Perform(machine, kRevert);
    EXPECT_TRUE(revert.result);
    StoredValue policy;
    ASSERT_TRUE(revert.registry.Get(kPolicy, "AllowMultipleTSSessions", &policy));
    EXPECT_EQ(Dword(5), policy.data);  // preset 1, its low byte read
}

// Disable refused the deletion of one copy after writing every value back.
// The marker is gone with it, so the next Restore takes a fresh backup
// instead of trusting the broken set, and the next Disable brings Telvaro's
// GINA back.
TEST(Revert, RefusedCleanUpThenRestoreAndDisableLoseNothing) {
    const Machine original = DirectMachine();
    Machine machine = After(original, Perform(original, kApply));
    Outcome refused = Perform(machine, kRevert,
                              CallIndex(Perform(machine, kRevert), ObservedRegistry::kDelete,
                                        "Zelt_LogonType"));
    ASSERT_FALSE(refused.result);
    EXPECT_FALSE(IsApplied(refused.registry));
    machine = After(machine, refused);
    Outcome apply = Perform(machine, kApply);
    ASSERT_TRUE(apply.result);
    Outcome revert = Perform(After(machine, apply), kRevert);
    ASSERT_TRUE(revert.result);
    EXPECT_TRUE(OriginalsBack(original, revert.registry));
}

// A GINA that cannot be loaded stops every logon: while a GINA file that
// Disable would write back is gone, it writes nothing back and keeps the
// backup; once the file is back, Disable completes.
TEST(Revert, WritesNoGinaBackThatIsNotThere) {
    const std::string kTelvaroGina = "C:\\Program Files\\Telvaro\\TVGINA.DLL";
    const struct {
        const char* name;
        Machine (*make)();
        std::string gone;
    } kCases[] = {
        {"Telvaro's GINA, first", DirectMachine, kTelvaroGina},
        {"Telvaro's GINA, behind the Wayfold GINA", ChainedMachine, kTelvaroGina},
        {"the Wayfold GINA", ChainedMachine, std::string(kSystemDir) + "\\WFLGINA.DLL"},
        {"the Wayfold GINA's next, outside the chain",
         [] {
             Machine m = DirectMachine();
             m.registry.SetText(kChained, "ChainTo", "D:\\Gina\\next.dll");
             m.system.AddFile("D:\\Gina\\next.dll");
             return m;
         },
         "D:\\Gina\\next.dll"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const Machine original = c.make();
        Machine applied = After(original, Perform(original, kApply));
        ASSERT_TRUE(IsApplied(applied.registry));
        applied.system.RemoveFile(c.gone);
        Outcome refused = Perform(applied, kRevert);
        EXPECT_FALSE(refused.result);
        EXPECT_EQ(AllValues(applied.registry), AllValues(refused.registry));

        applied.system.AddFile(c.gone);
        Outcome revert = Perform(applied, kRevert);
        EXPECT_TRUE(revert.result);
        EXPECT_TRUE(OriginalsBack(original, revert.registry));
    }
}
