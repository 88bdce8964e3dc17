#include "telvaro.h"

namespace e2e {

const char kInstallDir[] = "C:\\Program Files\\Telvaro";
const char kChainedGinaKey[] = "SOFTWARE\\Corvane\\Wayfold\\Gina";
const char kNotXp[] = "This utility is only valid on Windows XP";
const char kNotInstalled[] = "This utility is only valid on systems that have Telvaro installed.";
const char kWrongVersion[] = "This utility is only valid on Telvaro version 10.5";
const char kRestart[] = "You must restart your computer for these changes to take effect.";
const char kErrors[] = "Some errors occured.  Please contact Telvaro Tech Support.";
const char kWaiting[] = "Restore=off Disable=off Close=on";
const char kNotApplied[] = "Restore=on Disable=off Close=on";
const char kApplied[] = "Restore=off Disable=on Close=on";

void RemoveHost() {
    std::string host = std::string(kInstallDir) + "\\tvhost32.exe";
    DeleteFileA(host.c_str());
    RemoveDirectoryA(host.c_str());
}

void InstallTelvaro(const std::string& version) {
    RemoveHost();
    PutFile(Fixture("tvhost32-" + version + "\\tvhost32.exe"),
            std::string(kInstallDir) + "\\tvhost32.exe");
    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "InstallDir", reg::Sz(kInstallDir));
    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "GinaDLL", reg::Sz("msgina.dll"));
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL",
               reg::Sz(std::string(kInstallDir) + "\\TVGINA.DLL"));
}

void StartEligible(App& app) {
    app.Start();
    REQUIRE(WaitFor([&] { return app.Enabled(IDOK) || app.Enabled(1001); }, 5000));
}

}  // namespace e2e
