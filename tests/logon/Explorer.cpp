// The state explorer: whole machines drawn by a seeded generator, each run
// through a sequence of Restore and Disable presses (a button or its
// switch: both run as the machine is due), one of which may have a registry
// call refused, and after any of which another program may put Telvaro's
// GINA back, put the Wayfold GINA in front, select the classic logon or turn
// the multiple sessions on, with every invariant checked after every press,
// and /status, the buttons and the notices checked against the model of the
// next logon, also with one setting's read refused. Under the sanitizers, a
// crash or a bad memory access stops it.
//
//   explore [--seed S] [--states N] [--from I] [--show K]
//
// State I of seed S is the same machine and sequence in every run, so
// `--seed S --from I --states 1` replays a reported one.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <utility>

#include "LogonTestSupport.h"
#include "NextLogonModel.h"
#include "app/CommandLine.h"
#include "checks/Notice.h"

using namespace logontest;

namespace {

struct Random {  // splitmix64
    std::uint64_t state;
    std::uint64_t Next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    unsigned Below(unsigned n) { return static_cast<unsigned>(Next() % n); }
    bool Chance(unsigned percent) { return Below(100) < percent; }
};

const std::string kLongName = "C:\\" + std::string(250, 'p') + "\\x.dll";  // 259 characters
// A folder whose name ends in a double-byte character with a backslash's
// byte second: 表 in code page 932, 功 in 950 (in 1252 two characters, the
// second a backslash).
const std::string kDbcsFolder = "C:\\Program Files\\\x95\x5C";
const std::string kDbcsFolder950 = "C:\\Program Files\\\xA5\x5C";
// What texts name: both products' GINAs, the system default by name and by
// path, another GINA (also in such a folder, or after a double-byte
// character whose second byte is a 't'), a folder, wildcards, nothing.
const std::string kNames[] = {
    "TVGINA.DLL", "C:\\Program Files\\Telvaro\\tvgina.dll", "WFLGINA.DLL",
    "c:\\wayfold\\wflgina.dll", "msgina.dll", "C:\\WINDOWS\\system32\\msgina.dll",
    "D:\\Gina\\othgina.dll", "othgina.dll", "D:\\Gina", "ms*.dll", "msgina.dl?",
    "TVGINA.DLL;WFLGINA.DLL", kDbcsFolder + "\\othgina.dll", "D:\\Gina\\\x83tvgina.dll",
    kLongName, ""};
const unsigned kNameCount = sizeof(kNames) / sizeof(kNames[0]);

bool IsText(const SavedValue& s) {
    return std::strcmp(s.name, "GinaDLL") == 0 || std::strcmp(s.name, "ChainTo") == 0;
}
bool IsPrefixed(const char* copy) { return std::strncmp(copy, "Zelt_", 5) == 0; }
// The longest data a read of the value takes: a text buffer, or a number.
std::size_t Limit(const SavedValue& s) { return IsText(s) ? 260 : 4; }

// Text of exactly total bytes that ends in the name, with or without a terminator.
Bytes Sized(const std::string& name, std::size_t total, bool terminated) {
    std::size_t room = total - (terminated ? 1 : 0);
    std::string text = name.size() >= room ? name.substr(name.size() - room)
                                           : "C:\\" + std::string(room - name.size(), 'x') + name;
    text = text.substr(text.size() - room);
    return terminated ? Sz(text) : Raw(text);
}

Bytes Text(Random& r) {
    const std::string& name = kNames[r.Below(kNameCount)];
    switch (r.Below(9)) {
        case 0: return Bytes();
        case 1: return Raw(name);  // no terminator
        case 2: {
            Bytes b = Sz(name);
            b.resize(b.size() + 1 + r.Below(8), 'z');
            return b;
        }
        case 3: return Sized(name, 259, true);
        case 4: return Sized(name, 260, false);
        case 5: return Sized(name, 260, true);
        case 6: return Sized(name, 261 + r.Below(200), r.Chance(80));
        default: return Sz(name);
    }
}

Bytes Number(Random& r) {
    Bytes b(r.Chance(60) ? 4 : r.Below(9));
    for (unsigned char& c : b)
        c = static_cast<unsigned char>(r.Chance(75) ? r.Below(3) : r.Below(256));
    return b;
}

std::uint32_t TypeOr(Random& r, std::uint32_t usual) {
    static const std::uint32_t kTypes[] = {kRegSz, kRegExpandSz, kRegBinary, kRegDword,
                                           kRegNone, 7 /* REG_MULTI_SZ */, 11 /* REG_QWORD */};
    return r.Chance(75) ? usual : kTypes[r.Below(7)];
}

void Put(Random& r, Machine& m, const char* key, const char* name, bool text, unsigned percent) {
    if (!r.Chance(percent)) return;
    bool asText = text || r.Chance(15);
    m.registry.Set(key, name, TypeOr(r, asText ? kRegSz : kRegDword), asText ? Text(r) : Number(r));
}

using logonmodel::Join;

Machine Generate(Random& r) {
    Machine m;
    m.registry = MemoryRegistry();
    m.system.files.clear();
    // Japanese and Traditional Chinese editions of Windows XP now and then.
    static const unsigned kCodePages[] = {932, 932, 950};
    if (r.Chance(25)) m.system.codePage = kCodePages[r.Below(3)];
    bool dbcs = m.system.codePage != 1252;
    const std::string folder = m.system.codePage == 950 ? kDbcsFolder950 : kDbcsFolder;
    // Telvaro's folder, its name with or without a backslash after it.
    const std::string installDirs[] = {"C:\\Program Files\\Telvaro", folder, folder + "\\"};
    const std::string& installDir = installDirs[r.Below(dbcs ? 3 : 1)];
    m.registry.SetText(kProduct, "InstallDir", installDir);
    m.system.AddFile(Join(m.system, installDir, "tvhost32.exe"));
    for (const SavedValue& s : kSavedValues) {
        Put(r, m, s.key, s.name, IsText(s), 75);
        Put(r, m, kProduct, s.copy, IsText(s), 25);  // stale or earlier copies
    }
    Put(r, m, kProduct, "GinaDLL", true, 75);  // the GINA Telvaro recorded
    Put(r, m, kPolicy, "LogonType", false, 20);  // "Always use classic logon" when 0
    m.system.domainMember = r.Chance(20);
    if (r.Chance(40))
        m.registry.Set(kProduct, kMarker, r.Chance(60) ? kRegBinary : TypeOr(r, kRegBinary),
                       r.Chance(60) ? Dword(1) : Number(r));
    for (const char* key : {kProduct, kWinlogon, kPolicy, kChained}) {  // the key, at least
        RegKey handle = 0;
        if (r.Chance(15) && m.registry.CreateKey(kHkeyLocalMachine, key, &handle) == kErrorSuccess)
            m.registry.CloseKey(handle);
        if (r.Chance(20)) m.registry.Set(key, "Unrelated", kRegSz, Sz("x"));
    }

    static const unsigned kDirLengths[] = {0,   1,   243, 244, 245, 246, 247,
                                           255, 256, 257, 258, 259, 300};
    if (r.Chance(30))
        m.system.systemDirectory =
            "C:\\" + std::string(r.Chance(50) ? kDirLengths[r.Below(13)] : r.Below(300), 'd');
    else if (dbcs && r.Chance(40))
        m.system.systemDirectory = folder;
    m.system.systemDirectoryFails = r.Chance(3);
    // Every Windows XP has its own GINA.
    m.system.AddFile(Join(m.system, m.system.systemDirectory, "msgina.dll"));
    for (unsigned i = 0; i + 1 < kNameCount; ++i) {
        std::string where = kNames[i];
        switch (r.Below(5)) {
            case 0: m.system.AddFile(where); break;
            case 1: m.system.AddFile(m.system.systemDirectory + "\\" + where); break;
            case 2: m.system.AddDirectory(where); break;
            default: break;
        }
    }
    static const OsVersion kOthers[] = {{4, 0, 2}, {3, 51, 2}, {5, 0, 2},
                                        {5, 2, 2}, {6, 0, 2},  {4, 10, 1}};
    if (r.Chance(25)) {
        const OsVersion& v = kOthers[r.Below(6)];
        m.system.SetVersion(v.platformId, v.majorVersion, v.minorVersion);
    }
    if (r.Chance(3)) m.system.versions.clear();
    return m;
}

// The marker as the dialog reads it: a value of its name with at most 4 bytes.
bool Applied(const MemoryRegistry& r) {
    StoredValue marker;
    return r.Get(kProduct, kMarker, &marker) && marker.data.size() <= 4;
}

// Whether c is what the program makes of v, as a copy or as a value written
// back: a text byte-for-byte as REG_SZ, a number as a 4-byte REG_DWORD that
// starts with v's bytes (shorter data is padded with 1, or for the policy copy
// with the Winlogon number read just before it).
bool Copies(const StoredValue& c, const StoredValue& v, bool text) {
    if (text) return c.type == kRegSz && v.data.size() <= 260 && c.data == v.data;
    return c.type == kRegDword && c.data.size() == 4 && v.data.size() <= 4 &&
           std::equal(v.data.begin(), v.data.end(), c.data.begin());
}
bool Holds(const StoredValue& c, const StoredValue& v, bool text) {
    return c == v || Copies(c, v, text);
}


// The GINA settings Disable writes back, Wayfold's ChainTo first: each copy
// that fits a text buffer, of the first `count` of them.
const SavedValue* const kGinaSettings[] = {&kSavedValues[5], &kSavedValues[0]};
MemoryRegistry WrittenBack(const MemoryRegistry& r, int count = 2) {
    MemoryRegistry restored = r;
    StoredValue copy;
    for (const SavedValue* s : kGinaSettings)
        if (count-- > 0 && r.Get(kProduct, s->copy, &copy) && copy.data.size() <= 260)
            restored.Set(s->key, s->name, kRegSz, copy.data);
    return restored;
}

// What of Restore is not in effect: Telvaro's GINA first, directly or
// behind the Wayfold GINA; or, without a policy value, a Winlogon LogonType
// that selects no Welcome Screen.
bool GinaUndone(const Machine& m) {
    using namespace logonmodel;
    const MemoryRegistry& r = m.registry;
    std::string gina, next;
    return TextOf(r, kWinlogon, "GinaDLL", &gina) &&
           (Names(m.system, gina, "TVGINA.DLL") ||
            (Names(m.system, gina, "WFLGINA.DLL") && TextOf(r, kChained, "ChainTo", &next) &&
             Names(m.system, next, "TVGINA.DLL")));
}
bool LogonTypeUndone(const Machine& m) {
    StoredValue v;
    const MemoryRegistry& r = m.registry;
    return !r.Get(kPolicy, "LogonType", &v) &&
           !(r.Get(kWinlogon, "LogonType", &v) && v.type == kRegDword && v.data.size() == 4 &&
             v.data != Dword(0));
}
bool Undone(const Machine& m) { return GinaUndone(m) || LogonTypeUndone(m); }
unsigned NotInEffect(const Machine& m) {
    std::string gina;
    bool first = logonmodel::TextOf(m.registry, kWinlogon, "GinaDLL", &gina) &&
                 logonmodel::Names(m.system, gina, "TVGINA.DLL");
    unsigned off = first ? kOffGina : kOffChainedGina;
    return (GinaUndone(m) ? off : 0u) | (LogonTypeUndone(m) ? unsigned(kOffLogonType) : 0u);
}

bool IsXp(const Machine& m) {
    auto os = m.system.versions.find(kOsVersionInfoSize);
    return os != m.system.versions.end() && os->second.platformId == kVerPlatformWin32Nt &&
           os->second.majorVersion == 5 && os->second.minorVersion == 1;
}

// Whether Disable keeps every GINA that loads now, other than Telvaro's and
// the system's own: the same text, or the Wayfold GINA as the Wayfold GINA.
bool KeepsGinas(const Machine& m, const PredictedLogon& now, const PredictedLogon& after) {
    using namespace logonmodel;
    for (const std::string& g : now.chain) {
        if (g.empty() || Names(m.system, g, "TVGINA.DLL") || IsSystemGina(m.system, g)) continue;
        bool kept = false;
        for (const std::string& h : after.chain)
            kept = kept || SameText(m.system, g, h) ||
                   (Names(m.system, g, "WFLGINA.DLL") && Names(m.system, h, "WFLGINA.DLL") &&
                    !Names(m.system, h, "TVGINA.DLL"));
        if (!kept) return false;
    }
    return true;
}

// The repair's result without a refused call: it fails exactly when (on NT
// 4 or XP) Winlogon's GinaDLL is there but cannot be read, or when the
// Wayfold GINA is first, its ChainTo readable, and neither the system
// default's full path nor Telvaro's recorded GINA, found, fits in 260 bytes;
// Telvaro's GINA first, whose record is the Wayfold GINA, counts as the
// Wayfold GINA first when that chains to Telvaro's again.
bool RepairExpected(const Machine& m) {
    using namespace logonmodel;
    const MemoryRegistry& r = m.registry;
    StoredValue v;
    auto os = m.system.versions.find(kOsVersionInfoSize);
    if (os == m.system.versions.end() || os->second.platformId != kVerPlatformWin32Nt ||
        !(os->second.majorVersion <= 4 ||
          (os->second.majorVersion == 5 && os->second.minorVersion == 1)))
        return true;
    std::string gina, chainTo, record;
    if (r.Get(kWinlogon, "GinaDLL", &v) && !TextOf(r, kWinlogon, "GinaDLL", &gina)) return false;
    bool usable = TextOf(r, kProduct, "GinaDLL", &record) && Found(m.system, record) &&
                  !Names(m.system, record, "TVGINA.DLL");
    // Telvaro's GINA first: its record goes in, and when that is the Wayfold
    // GINA, a ChainTo of it that names Telvaro's GINA is repaired as below.
    if (Names(m.system, gina, "TVGINA.DLL") &&
        !(usable && !IsSystemGina(m.system, record) && Names(m.system, record, "WFLGINA.DLL")))
        return true;
    if (!Names(m.system, gina, "TVGINA.DLL") && !Names(m.system, gina, "WFLGINA.DLL")) return true;
    if (!TextOf(r, kChained, "ChainTo", &chainTo)) return true;
    if (Names(m.system, gina, "TVGINA.DLL") && !Names(m.system, chainTo, "TVGINA.DLL")) return true;
    std::string dir = SystemDirectory(m.system);
    if (!dir.empty() && Join(m.system, dir, "msgina.dll").size() < 260) return true;
    return Names(m.system, chainTo, "TVGINA.DLL") && usable &&
           !Names(m.system, record, "WFLGINA.DLL");
}

// The result without a refused call. Disable runs only with the marker, and
// fails exactly when a GINA it would write back cannot be found, when the
// chain it would give back, or the one after its first write, does not load
// while the one there now does, or when a GINA that loads now would leave
// it. Restore without the marker fails exactly when a value it must copy
// (GinaDLL over 260 bytes, a number over 4) is there but unreadable, or the
// repair fails; with the marker it runs only when part of it is not in
// effect, and only the repair, when Telvaro's GINA is in the chain, can fail.
bool Expected(const Machine& m, Operation op) {
    using namespace logonmodel;
    const MemoryRegistry& r = m.registry;
    StoredValue v;
    if (op == kRevert) {
        if (!Applied(r)) return false;
        std::string name;
        for (const SavedValue* s : kGinaSettings)
            if (TextOf(r, kProduct, s->copy, &name) && !name.empty() && !Found(m.system, name))
                return false;
        PredictedLogon now = PredictNextLogon(r, m.system);
        PredictedLogon after = PredictNextLogon(WrittenBack(r), m.system);
        return !now.loads || (after.loads && PredictNextLogon(WrittenBack(r, 1), m.system).loads &&
                              KeepsGinas(m, now, after));
    }
    if (Applied(r)) return Undone(m) && (!GinaUndone(m) || RepairExpected(m));
    for (const SavedValue& s : kSavedValues)
        if (std::strcmp(s.name, "ChainTo") != 0 && r.Get(s.key, s.name, &v) &&
            v.data.size() > Limit(s))
            return false;
    return RepairExpected(m);
}

// Refuses every read of one setting, as a registry whose permissions keep
// that value from the program would.
class RefusingRegistry : public Registry {
public:
    RefusingRegistry(MemoryRegistry& inner, const std::string& key, const std::string& name)
        : inner_(inner), key_(Lower(key)), name_(Lower(name)) {}
    long OpenKey(RegKey root, const char* path, RegKey* key) {
        long status = inner_.OpenKey(root, path, key);
        if (status == kErrorSuccess) paths_[*key] = Lower(path);
        return status;
    }
    long CreateKey(RegKey root, const char* path, RegKey* key) {
        long status = inner_.CreateKey(root, path, key);
        if (status == kErrorSuccess) paths_[*key] = Lower(path);
        return status;
    }
    long QueryValueEx(RegKey key, const char* name, std::uint32_t* type, unsigned char* data,
                      std::uint32_t* count) {
        if (paths_[key] == key_ && Lower(name) == name_) return kErrorAccessDenied;
        return inner_.QueryValueEx(key, name, type, data, count);
    }
    long SetValueEx(RegKey key, const char* name, std::uint32_t type, const unsigned char* data,
                    std::uint32_t count) {
        return inner_.SetValueEx(key, name, type, data, count);
    }
    long DeleteValue(RegKey key, const char* name) { return inner_.DeleteValue(key, name); }
    long CloseKey(RegKey key) { return inner_.CloseKey(key); }

private:
    static std::string Lower(std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }
    MemoryRegistry& inner_;
    std::string key_, name_;
    std::map<RegKey, std::string> paths_;
};

// The settings /status reads, one of which may be refused.
const std::pair<const char*, const char*> kStatusReads[] = {
    {kWinlogon, "GinaDLL"},   {kProduct, "GinaDLL"},  {kChained, "ChainTo"},
    {kWinlogon, "LogonType"}, {kPolicy, "LogonType"}, {kProduct, kMarker},
    {kProduct, "Zelt_GinaDLL"}};

// What /status ends with, by the model: 1603 when a setting it needs to
// follow the chain was refused; else 3 when the chain does not load; else
// 1603 when the marker, a LogonType in force or (with the marker) the
// Wayfold GINA's ChainTo was refused; else 1, 2 or 0.
int ExpectedStatus(const Machine& m, const PredictedLogon& next, bool welcome, int refused) {
    using namespace logonmodel;
    const MemoryRegistry& r = m.registry;
    auto is = [&](const char* key, const char* name) {
        return refused >= 0 && ValueKey(key, name) == ValueKey(kStatusReads[refused].first,
                                                               kStatusReads[refused].second) &&
               r.HasKey(key);
    };
    for (const std::string& read : next.reads) {
        std::size_t bar = read.find('|');
        if (is(read.substr(0, bar).c_str(), read.substr(bar + 1).c_str())) return 1603;
    }
    if (!next.loads) return 3;
    std::string gina;
    bool chained = TextOf(r, kWinlogon, "GinaDLL", &gina) &&
                   !Names(m.system, gina, "TVGINA.DLL") && Names(m.system, gina, "WFLGINA.DLL");
    if (is(kProduct, kMarker) || is(kPolicy, "LogonType") ||
        (!r.Get(kPolicy, "LogonType", 0) && is(kWinlogon, "LogonType")) ||
        (Applied(r) && chained && is(kChained, "ChainTo")))
        return 1603;
    if (!Applied(r)) return 1;
    return Undone(m) || !welcome ? 2 : 0;
}

// A number as Disable writes it back, or the backup saves it: read into a
// 4-byte number that holds `base` (data too long to read leaves it so).
Bytes ReadNumber(const StoredValue& v, const Bytes& base) {
    Bytes number = base;
    if (v.data.size() <= 4) std::copy(v.data.begin(), v.data.end(), number.begin());
    return number;
}

// What must not be lost, per saved value: the value before the first press,
// or, on a machine that starts applied, its readable copy. Unknown for a
// value whose only copy cannot be read.
struct Origin {
    bool known, present;
    StoredValue value;
};
std::vector<Origin> OriginsOf(const MemoryRegistry& r) {
    std::vector<Origin> origins;
    for (const SavedValue& s : kSavedValues) {
        Origin o = {true, false, StoredValue()};
        if (Applied(r))
            o.known = o.present = r.Get(kProduct, s.copy, &o.value) && o.value.data.size() <= Limit(s);
        else
            o.present = r.Get(s.key, s.name, &o.value);
        origins.push_back(o);
    }
    return origins;
}

// The next logon as it was when the backup in force was taken, once a press
// took it.
struct BackupTaken {
    bool known;
    PredictedLogon logon;
    bool numberType;  // Winlogon's LogonType was a 4-byte REG_DWORD
};

struct Press {
    Operation op;
    int failAt;  // 0: none refused
    bool refuseRest;
    std::string refused;  // that call, as "query GinaDLL"
    std::string then;     // a file that went, or what another program did, before the next press
    bool lockBusy;        // another copy holds the machine-wide lock
    int refusedRead;      // the setting /status is read without after it, of kStatusReads
};

// Long runs of one byte shortened, so that a dump stays readable.
std::string Show(const StoredValue& v) {
    std::ostringstream out;
    out << "type " << v.type << " [" << v.data.size() << "] ";
    for (std::size_t i = 0; i < v.data.size();) {
        std::size_t run = 1;
        while (i + run < v.data.size() && v.data[i + run] == v.data[i]) ++run;
        unsigned char c = v.data[i];
        char text[8];
        std::snprintf(text, sizeof(text), c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c);
        if (run >= 8)
            out << "{" << text << " x" << run << "}";
        else
            for (std::size_t k = 0; k < run; ++k) out << text;
        i += run;
    }
    return out.str();
}

// Every invariant, stated once and checked after every press; "" when all hold.
std::string Violation(const Machine& before, const Outcome& run, const Press& press,
                      const Outcome* clean, std::vector<Origin>& origins,
                      const BackupTaken& backup, int refusedRead) {
    using namespace logonmodel;
    const MemoryRegistry& now = run.registry;
    if (run.openHandles || now.OpenHandles()) return "a registry handle left open";
    // The program's own checks read a copy of the machine as the press left it.
    MemoryRegistry registry = now;
    FakeSystem system = before.system;
    // The startup check finds tvhost32.exe in Telvaro's folder, whatever
    // character ends the folder's name.
    TextString host;
    if (!host.Assign("tvhost32.exe") || !ProductChecks(registry, system).IsProductInstalled(host))
        return "the startup check did not find tvhost32.exe";
    // Another copy holding the machine-wide lock stops a press before it reads
    // the marker; otherwise every registry call is made under the lock.
    if (run.lock.held) return "the machine-wide lock kept after the press";
    if (before.lock.busy)
        return run.result || AllValues(now) != AllValues(before.registry)
                   ? "a press without the lock changed something or reported done"
                   : "";
    if (run.lock.takenAt != 0 || run.lock.givenBackAt != static_cast<int>(run.calls.size()))
        return "a registry call outside the machine-wide lock";
    // Texts: at most 260 bytes, terminated unless copied byte-for-byte; numbers 4 bytes.
    for (const StoredValue& w : run.writes) {
        bool bad = w.type == kRegSz
                       ? w.data.size() > 260
                       : (w.type != kRegDword && w.type != kRegBinary) || w.data.size() != 4;
        if (w.type == kRegSz && !bad && !std::count(w.data.begin(), w.data.end(), 0)) {
            bad = true;
            for (const auto& v : AllValues(before.registry)) bad &= !(v.second.data == w.data);
        }
        if (bad) return "bad write: " + Show(w);
    }
    bool applied = Applied(now);
    for (std::size_t i = 0; i < origins.size(); ++i) {
        const SavedValue& s = kSavedValues[i];
        const Origin& o = origins[i];
        StoredValue live, copy;
        bool hasLive = now.Get(s.key, s.name, &live), hasCopy = now.Get(kProduct, s.copy, &copy);
        bool saved = hasCopy && o.present && Holds(copy, o.value, IsText(s));
        if (o.known && o.present && !(hasLive && Holds(live, o.value, IsText(s))) &&
            !(applied && saved))
            return std::string("lost ") + s.key + "\\" + s.name;
        // The marker vouches for a complete backup set: a copy of every value
        // that can be copied, no prefixed copy of one that cannot or was absent.
        if (o.known && applied &&
            (o.present && o.value.data.size() <= Limit(s)
                 ? !hasCopy || !Holds(copy, o.value, IsText(s))
                 : hasCopy && IsPrefixed(s.copy)))
            return std::string("marker over an incomplete backup set: ") + s.copy;
    }
    // What Winlogon does at the next logon.
    const PredictedLogon was = PredictNextLogon(before.registry, before.system);
    const PredictedLogon next = PredictNextLogon(now, before.system);
    if (was.loads && !next.loads) return "the GINA chain Winlogon loads no longer loads";
    // What the reading tells is what Winlogon will do, in a domain as far as
    // netapi32 can tell it (from a system directory it can be loaded from).
    LogonConfig logon(registry, system);
    MachineState status;
    ReadMachine(logon, system, &status);
    bool welcome = next.welcome;
    if (before.system.domainMember && GetDomainMembership(system) != kDomainMember) {
        FakeSystem workgroup = before.system;
        workgroup.domainMember = false;
        welcome = PredictNextLogon(now, workgroup).welcome;
    }
    if ((status.blockers == 0) != welcome)
        return std::string("the reading says the Welcome Screen ") +
               (next.welcome ? "stays off" : "shows") + ", Winlogon does otherwise";
    Machine after = before;
    after.registry = now;
    ProductChecks checks(registry, system);
    int code = StatusResult(status, checks).exitCode, expected = ExpectedStatus(after, next, welcome, -1);
    if (code != expected)
        return "/status ends with " + std::to_string(code) + ", the model says " +
               std::to_string(expected);
    // The same with one setting's read refused: unknown is never "fine".
    if (refusedRead >= 0) {
        MemoryRegistry copy = now;
        RefusingRegistry refusing(copy, kStatusReads[refusedRead].first,
                                  kStatusReads[refusedRead].second);
        LogonConfig refusedLogon(refusing, system);
        MachineState partly;
        ReadMachine(refusedLogon, system, &partly);
        code = StatusResult(partly, checks).exitCode;
        expected = ExpectedStatus(after, next, welcome, refusedRead);
        if (code != expected)
            return "/status with " + std::string(kStatusReads[refusedRead].second) +
                   " refused ends with " + std::to_string(code) + ", the model says " +
                   std::to_string(expected);
    }
    // The buttons offer what a press is due to do.
    if (OffersDisable(status) != Applied(now) ||
        OffersRestore(status) != (!Applied(now) || Undone(after)))
        return "the buttons differ from what the machine is due for";
    // A chain that does not load is named: the GINA missing or with nothing
    // after it, or the whole chain that loops; the notice after the press
    // names it too.
    const ChainReport& chain = status.chain;
    if ((status.chainState == kChainBroken) != !next.loads || (chain.trouble != kChainFine) == next.loads)
        return next.loads ? "the status says nobody can log on, the chain loads"
                          : "the status misses a chain that does not load";
    if (!next.loads) {
        std::string joined;
        for (const std::string& gina : next.chain) joined += (joined.empty() ? "" : " -> ") + gina;
        bool missing = !Found(before.system, next.chain.back());
        if ((chain.trouble == kChainMissingGina) != missing ||
            chain.text != (chain.trouble == kChainLoops ? joined : next.chain.back()))
            return std::string("the status names ") + chain.text + " for the chain " + joined;
    }
    {
        Notice notice;
        OperationNotice(press.op == kRevert ? kRevertOperation : kApplyOperation, run.outcome,
                        run.report, status, checks, &notice);
        if (std::strcmp(notice.chain.text, chain.text) != 0)
            return "the notice after the press does not name the chain that does not load";
        // It says what a Restore with the marker put in place, and only that.
        unsigned redone = run.outcome == kChangesMade && press.op == kApply &&
                                  Applied(before.registry)
                              ? NotInEffect(before)
                              : 0;
        if (notice.redone != redone)
            return "the notice after Restore names other than what was not in effect";
    }
    // What of Restore is not in effect, as the model sees it.
    if (Applied(now)) {
        if (status.unreadable || status.notInEffect != NotInEffect(after))
            return "the program and the model differ on what of Restore is not in effect";
        if (press.op == kApply && IsXp(before) &&
            (run.outcome == kChangesMade || run.outcome == kNothingDue) && status.notInEffect)
            return "Restore ended with 0 or 3010, still not in effect";
    }
    // A Restore with the marker there leaves the multiple-sessions values as
    // they are: Fast User Switching may have been turned on on purpose.
    if (press.op == kApply && Applied(before.registry)) {
        StoredValue a, b;
        for (const char* key : {kWinlogon, kPolicy})
            if (before.registry.Get(key, "AllowMultipleTSSessions", &a) !=
                    now.Get(key, "AllowMultipleTSSessions", &b) ||
                !(a == b))
                return std::string("Restore with the marker changed ") + key +
                       "\\AllowMultipleTSSessions";
    }
    if (run.outcome == kNothingDue && AllValues(now) != AllValues(before.registry))
        return "nothing to do, and something changed";
    std::string record;
    bool recorded = TextOf(before.registry, kProduct, "GinaDLL", &record);
    bool applies = press.op != kRevert;
    if (applies) {
        // The repair writes Telvaro's record as it stands, or the system
        // default by its full path into the Wayfold GINA's ChainTo.
        const StoredValue written[] = {
            StoredValue{kRegSz, recorded ? Padded(record) : Bytes()},
            StoredValue{kRegSz,
                        Padded(Join(before.system, before.system.systemDirectory, "msgina.dll"))}};
        const struct { const char* key; const char* name; int choices; } kTexts[] = {
            {kWinlogon, "GinaDLL", 1}, {kChained, "ChainTo", 2}};
        for (const auto& t : kTexts) {
            StoredValue was_, is;
            if (now.Get(t.key, t.name, &is) &&
                !(before.registry.Get(t.key, t.name, &was_) && was_ == is) &&
                !(recorded && is == written[0]) && !(t.choices == 2 && is == written[1]))
                return std::string("the repair wrote ") + t.key + "\\" + t.name + " = " + Show(is);
        }
    }
    if (applies && run.result && IsXp(before)) {
        if (next.productFirst) return "Restore reported done, Telvaro's GINA still first";
        if (Undone(after)) return "Restore reported done, and it is still undone";
        StoredValue policy;
        bool classic = before.registry.Get(kPolicy, "LogonType", &policy) &&
                       !(policy.type == kRegDword && policy.data.size() == 4 &&
                         policy.data != Dword(0));
        bool systemGina = !recorded || Names(before.system, record, "TVGINA.DLL") ||
                          IsSystemGina(before.system, record) || !Found(before.system, record);
        if (was.productFirst && systemGina && !classic && !before.system.domainMember &&
            !next.welcome)
            return "Restore reported done, and the next logon shows no Welcome Screen";
    }
    if (press.op == kRevert && run.result && backup.known &&
        (next.chain != backup.logon.chain ||
         (backup.numberType && next.logonType != backup.logon.logonType)))
        return "Disable reported done, the chain or logon type is not the one before Restore";
    if (applies && run.result && !Applied(before.registry)) {
        StoredValue v;
        if (!applied || !now.Get(kWinlogon, "LogonType", &v) ||
            !(v == StoredValue{kRegDword, Dword(1)}) ||
            !now.Get(kWinlogon, "AllowMultipleTSSessions", &v) ||
            !(v == StoredValue{kRegDword, Dword(0)}) ||
            !now.Get(kPolicy, "AllowMultipleTSSessions", &v) ||
            !(v == StoredValue{kRegDword, Dword(0)}))
            return "Apply reported done without marker, LogonType 1 and sessions 0";
    }
    if (press.op == kRevert && run.result) {
        if (now.Get(kProduct, kMarker, 0)) return "Revert reported done, marker left";
        // Numbers are read into one variable, preset to 1 before LogonType
        // and before the Winlogon sessions value, not before the policy's.
        Bytes number;
        for (std::size_t i = 0; i < sizeof(kSavedValues) / sizeof(kSavedValues[0]); ++i) {
            const SavedValue& s = kSavedValues[i];
            StoredValue copy, live, was;
            if (!IsText(s) && std::strcmp(s.key, kPolicy) != 0) number = Dword(1);
            if (!before.registry.Get(kProduct, s.copy, &copy)) continue;
            if (!IsText(s)) number = ReadNumber(copy, number);
            bool hasLive = now.Get(s.key, s.name, &live),
                 hadLive = before.registry.Get(s.key, s.name, &was);
            bool back = IsText(s) ? Copies(live, copy, true)
                                  : live == StoredValue{kRegDword, number};
            if (copy.data.size() <= Limit(s) ? !hasLive || !back
                         : hasLive != hadLive || (hasLive && !(live == was)))
                return std::string("Revert reported done, not back: ") + s.key + "\\" + s.name;
            if (IsPrefixed(s.copy) && now.Get(kProduct, s.copy, 0))
                return std::string("Revert left ") + s.copy;
        }
    }
    // The result: false exactly when a needed change was refused, or the one
    // rule above says so. A refused read may stop an operation that cannot
    // tell what it would overwrite; one that does not stop it must not matter.
    if (!clean) {
        if (run.result != Expected(before, press.op)) return "result differs from the rule";
        // Disable refuses a chain only when it says which GINA, or loop.
        const ChainReport& refused = run.report.refused;
        if (press.op == kRevert && run.outcome != kNothingDue &&
            (refused.trouble != kChainFine) == run.result)
            return "Disable's refusal and the chain it names differ";
        if (refused.trouble == kChainMissingGina && Found(before.system, refused.text))
            return std::string("Disable names ") + refused.text + " as missing";
        return "";
    }
    bool needed = false;
    for (std::size_t i = press.failAt; i <= (press.refuseRest ? clean->calls.size() : press.failAt);
         ++i) {
        ObservedRegistry::Operation k = clean->calls[i - 1].operation;
        needed |= (k == ObservedRegistry::kCreate || k == ObservedRegistry::kSet ||
                   k == ObservedRegistry::kDelete) &&
                  clean->statuses[i - 1] == kErrorSuccess;
    }
    if (needed && run.result) return "a refused change reported as done";
    if (run.result && (!clean->result || AllValues(now) != AllValues(clean->registry)))
        return "reported done after a refused read, but not what the press does without it";
    return "";
}

void Dump(const Machine& m, const std::vector<Press>& presses, std::size_t at) {
    for (const auto& key : m.registry.Snapshot()) {
        std::cout << "  " << key.first << (key.second.empty() ? " (no values)\n" : "\n");
        for (const auto& value : key.second)
            std::cout << "    " << value.first << " = " << Show(value.second) << "\n";
    }
    for (const std::string& f : m.system.files) std::cout << "  file " << f << "\n";
    for (const std::string& d : m.system.directories) std::cout << "  folder " << d << "\n";
    if (m.system.codePage != 1252) std::cout << "  code page " << m.system.codePage << "\n";
    std::cout << "  system directory "
              << (m.system.systemDirectoryFails ? "refused"
                                                : "\"" + m.system.systemDirectory + "\"")
              << "\n";
    auto os = m.system.versions.find(kOsVersionInfoSize);
    if (os == m.system.versions.end())
        std::cout << "  version refused\n";
    else
        std::cout << "  version " << os->second.platformId << " " << os->second.majorVersion << "."
                  << os->second.minorVersion << "\n";
    if (m.system.domainMember) std::cout << "  a domain member\n";
    std::cout << "  presses:";
    for (std::size_t i = 0; i < presses.size(); ++i) {
        static const char* const kOperations[] = {"Restore", "Disable"};
        std::cout << (i == at ? " >" : " ") << kOperations[presses[i].op];
        if (presses[i].failAt)
            std::cout << "(call " << presses[i].failAt << ", " << presses[i].refused
                      << (presses[i].refuseRest ? ", and all after it," : "") << " refused)";
        if (presses[i].lockBusy) std::cout << "(lock held elsewhere)";
        if (presses[i].refusedRead >= 0)
            std::cout << "(/status read with " << kStatusReads[presses[i].refusedRead].first << "\\"
                      << kStatusReads[presses[i].refusedRead].second << " refused)";
        if (!presses[i].then.empty()) std::cout << " (" << presses[i].then << ")";
    }
    std::cout << "\n";
}

}  // namespace

// Allocation stacks and a long quarantine cost most of the time here; a
// finding replays with --from, under ASAN_OPTIONS that restore them.
extern "C" const char* __asan_default_options() {
    return "malloc_context_size=0:quarantine_size_mb=1:max_malloc_fill_size=0";
}

int main(int argc, char** argv) {
    std::uint64_t seed = 1, states = 20000, from = 0, show = 3;
    const char* const kOptions[] = {"--seed", "--states", "--from", "--show"};
    std::uint64_t* const values[] = {&seed, &states, &from, &show};
    for (int i = 1; i < argc; i += 2) {
        int k = 0;
        while (k < 4 && std::strcmp(argv[i], kOptions[k]) != 0) ++k;
        if (k == 4 || i + 1 == argc) {
            std::cerr << "usage: explore [--seed S] [--states N] [--from I] [--show K]\n";
            return 2;
        }
        *values[k] = std::strtoull(argv[i + 1], 0, 10);
    }
    auto started = std::chrono::steady_clock::now();
    std::uint64_t presses = 0, refusals = 0, hands = 0, violations = 0;
    for (std::uint64_t index = from; index < from + states; ++index) {
        Random r = {seed * 0x2545F4914F6CDD1Dull ^ index};
        r.Next();
        const Machine start = Generate(r);
        std::vector<Press> sequence(1 + r.Below(4));
        for (Press& p : sequence)
            p = Press{r.Chance(60) ? kApply : kRevert, 0, false, std::string(), std::string(),
                      false, r.Chance(50) ? static_cast<int>(r.Below(7)) : -1};
        int refusedAt =
            r.Chance(60) ? static_cast<int>(r.Below(static_cast<unsigned>(sequence.size()))) : -1;
        std::vector<Origin> origins = OriginsOf(start.registry);
        BackupTaken backup = {false, PredictedLogon(), false};
        Machine now = start;
        for (std::size_t i = 0; i < sequence.size(); ++i) {
            Press& press = sequence[i];
            Outcome clean;
            bool refused = static_cast<int>(i) == refusedAt;
            now.lock.busy = press.lockBusy = !refused && r.Chance(5);
            if (refused) {
                clean = Perform(now, press.op);
                press.failAt = 1 + static_cast<int>(r.Below(static_cast<unsigned>(
                                       std::max<std::size_t>(1, clean.calls.size()))));
                press.refuseRest = r.Chance(30);
                static const char* const kKinds[] = {"open", "create", "query",
                                                     "set",  "delete", "close"};
                const ObservedRegistry::Call& call = clean.calls[press.failAt - 1];
                press.refused = std::string(kKinds[call.operation]) + " " + call.name;
                ++refusals;
            }
            Outcome run = Perform(now, press.op, press.failAt, press.refuseRest);
            ++presses;
            std::string why =
                Violation(now, run, press, refused ? &clean : 0, origins, backup, press.refusedRead);
            if (!why.empty()) {
                if (violations++ < show) {
                    std::cout << "state " << index << " of seed " << seed << ": " << why
                              << " (result " << run.result << ")\n";
                    Dump(start, sequence, i);
                    std::cout.flush();
                }
                break;
            }
            if (!Applied(run.registry)) {
                backup.known = false;
            } else if (press.op != kRevert && !Applied(now.registry)) {
                StoredValue type;
                backup = BackupTaken{true, PredictNextLogon(now.registry, now.system),
                                     now.registry.Get(kWinlogon, "LogonType", &type) &&
                                         type.type == kRegDword && type.data.size() == 4};
            }
            now.registry = std::move(run.registry);
            // A GINA file may go between presses: an uninstall, a quarantine.
            if (r.Chance(10)) {
                const std::string& gone = kNames[r.Below(kNameCount)];
                now.system.RemoveFile(gone);
                now.system.RemoveFile(Join(now.system, now.system.systemDirectory, gone));
                now.system.AddFile(Join(now.system, now.system.systemDirectory, "msgina.dll"));
                press.then = gone + " gone";
            }
            // Another program's hand: Telvaro's repair puts its GINA back
            // (Windows Installer's resiliency, a reinstall), in front or
            // behind the Wayfold GINA; the Wayfold GINA is installed in front;
            // the classic logon is selected; Fast User Switching is turned on.
            if (r.Chance(12)) {
                ++hands;
                const std::string gina = r.Chance(50) ? "TVGINA.DLL" : kNames[1];
                std::string first;
                bool chained = logonmodel::TextOf(now.registry, kWinlogon, "GinaDLL", &first) &&
                               logonmodel::Names(now.system, first, "WFLGINA.DLL");
                unsigned which = r.Below(5);
                if (which == 1 && !chained) which = 0;
                std::size_t files = now.system.files.size();
                // The values it writes, as kSavedValues has them.
                std::vector<unsigned> touched;
                if (which == 0) {
                    now.registry.SetText(kWinlogon, "GinaDLL", gina);
                    touched = {0};
                } else if (which == 1 || which == 3) {
                    now.registry.SetText(kChained, "ChainTo", gina);
                    touched = {5};
                    if (which == 3) {
                        now.registry.SetText(kWinlogon, "GinaDLL", "WFLGINA.DLL");
                        now.system.AddFile(Join(now.system, now.system.systemDirectory,
                                                "WFLGINA.DLL"));
                        touched.push_back(0);
                    }
                } else if (which == 2) {
                    now.registry.SetDword(kWinlogon, "LogonType", 0);
                    touched = {2};
                } else {
                    now.registry.SetDword(kWinlogon, "AllowMultipleTSSessions", 1);
                    now.registry.SetDword(kPolicy, "AllowMultipleTSSessions", 1);
                    touched = {3, 4};
                }
                // What it overwrote without a copy is lost by its hand, not
                // the program's: no longer one to keep, nor one Disable gives back.
                for (unsigned k : touched) {
                    const SavedValue& s = kSavedValues[k];
                    StoredValue copy;
                    Origin& o = origins[k];
                    if (!(o.present && now.registry.Get(kProduct, s.copy, &copy) &&
                          Holds(copy, o.value, IsText(s)))) {
                        o.known = false;
                        backup.known = false;
                    }
                }
                if (which < 4 && r.Chance(70))
                    now.system.AddFile(gina == kNames[1]
                                           ? gina
                                           : Join(now.system, now.system.systemDirectory, gina));
                // A GINA file that comes makes a longer chain than the one before Restore.
                if (now.system.files.size() != files) backup.known = false;
                static const char* const kHands[] = {
                    "Telvaro's GINA put first", "Telvaro's GINA put behind the Wayfold GINA",
                    "the classic logon selected", "the Wayfold GINA put in front",
                    "multiple sessions on"};
                press.then += (press.then.empty() ? "" : ", ") + std::string(kHands[which]);
            }
            // Without the marker the machine as it stands is what the next
            // backup saves: a value Apply created is then one to keep.
            if (!Applied(now.registry)) origins = OriginsOf(now.registry);
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::cout << "explored " << states << " states (" << presses << " presses, " << refusals
              << " with a refused call, " << hands << " with another program's hand after it) in "
              << seconds
              << " s: " << static_cast<long>(states / (seconds > 0 ? seconds : 1e-9))
              << " states/s; " << violations << " violations\n";
    return violations ? 1 : 0;
}
