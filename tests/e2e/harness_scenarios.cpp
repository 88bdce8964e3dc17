// The harness's own footing: what it writes to the registry is what a reader
// gets back, byte for byte, and a snapshot shows every difference.
#include "harness.h"

using namespace e2e;

namespace {
const char kScratchKey[] = "SOFTWARE\\Corvane\\HarnessCheck";
}

SCENARIO("harness", "registry_values_round_trip_exactly") {
    // Wine adds a terminator to REG_SZ data followed by a zero byte; the
    // harness must store unterminated and over-long texts as given.
    const RegValue values[] = {
        reg::Sz("C:\\Program Files\\Telvaro"),
        {true, REG_SZ, std::string("no terminator")},
        {true, REG_SZ, std::string("two\0\0", 5)},
        {true, REG_SZ, std::string()},
        reg::Dword(0x12345678),
        reg::Binary(std::string("\x01\x00\x00\x00", 4)),
        {true, REG_EXPAND_SZ, std::string("%SystemRoot%\0", 13)}};
    for (const RegValue& value : values) {
        reg::Write(HKEY_LOCAL_MACHINE, kScratchKey, "Value", value);
        CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kScratchKey, "Value"), value);
    }
    reg::Write(HKEY_LOCAL_MACHINE, kScratchKey, "Value", reg::Missing());
    CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kScratchKey, "Value"), reg::Missing());
}

SCENARIO("harness", "machine_state_sees_changes_and_reset_undoes_them") {
    RegSnapshot before = MachineState();
    reg::Write(HKEY_LOCAL_MACHINE, std::string(kScratchKey) + "\\Deeper", "Added", reg::Dword(1));
    reg::Write(HKEY_LOCAL_MACHINE, kWinlogonKey, "LogonType", reg::Dword(7));
    RegSnapshot after = MachineState();
    CHECK_EQ(after.size(), before.size() + (before.count("Winlogon\\LogonType") ? 1 : 2));
    CHECK_EQ(after["Corvane\\HarnessCheck\\Deeper\\Added"], reg::Dword(1));
    CHECK_EQ(after["Winlogon\\LogonType"], reg::Dword(7));
    ResetMachine();
    CHECK_EQ(MachineState(), before);
}
