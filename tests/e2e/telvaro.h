// A simulated Telvaro 10.5 install on the prefix's Windows XP machine.
#pragma once

#include <string>

#include "harness.h"

namespace e2e {

extern const char kInstallDir[];
extern const char kChainedGinaKey[];

// The program's messages, and its buttons in each state as App::ButtonStates
// shows them.
extern const char kNotXp[];
extern const char kNotInstalled[];
extern const char kWrongVersion[];
extern const char kRestart[];
extern const char kErrors[];
extern const char kWaiting[];
extern const char kNotApplied[];
extern const char kApplied[];

// Where Telvaro's GINA and the system's own lie.
extern const char kTelvaroGina[];
std::string InSystem(const std::string& name);  // the path of a file in system32
std::string SystemGina();
// A stand-in GINA file: the program only ever looks for it.
void PutGina(const std::string& path);

// InstallDir in the product key and tvhost32.exe of `version` (a fixture
// folder name such as "10.5.0.0") in it; Telvaro's GINA, in the same folder,
// in front of the system's msgina.dll, both files there and no other GINA in
// system32.
void InstallTelvaro(const std::string& version = "10.5.0.0",
                    const std::string& folder = kInstallDir);
// Takes away whatever is called tvhost32.exe in the install folder.
void RemoveHost();
// Starts the program and waits for the startup check to enable a button.
void StartEligible(App& app);

}  // namespace e2e
