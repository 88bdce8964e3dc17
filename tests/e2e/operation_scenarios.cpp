// "Restore" and "Disable" clicked for real, with the registry read back with
// exact types and bytes.
#include "harness.h"
#include "telvaro.h"

using namespace e2e;

namespace {

// Texts written by the chain repair: the text, its terminator, zeros to 260 bytes.
RegValue Padded(const std::string& text) {
    RegValue value = reg::Sz(text);
    value.data.resize(260, '\0');
    return value;
}

std::string SystemGina() {
    char directory[MAX_PATH] = {0};
    GetSystemDirectoryA(directory, MAX_PATH);
    return std::string(directory) + "\\msgina.dll";
}

// Wine has no msgina.dll; the repair only tests that the file is there.
void PutSystemGina(bool present) {
    DeleteFileA(SystemGina().c_str());
    if (present) PutFile(Fixture("tvhost32-none\\tvhost32.exe"), SystemGina());
}

RegValue Winlogon(const char* name) { return reg::Read(HKEY_LOCAL_MACHINE, kWinlogonKey, name); }
RegValue Product(const char* name) { return reg::Read(HKEY_LOCAL_MACHINE, kProductKey, name); }

// Presses an operation's button: by the time the restart notice shows, the
// buttons have already flipped to `states`.
void Press(App& app, int id, const char* states) {
    app.Click(app.Main(), id);
    HWND box = app.WaitPopup();
    REQUIRE(box != 0);
    CHECK_EQ(app.ButtonStates(), states);
    CHECK_EQ(App::MessageText(box), kRestart);
    app.Click(box, IDOK);
    CHECK(app.WaitGone(box));
    CHECK_EQ(app.ButtonStates(), states);
}

// Text stored without its terminator, which copies must keep as it is.
const RegValue kUnterminated = {true, REG_SZ, "next.dll"};

// Every logon value set, so that the backup set holds a copy of each.
void SetAllLogonValues() {
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "ChainTo", kUnterminated);
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "LogonType", reg::Dword(0));
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "AllowMultipleTSSessions", reg::Dword(1));
    reg::Write(HKEY_LOCAL_MACHINE, kPolicyKey, "AllowMultipleTSSessions", reg::Dword(1));
}

// After a round trip the machine is as before, plus the two un-prefixed
// copies that stay in the product key.
void ExpectRestored(const RegSnapshot& before) {
    RegSnapshot expected = before;
    expected["Corvane\\Telvaro\\CurrentVersion\\System\\AllowMultipleTSSessions"] = reg::Dword(1);
    expected["Corvane\\Telvaro\\CurrentVersion\\System\\AllowMultipleTSSessionsPolicy"] =
        reg::Dword(1);
    CHECK_EQ(MachineState(), expected);
}

}  // namespace

SCENARIO("operations", "direct_case_round_trip_in_one_run") {
    InstallTelvaro();
    PutSystemGina(true);  // the recorded bare msgina.dll exists only in system32
    SetAllLogonValues();
    RegSnapshot before = MachineState();
    RegValue gina = Winlogon("GinaDLL");

    App app;
    StartEligible(app);
    CHECK_EQ(app.ButtonStates(), kNotApplied);
    Press(app, IDOK, kApplied);
    CHECK_EQ(Winlogon("GinaDLL"), Padded("msgina.dll"));
    CHECK_EQ(Winlogon("LogonType"), reg::Dword(1));
    CHECK_EQ(Winlogon("AllowMultipleTSSessions"), reg::Dword(0));
    CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kPolicyKey, "AllowMultipleTSSessions"), reg::Dword(0));
    CHECK_EQ(Product("Zelt_GinaDLL"), gina);
    CHECK_EQ(Product("Zelt_ChainTo"), kUnterminated);
    CHECK_EQ(Product("Zelt_LogonType"), reg::Dword(0));
    CHECK_EQ(Product("Zelt_Applied"), reg::Binary(std::string("\1\0\0\0", 4)));

    Press(app, 1001, kNotApplied);
    ExpectRestored(before);
}

SCENARIO("operations", "gina_not_found_or_third_gina_is_deleted") {
    const struct { const char* label; const char* gina; bool systemGina; } cases[] = {
        {"recorded GINA missing", "TVGINA.DLL", false},
        {"third GINA", "other.dll", true},
    };
    for (const auto& c : cases) {
        ResetMachine();
        InstallTelvaro();
        PutSystemGina(c.systemGina);
        reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", reg::Sz(c.gina));
        App app;
        StartEligible(app);
        Press(app, IDOK, kApplied);
        CHECK_EQ(std::string(c.label) + ": " + Show(Winlogon("GinaDLL")),
                 std::string(c.label) + ": (absent)");
        CHECK_EQ(Product("Zelt_GinaDLL"), reg::Sz(c.gina));
    }
}

SCENARIO("operations", "chained_case_round_trip_across_two_runs") {
    InstallTelvaro();
    PutSystemGina(true);
    SetAllLogonValues();
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", reg::Sz("WFLGINA.DLL"));
    RegValue chainTo = reg::Sz(std::string(kInstallDir) + "\\tvgina.dll");
    reg::Write(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo", chainTo);
    RegSnapshot before = MachineState();
    {
        App app;
        StartEligible(app);
        Press(app, IDOK, kApplied);
        app.Key(app.Main(), VK_ESCAPE);
        CHECK(app.WaitExit());
    }
    // The Wayfold GINA stays first and now chains to the GINA Telvaro replaced.
    CHECK_EQ(Winlogon("GinaDLL"), reg::Sz("WFLGINA.DLL"));
    CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo"), Padded("msgina.dll"));
    CHECK_EQ(Product("Zelt_GinaChainTo"), chainTo);

    App app;
    StartEligible(app);
    CHECK_EQ(app.ButtonStates(), kApplied);
    Press(app, 1001, kNotApplied);
    ExpectRestored(before);
}

// Two copies of the program opened before either applied: the second
// "Restore" finds the marker and keeps the first backup, which holds the
// settings from before any change.
SCENARIO("operations", "second_apply_keeps_the_first_backup") {
    InstallTelvaro();
    PutSystemGina(true);
    SetAllLogonValues();
    RegSnapshot before = MachineState();
    RegValue gina = Winlogon("GinaDLL");
    App first, second;
    StartEligible(first);
    StartEligible(second);
    Press(first, IDOK, kApplied);
    RegSnapshot backup = reg::Snapshot(HKEY_LOCAL_MACHINE, kProductKey);
    Press(second, IDOK, kApplied);
    CHECK_EQ(reg::Snapshot(HKEY_LOCAL_MACHINE, kProductKey), backup);
    CHECK_EQ(Product("Zelt_GinaDLL"), gina);
    Press(second, 1001, kNotApplied);
    ExpectRestored(before);
}

// A ChainTo too long for any path neither stops "Restore" nor is touched; a
// copy too long to read leaves its live value and does not stop "Disable".
SCENARIO("operations", "values_too_long_to_read_block_neither_button") {
    InstallTelvaro();
    PutSystemGina(true);
    SetAllLogonValues();
    const RegValue tooLong = reg::Sz(std::string(300, 'x') + "\\TVGINA.DLL");
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", reg::Sz("WFLGINA.DLL"));
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "ChainTo", tooLong);
    reg::Write(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo", tooLong);
    App app;
    StartEligible(app);
    Press(app, IDOK, kApplied);
    CHECK_EQ(Winlogon("ChainTo"), tooLong);
    CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo"), tooLong);
    CHECK_EQ(Product("Zelt_ChainTo"), reg::Missing());
    CHECK_EQ(Product("Zelt_GinaChainTo"), reg::Missing());

    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "Zelt_LogonType",
               RegValue{true, REG_DWORD, std::string(8, '\0')});
    Press(app, 1001, kNotApplied);
    CHECK_EQ(Winlogon("LogonType"), reg::Dword(1));
    CHECK_EQ(Winlogon("GinaDLL"), reg::Sz("WFLGINA.DLL"));
    CHECK_EQ(Product("Zelt_LogonType"), reg::Missing());
    CHECK_EQ(Product("Zelt_Applied"), reg::Missing());
}
