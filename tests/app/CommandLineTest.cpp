// The command line: how switches are read, what /restore and /disable end
// with when the registry refuses their changes, and what /status reads.
#include <gtest/gtest.h>

#include "../logon/LogonTestSupport.h"
#include "app/CommandLine.h"
#include "checks/RunEvent.h"
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

// Refuses every change, as for a user who is no administrator, reads of
// one value, as a registry that will not show it, or a whole key.
class RefusingRegistry : public Registry {
public:
    RefusingRegistry(Registry& inner, bool changes, const char* unreadable,
                     const char* key = nullptr)
        : inner_(inner), changes_(changes), unreadable_(unreadable), key_(key) {}
    long OpenKey(RegKey root, const char* path, RegKey* key) {
        return Refused(path) ? kDenied : inner_.OpenKey(root, path, key);
    }
    long CreateKey(RegKey root, const char* path, RegKey* key) {
        return changes_ || Refused(path) ? kDenied : inner_.CreateKey(root, path, key);
    }
    long QueryValueEx(RegKey key, const char* name, std::uint32_t* type, unsigned char* data,
                      std::uint32_t* count) {
        if (unreadable_ && name && std::string(name) == unreadable_) return kDenied;
        return inner_.QueryValueEx(key, name, type, data, count);
    }
    long SetValueEx(RegKey key, const char* name, std::uint32_t type, const unsigned char* data,
                    std::uint32_t count) {
        return changes_ ? kDenied : inner_.SetValueEx(key, name, type, data, count);
    }
    long DeleteValue(RegKey key, const char* name) {
        return changes_ ? kDenied : inner_.DeleteValue(key, name);
    }
    long CloseKey(RegKey key) { return inner_.CloseKey(key); }

private:
    bool Refused(const char* path) const { return key_ && path && strcasecmp(path, key_) == 0; }
    static const long kDenied = 5;  // ERROR_ACCESS_DENIED
    Registry& inner_;
    bool changes_;
    const char* unreadable_;
    const char* key_;
};

// ---- The Application log --------------------------------------------------

const char kEventSource[] =
    "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\Lumivale";

// Every value but the event source's registration.
Values Settings(const MemoryRegistry& registry) {
    Values values = AllValues(registry);
    for (auto it = values.begin(); it != values.end();)
        it = it->first.find("\\eventlog\\") != std::string::npos ? values.erase(it) : std::next(it);
    return values;
}

// A string of the fake string table, which has no texts of its own.
std::string Text(int id) { return "#" + std::to_string(id); }

// What a run said, as its event carries it: lines separated by CR LF.
std::string Said(FakeSystem& system, const Notice& notice) {
    char text[kNoticeTextSize];
    NoticeText(system, notice, text, sizeof(text));
    std::string lines;
    for (const char* p = text; *p; ++p)
        lines += *p == '\n' ? std::string("\r\n") : std::string(1, *p);
    return lines;
}

// The values an event shows, in the order of its insertion strings %3 to %9.
const struct {
    const char* key;
    const char* name;
    int label;
} kLoggedValues[] = {
    {kWinlogon, "GinaDLL", IDS_VALUE_GINA},
    {kWinlogon, "ChainTo", IDS_VALUE_CHAINTO},
    {kChained, "ChainTo", IDS_VALUE_CHAINED_CHAINTO},
    {kWinlogon, "LogonType", IDS_VALUE_LOGON_TYPE},
    {kWinlogon, "AllowMultipleTSSessions", IDS_VALUE_SESSIONS},
    {kPolicy, "AllowMultipleTSSessions", IDS_VALUE_SESSIONS_POLICY},
    {kProduct, kMarker, IDS_VALUE_MARKER},
};

// A value as an event shows it: a text in quotes up to its end, a control
// character as '?'; a 4-byte REG_DWORD as its number; else its type and size.
std::string Shown(bool present, const StoredValue& v) {
    if (!present) return Text(IDS_VALUE_NONE);
    std::string shown;
    if ((v.type == kRegSz || v.type == kRegExpandSz) && v.data.size() <= 260) {
        for (std::size_t i = 0; i < v.data.size() && v.data[i]; ++i)
            shown += v.data[i] < 0x20 ? '?' : static_cast<char>(v.data[i]);
        return "\"" + shown + "\"";
    }
    if (v.type == kRegDword && v.data.size() == 4)
        return std::to_string(v.data[0] | v.data[1] << 8 | v.data[2] << 16 |
                              std::uint32_t(v.data[3]) << 24);
    return "type " + std::to_string(v.type) + ", " + std::to_string(v.data.size()) + " bytes";
}

// The Application log after one run of /restore or /disable with `events`
// before it, on a machine that was `was`: one event exactly when the run
// changed the machine or was refused (3010, 1603, 1618). An error where it
// was refused or the chain left behind does not load, a warning for a lock
// that was taken and for a change after which the next logon will still not
// show the Welcome Screen, or cannot be told; else information. It says how
// the program ran, what it said, and each of the values that changed,
// before -> after.
void ExpectEvent(CommandAction action, const CommandResult& result, FakeSystem& system,
                 std::size_t events, const MemoryRegistry& was, const MemoryRegistry& now) {
    int code = result.exitCode;
    bool logged = code == 3010 || code == 1603 || code == 1618;
    ASSERT_EQ(events + (logged ? 1 : 0), system.events.size()) << "exit code " << code;
    if (!logged) return;
    const FakeSystem::Event& event = system.events.back();
    const Notice& notice = result.notice;
    EXPECT_EQ("Lumivale", event.source);
    EXPECT_EQ(code == 1618                  ? kEventLockTaken
              : code == 1603                ? kEventRefused
              : action == kDisableCommand   ? kEventDisabled
              : notice.redone               ? kEventRepaired
                                            : kEventRestored,
              event.id);
    EXPECT_EQ(code == 1603 || notice.chain.trouble                      ? kEventError
              : code == 1618 || notice.blockers || notice.unreadable   ? kEventWarning
                                                                        : kEventInformation,
              event.type);
    ASSERT_EQ(9u, event.strings.size());
    EXPECT_EQ(Text(action == kRestoreCommand ? IDS_RAN_RESTORE_SWITCH : IDS_RAN_DISABLE_SWITCH),
              event.strings[0]);
    EXPECT_EQ(Said(system, notice), event.strings[1]);
    std::vector<std::string> lines;  // %3 to %9
    bool changed = false;
    for (const auto& value : kLoggedValues) {
        StoredValue before, after;
        bool had = was.Get(value.key, value.name, &before);
        bool has = now.Get(value.key, value.name, &after);
        bool same = had == has && (!had || before == after);
        changed |= !same;
        lines.push_back(same ? "" : "\r\n" + Text(value.label) + ": " + Shown(had, before) +
                                        " -> " + Shown(has, after));
    }
    if (!changed) lines[0] = "\r\n" + Text(IDS_VALUE_NONE);
    EXPECT_EQ(lines, std::vector<std::string>(event.strings.begin() + 2, event.strings.end()));
}

Machine EligibleMachine() {
    Machine m = DirectMachine();
    m.system.AddFile(kHost);
    m.system.fileVersions[kHost] = {10, 5, 0, 0};
    return m;
}

// From the state in which each would act, /restore and /disable change
// nothing and end with message 105 when the registry refuses their changes
// or the marker's read (1603), or another copy keeps the machine-wide lock
// (1618); /status, which only reads, when the marker cannot be read; without
// an administrator's rights a line says who may change the settings. Each
// refusal of a change leaves its event, /status none. Wine lets every
// change through, so only this test sees 1603.
TEST(CommandLine, RefusedChangesAndABusyLockChangeNothing) {
    enum Refusal { kReadOnly, kMarkerUnreadable, kLockBusy };
    for (Refusal refusal : {kReadOnly, kMarkerUnreadable, kLockBusy}) {
        for (CommandAction action : {kRestoreCommand, kDisableCommand, kStatusCommand}) {
            if (action == kStatusCommand && refusal != kMarkerUnreadable) continue;
            for (bool administrator : {true, false}) {
                SCOPED_TRACE(std::string(action == kRestoreCommand   ? "/restore"
                                         : action == kDisableCommand ? "/disable"
                                                                     : "/status") +
                             (refusal == kLockBusy           ? ", lock held elsewhere"
                              : refusal == kMarkerUnreadable ? ", marker unreadable"
                                                             : ", registry read-only") +
                             (administrator ? "" : ", no administrator"));
                Machine m = EligibleMachine();
                if (action == kDisableCommand) m = After(m, Perform(m, kApply));
                m.system.administrator = administrator;
                const Values before = AllValues(m.registry);
                const MemoryRegistry was = m.registry;
                RefusingRegistry registry(m.registry, refusal == kReadOnly,
                                          refusal == kMarkerUnreadable ? kMarker : nullptr);
                ProductChecks checks(registry, m.system);
                LogonConfig logon(registry, m.system);
                FakeMachineLock lock;
                lock.busy = refusal == kLockBusy;
                CommandResult result = PerformCommand(action, checks, logon, lock);
                EXPECT_EQ(refusal == kLockBusy ? 1618 : 1603, result.exitCode);
                EXPECT_EQ(IDS_ERRORS, result.notice.message);
                EXPECT_EQ(administrator ? 0 : IDS_NEEDS_ADMINISTRATOR, result.notice.note);
                EXPECT_TRUE(result.boxed);
                EXPECT_EQ(before, Settings(m.registry));
                EXPECT_FALSE(lock.held);
                if (action == kStatusCommand) {
                    EXPECT_EQ(before, AllValues(m.registry));
                    EXPECT_TRUE(m.system.events.empty());
                } else {
                    ExpectEvent(action, result, m.system, 0, was, m.registry);
                }
            }
        }
    }
}

// Two copies of /restore (or of /disable) started together: the one that
// waits for the lock finds the marker as the first one left it and does
// nothing, so the backup still holds the machine as it was, and only the
// first leaves an event.
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
        EXPECT_EQ(1u, m.system.events.size());
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

// ---- /status ----------------------------------------------------------------

// Restored, and the next logon shows the Welcome Screen: the marker, no
// Winlogon GinaDLL, LogonType 1, a workgroup.
Machine Restored() {
    Machine m = BareMachine();
    m.system.AddFile(kHost);
    m.system.fileVersions[kHost] = {10, 5, 0, 0};
    m.registry.Set(kProduct, kMarker, kRegBinary, Dword(1));
    m.registry.SetDword(kWinlogon, "LogonType", 1);
    return m;
}

struct StatusRow {
    const char* label;
    void (*change)(Machine&);
    int exitCode;
    unsigned blockers;
    std::string gina;   // with kBlockedByGina
    unsigned off;       // what of Restore is not in effect
    std::string chain;  // with exit code 3, the GINA or loop named
    StatusRow(const char* label, void (*change)(Machine&), int exitCode, unsigned blockers,
              std::string gina, unsigned off = 0, std::string chain = "")
        : label(label), change(change), exitCode(exitCode), blockers(blockers), gina(gina),
          off(off), chain(chain) {}
};

// The Wayfold GINA first, chaining to the system's own.
void WayfoldFirst(Machine& m) {
    m.registry.SetText(kWinlogon, "GinaDLL", "WFLGINA.DLL");
    m.system.AddFile(std::string(kSystemDir) + "\\WFLGINA.DLL");
    m.registry.SetText(kChained, "ChainTo", std::string(kSystemDir) + "\\msgina.dll");
}
// Telvaro's GINA first again, as its repair puts it back.
void TelvaroFirst(Machine& m) {
    m.registry.SetText(kWinlogon, "GinaDLL", "TVGINA.DLL");
    m.system.AddFile(std::string(kSystemDir) + "\\TVGINA.DLL");
    m.registry.SetText(kProduct, "GinaDLL", "msgina.dll");
}

const StatusRow kStatusRows[] = {
    {"not restored", [](Machine& m) { Remove(m.registry, kProduct, kMarker); }, 1, 0, ""},
    {"restored, workgroup", [](Machine&) {}, 0, 0, ""},
    {"LogonType 2 selects it too", [](Machine& m) { m.registry.SetDword(kWinlogon, "LogonType", 2); },
     0, 0, ""},
    // Domain membership as netapi32 tells it; what it cannot tell keeps nothing off.
    {"domain member", [](Machine& m) { m.system.domainMember = true; }, 2, kBlockedByDomain, ""},
    {"unjoined", [](Machine& m) { m.system.joinStatus = 1; }, 0, 0, ""},
    {"join status unknown", [](Machine& m) { m.system.joinStatus = 0; }, 0, 0, ""},
    {"join status undocumented", [](Machine& m) { m.system.joinStatus = 4; }, 0, 0, ""},
    {"netapi32 fails", [](Machine& m) { m.system.domainMember = true; m.system.joinQueryResult = 5; },
     0, 0, ""},
    {"netapi32 cannot free its answer",
     [](Machine& m) { m.system.domainMember = true; m.system.missingEntryPoints.insert("NetApiBufferFree"); },
     0, 0, ""},
    // The policy's LogonType, whenever it is there, instead of Winlogon's.
    {"classic logon policy", [](Machine& m) { m.registry.SetDword(kPolicy, "LogonType", 0); }, 2,
     kBlockedByPolicy, ""},
    {"policy over Winlogon's 0",
     [](Machine& m) { m.registry.SetDword(kPolicy, "LogonType", 1); m.registry.SetDword(kWinlogon, "LogonType", 0); },
     0, 0, ""},
    {"policy of 2 bytes", [](Machine& m) { m.registry.Set(kPolicy, "LogonType", kRegDword, Bytes{1, 0}); },
     2, kBlockedByPolicy, ""},
    {"policy as text", [](Machine& m) { m.registry.SetText(kPolicy, "LogonType", "1"); }, 2,
     kBlockedByPolicy, ""},
    // Winlogon's LogonType selects the classic logon: Restore is not in
    // effect, said once.
    {"LogonType 0", [](Machine& m) { m.registry.SetDword(kWinlogon, "LogonType", 0); }, 2, 0, "",
     kOffLogonType},
    {"no LogonType", [](Machine& m) { Remove(m.registry, kWinlogon, "LogonType"); }, 2, 0, "",
     kOffLogonType},
    {"LogonType binary", [](Machine& m) { m.registry.Set(kWinlogon, "LogonType", kRegBinary, Dword(1)); },
     2, 0, "", kOffLogonType},
    {"LogonType of 8 bytes",
     [](Machine& m) { m.registry.Set(kWinlogon, "LogonType", kRegDword, Bytes{1, 0, 0, 0, 0, 0, 0, 0}); },
     2, 0, "", kOffLogonType},
    // Any GinaDLL Winlogon can read, the system's own msgina.dll included.
    {"Wayfold's GINA first", WayfoldFirst, 2, kBlockedByGina, "WFLGINA.DLL"},
    {"Telvaro's GINA first again", TelvaroFirst, 2, kBlockedByGina, "TVGINA.DLL", kOffGina},
    {"Telvaro's GINA again behind Wayfold's",
     [](Machine& m) {
         WayfoldFirst(m);
         m.registry.SetText(kChained, "ChainTo", "C:\\Program Files\\Telvaro\\tvgina.dll");
         m.system.AddFile("C:\\Program Files\\Telvaro\\tvgina.dll");
         m.registry.SetText(kProduct, "GinaDLL", "msgina.dll");
     },
     2, kBlockedByGina, "WFLGINA.DLL", kOffChainedGina},
    // A chain that does not load, whatever the marker: nobody can log on.
    {"restored, then the GINA went",
     [](Machine& m) { m.registry.SetText(kWinlogon, "GinaDLL", "C:\\Gina\\orig.dll"); }, 3,
     kBlockedByGina, "C:\\Gina\\orig.dll", 0, "C:\\Gina\\orig.dll"},
    {"not restored, Telvaro's GINA gone",
     [](Machine& m) {
         Remove(m.registry, kProduct, kMarker);
         m.registry.SetText(kWinlogon, "GinaDLL", "TVGINA.DLL");
     },
     3, 0, "", 0, "TVGINA.DLL"},
    {"the chain loops",
     [](Machine& m) {
         TelvaroFirst(m);
         WayfoldFirst(m);
         m.registry.SetText(kWinlogon, "GinaDLL", "TVGINA.DLL");
         m.registry.SetText(kProduct, "GinaDLL", "WFLGINA.DLL");
         m.registry.SetText(kChained, "ChainTo", "tvgina.dll");
     },
     3, kBlockedByGina, "TVGINA.DLL", kOffGina, "TVGINA.DLL -> WFLGINA.DLL -> tvgina.dll"},
    {"msgina.dll named", [](Machine& m) { m.registry.Set(kWinlogon, "GinaDLL", kRegSz, Padded("msgina.dll")); },
     2, kBlockedByGina, "msgina.dll"},
    {"empty GinaDLL", [](Machine& m) { m.registry.Set(kWinlogon, "GinaDLL", kRegSz, Bytes()); }, 2,
     kBlockedByGina, ""},
    // No path, and no GINA Telvaro's or another's: one rule for every reader.
    {"GinaDLL of 260 bytes, unterminated",
     [](Machine& m) {
         m.registry.Set(kWinlogon, "GinaDLL", kRegSz, Raw(std::string(249, 'g') + "\\TVGINA.DLL"));
     },
     2, kBlockedByUnusableGina, std::string(249, 'g') + "\\TVGINA.DLL"},
    {"GinaDLL too long for Winlogon",
     [](Machine& m) { m.registry.Set(kWinlogon, "GinaDLL", kRegSz, Raw(std::string(261, 'g'))); }, 0,
     0, ""},
    {"every reason at once",
     [](Machine& m) {
         m.system.domainMember = true;
         m.registry.SetDword(kPolicy, "LogonType", 0);
         m.registry.SetDword(kWinlogon, "LogonType", 0);
         WayfoldFirst(m);
     },
     2, kBlockedByDomain | kBlockedByPolicy | kBlockedByGina, "WFLGINA.DLL"},
};

// /status changes nothing, leaves no key or library open, writes no event
// and names every reason that keeps the Welcome Screen off.
TEST(CommandLine, StatusReadsTheNextLogon) {
    const int kMessages[] = {IDS_STATUS_SHOWN, IDS_STATUS_NOT_RESTORED, IDS_STATUS_NOT_SHOWN};
    for (const StatusRow& row : kStatusRows) {
        SCOPED_TRACE(row.label);
        Machine m = Restored();
        row.change(m);
        const Values before = AllValues(m.registry);
        ObservedRegistry observed(m.registry);
        ProductChecks checks(observed, m.system);
        LogonConfig logon(observed, m.system);
        FakeMachineLock busy;  // /status reads without the lock
        busy.busy = true;
        CommandResult result = PerformCommand(kStatusCommand, checks, logon, busy);
        EXPECT_EQ(row.exitCode, result.exitCode);
        // "Has been restored" only where Restore is in effect.
        if (row.exitCode < 3) {
            EXPECT_EQ(row.off ? IDS_STATUS_NOT_IN_EFFECT : kMessages[row.exitCode],
                      result.notice.message);
        }
        EXPECT_EQ(row.blockers, result.notice.blockers);
        EXPECT_EQ(row.off, result.notice.notInEffect);
        EXPECT_EQ(row.chain, result.notice.chain.text);
        if (row.blockers & (kBlockedByGina | kBlockedByUnusableGina)) {
            EXPECT_EQ(row.gina, result.notice.gina);
        }
        EXPECT_EQ(before, AllValues(m.registry));
        EXPECT_TRUE(m.system.events.empty());
        EXPECT_EQ(0, observed.OpenHandles());
        EXPECT_EQ(0, m.system.librariesOpen);
    }
}

// A read the registry refuses never passes for an answer: /status ends as
// it would without the refusal, or with 1603 and the line of what could not
// be read.
TEST(CommandLine, StatusWithARefusedRead) {
    for (const StatusRow& row : kStatusRows) {
        SCOPED_TRACE(row.label);
        Machine m = Restored();
        row.change(m);
        ProductChecks checks(m.registry, m.system);
        MachineState state;
        checks.ReadMachine(&state);
        const int clean = StatusResult(state, checks).exitCode;
        for (int n = 1;; ++n) {
            ObservedRegistry observed(m.registry);
            observed.FailCall(n);
            ProductChecks refused(observed, m.system);
            refused.ReadMachine(&state);
            if (n > observed.CallCount()) break;
            CommandResult result = StatusResult(state, refused);
            EXPECT_EQ(0, observed.OpenHandles());
            EXPECT_TRUE(result.exitCode == clean || result.exitCode == 1603)
                << "call " << n << " refused: " << result.exitCode;
            if (result.exitCode != clean) {
                EXPECT_NE(0u, result.notice.unreadable) << "call " << n << " refused";
            }
        }
    }
}

// Telvaro's record could not be read on a machine whose chain runs through
// Telvaro's GINA (and whose record names a GINA that is gone): whether
// anybody can log on cannot be told, so neither /status nor "nothing to do"
// of /disable passes for an answer.
TEST(CommandLine, ARefusedReadOnTheChainIsNoAnswer) {
    Machine m = EligibleMachine();
    m.registry.SetText(kProduct, "GinaDLL", "C:\\Gina\\orig.dll");
    for (CommandAction action : {kStatusCommand, kDisableCommand}) {
        SCOPED_TRACE(action == kStatusCommand ? "/status" : "/disable");
        ProductChecks checks(m.registry, m.system);
        LogonConfig logon(m.registry, m.system);
        Outcome probe;
        ObservedRegistry calls(m.registry);
        ProductChecks watched(calls, m.system);
        LogonConfig watchedLogon(calls, m.system);
        EXPECT_EQ(action == kStatusCommand ? 3 : 0,
                  PerformCommand(action, watched, watchedLogon, m.lock).exitCode);
        probe.calls = calls.Calls();
        ObservedRegistry refusing(m.registry);
        refusing.FailCall(CallIndex(probe, ObservedRegistry::kQuery, "GinaDLL", 2));
        ProductChecks refusedChecks(refusing, m.system);
        LogonConfig refusedLogon(refusing, m.system);
        const MemoryRegistry was = m.registry;
        m.system.events.clear();
        CommandResult result = PerformCommand(action, refusedChecks, refusedLogon, m.lock);
        EXPECT_EQ(1603, result.exitCode);
        if (action == kDisableCommand) ExpectEvent(action, result, m.system, 0, was, m.registry);
        EXPECT_EQ(action == kDisableCommand, m.system.events.size() == 1);
        EXPECT_TRUE(result.notice.unreadable & kUnreadRecord);
        EXPECT_TRUE(result.boxed);
    }
}

// A Restore refused part way (the deletion of Winlogon's GinaDLL) leaves the
// marker and Telvaro's GINA first: /status says what is so, not that the
// Welcome Screen has been restored; /restore then takes out only Telvaro's
// GINA, and leaves the multiple sessions the administrator turned on since.
TEST(CommandLine, ARestoreRefusedPartWayIsToldAsItIs) {
    Machine m = EligibleMachine();
    Outcome clean = Perform(m, kApply);
    Outcome refused =
        Perform(m, kApply, CallIndex(clean, ObservedRegistry::kDelete, "GinaDLL"));
    ASSERT_EQ(kChangeRefused, refused.outcome);
    m = After(m, refused);
    ASSERT_TRUE(IsApplied(m.registry));
    m.registry.SetDword(kWinlogon, "AllowMultipleTSSessions", 1);
    m.registry.SetDword(kPolicy, "AllowMultipleTSSessions", 1);
    ProductChecks checks(m.registry, m.system);
    LogonConfig logon(m.registry, m.system);
    CommandResult status = PerformCommand(kStatusCommand, checks, logon, m.lock);
    EXPECT_EQ(2, status.exitCode);
    EXPECT_EQ(IDS_STATUS_NOT_IN_EFFECT, status.notice.message);
    EXPECT_EQ(unsigned(kOffGina), status.notice.notInEffect);
    const MemoryRegistry was = m.registry;
    CommandResult restore = PerformCommand(kRestoreCommand, checks, logon, m.lock);
    ExpectEvent(kRestoreCommand, restore, m.system, 0, was, m.registry);
    EXPECT_EQ(3010, restore.exitCode);
    EXPECT_EQ(unsigned(kOffGina), restore.notice.redone);
    EXPECT_FALSE(m.registry.Get(kWinlogon, "GinaDLL", 0));
    EXPECT_EQ(Dword(1), [&] { StoredValue v; m.registry.Get(kPolicy, "AllowMultipleTSSessions", &v); return v.data; }());
    EXPECT_EQ(Dword(1), [&] { StoredValue v; m.registry.Get(kWinlogon, "AllowMultipleTSSessions", &v); return v.data; }());
    EXPECT_EQ(0, PerformCommand(kStatusCommand, checks, logon, m.lock).exitCode);
}

// /restore tells what /status then says: the restart notice alone where the
// next logon shows the Welcome Screen, else a line that it still will not,
// with the same reasons. /disable promises nothing of the kind. Each run of
// /restore and /disable leaves the event its outcome calls for.
TEST(CommandLine, RestoreTellsWhatTheNextLogonShows) {
    int stillNotShown = 0;
    for (const StatusRow& row : kStatusRows) {
        SCOPED_TRACE(row.label);
        Machine m = EligibleMachine();
        row.change(m);
        Remove(m.registry, kProduct, kMarker);
        ProductChecks checks(m.registry, m.system);
        LogonConfig logon(m.registry, m.system);
        // Some of these machines hold values Restore cannot save, or a GINA
        // Disable cannot find: their refusals are told elsewhere.
        MemoryRegistry was = m.registry;
        CommandResult restore = PerformCommand(kRestoreCommand, checks, logon, m.lock);
        ExpectEvent(kRestoreCommand, restore, m.system, 0, was, m.registry);
        if (restore.exitCode != 3010) continue;
        CommandResult status = PerformCommand(kStatusCommand, checks, logon, m.lock);
        EXPECT_EQ(1u, m.system.events.size());
        EXPECT_EQ(IDS_RESTART, restore.notice.message);
        EXPECT_EQ(status.notice.blockers ? IDS_STILL_NOT_SHOWN : 0, restore.notice.note);
        EXPECT_EQ(status.notice.blockers, restore.notice.blockers);
        EXPECT_EQ(std::string(status.notice.chain.text), restore.notice.chain.text);
        stillNotShown += restore.notice.note != 0;
        was = m.registry;
        CommandResult disable = PerformCommand(kDisableCommand, checks, logon, m.lock);
        ExpectEvent(kDisableCommand, disable, m.system, 1, was, m.registry);
        if (disable.exitCode != 3010) continue;
        EXPECT_EQ(IDS_RESTART, disable.notice.message);
        EXPECT_EQ(0, disable.notice.note);
        EXPECT_EQ(0u, disable.notice.blockers);
    }
    EXPECT_GE(stillNotShown, 3);  // the domain, the policy, Wayfold's GINA
}

// ---- The Application log ------------------------------------------------------

// Runs that change nothing and refuse nothing leave no event and register
// nothing: /?, a command line not understood, nothing to do and the
// startup check's refusals (as /status, above).
TEST(CommandLine, RunsThatChangeNothingLeaveNoEvent) {
    const struct {
        const char* label;
        CommandAction action;
        void (*change)(Machine&);
        int exitCode;
    } rows[] = {
        {"/?", kUsageCommand, [](Machine&) {}, 0},
        {"not understood", kInvalidCommand, [](Machine&) {}, 87},
        {"/restore, restored", kRestoreCommand, [](Machine&) {}, 0},
        {"/disable, not restored", kDisableCommand,
         [](Machine& m) { Remove(m.registry, kProduct, kMarker); }, 0},
        {"/restore on Windows 2000", kRestoreCommand,
         [](Machine& m) { m.system.SetVersion(kVerPlatformWin32Nt, 5, 0); }, 1633},
        {"/disable without Telvaro", kDisableCommand,
         [](Machine& m) { m.system.RemoveFile(kHost); }, 1605},
        {"/restore on Telvaro 10.4", kRestoreCommand,
         [](Machine& m) { m.system.fileVersions[kHost] = {10, 4, 0, 0}; }, 1638},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        Machine m = Restored();
        row.change(m);
        const Values before = AllValues(m.registry);
        ProductChecks checks(m.registry, m.system);
        LogonConfig logon(m.registry, m.system);
        EXPECT_EQ(row.exitCode, PerformCommand(row.action, checks, logon, m.lock).exitCode);
        EXPECT_TRUE(m.system.events.empty());
        EXPECT_EQ(before, AllValues(m.registry));
    }
}

// The first event registers the program as the source, by the full path it
// runs from. A run from the same path writes nothing there, one from
// another (a share, another folder) names its own, and a TypesSupported
// another hand changed is written again. Disable keeps it, so that older
// events stay readable; a path too long to be told is never written.
TEST(CommandLine, TheEventSourceNamesTheProgramsFile) {
    Machine m = EligibleMachine();
    ObservedRegistry observed(m.registry);
    ProductChecks checks(observed, m.system);
    LogonConfig logon(observed, m.system);
    const std::string tools = "C:\\Tools\\Lumivale.exe", share = "\\\\server\\share\\Lumivale.exe";
    const struct {
        CommandAction action;
        std::string path;
        bool otherTypes;  // TypesSupported changed before the run
        bool written;
    } runs[] = {
        {kRestoreCommand, tools, false, true},   {kDisableCommand, tools, false, false},
        {kRestoreCommand, share, false, true},   {kDisableCommand, share, true, true},
        {kRestoreCommand, std::string(300, 'x'), false, false},
    };
    std::string registered;
    for (const auto& run : runs) {
        SCOPED_TRACE(run.path + (run.action == kRestoreCommand ? " /restore" : " /disable"));
        m.system.programPath = run.path;
        if (run.otherTypes) m.registry.SetDword(kEventSource, "TypesSupported", 1);
        const std::size_t calls = observed.Calls().size(), events = m.system.events.size();
        EXPECT_EQ(3010, PerformCommand(run.action, checks, logon, m.lock).exitCode);
        EXPECT_EQ(events + 1, m.system.events.size());
        bool written = false;
        for (std::size_t i = calls; i < observed.Calls().size(); ++i)
            written |= observed.Calls()[i].operation == ObservedRegistry::kSet &&
                       observed.Calls()[i].name == "EventMessageFile";
        EXPECT_EQ(run.written, written);
        StoredValue file, types;
        ASSERT_TRUE(m.registry.Get(kEventSource, "EventMessageFile", &file));
        if (run.written) registered = run.path;
        EXPECT_EQ(StoredValue({kRegExpandSz, Sz(registered)}), file);
        ASSERT_TRUE(m.registry.Get(kEventSource, "TypesSupported", &types));
        EXPECT_EQ(StoredValue({kRegDword, Dword(7)}), types);
    }
    EXPECT_EQ(0, observed.OpenHandles());
}

// Neither a registration nor an event that fails changes anything else:
// not the exit code, not what the run says, not a setting, not the calls
// made under the lock. The event is written once the lock is given back.
TEST(CommandLine, AFailingEventChangesNothingElse) {
    struct Run {
        int exitCode;
        std::string said;
        Values settings;
        int callsUnderLock;
        std::size_t loggedUnderLock, logged;
    };
    for (const StatusRow& row : kStatusRows) {
        for (CommandAction action : {kRestoreCommand, kDisableCommand}) {
            SCOPED_TRACE(std::string(row.label) +
                         (action == kRestoreCommand ? ", /restore" : ", /disable"));
            Machine start = EligibleMachine();
            row.change(start);
            Remove(start.registry, kProduct, kMarker);
            if (action == kDisableCommand) start = After(start, Perform(start, kApply));
            auto perform = [&](bool failing) {
                Machine m = start;
                m.system.eventLogFails = failing;
                RefusingRegistry registry(m.registry, false, nullptr,
                                          failing ? kEventSource : nullptr);
                ObservedRegistry observed(registry);
                ProductChecks checks(observed, m.system);
                LogonConfig logon(observed, m.system);
                Run run = {};
                m.lock.clock = [&] {
                    run.loggedUnderLock = m.system.events.size();
                    return observed.CallCount();
                };
                CommandResult result = PerformCommand(action, checks, logon, m.lock);
                run.exitCode = result.exitCode;
                run.said = Said(m.system, result.notice);
                run.settings = Settings(m.registry);
                run.callsUnderLock = m.lock.givenBackAt - m.lock.takenAt;
                run.logged = m.system.events.size();
                EXPECT_EQ(!failing && run.logged, m.registry.HasKey(kEventSource));
                return run;
            };
            const Run logged = perform(false), failed = perform(true);
            EXPECT_EQ(logged.exitCode, failed.exitCode);
            EXPECT_EQ(logged.said, failed.said);
            EXPECT_EQ(logged.settings, failed.settings);
            EXPECT_EQ(logged.callsUnderLock, failed.callsUnderLock);
            EXPECT_EQ(logged.exitCode == 0 ? 0u : 1u, logged.logged);
            EXPECT_EQ(0u, logged.loggedUnderLock);
            EXPECT_EQ(0u, failed.logged);
        }
    }
}

}  // namespace
