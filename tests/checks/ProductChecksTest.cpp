// The eligibility checks against the in-memory registry and a fake system.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "FakeSystem.h"
#include "MemoryRegistry.h"
#include "ObservedRegistry.h"
#include "checks/ProductChecks.h"
#include "logon/LogonLayout.h"

namespace {

typedef std::vector<unsigned char> Bytes;
typedef std::vector<std::string> Strings;

const std::string kInstallDir = "C:\\Program Files\\Corvane\\Telvaro";
const std::string kHostPath = kInstallDir + "\\tvhost32.exe";
const std::string kVersionDll = "C:\\WINDOWS\\system32\\version.dll";

// A machine the checks run on: by default Windows XP with Telvaro 10.5.0
// installed and no applied marker.
struct Machine {
    Machine() : observed(registry), checks(observed, system) {
        registry.SetText(layout::kProductKey, layout::kInstallDir, kInstallDir);
        system.AddFile(kHostPath);
        system.fileVersions[kHostPath] = {10, 5, 0, 0};
    }
    void RemoveInstallDir() {
        RegKey key = 0;
        registry.OpenKey(kHkeyLocalMachine, layout::kProductKey, &key);
        registry.DeleteValue(key, layout::kInstallDir);
        registry.CloseKey(key);
    }
    // Registry calls that could change something.
    int Changes() const {
        int changes = 0;
        for (const ObservedRegistry::Call& call : observed.Calls())
            if (call.operation == ObservedRegistry::kCreate ||
                call.operation == ObservedRegistry::kSet ||
                call.operation == ObservedRegistry::kDelete)
                ++changes;
        return changes;
    }

    MemoryRegistry registry;
    ObservedRegistry observed;
    FakeSystem system;
    ProductChecks checks;
};

// --- Operating-system classification ----------------------------------------

struct OsRow {
    std::uint32_t platform, major, minor;
    int code;
};

std::string OsRowName(const ::testing::TestParamInfo<OsRow>& info) {
    const char* const platforms[] = {"Win32s", "Windows", "Nt", "Platform3"};
    return std::string(platforms[info.param.platform]) + "_" + std::to_string(info.param.major) +
           "_" + std::to_string(info.param.minor);
}

void PrintTo(const OsRow& row, std::ostream* out) { *out << row.platform << "." << row.major << "." << row.minor; }

class OsClassification : public ::testing::TestWithParam<OsRow> {};

TEST_P(OsClassification, FromTheExtendedRecord) {
    const OsRow& row = GetParam();
    FakeSystem system;
    system.SetVersion(row.platform, row.major, row.minor);
    int code = -1;
    EXPECT_EQ(GetOsVersionCode(system, &code), 1);
    EXPECT_EQ(code, row.code);
    EXPECT_EQ(system.versionQueries, std::vector<std::uint32_t>{kOsVersionInfoExSize});
}

INSTANTIATE_TEST_SUITE_P(
    Releases, OsClassification,
    ::testing::Values(OsRow{kVerPlatformWin32s, 3, 10, kOsOther},
                      OsRow{kVerPlatformWin32Windows, 4, 0, kOsWindows95},
                      OsRow{kVerPlatformWin32Windows, 4, 10, kOsWindows98},
                      OsRow{kVerPlatformWin32Windows, 4, 90, kOsWindowsMe},
                      OsRow{kVerPlatformWin32Windows, 4, 1, kOsOther},
                      OsRow{kVerPlatformWin32Windows, 5, 0, kOsOther},
                      OsRow{kVerPlatformWin32Windows, 3, 10, kOsOther},
                      OsRow{kVerPlatformWin32Nt, 3, 51, kOsNt4OrEarlier},
                      OsRow{kVerPlatformWin32Nt, 4, 0, kOsNt4OrEarlier},
                      OsRow{kVerPlatformWin32Nt, 4, 90, kOsNt4OrEarlier},
                      OsRow{kVerPlatformWin32Nt, 5, 0, kOsWindows2000},
                      OsRow{kVerPlatformWin32Nt, 5, 1, kOsWindowsXp},
                      OsRow{kVerPlatformWin32Nt, 5, 2, kOsOther},
                      OsRow{kVerPlatformWin32Nt, 6, 0, kOsOther},
                      OsRow{kVerPlatformWin32Nt, 6, 1, kOsOther},
                      OsRow{kVerPlatformWin32Nt, 10, 0, kOsOther},
                      OsRow{3, 5, 1, kOsOther}),
    OsRowName);

// The 148-byte record is asked only when the 156-byte one is refused, and
// its answer is the one classified.
TEST(OsRecordSizes, FallBackToThePlainRecordOnlyWhenTheExtendedOneIsRefused) {
    const OsVersion xp = {5, 1, kVerPlatformWin32Nt}, win2000 = {5, 0, kVerPlatformWin32Nt};
    struct Row {
        std::map<std::uint32_t, OsVersion> versions;
        int result, code;
        std::vector<std::uint32_t> queries;
    };
    const Row rows[] = {
        {{{kOsVersionInfoExSize, xp}, {kOsVersionInfoSize, win2000}}, 1, kOsWindowsXp, {156}},
        {{{kOsVersionInfoSize, xp}}, 1, kOsWindowsXp, {156, 148}},
        {{}, 0, kOsOther, {156, 148}},
    };
    for (const Row& row : rows) {
        FakeSystem system;
        system.versions = row.versions;
        int code = -1;
        EXPECT_EQ(GetOsVersionCode(system, &code), row.result);
        EXPECT_EQ(code, row.code);
        EXPECT_EQ(system.versionQueries, row.queries);
    }
}

// --- File version ------------------------------------------------------------

enum Load { kNotAttempted, kRefused, kLoaded };

struct FileVersionRow {
    const char* name;
    std::function<void(FakeSystem&)> setUp;
    int result;
    Strings calls;   // version-library calls, in order
    Load load;
};

void PrintTo(const FileVersionRow& row, std::ostream* out) { *out << row.name; }

class FileVersion : public ::testing::TestWithParam<FileVersionRow> {};

TEST_P(FileVersion, ResultCallsAndRelease) {
    const FileVersionRow& row = GetParam();
    FakeSystem system;
    system.fileVersions[kHostPath] = {10, 5, 0, 7};
    row.setUp(system);
    std::uint32_t major = 77, minor = 77, third = 77;
    EXPECT_EQ(GetFileVersion(system, kHostPath.c_str(), &major, &minor, &third), row.result);
    if (row.result == kFileVersionOk) {
        EXPECT_EQ(major, 10u);
        EXPECT_EQ(minor, 5u);
        EXPECT_EQ(third, 0u);
    } else {
        EXPECT_EQ(major, 77u);
        EXPECT_EQ(minor, 77u);
        EXPECT_EQ(third, 77u);
    }
    EXPECT_EQ(system.calls, row.calls);
    EXPECT_EQ(system.librariesOpen, 0);
    EXPECT_EQ(system.blocksOpen, 0);
    // Only ever by full path from the system directory, never by bare name.
    for (const std::string& load : system.libraryLoads)
        EXPECT_EQ(load, system.systemDirectory + "\\version.dll");
    EXPECT_EQ(system.libraryLoads.size(), row.load == kNotAttempted ? 0u : 1u);
    if (row.load == kLoaded) {
        EXPECT_EQ(system.entryPointsLookedUp,
                  (Strings{"GetFileVersionInfoSizeA", "GetFileVersionInfoA", "VerQueryValueA"}));
    }
}

const Strings kAllCalls = {"size", "info", "query \\"};

INSTANTIATE_TEST_SUITE_P(
    Codes, FileVersion,
    ::testing::Values(
        FileVersionRow{"Ok", [](FakeSystem&) {}, kFileVersionOk, kAllCalls, kLoaded},
        FileVersionRow{"NoVersionInfo", [](FakeSystem& s) { s.fileVersions.clear(); },
                       kFileVersionNoInfo, {"size"}, kLoaded},
        FileVersionRow{"NoMemory", [](FakeSystem& s) { s.allocationFails = true; },
                       kFileVersionNoMemory, {"size"}, kLoaded},
        FileVersionRow{"ReadFails", [](FakeSystem& s) { s.readInfoFails = true; },
                       kFileVersionReadFailed, {"size", "info"}, kLoaded},
        FileVersionRow{"NoRootRecord", [](FakeSystem& s) { s.rootRecordMissing = true; },
                       kFileVersionNoRootRecord, kAllCalls, kLoaded},
        // A record the query aims past the block's end is not read.
        FileVersionRow{"RootRecordPastBlock", [](FakeSystem& s) { s.rootRecordPastBlock = true; },
                       kFileVersionNoRootRecord, kAllCalls, kLoaded},
        FileVersionRow{"LibraryDoesNotLoad",
                       [](FakeSystem& s) { s.versionLibraryPath = "C:\\elsewhere\\version.dll"; },
                       kFileVersionLoadFailed, {}, kRefused},
        FileVersionRow{"NoSizeEntryPoint",
                       [](FakeSystem& s) { s.missingEntryPoints = {"GetFileVersionInfoSizeA"}; },
                       kFileVersionLoadFailed, {}, kLoaded},
        FileVersionRow{"NoInfoEntryPoint",
                       [](FakeSystem& s) { s.missingEntryPoints = {"GetFileVersionInfoA"}; },
                       kFileVersionLoadFailed, {}, kLoaded},
        FileVersionRow{"NoQueryEntryPoint",
                       [](FakeSystem& s) { s.missingEntryPoints = {"VerQueryValueA"}; },
                       kFileVersionLoadFailed, {}, kLoaded},
        FileVersionRow{"NoSystemDirectory", [](FakeSystem& s) { s.systemDirectoryFails = true; },
                       kFileVersionLoadFailed, {}, kNotAttempted},
        // The full path fills a 260-byte path buffer exactly / would not fit.
        FileVersionRow{"SystemDirectoryOf247",
                       [](FakeSystem& s) {
                           s.systemDirectory = "C:\\" + std::string(244, 'd');
                           s.versionLibraryPath = s.systemDirectory + "\\version.dll";
                       },
                       kFileVersionOk, kAllCalls, kLoaded},
        FileVersionRow{"SystemDirectoryOf248",
                       [](FakeSystem& s) {
                           s.systemDirectory = "C:\\" + std::string(245, 'd');
                           s.versionLibraryPath = s.systemDirectory + "\\version.dll";
                       },
                       kFileVersionLoadFailed, {}, kNotAttempted}),
    [](const ::testing::TestParamInfo<FileVersionRow>& info) { return std::string(info.param.name); });

// Components come from the right halves of the two version numbers, and a
// null output is skipped while the others are written.
TEST(FileVersionOutputs, EachNonNullOutputGetsItsComponent) {
    for (int present = 0; present < 8; ++present) {
        FakeSystem system;
        system.fileVersions[kHostPath] = {0x1234, 0xFEDC, 0x9ABC, 0x5678};
        std::uint32_t values[3] = {77, 77, 77};
        std::uint32_t* out[3];
        for (int i = 0; i < 3; ++i) out[i] = (present >> i) & 1 ? &values[i] : nullptr;
        EXPECT_EQ(GetFileVersion(system, kHostPath.c_str(), out[0], out[1], out[2]),
                  kFileVersionOk);
        const std::uint32_t expected[3] = {0x1234, 0xFEDC, 0x9ABC};
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(values[i], (present >> i) & 1 ? expected[i] : 77u) << "outputs " << present;
        EXPECT_EQ(system.blocksOpen, 0);
    }
}

// --- Install check -----------------------------------------------------------

struct PathRow {
    const char* name;
    bool stored;            // InstallDir exists
    std::string installDir;
    std::string fileThere;  // a file the search finds, empty for none
    int result;
    std::string text;       // the caller's text afterwards
    unsigned codePage;      // the ANSI code page
};

void PrintTo(const PathRow& row, std::ostream* out) { *out << row.name; }

class InstallPath : public ::testing::TestWithParam<PathRow> {};

TEST_P(InstallPath, FormsThePathAndSearchesIt) {
    const PathRow& row = GetParam();
    MemoryRegistry registry;
    if (row.stored) registry.SetText(layout::kProductKey, layout::kInstallDir, row.installDir);
    FakeSystem system;
    system.codePage = row.codePage;
    if (!row.fileThere.empty()) system.AddFile(row.fileThere);
    ProductChecks checks(registry, system);
    TextString path;
    ASSERT_TRUE(path.Assign("tvhost32.exe"));
    EXPECT_EQ(checks.IsProductInstalled(path), row.result);
    const std::string text = path.CStr();
    EXPECT_EQ(text, row.text);
    // A search is made exactly when the directory was read, for the text.
    EXPECT_EQ(system.searches, text == "tvhost32.exe" ? Strings{} : Strings{row.text});
}

const std::string k354(354, 'd'), k355(355, 'd');
// A folder ending in 表, whose second byte in code page 932 is a backslash's.
const std::string kDbcsDir = "C:\\Program Files\\\x95\x5C";

INSTANTIATE_TEST_SUITE_P(
    Rows, InstallPath,
    ::testing::Values(
        PathRow{"NoTrailingBackslash", true, kInstallDir, kHostPath, 1, kHostPath, 1252},
        PathRow{"TrailingBackslash", true, kInstallDir + "\\", kHostPath, 1, kHostPath, 1252},
        PathRow{"FileNotThere", true, kInstallDir, "", 0, kHostPath, 1252},
        PathRow{"RootDirectory", true, "C:\\", "C:\\tvhost32.exe", 1, "C:\\tvhost32.exe", 1252},
        PathRow{"Empty", true, "", "\\tvhost32.exe", 1, "\\tvhost32.exe", 1252},
        PathRow{"NoInstallDir", false, "", kHostPath, 0, "tvhost32.exe", 1252},
        PathRow{"Of354Characters", true, k354, k354 + "\\tvhost32.exe", 1,
                k354 + "\\tvhost32.exe", 1252},
        PathRow{"Of355Characters", true, k355, k355 + "\\tvhost32.exe", 0, "tvhost32.exe", 1252},
        PathRow{"EndsInDoubleByteCharacter", true, kDbcsDir, kDbcsDir + "\\tvhost32.exe", 1,
                kDbcsDir + "\\tvhost32.exe", 932},
        PathRow{"DoubleByteCharacterThenBackslash", true, kDbcsDir + "\\",
                kDbcsDir + "\\tvhost32.exe", 1, kDbcsDir + "\\tvhost32.exe", 932}),
    [](const ::testing::TestParamInfo<PathRow>& info) { return std::string(info.param.name); });

// --- Applied marker ----------------------------------------------------------

TEST(AppliedMarker, PresentExactlyWhenItsDataFitsFourBytes) {
    struct Row {
        const char* name;
        bool stored;
        std::uint32_t type;
        Bytes data;
        int applied;
    };
    const Row rows[] = {
        {"written by Apply", true, kRegBinary, {1, 0, 0, 0}, 1},
        {"empty", true, kRegBinary, {}, 1},
        {"4-byte text", true, kRegSz, {'a', 'b', 'c', 0}, 1},
        {"zero DWORD", true, kRegDword, {0, 0, 0, 0}, 1},
        {"5 bytes", true, kRegBinary, {1, 0, 0, 0, 0}, 0},
        {"absent", false, kRegBinary, {}, 0},
    };
    for (const Row& row : rows) {
        Machine machine;
        if (row.stored) machine.registry.Set(layout::kProductKey, layout::kAppliedMarker, row.type, row.data);
        const auto before = machine.registry.Snapshot();
        EXPECT_EQ(machine.checks.IsApplied(), row.applied) << row.name;
        EXPECT_EQ(machine.Changes(), 0) << row.name;
        EXPECT_EQ(machine.observed.OpenHandles(), 0) << row.name;
        EXPECT_TRUE(machine.registry.Snapshot() == before) << row.name;
    }
    MemoryRegistry empty;
    FakeSystem system;
    EXPECT_EQ(ProductChecks(empty, system).IsApplied(), 0) << "no product key";
    EXPECT_FALSE(empty.HasKey(layout::kProductKey));
}

// --- Version check and startup check -----------------------------------------

TEST(ProductVersion, OnlyTenFiveZeroPasses) {
    struct Row {
        std::vector<std::uint32_t> version;  // empty: no version resource
        int valid;
    };
    const Row rows[] = {
        {{10, 5, 0, 0}, 1},  {{10, 5, 0, 1234}, 1}, {{10, 5, 0, 0xFFFF}, 1},
        {{10, 5, 1, 0}, 0},  {{10, 50, 0, 0}, 0},   {{10, 4, 0, 0}, 0},
        {{11, 0, 0, 0}, 0},  {{0, 5, 0, 0}, 0},     {{}, 0},
    };
    for (const Row& row : rows) {
        Machine machine;
        if (row.version.empty())
            machine.system.fileVersions.clear();  // e.g. a directory named tvhost32.exe
        else
            machine.system.fileVersions[kHostPath] = row.version;
        ::testing::Message which;
        for (std::uint32_t part : row.version) which << part << ".";
        EXPECT_EQ(machine.checks.IsProductVersionValid(), row.valid) << which;
        EXPECT_EQ(machine.checks.StartupFailure(), row.valid ? kStartupPassed : kWrongProductVersion)
            << which;
        EXPECT_EQ(machine.system.librariesOpen, 0);
    }
}

struct StartupRow {
    const char* name;
    std::function<void(Machine&)> setUp;
    StartupFailureReason reason;
    bool registryRead;   // InstallDir was read at all
    bool versionLoaded;  // the version library was loaded at all
};

void PrintTo(const StartupRow& row, std::ostream* out) { *out << row.name; }

class StartupCheck : public ::testing::TestWithParam<StartupRow> {};

TEST_P(StartupCheck, StopsAtTheFirstFailure) {
    const StartupRow& row = GetParam();
    Machine machine;
    row.setUp(machine);
    const auto before = machine.registry.Snapshot();
    EXPECT_EQ(machine.checks.StartupFailure(), row.reason);
    EXPECT_EQ(machine.observed.CallCount() > 0, row.registryRead);
    EXPECT_EQ(!machine.system.libraryLoads.empty(), row.versionLoaded);
    // The checks change nothing and leave nothing open.
    EXPECT_EQ(machine.Changes(), 0);
    EXPECT_EQ(machine.observed.OpenHandles(), 0);
    EXPECT_TRUE(machine.registry.Snapshot() == before);
    EXPECT_EQ(machine.system.librariesOpen, 0);
    EXPECT_EQ(machine.system.blocksOpen, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StartupCheck,
    ::testing::Values(
        StartupRow{"Passes", [](Machine&) {}, kStartupPassed, true, true},
        StartupRow{"Windows2000",
                   [](Machine& m) { m.system.SetVersion(kVerPlatformWin32Nt, 5, 0); },
                   kNotWindowsXp, false, false},
        StartupRow{"Nt52", [](Machine& m) { m.system.SetVersion(kVerPlatformWin32Nt, 5, 2); },
                   kNotWindowsXp, false, false},
        StartupRow{"Nt60", [](Machine& m) { m.system.SetVersion(kVerPlatformWin32Nt, 6, 0); },
                   kNotWindowsXp, false, false},
        StartupRow{"VersionQueriesFail", [](Machine& m) { m.system.versions.clear(); },
                   kNotWindowsXp, false, false},
        StartupRow{"NoInstallDir", [](Machine& m) { m.RemoveInstallDir(); },
                   kProductNotInstalled, true, false},
        StartupRow{"InstallDirTooLong",
                   [](Machine& m) {
                       m.registry.SetText(layout::kProductKey, layout::kInstallDir,
                                          std::string(400, 'x'));
                   },
                   kProductNotInstalled, true, false},
        StartupRow{"HostMissing", [](Machine& m) { m.system.files.clear(); },
                   kProductNotInstalled, true, false},
        StartupRow{"NoVersionResource", [](Machine& m) { m.system.fileVersions.clear(); },
                   kWrongProductVersion, true, true},
        StartupRow{"VersionLibraryMissing",
                   [](Machine& m) { m.system.versionLibraryPath = "C:\\nowhere\\version.dll"; },
                   kWrongProductVersion, true, true},
        StartupRow{"WrongVersion",
                   [](Machine& m) { m.system.fileVersions[kHostPath] = {10, 5, 1, 0}; },
                   kWrongProductVersion, true, true}),
    [](const ::testing::TestParamInfo<StartupRow>& info) { return std::string(info.param.name); });

}  // namespace
