// The GINA chain repair's decisions, one row per situation: the registry and
// files before, and every value the repair must change; all else must stay.
#include "LogonTestSupport.h"

using namespace logontest;

namespace {

struct Setting {
    const char* key;
    const char* name;
    Bytes data;  // empty in an expectation: the value is deleted
};

struct RepairCase {
    std::string name;
    std::vector<Setting> before, changes;
    std::vector<std::string> files, folders;
    OsVersion version;
    bool versionRefused, result;
    std::string systemDirectory;
    unsigned codePage;

    explicit RepairCase(const char* caseName)
        : name(caseName), version{5, 1, kVerPlatformWin32Nt}, versionRefused(false),
          result(true), systemDirectory(kSystemDir), codePage(1252) {}

    RepairCase& Put(const char* key, const char* value, const Bytes& data) {
        before.push_back(Setting{key, value, data});
        return *this;
    }
    RepairCase& Gina(const Bytes& data) { return Put(kWinlogon, "GinaDLL", data); }
    RepairCase& Recorded(const Bytes& data) { return Put(kProduct, "GinaDLL", data); }
    RepairCase& ChainTo(const Bytes& data) { return Put(kChained, "ChainTo", data); }
    RepairCase& File(const std::string& path) {
        files.push_back(path);
        return *this;
    }
    RepairCase& Folder(const std::string& path) {
        folders.push_back(path);
        return *this;
    }
    RepairCase& InSystem(const char* file) { return File(systemDirectory + "\\" + file); }
    RepairCase& SystemDirectory(const std::string& path) {
        systemDirectory = path;
        return *this;
    }
    RepairCase& CodePage(unsigned number) {
        codePage = number;
        return *this;
    }
    RepairCase& Version(std::uint32_t platform, std::uint32_t major, std::uint32_t minor) {
        version = OsVersion{major, minor, platform};
        return *this;
    }
    RepairCase& VersionRefused() {
        versionRefused = true;
        return *this;
    }
    RepairCase& Expect(const char* key, const char* value, const Bytes& data) {
        changes.push_back(Setting{key, value, data});
        return *this;
    }
    RepairCase& GinaBecomes(const std::string& text) {
        return Expect(kWinlogon, "GinaDLL", Padded(text));
    }
    RepairCase& GinaDeleted() { return Expect(kWinlogon, "GinaDLL", Bytes()); }
    RepairCase& ChainToBecomes(const std::string& text) {
        return Expect(kChained, "ChainTo", Padded(text));
    }
    RepairCase& Fails() {
        result = false;
        return *this;
    }
};

// Test names in listings rather than the bytes of the case.
void PrintTo(const RepairCase& c, std::ostream* out) { *out << c.name; }

const std::string kFallback = std::string(kSystemDir) + "\\msgina.dll";
// System directories whose join with "\msgina.dll" has 259 characters, or 260.
const std::string kLongestDir = "C:\\" + std::string(245, 'd');
const std::string kTooLongDir = kLongestDir + "d";
// A system directory ending in 表, whose second byte in code page 932 is a
// backslash's.
const std::string kDbcsDir = "C:\\WINDOWS\\\x95\x5C";
// A recorded GINA of 259 characters, the longest the 260-byte buffer holds.
const std::string kLongestName = "C:\\" + std::string(250, 'p') + "\\x.dll";
// 260 bytes ending in a GINA name, without a terminator.
Bytes Unterminated(const std::string& name) {
    return Raw(std::string(260 - name.size(), 'x') + name);
}
// 260 bytes: a terminated name, then non-zero bytes up to the end.
Bytes TerminatedThenJunk(const std::string& name) {
    Bytes data = Sz(name);
    data.resize(260, 'z');
    return data;
}

// Telvaro's GINA first, its record naming msgina.dll, found in the system directory.
RepairCase Direct(const char* name) {
    return RepairCase(name).Gina(Sz("TVGINA.DLL")).Recorded(Sz("msgina.dll"))
        .InSystem("msgina.dll");
}
// The Wayfold GINA in front of Telvaro's.
RepairCase Chained(const char* name) {
    return RepairCase(name).Gina(Sz("C:\\Wayfold\\wflgina.dll")).ChainTo(Sz("TVGINA.DLL"));
}

const RepairCase kCases[] = {
    Direct("DirectRecordedFoundByItsOwnPath").Recorded(Sz("D:\\Gina\\OTHGINA.DLL"))
        .File("d:\\gina\\othgina.dll").GinaBecomes("D:\\Gina\\OTHGINA.DLL"),
    Direct("DirectLowerCaseWithDirectoryRecordedOnlyInSystemDirectory")
        .Gina(Sz("C:\\Program Files\\Telvaro\\tvgina.dll")).Recorded(Sz("othgina.dll"))
        .InSystem("othgina.dll").GinaBecomes("othgina.dll"),
    // The system's own GINA goes back by deleting the value, the only way
    // Windows XP offers the Welcome Screen; a record of Telvaro's own GINA
    // would keep it first. Another msgina.dll is another GINA.
    Direct("DirectSystemGinaByNameDeleted").GinaDeleted(),
    Direct("DirectSystemGinaUpperCaseDeleted").Recorded(Sz("MSGINA.DLL")).GinaDeleted(),
    Direct("DirectSystemGinaByPathDeleted").Recorded(Sz("c:\\windows\\SYSTEM32\\MsGina.dll"))
        .GinaDeleted(),
    Direct("DirectOtherMsginaWritten").Recorded(Sz("D:\\Old\\msgina.dll"))
        .File("D:\\Old\\msgina.dll").GinaBecomes("D:\\Old\\msgina.dll"),
    Direct("DirectRecordOfTelvarosGinaDeleted").Recorded(Sz("C:\\Telvaro\\TvGina.dll"))
        .File("C:\\Telvaro\\TvGina.dll").GinaDeleted(),
    Direct("DirectRecordedFoundNowhere").Recorded(Sz("gone.dll")).GinaDeleted(),
    RepairCase("DirectNothingRecorded").Gina(Sz("TVGINA.DLL")).GinaDeleted(),
    // Joined to the system directory an empty name would find the directory itself.
    Direct("DirectEmptyRecord").Recorded(Sz("")).File(kSystemDir).GinaDeleted(),
    // Neither a wildcard that happens to match nor a folder is a GINA to load.
    Direct("DirectWildcardRecordNotWritten").Recorded(Sz("ms*.dll")).GinaDeleted(),
    Direct("DirectFolderRecordNotWritten").Recorded(Sz("D:\\Gina")).Folder("D:\\Gina")
        .GinaDeleted(),
    Chained("ChainedWildcardRecordFallsBack").Recorded(Sz("msgina.dl?")).InSystem("msgina.dll")
        .ChainToBecomes(kFallback),
    Direct("ThirdGinaDeleted").Gina(Sz("C:\\Tools\\custgina.dll")).GinaDeleted(),
    RepairCase("NoGinaNothingChanges").Recorded(Sz("msgina.dll")).InSystem("msgina.dll"),
    Direct("BothNamesDirectCaseFirst").Gina(Sz("TVGINA.DLL>WFLGINA.DLL"))
        .ChainTo(Sz("TVGINA.DLL")).GinaDeleted(),

    Chained("ChainedRecordedFound").Recorded(Sz("msgina.dll")).InSystem("msgina.dll")
        .ChainToBecomes("msgina.dll"),
    Chained("ChainedRecordedFoundByItsOwnPath").Recorded(Sz("D:\\Gina\\othgina.dll"))
        .File("D:\\Gina\\othgina.dll").ChainToBecomes("D:\\Gina\\othgina.dll"),
    Chained("ChainedRecordedMissing").Recorded(Sz("gone.dll")).ChainToBecomes(kFallback),
    Chained("ChainedEmptyRecord").Recorded(Sz("")).File(kSystemDir).ChainToBecomes(kFallback),
    Chained("ChainedToPlainMsgina").ChainTo(Sz("msgina.dll")).Recorded(Sz("D:\\Gina\\o.dll"))
        .File("D:\\Gina\\o.dll").ChainToBecomes(kFallback),
    RepairCase("ChainedWithoutChainToNothingChanges").Gina(Sz("WFLGINA.DLL"))
        .Recorded(Sz("msgina.dll")).InSystem("msgina.dll"),
    Chained("ChainedLoopRefused").Recorded(Sz("WFLGINA.DLL")).InSystem("WFLGINA.DLL")
        .ChainToBecomes(kFallback),
    // Telvaro's own GINA as its record would keep it in the chain.
    Chained("ChainedRecordOfTelvarosGinaRefused").Recorded(Sz("C:\\Program Files\\Telvaro\\TVGINA.DLL"))
        .File("C:\\Program Files\\Telvaro\\TVGINA.DLL").ChainToBecomes(kFallback),
    // Telvaro replaced the Wayfold GINA, which chains back to Telvaro's: both go right.
    RepairCase("DirectRecordOfTheWayfoldGina").Gina(Sz("TVGINA.DLL")).Recorded(Sz("WFLGINA.DLL"))
        .InSystem("WFLGINA.DLL").ChainTo(Sz("tvgina.dll")).GinaBecomes("WFLGINA.DLL")
        .ChainToBecomes(kFallback),

    Direct("Windows2000NothingChanges").Version(kVerPlatformWin32Nt, 5, 0),
    Direct("Server2003NothingChanges").Version(kVerPlatformWin32Nt, 5, 2),
    Direct("VistaNothingChanges").Version(kVerPlatformWin32Nt, 6, 0),
    Direct("Windows98NothingChanges").Version(kVerPlatformWin32Windows, 4, 10),
    Direct("VersionUnknownNothingChanges").VersionRefused(),
    Direct("Nt4Repaired").Version(kVerPlatformWin32Nt, 4, 0).GinaDeleted(),

    // A GinaDLL that is there but unreadable is left alone and reported; an
    // unreadable ChainTo is left alone as one that is not there.
    Direct("UnterminatedGinaUnreadable").Gina(Unterminated("TVGINA.DLL")).Fails(),
    Direct("UnterminatedRecordUnreadable").Recorded(Unterminated("msgina.dll")).GinaDeleted(),
    Chained("UnterminatedChainToUnreadable").ChainTo(Unterminated("TVGINA.DLL"))
        .Recorded(Sz("msgina.dll")).InSystem("msgina.dll"),
    Chained("TooLongChainToUnreadable").ChainTo(Sz(std::string(300, 'x') + "TVGINA.DLL"))
        .Recorded(Sz("msgina.dll")).InSystem("msgina.dll"),
    Chained("UnterminatedRecordInChainUnreadable").Recorded(Unterminated("msgina.dll"))
        .InSystem("msgina.dll").ChainToBecomes(kFallback),
    Direct("FullBufferWithTerminatorReadable").Gina(TerminatedThenJunk("TVGINA.DLL"))
        .Recorded(Sz("othgina.dll")).InSystem("othgina.dll").GinaBecomes("othgina.dll"),
    Direct("LongestRecordReadable").Recorded(Sz(kLongestName)).File(kLongestName)
        .GinaBecomes(kLongestName),

    Direct("JoinFitsExactly").SystemDirectory(kLongestDir).Recorded(Sz("mygina.dll"))
        .InSystem("mygina.dll").GinaBecomes("mygina.dll"),
    Direct("JoinTooLongNotFound").SystemDirectory(kTooLongDir).Recorded(Sz("mygina.dll"))
        .InSystem("mygina.dll").GinaDeleted(),
    Chained("ChainedFallbackFitsExactly").SystemDirectory(kLongestDir).Recorded(Sz("gone.dll"))
        .ChainToBecomes(kLongestDir + "\\msgina.dll"),
    // Neither the recorded GINA nor the fallback fits: nothing truncated is written.
    Chained("ChainedNothingFits").SystemDirectory(kTooLongDir).Recorded(Sz("msgina.dll"))
        .InSystem("msgina.dll").Fails(),

    // Code page 932: a backslash's byte ending a double-byte character is no
    // separator, and "tvgina.dll" after a character whose second byte is a
    // 't' names a third GINA, not Telvaro's.
    Direct("DoubleByteSystemDirectoryJoined").CodePage(932).SystemDirectory(kDbcsDir)
        .Recorded(Sz("othgina.dll")).InSystem("othgina.dll").GinaBecomes("othgina.dll"),
    Chained("DoubleByteSystemDirectoryFallback").CodePage(932).SystemDirectory(kDbcsDir)
        .Recorded(Sz("gone.dll")).ChainToBecomes(kDbcsDir + "\\msgina.dll"),
    Direct("DoubleByteCharacterBeforeGinaNameIsThirdGina").CodePage(932)
        .Gina(Sz("D:\\Gina\\\x83tvgina.dll")).Recorded(Sz("D:\\Gina\\OTHGINA.DLL"))
        .File("D:\\Gina\\OTHGINA.DLL").GinaDeleted(),
};

class RepairTable : public ::testing::TestWithParam<RepairCase> {};

TEST_P(RepairTable, ChangesExactlyWhatTheCaseSays) {
    const RepairCase& c = GetParam();
    Machine machine;
    machine.system.files.clear();
    machine.system.codePage = c.codePage;
    machine.system.systemDirectory = c.systemDirectory;
    machine.system.SetVersion(c.version.platformId, c.version.majorVersion,
                              c.version.minorVersion);
    if (c.versionRefused) machine.system.versions.clear();
    for (const Setting& s : c.before) machine.registry.Set(s.key, s.name, kRegSz, s.data);
    for (const std::string& path : c.files) machine.system.AddFile(path);
    for (const std::string& path : c.folders) machine.system.AddDirectory(path);

    MemoryRegistry expected = machine.registry;
    for (const Setting& s : c.changes) {
        if (s.data.empty())
            Remove(expected, s.key, s.name);
        else
            expected.Set(s.key, s.name, kRegSz, s.data);
    }

    ObservedRegistry observed(machine.registry);
    LogonConfig config(observed, machine.system);
    EXPECT_EQ(c.result, config.RepairGinaChain());
    EXPECT_EQ(AllValues(expected), AllValues(machine.registry));
    EXPECT_EQ(0, observed.OpenHandles());
}

INSTANTIATE_TEST_SUITE_P(Gina, RepairTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RepairCase>& info) {
                             return info.param.name;
                         });

}  // namespace
