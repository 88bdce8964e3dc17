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

RegValue Winlogon(const char* name) { return reg::Read(HKEY_LOCAL_MACHINE, kWinlogonKey, name); }
RegValue Product(const char* name) { return reg::Read(HKEY_LOCAL_MACHINE, kProductKey, name); }

// The restart notice after a "Restore" whose Welcome Screen the next logon
// still will not show, with the reasons' lines.
std::string StillNotShown(const std::string& reasons) {
    return std::string(kRestart) + "\nThe next logon will still not show the Welcome Screen:\n" +
           reasons;
}
std::string GinaFirst(const std::string& gina) {
    return StillNotShown("- Winlogon loads another GINA first: " + gina);
}

// Presses an operation's button: by the time the restart notice shows, the
// buttons have already flipped to `states`.
void Press(App& app, int id, const char* states, const std::string& notice = kRestart) {
    app.Click(app.Main(), id);
    HWND box = app.WaitPopup();
    REQUIRE(box != 0);
    CHECK_EQ(app.ButtonStates(), states);
    CHECK_EQ(App::MessageText(box), notice);
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

// Telvaro recorded the system's own GINA: Restore deletes GinaDLL, which
// alone lets Windows XP show the Welcome Screen, and Disable brings
// Telvaro's GINA back byte-for-byte.
SCENARIO("operations", "direct_case_round_trip_in_one_run") {
  const std::string records[] = {"msgina.dll", "MSGINA.DLL", SystemGina()};
  for (const std::string& record : records) {
    ResetMachine();
    InstallTelvaro();  // the system's msgina.dll exists only in system32
    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "GinaDLL", reg::Sz(record));
    SetAllLogonValues();
    RegSnapshot before = MachineState();
    RegValue gina = Winlogon("GinaDLL");

    App app;
    StartEligible(app);
    CHECK_EQ(app.ButtonStates(), kNotApplied);
    Press(app, IDOK, kApplied);
    CHECK_EQ(record + ": " + Show(Winlogon("GinaDLL")), record + ": (absent)");
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
}

// What Restore leaves first in the chain: another GINA Telvaro recorded as
// it stands, else the system default (no GinaDLL).
SCENARIO("operations", "what_restore_puts_first") {
    const std::string other = "C:\\Gina\\othgina.dll";
    const struct {
        const char* label;
        std::string gina, record, recordFile;
        RegValue after;
        std::string notice;
    } cases[] = {
        {"recorded GINA missing", "TVGINA.DLL", "gone.dll", "", reg::Missing(), kRestart},
        {"third GINA", "other.dll", "msgina.dll", "", reg::Missing(), kRestart},
        // Winlogon names it, so XP keeps the Welcome Screen off.
        {"recorded third GINA", kTelvaroGina, other, other, Padded(other), GinaFirst(other)},
    };
    for (const auto& c : cases) {
        ResetMachine();
        InstallTelvaro();
        reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", reg::Sz(c.gina));
        reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "GinaDLL", reg::Sz(c.record));
        if (!c.recordFile.empty()) PutGina(c.recordFile);
        SetAllLogonValues();
        RegSnapshot before = MachineState();
        App app;
        StartEligible(app);
        Press(app, IDOK, kApplied, c.notice);
        CHECK_EQ(std::string(c.label) + ": " + Show(Winlogon("GinaDLL")),
                 std::string(c.label) + ": " + Show(c.after));
        CHECK_EQ(Product("Zelt_GinaDLL"), reg::Sz(c.gina));
        if (!c.recordFile.empty()) {
            Press(app, 1001, kNotApplied);
            ExpectRestored(before);
        }
    }
}

// Telvaro's GINA went after Restore (an uninstall, a quarantine): a GINA
// that cannot load stops every logon, so Disable writes nothing back and
// keeps the backup until the file is back.
SCENARIO("operations", "disable_waits_for_telvaros_gina") {
    InstallTelvaro();
    SetAllLogonValues();
    RegSnapshot before = MachineState();
    App app;
    StartEligible(app);
    Press(app, IDOK, kApplied);
    RegSnapshot restored = MachineState();
    REQUIRE(DeleteFileA(kTelvaroGina));
    app.Click(app.Main(), 1001);
    app.ExpectMessage(std::string(kErrors) + "\nDisable would give back a GINA that is not there: " +
                      kTelvaroGina + ". Put the file back, then try again.");
    CHECK_EQ(app.ButtonStates(), kApplied);
    CHECK_EQ(MachineState(), restored);
    {
        App again;
        again.Launch("/disable /quiet");
        again.WatchUntilExit();
        CHECK_EQ(again.ExitCode(), 1603);
    }
    CHECK_EQ(MachineState(), restored);
    PutGina(kTelvaroGina);
    Press(app, 1001, kNotApplied);
    ExpectRestored(before);
}

SCENARIO("operations", "chained_case_round_trip_across_two_runs") {
    InstallTelvaro();
    PutGina(InSystem("WFLGINA.DLL"));
    SetAllLogonValues();
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", reg::Sz("WFLGINA.DLL"));
    RegValue chainTo = reg::Sz(std::string(kInstallDir) + "\\tvgina.dll");
    reg::Write(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo", chainTo);
    RegSnapshot before = MachineState();
    {
        App app;
        StartEligible(app);
        // The Wayfold GINA stays first, so the Welcome Screen stays off.
        Press(app, IDOK, kApplied, GinaFirst("WFLGINA.DLL"));
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

// The "Always use classic logon" policy wins over Winlogon's LogonType: the
// notice says so instead of promising a Welcome Screen after the restart.
SCENARIO("operations", "restore_under_the_classic_logon_policy") {
    InstallTelvaro();
    reg::Write(HKEY_LOCAL_MACHINE, kPolicyKey, "LogonType", reg::Dword(0));
    App app;
    StartEligible(app);
    Press(app, IDOK, kApplied,
          StillNotShown("- The policy \"Always use classic logon\" is set."));
    CHECK_EQ(Winlogon("GinaDLL"), reg::Missing());
    CHECK_EQ(Winlogon("LogonType"), reg::Dword(1));
    reg::Write(HKEY_LOCAL_MACHINE, kPolicyKey, "LogonType", reg::Missing());
    Press(app, 1001, kNotApplied);
    Press(app, IDOK, kApplied);
}

// Two copies of the program opened before either applied: the second
// "Restore" finds the first one's done, says there is nothing to do, and
// keeps the first backup, which holds the settings from before any change.
SCENARIO("operations", "second_apply_keeps_the_first_backup") {
    InstallTelvaro();
    SetAllLogonValues();
    RegSnapshot before = MachineState();
    RegValue gina = Winlogon("GinaDLL");
    App first, second;
    StartEligible(first);
    StartEligible(second);
    Press(first, IDOK, kApplied);
    RegSnapshot backup = reg::Snapshot(HKEY_LOCAL_MACHINE, kProductKey);
    Press(second, IDOK, kApplied, "Nothing to do: the Welcome Screen has already been restored.");
    CHECK_EQ(reg::Snapshot(HKEY_LOCAL_MACHINE, kProductKey), backup);
    CHECK_EQ(Product("Zelt_GinaDLL"), gina);
    Press(second, 1001, kNotApplied);
    ExpectRestored(before);
}

// A ChainTo too long for any path neither stops "Restore" nor is touched; a
// copy too long to read leaves its live value and does not stop "Disable".
SCENARIO("operations", "values_too_long_to_read_block_neither_button") {
    InstallTelvaro();
    PutGina(InSystem("WFLGINA.DLL"));
    SetAllLogonValues();
    const RegValue tooLong = reg::Sz(std::string(300, 'x') + "\\TVGINA.DLL");
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", reg::Sz("WFLGINA.DLL"));
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "ChainTo", tooLong);
    reg::Write(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo", tooLong);
    App app;
    StartEligible(app);
    // No path that long can be loaded after the Wayfold GINA either.
    const std::string unloadable =
        "Nobody can log on at the next start: WFLGINA.DLL names no GINA that can be loaded after it.\n";
    Press(app, IDOK, kApplied, unloadable + GinaFirst("WFLGINA.DLL"));
    CHECK_EQ(Winlogon("ChainTo"), tooLong);
    CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo"), tooLong);
    CHECK_EQ(Product("Zelt_ChainTo"), reg::Missing());
    CHECK_EQ(Product("Zelt_GinaChainTo"), reg::Missing());

    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "Zelt_LogonType",
               RegValue{true, REG_DWORD, std::string(8, '\0')});
    Press(app, 1001, kNotApplied, unloadable + kRestart);
    CHECK_EQ(Winlogon("LogonType"), reg::Dword(1));
    CHECK_EQ(Winlogon("GinaDLL"), reg::Sz("WFLGINA.DLL"));
    CHECK_EQ(Product("Zelt_LogonType"), reg::Missing());
    CHECK_EQ(Product("Zelt_Applied"), reg::Missing());
}
