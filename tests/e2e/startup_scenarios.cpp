// The startup check on real files and a real registry: which machines it
// refuses, with which message, and which button it enables.
#include "harness.h"
#include "telvaro.h"

using namespace e2e;

namespace {

// Starts the program, expects the startup check to refuse the machine with
// `text`, and the buttons to stay disabled. `label` names the case in failures.
void ExpectRefusal(const std::string& label, const char* text, const std::string& exe = "") {
    App app;
    app.Start(exe.empty() ? Where().app : exe);
    HWND box = app.WaitPopup();
    REQUIRE(box != 0);
    CHECK_EQ(label + ": " + App::MessageText(box), label + ": " + text);
    app.Click(box, IDOK);
    CHECK(app.WaitGone(box));
    CHECK_EQ(label + ": " + app.ButtonStates(), label + ": " + kWaiting);
}

}  // namespace

SCENARIO("startup", "xp_with_telvaro_10_5_enables_restore") {
    const char* const versions[] = {"10.5.0.0", "10.5.0.7"};  // the fourth part is not examined
    for (const char* version : versions) {
        InstallTelvaro(version);
        App app;
        StartEligible(app);
        CHECK_EQ(std::string(version) + ": " + app.ButtonStates(),
                 std::string(version) + ": " + kNotApplied);
        CHECK(app.NoPopupFor(300));
    }
}

SCENARIO("startup", "other_windows_releases_are_refused") {
    InstallTelvaro();
    const char* const releases[] = {"win2k",  "winxp64", "win2003", "vista", "win7",
                                    "nt40",   "nt351",   "win95",   "win98", "winme"};
    for (const char* release : releases) {
        SetWindowsRelease(release);
        ExpectRefusal(release, kNotXp);
    }
}

SCENARIO("startup", "missing_install_is_refused") {
    ExpectRefusal("no product key", kNotInstalled);
    InstallTelvaro();
    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "InstallDir", reg::Missing());
    ExpectRefusal("no InstallDir", kNotInstalled);
    InstallTelvaro();
    RemoveHost();
    ExpectRefusal("no tvhost32.exe", kNotInstalled);
}

SCENARIO("startup", "wrong_host_version_is_refused") {
    const char* const versions[] = {"10.5.1.0", "10.50.0.0", "10.4.0.0", "11.0.0.0", "none"};
    for (const char* version : versions) {
        InstallTelvaro(version);
        ExpectRefusal(version, kWrongVersion);
    }
    // A folder of that name passes the install check but has no version.
    InstallTelvaro();
    RemoveHost();
    REQUIRE(CreateDirectoryA((std::string(kInstallDir) + "\\tvhost32.exe").c_str(), 0));
    ExpectRefusal("folder named tvhost32.exe", kWrongVersion);
}

// On a restored machine (no GinaDLL, LogonType 1); with the marker there and
// Telvaro's GINA put back by another program, "Restore" is offered too.
SCENARIO("startup", "applied_marker_decides_the_button") {
    const RegValue marker = reg::Binary(std::string("\1\0\0\0", 4));
    struct { const char* label; RegValue marker, gina; const char* states; } cases[] = {
        {"01 00 00 00", marker, reg::Missing(), kApplied},
        {"empty", reg::Binary(""), reg::Missing(), kApplied},
        {"4-byte text", reg::Sz("abc"), reg::Missing(), kApplied},
        {"5 bytes", reg::Binary(std::string("\1\0\0\0\0", 5)), reg::Missing(), kNotApplied},
        {"Telvaro's GINA back", marker, reg::Sz(kTelvaroGina), "Restore=on Disable=on Close=on"},
    };
    for (const auto& c : cases) {
        InstallTelvaro();
        reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", c.gina);
        reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "LogonType", reg::Dword(1));
        reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "Zelt_Applied", c.marker);
        App app;
        StartEligible(app);
        // The two buttons are enabled one after the other.
        WaitFor([&] { return app.ButtonStates() == c.states; }, 2000);
        CHECK_EQ(std::string(c.label) + ": " + app.ButtonStates(),
                 std::string(c.label) + ": " + c.states);
    }
}

// A version.dll beside the program that claims 10.5.0 for any file must not be
// the one that answers. Wine searches the program's folder first only when
// told to prefer native DLLs, as Windows does.
SCENARIO("startup", "planted_version_dll_is_not_loaded") {
    const std::string folder = "C:\\planted";
    PutFile(Where().app, folder + "\\Lumivale.exe");
    PutFile(Fixture("planted\\version.dll"), folder + "\\version.dll");
    reg::Write(HKEY_CURRENT_USER, std::string(kAppDefaultsKey) + "\\DllOverrides", "version",
               reg::Sz("native,builtin"));
    InstallTelvaro("9.0.0.0");
    ExpectRefusal("planted version.dll", kWrongVersion, folder + "\\Lumivale.exe");
}
