// A simulated machine for the logon operations (the in-memory registry and the
// fake system), a way to run Apply or Revert on a copy of it with the N-th
// registry call refused, and the logon values that must never be lost.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <strings.h>

#include "FakeMachineLock.h"
#include "FakeSystem.h"
#include "MemoryRegistry.h"
#include "ObservedRegistry.h"
#include "checks/ProductChecks.h"
#include "logon/LogonConfig.h"

// Registry values as type and bytes in failure messages.
inline void PrintTo(const StoredValue& value, std::ostream* out) {
    *out << "type " << value.type << " [" << value.data.size() << "] ";
    for (unsigned char c : value.data) {
        char text[8];
        std::snprintf(text, sizeof(text), c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c);
        *out << text;
    }
}

namespace logontest {

// Keys under HKEY_LOCAL_MACHINE, spelled as Windows and the two products do.
const char kProduct[] = "SOFTWARE\\Corvane\\Telvaro\\CurrentVersion\\System";
const char kWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kPolicy[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char kChained[] = "SOFTWARE\\Corvane\\Wayfold\\Gina";
const char kSystemDir[] = "C:\\WINDOWS\\system32";
const char kMarker[] = "Zelt_Applied";

// A logon value the program changes, and the name of its copy in the product key.
struct SavedValue {
    const char* key;
    const char* name;
    const char* copy;
};
const SavedValue kSavedValues[] = {
    {kWinlogon, "GinaDLL", "Zelt_GinaDLL"},
    {kWinlogon, "ChainTo", "Zelt_ChainTo"},
    {kWinlogon, "LogonType", "Zelt_LogonType"},
    {kWinlogon, "AllowMultipleTSSessions", "AllowMultipleTSSessions"},
    {kPolicy, "AllowMultipleTSSessions", "AllowMultipleTSSessionsPolicy"},
    {kChained, "ChainTo", "Zelt_GinaChainTo"},
};

typedef std::vector<unsigned char> Bytes;
inline Bytes Raw(const std::string& text) { return Bytes(text.begin(), text.end()); }
inline Bytes Sz(const std::string& text) { return Raw(text + std::string(1, '\0')); }
// The text, its terminator and zeros up to 260 bytes.
inline Bytes Padded(const std::string& text) {
    Bytes bytes = Raw(text);
    bytes.resize(260, 0);
    return bytes;
}
inline Bytes Dword(std::uint32_t value) {
    return Bytes{static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                 static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
}

struct Machine {
    MemoryRegistry registry;
    FakeSystem system;
    FakeMachineLock lock;
    Machine() {
        system.systemDirectory = kSystemDir;
        system.AddFile(std::string(kSystemDir) + "\\msgina.dll");
        registry.SetText(kProduct, "InstallDir", "C:\\Program Files\\Telvaro");
    }
};

// Each machine has the GINA files its values name, as real ones do.
// Telvaro's GINA loaded by Winlogon; no Winlogon ChainTo, no policy value and
// no Wayfold GINA.
inline Machine DirectMachine() {
    Machine m;
    m.registry.SetText(kWinlogon, "GinaDLL", "C:\\Program Files\\Telvaro\\TVGINA.DLL");
    m.system.AddFile("C:\\Program Files\\Telvaro\\TVGINA.DLL");
    m.registry.SetDword(kWinlogon, "LogonType", 0);
    m.registry.SetDword(kWinlogon, "AllowMultipleTSSessions", 1);
    m.registry.SetText(kProduct, "GinaDLL", "msgina.dll");
    return m;
}

// The Wayfold GINA first, chaining to Telvaro's; every logon value present,
// texts with odd byte counts.
inline Machine ChainedMachine() {
    Machine m;
    m.registry.SetText(kWinlogon, "GinaDLL", "WFLGINA.DLL");
    m.system.AddFile(std::string(kSystemDir) + "\\WFLGINA.DLL");
    m.system.AddFile("C:\\Program Files\\Telvaro\\TVGINA.DLL");
    m.registry.Set(kWinlogon, "ChainTo", kRegSz, Raw("stack"));  // no terminator
    m.registry.SetDword(kWinlogon, "LogonType", 2);
    m.registry.SetDword(kWinlogon, "AllowMultipleTSSessions", 1);
    m.registry.SetDword(kPolicy, "AllowMultipleTSSessions", 1);
    Bytes chainTo = Sz("C:\\Program Files\\Telvaro\\tvgina.dll");
    chainTo.insert(chainTo.end(), {0x07, 0x7f});  // bytes after the terminator
    m.registry.Set(kChained, "ChainTo", kRegSz, chainTo);
    m.registry.SetText(kProduct, "GinaDLL", "msgina.dll");
    return m;
}

// None of the logon values exists.
inline Machine BareMachine() { return Machine(); }

inline void Remove(MemoryRegistry& registry, const char* key, const char* name) {
    RegKey handle = 0;
    if (registry.OpenKey(kHkeyLocalMachine, key, &handle) != kErrorSuccess) return;
    registry.DeleteValue(handle, name);
    registry.CloseKey(handle);
}

// The marker test the dialog sets its buttons from.
inline bool IsApplied(const MemoryRegistry& registry) {
    MemoryRegistry copy = registry;
    FakeSystem system;
    return ProductChecks(copy, system).IsApplied() == 1;
}

// Values by "key|name" in lower case.
typedef std::map<std::string, StoredValue> Values;
inline std::string ValueKey(const char* key, const char* name) {
    std::string text = std::string("hklm\\") + key + "|" + name;
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}
inline Values AllValues(const MemoryRegistry& registry) {
    Values values;
    for (const auto& key : registry.Snapshot())
        for (const auto& value : key.second) values[key.first + "|" + value.first] = value.second;
    return values;
}
inline Values LogonValues(const MemoryRegistry& registry) {
    Values values;
    StoredValue value;
    for (const SavedValue& s : kSavedValues)
        if (registry.Get(s.key, s.name, &value)) values[ValueKey(s.key, s.name)] = value;
    return values;
}
// The copies and the marker.
inline Values BackupValues(const MemoryRegistry& registry) {
    Values values;
    StoredValue value;
    for (const SavedValue& s : kSavedValues)
        if (registry.Get(kProduct, s.copy, &value)) values[ValueKey(kProduct, s.copy)] = value;
    if (registry.Get(kProduct, kMarker, &value)) values[ValueKey(kProduct, kMarker)] = value;
    return values;
}

// Passes every call through and keeps the status the registry returned, and
// the type and bytes of every write.
class StatusLog : public Registry {
public:
    StatusLog(Registry& inner, std::vector<long>& statuses, std::vector<StoredValue>& writes)
        : inner_(inner), log_(statuses), writes_(writes) {}
    long OpenKey(RegKey root, const char* path, RegKey* key) {
        return Keep(inner_.OpenKey(root, path, key));
    }
    long CreateKey(RegKey root, const char* path, RegKey* key) {
        return Keep(inner_.CreateKey(root, path, key));
    }
    long QueryValueEx(RegKey key, const char* name, std::uint32_t* type, unsigned char* data,
                      std::uint32_t* count) {
        return Keep(inner_.QueryValueEx(key, name, type, data, count));
    }
    long SetValueEx(RegKey key, const char* name, std::uint32_t type, const unsigned char* data,
                    std::uint32_t count) {
        writes_.push_back(StoredValue{type, count ? Bytes(data, data + count) : Bytes()});
        return Keep(inner_.SetValueEx(key, name, type, data, count));
    }
    long DeleteValue(RegKey key, const char* name) { return Keep(inner_.DeleteValue(key, name)); }
    long CloseKey(RegKey key) { return Keep(inner_.CloseKey(key)); }

private:
    long Keep(long status) {
        log_.push_back(status);
        return status;
    }
    Registry& inner_;
    std::vector<long>& log_;
    std::vector<StoredValue>& writes_;
};

// "Restore" and "Disable", pressed or as /restore and /disable: each runs as
// the machine is due for it.
enum Operation { kApply, kRevert };

struct Outcome {
    bool result;  // the changes were made
    LockedOutcome outcome;
    RunReport report;
    MemoryRegistry registry;  // as the operation left it
    std::vector<ObservedRegistry::Call> calls;
    std::vector<long> statuses;  // of the calls that reached the registry
    std::vector<StoredValue> writes;  // that reached the registry, in order
    int openHandles;
    bool failedChange;
    FakeMachineLock lock;  // as the operation left it
};

// Runs the operation on a copy of the machine; failAt > 0 refuses that call,
// and with refuseRest every call after it as well.
inline Outcome Perform(const Machine& start, Operation operation, int failAt = 0,
                       bool refuseRest = false) {
    Outcome run;
    run.registry = start.registry;
    FakeSystem system = start.system;
    StatusLog log(run.registry, run.statuses, run.writes);
    ObservedRegistry observed(log);
    if (refuseRest)
        observed.FailFrom(failAt);
    else
        observed.FailCall(failAt);
    LogonConfig config(observed, system);
    run.lock = start.lock;
    run.lock.clock = [&observed] { return observed.CallCount(); };
    run.outcome = config.RunLocked(
        run.lock, operation == kRevert ? kRevertOperation : kApplyOperation, &run.report);
    run.result = run.outcome == kChangesMade;
    run.lock.clock = nullptr;
    run.calls = observed.Calls();
    run.openHandles = observed.OpenHandles();
    run.failedChange = observed.FailedChange();
    return run;
}

inline Machine After(const Machine& start, const Outcome& run) {
    Machine machine = start;
    machine.registry = run.registry;
    return machine;
}

// 1-based index of the nth (first when 0) call of that kind on that value
// name or key path (compared without case); 0 when there is none.
inline int CallIndex(const Outcome& run, ObservedRegistry::Operation kind, const char* name,
                     int nth = 1) {
    for (std::size_t i = 0; i < run.calls.size(); ++i)
        if (run.calls[i].operation == kind && strcasecmp(run.calls[i].name.c_str(), name) == 0 &&
            --nth <= 0)
            return static_cast<int>(i) + 1;
    return 0;
}

// Every logon value of the original machine is live and unchanged or, when
// backupCounts, saved byte-for-byte in a backup set the marker says is there.
inline ::testing::AssertionResult Kept(const Machine& original, const MemoryRegistry& now,
                                       bool backupCounts) {
    bool applied = IsApplied(now);
    StoredValue before, live, copy;
    for (const SavedValue& s : kSavedValues) {
        if (!original.registry.Get(s.key, s.name, &before)) continue;
        bool unchanged = now.Get(s.key, s.name, &live) && live == before;
        bool saved = backupCounts && applied && now.Get(kProduct, s.copy, &copy) && copy == before;
        if (!unchanged && !saved)
            return ::testing::AssertionFailure() << s.key << "\\" << s.name << " lost, was "
                                                 << ::testing::PrintToString(before)
                                                 << (applied ? "" : "; no marker");
    }
    return ::testing::AssertionSuccess();
}
inline ::testing::AssertionResult NothingLost(const Machine& original, const MemoryRegistry& now) {
    return Kept(original, now, true);
}
inline ::testing::AssertionResult OriginalsBack(const Machine& original,
                                                const MemoryRegistry& now) {
    return Kept(original, now, false);
}

}  // namespace logontest
