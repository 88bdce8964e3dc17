// Every registry call of Apply and Revert refused in turn, as Windows refuses
// a user without the rights or a key locked by another program.
#include "LogonTestSupport.h"

using namespace logontest;

namespace {

struct Scenario {
    const char* name;
    Machine (*original)();
    bool applied;  // start from the machine after a successful Apply (for
                   // Apply, with Telvaro's GINA and the classic logon back)
    Operation operation;
};
// Test names in listings rather than the bytes of the case.
void PrintTo(const Scenario& c, std::ostream* out) { *out << c.name; }

const Scenario kScenarios[] = {
    {"ApplyDirect", DirectMachine, false, kApply},
    {"ApplyChained", ChainedMachine, false, kApply},
    {"ApplyAgainDirect", DirectMachine, true, kApply},
    {"ApplyAgainChained", ChainedMachine, true, kApply},
    {"RevertDirect", DirectMachine, true, kRevert},
    {"RevertChained", ChainedMachine, true, kRevert},
};

class FaultSweep : public ::testing::TestWithParam<Scenario> {};

// The machine the scenario's operation starts from: Restore again is due
// only where another program has put back what it changed.
Machine StartOf(const Scenario& s, const Machine& original) {
    if (!s.applied) return original;
    Machine m = After(original, Perform(original, kApply));
    if (s.operation == kApply) {
        StoredValue v;
        for (const SavedValue* put : {&kSavedValues[0], &kSavedValues[5]})
            if (original.registry.Get(put->key, put->name, &v)) m.registry.Set(put->key, put->name, v.type, v.data);
        m.registry.SetDword(kWinlogon, "LogonType", 0);
    }
    return m;
}

// Whatever a refusal left behind, each button pressed next without one
// loses nothing: Disable brings the originals back (or has nothing to do
// without the marker), and so does Restore (done, or nothing left to do)
// followed by Disable.
void NextPressesLoseNothing(const Machine& original, const Machine& left) {
    Outcome revert = Perform(left, kRevert);
    EXPECT_TRUE(revert.result || (revert.outcome == kNothingDue && !IsApplied(left.registry)));
    EXPECT_TRUE(OriginalsBack(original, revert.registry));

    Outcome apply = Perform(left, kApply);
    EXPECT_TRUE(apply.result || (apply.outcome == kNothingDue && IsApplied(left.registry)));
    EXPECT_TRUE(NothingLost(original, apply.registry));
    revert = Perform(After(left, apply), kRevert);
    EXPECT_TRUE(revert.result);
    EXPECT_TRUE(OriginalsBack(original, revert.registry));
}

TEST_P(FaultSweep, EachCallRefusedInTurn) {
    const Scenario& s = GetParam();
    const Machine original = s.original();
    const Machine start = StartOf(s, original);

    const Outcome clean = Perform(start, s.operation);
    ASSERT_TRUE(clean.result);
    const int calls = static_cast<int>(clean.calls.size());
    ::testing::Test::RecordProperty("runs", calls);

    for (int n = 1; n <= calls; ++n) {
        static const char* const kKinds[] = {"open", "create", "query", "set", "delete", "close"};
        SCOPED_TRACE("refused call " + std::to_string(n) + ": " +
                     kKinds[clean.calls[n - 1].operation] + " " + clean.calls[n - 1].name);
        Outcome run = Perform(start, s.operation, n);
        EXPECT_EQ(0, run.openHandles);
        EXPECT_FALSE(run.lock.held);  // given back, whatever was refused
        EXPECT_EQ(0, run.registry.OpenHandles());
        // A change is needed when it succeeds without the refusal: a deletion
        // that finds nothing to delete is not one.
        if (run.failedChange) {
            EXPECT_EQ(clean.statuses[n - 1] != kErrorSuccess, run.result);
        }
        EXPECT_TRUE(NothingLost(original, run.registry));
        // An Apply that ends without the marker has changed nothing.
        if (s.operation == kApply && !IsApplied(run.registry)) {
            EXPECT_EQ(LogonValues(start.registry), LogonValues(run.registry));
        }

        NextPressesLoseNothing(original, After(start, run));
    }
}

// From some call on, the registry refuses everything, the looks that tell an
// absent value from a refused one included. A needed change that was refused
// must never be reported as done.
TEST_P(FaultSweep, EveryCallRefusedFromSomePointOn) {
    const Scenario& s = GetParam();
    const Machine original = s.original();
    const Machine start = StartOf(s, original);
    const Outcome clean = Perform(start, s.operation);
    const int calls = static_cast<int>(clean.calls.size());

    for (int n = 1; n <= calls; ++n) {
        SCOPED_TRACE("calls refused from " + std::to_string(n));
        bool neededChangeRefused = false;
        for (int i = n; i <= calls; ++i) {
            ObservedRegistry::Operation kind = clean.calls[i - 1].operation;
            bool change = kind == ObservedRegistry::kCreate || kind == ObservedRegistry::kSet ||
                          kind == ObservedRegistry::kDelete;
            neededChangeRefused |= change && clean.statuses[i - 1] == kErrorSuccess;
        }
        Outcome run = Perform(start, s.operation, n, true);
        EXPECT_EQ(0, run.openHandles);
        EXPECT_FALSE(run.lock.held);
        if (neededChangeRefused) {
            EXPECT_FALSE(run.result);
        }
        EXPECT_TRUE(NothingLost(original, run.registry));
        NextPressesLoseNothing(original, After(start, run));
    }
}

INSTANTIATE_TEST_SUITE_P(Logon, FaultSweep, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
