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

// InstallDir in the product key and tvhost32.exe of `version` (a fixture
// folder name such as "10.5.0.0") in it; Telvaro's GINA in front of msgina.dll.
void InstallTelvaro(const std::string& version = "10.5.0.0");
// Takes away whatever is called tvhost32.exe in the install folder.
void RemoveHost();
// Starts the program and waits for the startup check to enable a button.
void StartEligible(App& app);

}  // namespace e2e
