// The command line: each switch's exit code and registry effect, the one box
// it shows without /quiet and no window at all with it, and the dialog as
// before without switches.
#include <cctype>
#include <set>

#include "harness.h"
#include "telvaro.h"

using namespace e2e;

namespace {

typedef std::vector<std::string> Lines;

const char kWaitingText[] =
    "Waiting for another copy of Lumivale to finish changing the logon settings...";

struct Run {
    DWORD exitCode;
    Lines windows;  // as App::WatchUntilExit lists them
    std::string output;  // what it wrote to its standard output, a file
    std::vector<LoggedEvent> events;  // what it wrote to the Application log
};

// Runs the program with a file as its standard output, as a batch file's
// "Lumivale.exe /status /quiet > status.txt" does.
Run RunWith(const std::string& arguments, const std::string& exe = Where().app) {
    const std::string file = "C:\\lumivale-output.txt";
    NewEvents();
    App app;
    app.Launch(arguments, exe, false, file);
    Run run;
    run.windows = app.WatchUntilExit();
    run.exitCode = app.ExitCode();
    run.events = NewEvents();
    HANDLE output = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                0, OPEN_EXISTING, 0, 0);
    REQUIRE(output != INVALID_HANDLE_VALUE);
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(output, buffer, sizeof(buffer), &read, 0) && read > 0)
        run.output.append(buffer, read);
    CloseHandle(output);
    return run;
}

// A box's text as the standard output carries it: each line ended by CR LF.
std::string Lined(const std::string& text) {
    std::string lines;
    for (char c : text) lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return lines + "\r\n";
}

// The windows a run is expected to show: none with /quiet, else at most the
// box with `text`. Windows Wine keeps hidden for a box's thread do not count
// then; with /quiet not even those may exist.
Lines Shown(const std::string& text, bool quiet) {
    return quiet || text.empty() ? Lines() : Lines(1, "Lumivale: " + text);
}
Lines Seen(const Run& run, bool quiet) {
    Lines seen;
    for (const std::string& line : run.windows)
        if (quiet || line.compare(0, 7, "hidden ") != 0) seen.push_back(line);
    return seen;
}

std::string Joined(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : " | ") + line;
    return "[" + text + "]";
}

// Names the machine in failures.
std::string g_machine;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A run that changed the machine or was refused (3010, 1603, 1618) leaves
// exactly one event, any other none. Its type: an error for a refusal and
// wherever nobody can log on after it; a warning for a lock that was taken
// and where the next logon will still not show the Welcome Screen, or
// cannot be told; else information, each on Wine's channel of that type.
// It holds how the program ran and what it said, and comes with the user
// that ran it.
void ExpectEvents(const std::string& label, const std::string& switches, const Run& run) {
    bool logged = run.exitCode == 3010 || run.exitCode == 1603 || run.exitCode == 1618;
    CHECK_EQ(label + std::to_string(run.events.size()) + " events",
             label + (logged ? "1" : "0") + " events");
    if (!logged || run.events.size() != 1) return;
    const LoggedEvent& event = run.events[0];
    const std::string& said = run.output;
    bool disable = Has(switches, "disable");
    DWORD id = run.exitCode == 1618 ? 5 : run.exitCode == 1603 ? 4 : disable ? 3 : event.id;
    CHECK_EQ(label + std::to_string(event.id), label + std::to_string(id));
    if (id != 3 && id != 4 && id != 5) CHECK(id == 1 || id == 2);
    DWORD type = run.exitCode == 1603 || said.compare(0, 18, "Nobody can log on ") == 0
                     ? EVENTLOG_ERROR_TYPE
                 : run.exitCode == 1618 || Has(said, "\r\nThe next logon will still not show") ||
                         Has(said, "\r\nWhat the next logon does could not be told")
                     ? EVENTLOG_WARNING_TYPE
                     : EVENTLOG_INFORMATION_TYPE;
    CHECK_EQ(label + std::to_string(event.type), label + std::to_string(type));
    CHECK_EQ(label + event.channel, label + (type == EVENTLOG_ERROR_TYPE     ? "err"
                                             : type == EVENTLOG_WARNING_TYPE ? "warn"
                                                                             : "trace"));
    CHECK(event.user);
    REQUIRE_EQ(event.strings.size(), 9u);
    CHECK_EQ(label + event.strings[0], label + (disable ? "/disable" : "/restore"));
    const std::string lines = said.substr(0, said.size() - 2);  // its last CR LF
    CHECK_EQ(label + Show(event.strings[1]), label + Show(AsLogged(lines, event.strings[1])));
}

// Runs `arguments` and checks the exit code, the windows, the standard
// output (the box's text, with or without /quiet, or `output` where no box is
// due), the events (ExpectEvents) and that the machine ends as `after`.
// Every case here with "quiet" in it is a quiet one.
Run Expect(const std::string& arguments, DWORD exitCode, const std::string& text,
           const RegSnapshot& after, const std::string& exe = Where().app,
           const std::string& output = "") {
    std::string lower = arguments;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    bool quiet = lower.find("quiet") != std::string::npos;
    Run run = RunWith(arguments, exe);
    const std::string label = g_machine + "\"" + arguments + "\" ";
    ExpectEvents(label, lower, run);
    CHECK_EQ(label + std::to_string(run.exitCode), label + std::to_string(exitCode));
    CHECK_EQ(label + Joined(Seen(run, quiet)), label + Joined(Shown(text, quiet)));
    CHECK_EQ(label + Show(run.output), label + Show(Lined(output.empty() ? text : output)));
    if (!CHECK_EQ(MachineState(), after)) std::printf("    (after %s)\n", label.c_str());
    return run;
}

// Nothing changes: the machine ends as it started.
void ExpectNoChange(const std::string& arguments, DWORD exitCode, const std::string& text,
                    const std::string& exe = Where().app) {
    Expect(arguments, exitCode, text, MachineState(), exe);
}
// Nothing to do: no box, a line on standard output that says why.
void ExpectNothingToDo(const std::string& arguments, const std::string& why) {
    Expect(arguments, 0, "", MachineState(), Where().app, "Nothing to do: " + why);
}

std::string UsageText() {
    HMODULE image = LoadLibraryExA(Where().app.c_str(), 0, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(image != 0);
    char text[1024] = {0};
    LoadStringA(image, 108, text, sizeof(text));
    FreeLibrary(image);
    REQUIRE(text[0] != 0);
    return text;
}

// What /status says: restored and shown, not restored, or restored but kept
// off, followed by a line for each reason.
const char kShown[] = "The Welcome Screen has been restored, and the next logon shows it.";
const char kNotRestored[] = "The Welcome Screen has not been restored.";
const char kNotShown[] = "The Welcome Screen has been restored, but the next logon will not show it:";
const char kNotInEffect[] =
    "Restore is not in effect, although its backup is there; the next logon will not show the "
    "Welcome Screen:";
const char kPolicyReason[] = "\n- The policy \"Always use classic logon\" is set.";
const char kGinaReason[] = "\n- Winlogon loads another GINA first: ";
// After the restart notice, when the next logon will still not show it.
const char kStillNotShown[] = "\nThe next logon will still not show the Welcome Screen:";

// Telvaro's GINA in the chain and every logon value set.
void SetUpMachine(const std::string& folder = kInstallDir) {
    InstallTelvaro("10.5.0.0", folder);
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "ChainTo", reg::Sz("next.dll"));
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "LogonType", reg::Dword(0));
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "AllowMultipleTSSessions", reg::Dword(1));
    reg::Write(HKEY_LOCAL_MACHINE, kPolicyKey, "AllowMultipleTSSessions", reg::Dword(1));
}

// The Wayfold GINA in the system directory, loading the system's own after it.
void WayfoldChainsToTheSystemGina() {
    PutGina(InSystem("WFLGINA.DLL"));
    reg::Write(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo", reg::Sz(SystemGina()));
}

// Presses a button of a freshly started dialog, dismisses the notice and
// closes the program; returns the machine as it left it. The press leaves
// one event, which says so and holds the notice's lines.
RegSnapshot PressInDialog(int id, const std::string& notice = kRestart) {
    NewEvents();
    App app;
    StartEligible(app);
    app.Click(app.Main(), id);
    app.ExpectMessage(notice);
    app.Key(app.Main(), VK_ESCAPE);
    REQUIRE(app.WaitExit());
    std::vector<LoggedEvent> events = NewEvents();
    REQUIRE_EQ(events.size(), 1u);
    CHECK_EQ(events[0].id, id == IDOK ? 1u : 3u);
    CHECK_EQ(events[0].strings[0], id == IDOK ? "Restore in the dialog" : "Disable in the dialog");
    const std::string lines = Lined(notice);
    CHECK_EQ(Show(events[0].strings[1]),
             Show(AsLogged(lines.substr(0, lines.size() - 2), events[0].strings[1])));
    return MachineState();
}

// The lines of an event's values, %3 to %9, in one text.
std::string ValueLines(const LoggedEvent& event) {
    std::string lines;
    for (size_t i = 2; i < event.strings.size(); ++i) lines += event.strings[i];
    return lines;
}

}  // namespace

// /restore and /disable change exactly what the buttons change, each only
// from the state in which its button is enabled; /status tells that state.
// Each change leaves an event with every value it changed, before and after,
// which Event Viewer renders from the program's message table; the program
// registers itself as the event source by its full path, and stays so after
// "Disable". A copy run from another folder names its own file.
SCENARIO("switches", "restore_and_disable_do_what_the_buttons_do") {
    SetUpMachine();
    const RegSnapshot start = MachineState();
    const RegSnapshot restored = PressInDialog(IDOK);
    const RegSnapshot disabled = PressInDialog(1001);
    REQUIRE(restored != start);

    // Each operation once with and once without /quiet. Telvaro recorded the
    // system's msgina.dll, so "Restore" deletes Winlogon's GinaDLL and the
    // workgroup machine shows the Welcome Screen.
    const bool quietRestore[] = {false, true};
    for (bool quiet : quietRestore) {
        const std::string q = quiet ? " /quiet" : "";
        const std::string notQ = quiet ? "" : " -QUIET";
        ResetMachine();
        SetUpMachine();
        ExpectNoChange("/status" + notQ, 1, kNotRestored);
        ExpectNothingToDo("/disable" + notQ, "the Welcome Screen has not been restored.");
        const RegValue none = reg::Read(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile");
        CHECK_EQ(none, reg::Missing());
        Run restore = Expect("/restore" + q, 3010, kRestart, restored);
        const RegValue source = {true, REG_EXPAND_SZ, Where().app + '\0'};
        CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile"), source);
        CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kEventSourceKey, "TypesSupported"), reg::Dword(7));
        ExpectNothingToDo("-Restore" + notQ, "the Welcome Screen has already been restored.");
        ExpectNoChange("/STATUS" + q, 0, kShown);
        Run disable = Expect("/disable" + notQ, 3010, kRestart, disabled);
        CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile"), source);
        ExpectNoChange("/status" + q, 1, kNotRestored);
        REQUIRE(restore.events.size() == 1 && disable.events.size() == 1);
        const std::string gina = "Winlogon's GinaDLL: \"" + std::string(kTelvaroGina) + "\"";
        const std::string restoreValues =
            "\r\n" + gina + " -> (none)\r\nWinlogon's LogonType: 0 -> 1"
            "\r\nWinlogon's AllowMultipleTSSessions: 1 -> 0"
            "\r\nThe policy's AllowMultipleTSSessions: 1 -> 0"
            "\r\nThe applied marker (Zelt_Applied): (none) -> type 3, 4 bytes";
        CHECK_EQ(ValueLines(restore.events[0]), restoreValues);
        CHECK_EQ(ValueLines(disable.events[0]),
                 "\r\nWinlogon's GinaDLL: (none) -> \"" + std::string(kTelvaroGina) +
                     "\"\r\nWinlogon's LogonType: 1 -> 0"
                     "\r\nWinlogon's AllowMultipleTSSessions: 0 -> 1"
                     "\r\nThe policy's AllowMultipleTSSessions: 0 -> 1"
                     "\r\nThe applied marker (Zelt_Applied): type 3, 4 bytes -> (none)");
        CHECK_EQ(Rendered(restore.events[0]),
                 "Lumivale changed the logon settings to restore the Windows XP Welcome Screen "
                 "(/restore).\r\n\r\n" + std::string(kRestart) +
                     "\r\n\r\nThe values it changed, before -> after:" + restoreValues);
    }

    const std::string copy = "C:\\Lumivale copy\\Lumivale.exe";
    PutFile(Where().app, copy);
    Run elsewhere = RunWith("/restore /quiet", copy);
    CHECK_EQ(elsewhere.exitCode, 3010u);
    CHECK_EQ(elsewhere.events.size(), 1u);
    CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kEventSourceKey, "EventMessageFile"),
             (RegValue{true, REG_EXPAND_SZ, copy + '\0'}));
}

// /status says whether the next logon shows the Welcome Screen and, when it
// will not, every reason; it changes nothing. Wine's netapi32 answers that
// the machine is in a workgroup.
SCENARIO("switches", "status_reads_the_next_logon") {
    const RegValue wayfold = reg::Sz("WFLGINA.DLL");
    const struct {
        const char* label;
        bool restored;
        RegValue gina, policyLogonType;
        DWORD exitCode;
        std::string text;
    } cases[] = {
        {"not restored", false, reg::Missing(), reg::Missing(), 1, kNotRestored},
        {"restored", true, reg::Missing(), reg::Missing(), 0, kShown},
        {"classic logon policy", true, reg::Missing(), reg::Dword(0), 2,
         kNotShown + std::string(kPolicyReason)},
        {"policy and Wayfold's GINA", true, wayfold, reg::Dword(0), 2,
         kNotShown + std::string(kPolicyReason) + kGinaReason + "WFLGINA.DLL"},
        // A control character read from the registry forges no line.
        {"a line break in GinaDLL", true, reg::Sz("x.dll\r\n" + std::string(kShown)), reg::Missing(),
         3,
         "Nobody can log on at the next start: Winlogon cannot load x.dll??" + std::string(kShown) +
             ".\n" + kNotShown + kGinaReason + "x.dll??" + kShown},
    };
    for (const auto& c : cases) {
        ResetMachine();
        SetUpMachine();
        g_machine = std::string(c.label) + ": ";
        reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", c.gina);
        if (c.gina == wayfold) WayfoldChainsToTheSystemGina();
        reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "LogonType", reg::Dword(1));
        reg::Write(HKEY_LOCAL_MACHINE, kPolicyKey, "LogonType", c.policyLogonType);
        if (c.restored)
            reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "Zelt_Applied",
                       reg::Binary(std::string("\1\0\0\0", 4)));
        ExpectNoChange("/status", c.exitCode, c.text);
        ExpectNoChange("/status /quiet", c.exitCode, c.text);
    }

    // Restored for real in front of Wayfold's GINA, which stays first.
    ResetMachine();
    SetUpMachine();
    g_machine = "Wayfold's GINA first: ";
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", wayfold);
    PutGina(InSystem("WFLGINA.DLL"));
    reg::Write(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo",
               reg::Sz(std::string(kInstallDir) + "\\TVGINA.DLL"));
    Run restore = RunWith("/restore /quiet");
    CHECK_EQ(restore.exitCode, 3010u);
    CHECK_EQ(Show(restore.output),
             Show(Lined(kRestart + std::string(kStillNotShown) + kGinaReason + "WFLGINA.DLL")));
    const std::string text = kNotShown + std::string(kGinaReason) + "WFLGINA.DLL";
    ExpectNoChange("/status", 2, text);
    ExpectNoChange("/status /quiet", 2, text);
    g_machine.clear();
}

// Another program puts Telvaro's GINA back and selects the classic logon,
// directly or behind the Wayfold GINA, after the administrator turned Fast
// User Switching on: /status says what is so, /restore puts back only that,
// once, keeping the first backup and the multiple sessions, then has nothing
// to do; "Disable" still gives back the machine from before.
SCENARIO("switches", "restore_undone_by_another_program") {
    const std::string logonTypeOff = "\n- Winlogon's LogonType does not select the Welcome Screen.";
    const std::string logonTypeBack =
        "\nWinlogon's LogonType did not select the Welcome Screen; now it does.";
    for (bool chained : {false, true}) {
        g_machine = chained ? "behind Wayfold's GINA: " : "directly: ";
        const char* key = chained ? kChainedGinaKey : kWinlogonKey;
        const char* name = chained ? "ChainTo" : "GinaDLL";
        auto setUp = [&] {
            ResetMachine();
            SetUpMachine();
            if (chained) {
                reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", reg::Sz("WFLGINA.DLL"));
                PutGina(InSystem("WFLGINA.DLL"));
                reg::Write(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo", reg::Sz(kTelvaroGina));
            }
        };
        setUp();
        CHECK_EQ(RunWith("/restore /quiet").exitCode, 3010u);
        RegSnapshot restored = MachineState();
        CHECK_EQ(RunWith("/disable /quiet").exitCode, 3010u);
        const RegSnapshot disabled = MachineState();
        setUp();
        CHECK_EQ(RunWith("/restore /quiet").exitCode, 3010u);

        for (const char* sessions : {kWinlogonKey, kPolicyKey})
            reg::Write(HKEY_LOCAL_MACHINE, sessions, "AllowMultipleTSSessions", reg::Dword(1));
        restored["Winlogon\\AllowMultipleTSSessions"] = reg::Dword(1);
        restored["Policy\\AllowMultipleTSSessions"] = reg::Dword(1);
        reg::Write(HKEY_LOCAL_MACHINE, key, name, reg::Sz(kTelvaroGina));
        reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "LogonType", reg::Dword(0));
        const std::string first = chained ? "WFLGINA.DLL" : kTelvaroGina;
        const std::string still = chained ? kStillNotShown + std::string(kGinaReason) + first : "";
        ExpectNoChange("/status /quiet", 2,
                       kNotInEffect +
                           std::string(chained ? "\n- The Wayfold GINA loads Telvaro's GINA after it."
                                               : "\n- Telvaro's GINA is first in the logon chain.") +
                           logonTypeOff + kGinaReason + first);
        Run repair = Expect("/restore /quiet", 3010,
               kRestart +
                   std::string(chained ? "\nThe Wayfold GINA loaded Telvaro's GINA after it; it "
                                         "no longer does."
                                       : "\nTelvaro's GINA was first in the logon chain; it has "
                                         "been taken out.") +
                   logonTypeBack + still,
               restored);
        // Its event is the one for putting back what was not in effect.
        CHECK(repair.events.size() == 1 && repair.events[0].id == 2);
        Expect("/restore /quiet", 0, "", restored, Where().app,
               "Nothing to do: the Welcome Screen has already been restored." + still);
        Expect("/disable /quiet", 3010, kRestart, disabled);
    }

    // A GinaDLL of 260 bytes without an end names no path: /status and
    // /restore judge it alike, as no GINA of Telvaro's, and say why the
    // Welcome Screen stays off.
    ResetMachine();
    SetUpMachine();
    g_machine = "GinaDLL without an end: ";
    CHECK_EQ(RunWith("/restore /quiet").exitCode, 3010u);
    const std::string endless = "C:\\" + std::string(246, 'x') + "\\TVGINA.DLL";
    RegValue unterminated = reg::Sz(endless);
    unterminated.data.resize(260);
    // Wine ends a text whose next byte is zero; this one's is not.
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", unterminated);
    REQUIRE_EQ(reg::Read(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL").data.size(), 260u);
    const std::string noPath =
        "\n- Winlogon's GinaDLL holds no path a GINA can be loaded from, 260 bytes without an "
        "end: " + endless;
    ExpectNoChange("/status /quiet", 2, kNotShown + noPath);
    Expect("/restore /quiet", 0, "", MachineState(), Where().app,
           "Nothing to do: the Welcome Screen has already been restored." +
               std::string(kStillNotShown) + noPath);
    g_machine.clear();
}

// Another program puts the Wayfold GINA in front after Restore: /restore
// takes Telvaro's GINA out behind it, and "Disable", whose backup knows
// nothing of the Wayfold GINA, refuses to take it out of the chain and says
// so, until it is gone.
SCENARIO("switches", "a_gina_put_in_after_restore_stays") {
    ResetMachine();
    SetUpMachine();
    CHECK_EQ(RunWith("/restore /quiet").exitCode, 3010u);
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", reg::Sz("WFLGINA.DLL"));
    PutGina(InSystem("WFLGINA.DLL"));
    reg::Write(HKEY_LOCAL_MACHINE, kChainedGinaKey, "ChainTo", reg::Sz(kTelvaroGina));
    CHECK_EQ(RunWith("/restore /quiet").exitCode, 3010u);
    ExpectNoChange("/disable", 1603,
                   kErrors + std::string("\nDisable would take WFLGINA.DLL out of the logon "
                                         "chain: it loads now, and the saved settings do not "
                                         "name it. Remove it with the program that put it "
                                         "there, then try again."));
    // Its own uninstall gives Winlogon its GINA back.
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", reg::Missing());
    CHECK_EQ(RunWith("/disable /quiet").exitCode, 3010u);
    CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL"), reg::Sz(kTelvaroGina));
}

// A chain Winlogon cannot load stops every logon: /status ends with 3 and
// names the GINA, restored or not; "Disable" says so when it gives back such
// a chain, and names the GINA whose absence makes it refuse.
SCENARIO("switches", "a_chain_that_cannot_load_is_named") {
    const std::string orig = "C:\\Gina\\orig.dll";
    const std::string cannotLoad = "Nobody can log on at the next start: Winlogon cannot load ";
    ResetMachine();
    SetUpMachine();
    CreateDirectoryA("C:\\Gina", 0);
    PutGina(orig);
    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "GinaDLL", reg::Sz(orig));
    CHECK_EQ(RunWith("/restore /quiet").exitCode, 3010u);
    REQUIRE(DeleteFileA(orig.c_str()));
    ExpectNoChange("/status /quiet", 3,
                   cannotLoad + orig + ".\n" + kNotShown + kGinaReason + orig);
    // The chain Disable gives back does not load either: it says so, and
    // its event is an error.
    Run disable = RunWith("/disable /quiet");
    CHECK_EQ(disable.output, Lined(cannotLoad + orig + ".\n" + kRestart));
    ExpectEvents("Disable to a chain that does not load: ", "/disable", disable);
    CHECK(disable.events.size() == 1 && disable.events[0].type == EVENTLOG_ERROR_TYPE);
    REQUIRE(DeleteFileA(kTelvaroGina));
    ExpectNoChange("/status /quiet", 3, cannotLoad + kTelvaroGina + ".\n" + kNotRestored);

    PutGina(kTelvaroGina);
    CHECK_EQ(RunWith("/restore /quiet").exitCode, 3010u);
    REQUIRE(DeleteFileA(kTelvaroGina));
    ExpectNoChange("/disable", 1603,
                   kErrors + std::string("\nDisable would give back a GINA that is not there: ") +
                       kTelvaroGina + ". Put the file back, then try again.");
}

// The startup check refuses every action with a code of its own, and the
// dialog's message without /quiet; nothing changes.
SCENARIO("switches", "startup_refusals_for_every_action") {
    const struct { const char* label; int exitCode; const char* text; } refusals[] = {
        {"not XP", 1633, kNotXp},
        {"not installed", 1605, kNotInstalled},
        {"wrong version", 1638, kWrongVersion},
    };
    for (const auto& refusal : refusals) {
        for (int applied = 0; applied < 2; ++applied) {
            ResetMachine();
            SetUpMachine();
            if (applied) {
                reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "Zelt_LogonType", reg::Dword(2));
                reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "Zelt_Applied",
                           reg::Binary(std::string("\1\0\0\0", 4)));
            }
            if (refusal.exitCode == 1633) SetWindowsRelease("win2k");
            if (refusal.exitCode == 1605) RemoveHost();
            if (refusal.exitCode == 1638) InstallTelvaro("10.4.0.0");
            g_machine = std::string(refusal.label) + (applied ? ", applied: " : ": ");
            // Each action from the state in which it would act.
            const char* action = applied ? "/disable" : "/restore";
            ExpectNoChange(action, refusal.exitCode, refusal.text);
            ExpectNoChange(std::string(action) + " /quiet", refusal.exitCode, refusal.text);
            ExpectNoChange("/status", refusal.exitCode, refusal.text);
            ExpectNoChange("/quiet /status", refusal.exitCode, refusal.text);
        }
    }
    g_machine.clear();
}

// Anything the program does not understand changes nothing and ends with 87;
// the usage box shows unless /quiet is among the switches.
SCENARIO("switches", "unknown_switches_change_nothing") {
    SetUpMachine();
    const std::string usage = UsageText();
    const char* const lines[] = {
        "/bogus",   "restore",          "/restore /disable", "/restore /restore",
        "/quiet",   "/bogus /quiet",    "/restore:yes",      "--restore",
        "/? /status", "\"/restore /status\"", "/restore /quiet /quiet",
    };
    for (const char* line : lines) ExpectNoChange(line, 87, usage);
    // Not even with the marker there.
    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "Zelt_Applied",
               reg::Binary(std::string("\1\0\0\0", 4)));
    ExpectNoChange("/disable /restore", 87, usage);
    ExpectNoChange("/disable /bogus /quiet", 87, usage);
    // Asked for, the usage is no failure.
    ExpectNoChange("/?", 0, usage);
    ExpectNoChange("-? /Quiet", 0, usage);
}

// The program's own path may hold blanks and what looks like a switch; only
// what follows it counts. With nothing after it the dialog opens as always.
SCENARIO("switches", "no_switches_open_the_dialog") {
    SetUpMachine();
    const std::string exe = "C:\\Lumivale -restore\\Lumivale.exe";
    PutFile(Where().app, exe);
    const RegSnapshot start = MachineState();
    const char* const blanks[] = {"", " \t "};
    for (const char* arguments : blanks) {
        App app;
        app.Start(exe, arguments);
        CHECK(WaitFor([&] { return app.Enabled(IDOK); }, 5000));
        CHECK_EQ(app.ButtonStates(), kNotApplied);
        CHECK(app.NoPopupFor(300));
        app.Key(app.Main(), VK_ESCAPE);
        CHECK(app.WaitExit());
        CHECK_EQ(app.ExitCode(), 0);
    }
    CHECK_EQ(MachineState(), start);
    ExpectNoChange("/status", 1, kNotRestored, exe);
}

// ---- Several copies at once ---------------------------------------------------

namespace {

// The machine-wide lock, held by a thread of the driver as another copy holds
// it. Release gives it back; Abandon ends the thread without giving it back,
// as a copy that dies does.
class HeldLock {
public:
    HeldLock()
        : mutex_(0), taken_(CreateEventA(0, TRUE, FALSE, 0)),
          end_(CreateEventA(0, TRUE, FALSE, 0)), release_(false) {
        thread_ = CreateThread(0, 0, &Hold, this, 0, 0);
        REQUIRE(WaitForSingleObject(taken_, 5000) == WAIT_OBJECT_0 && mutex_ != 0);
    }
    ~HeldLock() {
        Release();
        if (mutex_) CloseHandle(mutex_);
        CloseHandle(taken_);
        CloseHandle(end_);
    }
    void Release() { End(true); }
    void Abandon() { End(false); }

private:
    void End(bool release) {
        if (!thread_) return;
        release_ = release;
        SetEvent(end_);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        thread_ = 0;
    }
    static DWORD WINAPI Hold(LPVOID self) {
        HeldLock* lock = static_cast<HeldLock*>(self);
        HANDLE mutex = CreateMutexA(0, TRUE, "Global\\Lumivale.Logon");
        if (mutex && GetLastError() != ERROR_ALREADY_EXISTS) lock->mutex_ = mutex;
        SetEvent(lock->taken_);
        WaitForSingleObject(lock->end_, INFINITE);
        if (lock->release_ && lock->mutex_) ReleaseMutex(lock->mutex_);
        return 0;
    }

    HANDLE mutex_, taken_, end_, thread_;
    bool release_;
};

// The machine after one /restore on its own, whose backup holds every logon
// value as it was; leaves the machine set up afresh.
RegSnapshot RestoredAlone() {
    SetUpMachine();
    RegSnapshot before = MachineState();
    CHECK_EQ(RunWith("/restore /quiet").exitCode, 3010);
    RegSnapshot restored = MachineState();
    const char* const copies[][2] = {
        {"Winlogon\\GinaDLL", "Zelt_GinaDLL"},
        {"Winlogon\\ChainTo", "Zelt_ChainTo"},
        {"Winlogon\\LogonType", "Zelt_LogonType"},
        {"Winlogon\\AllowMultipleTSSessions", "AllowMultipleTSSessions"},
        {"Policy\\AllowMultipleTSSessions", "AllowMultipleTSSessionsPolicy"},
    };
    for (const auto& copy : copies)
        CHECK_EQ(restored["Corvane\\Telvaro\\CurrentVersion\\System\\" + std::string(copy[1])],
                 before[copy[0]]);
    ResetMachine();
    SetUpMachine();
    return restored;
}

}  // namespace

// A copy that finds the lock held waits without touching the registry, and
// makes its change once the lock is free, also when its holder died without
// giving it back.
SCENARIO("copies", "a_copy_waits_for_the_lock") {
    const RegSnapshot restored = RestoredAlone();
    const RegSnapshot start = MachineState();
    HeldLock lock;
    App app;
    app.Launch("/restore /quiet");
    Sleep(2000);  // started and waiting, also through qemu
    CHECK(app.Running());
    CHECK_EQ(MachineState(), start);
    lock.Abandon();
    CHECK(app.WatchUntilExit().empty());
    CHECK_EQ(app.ExitCode(), 3010);
    CHECK_EQ(MachineState(), restored);
}

// Held for longer than a copy waits (10 s): /restore ends with 1618 and the
// dialog's Restore shows message 105 with the buttons as the marker says;
// nothing changes, and each leaves a warning. Both wait at the same time;
// the dialog meanwhile answers (no "Not Responding"), says that it waits and
// offers no button.
SCENARIO("copies", "a_lock_held_too_long_changes_nothing") {
    SetUpMachine();
    NewEvents();
    const RegSnapshot start = MachineState();
    App dialog;
    StartEligible(dialog);
    HeldLock lock;
    App quiet;
    DWORD began = GetTickCount();
    quiet.Launch("/restore /quiet");
    dialog.Click(dialog.Main(), IDOK);
    CHECK(WaitFor([&] { return WindowText(dialog.Item(1000)) == kWaitingText; }, 5000));
    CHECK_EQ(dialog.ButtonStates(), "Restore=off Disable=off Close=off");
    Sleep(6000);  // past the 5 s after which Windows calls a window hung
    CHECK_EQ(WindowText(dialog.Item(1000)), kWaitingText);
    CHECK(quiet.WatchUntilExit(30000).empty());
    DWORD waited = GetTickCount() - began;
    CHECK_EQ(quiet.ExitCode(), 1618);
    CHECK(waited >= 9900);
    HWND box = dialog.WaitPopup(10000);
    REQUIRE(box != 0);
    // A window that did not read its messages for 10 s counts as hung until
    // the box's loop has run a while.
    WaitFor([&] { return App::MessageText(box) != "(no answer)"; }, 5000);
    CHECK_EQ(App::MessageText(box), kErrors);
    CHECK_EQ(dialog.ButtonStates(), kNotApplied);
    dialog.Click(box, IDOK);
    CHECK(dialog.WaitGone(box));
    CHECK_EQ(MachineState(), start);
    std::printf("    /restore gave up after %lu ms\n", static_cast<unsigned long>(waited));

    // Each leaves a warning that it changed nothing.
    std::vector<LoggedEvent> events = NewEvents();
    std::set<std::string> how;
    for (const LoggedEvent& event : events) {
        CHECK_EQ(event.id, 5u);
        CHECK_EQ(event.type, static_cast<DWORD>(EVENTLOG_WARNING_TYPE));
        how.insert(event.strings.empty() ? "" : event.strings[0]);
    }
    CHECK_EQ(events.size(), 2u);
    CHECK(how == (std::set<std::string>{"/restore", "Restore in the dialog"}));

    // Once it is free, the same button works.
    lock.Release();
    dialog.Click(dialog.Main(), IDOK);
    dialog.ExpectMessage(kRestart);
    CHECK_EQ(dialog.ButtonStates(), kApplied);
    dialog.Key(dialog.Main(), VK_ESCAPE);
    CHECK(dialog.WaitExit());
}

// With the dialog open, another copy does a press's work first: the press
// finds nothing to do, says so in a box, and sets the buttons from the machine.
SCENARIO("copies", "a_press_whose_work_another_copy_did") {
    SetUpMachine();
    App dialog;
    StartEligible(dialog);
    CHECK_EQ(dialog.ButtonStates(), kNotApplied);
    CHECK_EQ(RunWith("/restore /quiet").exitCode, 3010u);
    const RegSnapshot restored = MachineState();
    dialog.Click(dialog.Main(), IDOK);
    dialog.ExpectMessage("Nothing to do: the Welcome Screen has already been restored.");
    CHECK_EQ(dialog.ButtonStates(), kApplied);
    CHECK_EQ(MachineState(), restored);
    CHECK_EQ(RunWith("/disable /quiet").exitCode, 3010u);
    const RegSnapshot disabled = MachineState();
    dialog.Click(dialog.Main(), 1001);
    dialog.ExpectMessage("Nothing to do: the Welcome Screen has not been restored.");
    CHECK_EQ(dialog.ButtonStates(), kNotApplied);
    CHECK_EQ(MachineState(), disabled);
    dialog.Key(dialog.Main(), VK_ESCAPE);
    CHECK(dialog.WaitExit());
}

// Eight copies of /restore started together: one changes the machine, the
// others find its marker and do nothing, and the backup holds the machine as
// it was before, in every round.
SCENARIO("copies", "eight_copies_at_once_restore_once") {
    const RegSnapshot restored = RestoredAlone();
    for (int round = 1; round <= 10; ++round) {
        if (round > 1) {
            ResetMachine();
            SetUpMachine();
        }
        App copies[8];
        NewEvents();
        for (App& copy : copies) copy.Launch("/restore /quiet", Where().app, true);
        for (App& copy : copies) copy.Resume();
        std::map<DWORD, int> codes;
        for (App& copy : copies) {
            CHECK(copy.WatchUntilExit(30000).empty());
            ++codes[copy.ExitCode()];
        }
        // Only the copy that changed the machine leaves an event.
        CHECK_EQ(NewEvents().size(), 1u);
        std::string seen = "round " + std::to_string(round) + ":";
        for (const auto& code : codes)
            seen += " " + std::to_string(code.first) + " x" + std::to_string(code.second);
        CHECK_EQ(seen, "round " + std::to_string(round) + ": 0 x7 3010 x1");
        if (!CHECK_EQ(MachineState(), restored)) std::printf("    (round %d)\n", round);
    }
}

namespace {

// A Japanese or Traditional Chinese edition of Windows XP: Telvaro, its GINA
// and the GINA it recorded in a folder whose name ends in a character whose
// second byte is a backslash's. Texts are bytes of that code page.
void DoubleByteFolder(UINT codePage, const std::string& character) {
    // Under another code page the same bytes would prove nothing.
    REQUIRE_EQ(GetACP(), codePage);
    const std::string folder = "C:\\Program Files\\Telvaro " + character;
    const std::string record = folder + "\\oldgina.dll";
    SetUpMachine(folder);
    PutGina(record);
    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "GinaDLL", reg::Sz(record));
    RegSnapshot disabled = MachineState();
    disabled["Corvane\\Telvaro\\CurrentVersion\\System\\AllowMultipleTSSessions"] = reg::Dword(1);
    disabled["Corvane\\Telvaro\\CurrentVersion\\System\\AllowMultipleTSSessionsPolicy"] =
        reg::Dword(1);
    ExpectNoChange("/status", 1, kNotRestored);
    // Winlogon names the recorded GINA, which keeps the Welcome Screen off.
    PressInDialog(IDOK, kRestart + std::string(kStillNotShown) + kGinaReason + record);
    RegValue written = reg::Sz(record);
    written.data.resize(260, '\0');
    CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL"), written);
    ExpectNoChange("/status", 2, kNotShown + std::string(kGinaReason) + record);
    CHECK_EQ(PressInDialog(1001), disabled);
}

}  // namespace

SCENARIO("dbcs_932", "folder_ending_in_hyou") { DoubleByteFolder(932, "\x95\x5C"); }
SCENARIO("dbcs_950", "folder_ending_in_gong") { DoubleByteFolder(950, "\xA5\x5C"); }
