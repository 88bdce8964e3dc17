#include "telvaro.h"

namespace e2e {

const char kInstallDir[] = "C:\\Program Files\\Telvaro";
const char kChainedGinaKey[] = "SOFTWARE\\Corvane\\Wayfold\\Gina";
const char kNotXp[] = "This utility is only valid on Windows XP";
const char kNotInstalled[] = "This utility is only valid on systems that have Telvaro installed.";
const char kWrongVersion[] = "This utility is only valid on Telvaro version 10.5";
const char kRestart[] = "You must restart your computer for these changes to take effect.";
const char kErrors[] = "Some errors occured.  Please contact Telvaro Tech Support.";
const char kTelvaroGina[] = "C:\\Program Files\\Telvaro\\TVGINA.DLL";
const char kWaiting[] = "Restore=off Disable=off Close=on";
const char kNotApplied[] = "Restore=on Disable=off Close=on";
const char kApplied[] = "Restore=off Disable=on Close=on";

void RemoveHost() {
    std::string host = std::string(kInstallDir) + "\\tvhost32.exe";
    DeleteFileA(host.c_str());
    RemoveDirectoryA(host.c_str());
}

std::string InSystem(const std::string& name) {
    char directory[MAX_PATH] = {0};
    GetSystemDirectoryA(directory, MAX_PATH);
    return std::string(directory) + "\\" + name;
}

std::string SystemGina() { return InSystem("msgina.dll"); }

void PutGina(const std::string& path) { PutFile(Fixture("tvhost32-none\\tvhost32.exe"), path); }

void InstallTelvaro(const std::string& version, const std::string& folder) {
    RemoveHost();
    // Wine has no msgina.dll; GINAs other scenarios left behind go.
    DeleteFileA(SystemGina().c_str());
    DeleteFileA(InSystem("WFLGINA.DLL").c_str());
    PutGina(SystemGina());
    const std::string gina = folder + "\\TVGINA.DLL";
    PutGina(gina);
    PutFile(Fixture("tvhost32-" + version + "\\tvhost32.exe"), folder + "\\tvhost32.exe");
    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "InstallDir", reg::Sz(folder));
    reg::Write(HKEY_LOCAL_MACHINE, kProductKey, "GinaDLL", reg::Sz("msgina.dll"));
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "GinaDLL", reg::Sz(gina));
}

void StartEligible(App& app) {
    app.Start();
    REQUIRE(WaitFor([&] { return app.Enabled(IDOK) || app.Enabled(1001); }, 5000));
}

}  // namespace e2e
