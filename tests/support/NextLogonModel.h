// What Windows XP does at the next logon of a simulated machine, worked out
// from its registry and files alone, and written apart from the program's
// code so that the two can disagree.
//
// Winlogon loads the GINA its GinaDLL names (none, or one no path buffer can
// hold: the system's msgina.dll); Telvaro's GINA then loads the GINA Telvaro
// recorded, the Wayfold GINA its ChainTo; any other GINA ends the chain. A
// GINA file that cannot be found, or one met twice, stops every logon. The
// Welcome Screen is offered only without a GinaDLL, with a non-zero
// LogonType (the policy's when it has one), on a workstation in a workgroup.
#pragma once

#include <string>
#include <vector>

#include "FakeSystem.h"
#include "MemoryRegistry.h"

struct PredictedLogon {
    // The GINAs Winlogon loads, in order, as named; "" is the system default.
    std::vector<std::string> chain;
    bool loads;         // every one found, none twice
    bool productFirst;  // Telvaro's GINA is the one Winlogon loads itself
    long logonType;     // the LogonType in force; -1 unless a 4-byte REG_DWORD
    bool welcome;       // the Welcome Screen is offered
    // The settings the chain was followed through, as "key|name", in order:
    // a refused read of any of them leaves the chain unknown.
    std::vector<std::string> reads;
};

PredictedLogon PredictNextLogon(const MemoryRegistry& registry, const FakeSystem& system);

namespace logonmodel {
// The system directory as Windows reports it; none when it cannot.
std::string SystemDirectory(const FakeSystem& system);
// A name in a folder, with one backslash between them; texts are in the
// system's code page.
std::string Join(const FakeSystem& system, const std::string& dir, const std::string& name);
// The text a GINA setting gives: up to its first NUL; false when there is
// none or no 260-byte path buffer holds it.
bool TextOf(const MemoryRegistry& registry, const char* key, const char* name,
            std::string* text);
// Whether a GINA name occurs in a text from the start of a character,
// ignoring the case of ASCII letters.
bool Names(const FakeSystem& system, const std::string& text, const char* upperName);
// A GINA file found as named or in the system directory, as a path of at
// most 259 characters: no wildcard, no folder.
bool Found(const FakeSystem& system, const std::string& name);
// Two texts the same but for the case of ASCII letters.
bool SameText(const FakeSystem& system, const std::string& a, const std::string& b);
// The system's own GINA, by name or by its path in the system directory.
bool IsSystemGina(const FakeSystem& system, const std::string& name);
}  // namespace logonmodel
