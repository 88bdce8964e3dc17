// A small harness that drives Lumivale.exe from another process in the same
// Wine prefix: scenarios and checks, the program's windows, the registry and
// files of the simulated machine.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace e2e {

// ---- Scenarios and checks -------------------------------------------------

typedef void (*ScenarioFn)();
struct Scenario {
    std::string group;
    std::string name;
    ScenarioFn run;
};
std::vector<Scenario>& Scenarios();
struct Registrar {
    Registrar(const char* group, const char* name, ScenarioFn run);
};

#define E2E_JOIN2(a, b) a##b
#define E2E_JOIN(a, b) E2E_JOIN2(a, b)
// SCENARIO("group", "name") { ...body... }
#define SCENARIO(group, name)                                                          \
    static void E2E_JOIN(scenario_, __LINE__)();                                       \
    static ::e2e::Registrar E2E_JOIN(registrar_, __LINE__)(group, name,                \
                                                          &E2E_JOIN(scenario_, __LINE__)); \
    static void E2E_JOIN(scenario_, __LINE__)()

// Thrown by REQUIRE: the rest of the scenario would only report noise.
struct Abort {};

void Fail(const char* file, int line, const std::string& what);
bool CheckEqual(const char* file, int line, const char* expr, long long actual,
                long long expected);
bool CheckEqual(const char* file, int line, const char* expr, const std::string& actual,
                const std::string& expected);

#define CHECK(cond) ((cond) ? true : (::e2e::Fail(__FILE__, __LINE__, #cond), false))
#define CHECK_EQ(actual, expected) \
    ::e2e::CheckEqual(__FILE__, __LINE__, #actual, (actual), (expected))
#define REQUIRE(cond)                                 \
    do {                                              \
        if (!(cond)) {                                \
            ::e2e::Fail(__FILE__, __LINE__, #cond);   \
            throw ::e2e::Abort();                     \
        }                                             \
    } while (0)

#define REQUIRE_EQ(actual, expected) \
    do {                             \
        if (!CHECK_EQ(actual, expected)) throw ::e2e::Abort(); \
    } while (0)

// Printable form of arbitrary bytes: text with \xNN escapes.
std::string Show(const std::string& bytes);

// ---- Where things are -------------------------------------------------------

struct Paths {
    std::string app;       // Lumivale.exe under test
    std::string fixtures;  // files the tests put on the machine (build's fixtures/)
    std::string self;      // folder of this driver, its probe DLL and bare dialog
};
Paths& Where();

// ---- Windows of another process --------------------------------------------

std::string WindowText(HWND window);
std::string ClassOf(HWND window);
// Texts of a window's children in creation order, e.g. a message box's lines.
std::vector<std::string> ChildTexts(HWND window, const char* className = 0);

// Polls `done` every few milliseconds until it holds or `ms` have passed.
template <typename Pred>
bool WaitFor(Pred done, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start >= ms) return done();
        Sleep(5);
    }
}

// One run of the program. The destructor ends the process if it still runs.
class App {
public:
    App() : main_(0), hook_(0) { ZeroMemory(&process_, sizeof(process_)); }
    ~App();

    // Starts `exe` and waits until its main dialog (the dialog with control
    // 1000) is visible; REQUIREs that it appears.
    void Start(const std::string& exe = Where().app, const std::string& arguments = "");
    // Starts `exe` with `arguments` after its quoted path; returns at once.
    // Suspended, it runs only once Resume is called, so that several copies
    // can be let go at the same moment. With `output`, that file (created
    // anew) is its standard output, as cmd's "> file" gives it; else it has none.
    void Launch(const std::string& arguments, const std::string& exe = Where().app,
                bool suspended = false, const std::string& output = "");
    void Resume() const { ResumeThread(process_.hThread); }
    // Watches every top-level window of the process until it exits, pressing
    // OK in each message box, and lists them in the order they appeared:
    // "<caption>: <text>" for a message box with one button, "window <class>
    // \"<title>\"" for any other visible one, then "hidden <class>" for each
    // one never shown. Fails, and ends the process, when it still runs after `ms`.
    std::vector<std::string> WatchUntilExit(DWORD ms = 20000);
    // Start, expect the startup check's box with `text`, and dismiss it.
    void StartPastMessage(const std::string& text);

    HWND Main() const { return main_; }
    HWND Item(int id) const { return GetDlgItem(main_, id); }
    bool Enabled(int id) const;
    // "Restore=off Disable=off Close=on": the buttons' states in one line.
    std::string ButtonStates() const;

    // A visible top-level window of the process other than the main dialog:
    // a message box or the About box. Null when none shows within `ms`.
    HWND WaitPopup(DWORD ms = 5000) const;
    // True when no popup shows for `ms`.
    bool NoPopupFor(DWORD ms) const { return WaitPopup(ms) == 0; }
    bool WaitGone(HWND window, DWORD ms = 5000) const;
    // The text of a message box (its static with id 0xFFFF).
    static std::string MessageText(HWND box);
    // Waits for a message box, checks its caption and text, presses OK and
    // waits for it to close.
    void ExpectMessage(const std::string& text);

    // Input, posted so that the program's modal loops handle it as a user's.
    void Click(HWND window, int id) const;
    void Key(HWND window, UINT vk) const;  // to the window's focused control
    void SysCommand(HWND window, WPARAM command) const;

    // The control that has the keyboard focus in the program's thread.
    HWND Focus() const;

    bool WaitExit(DWORD ms = 5000) const;
    bool Running() const { return !WaitExit(0); }
    DWORD ExitCode() const;

    // Runs a command of the probe DLL inside the program (see probe/probe.h)
    // and returns its answer.
    std::string Probe(int command, int argument = 0);

private:
    App(const App&);
    App& operator=(const App&);

    PROCESS_INFORMATION process_;
    HWND main_;
    HHOOK hook_;
};

// ---- Registry of the simulated machine --------------------------------------

struct RegValue {
    bool exists;
    DWORD type;
    std::string data;  // raw bytes as stored
    bool operator==(const RegValue& o) const {
        return exists == o.exists && (!exists || (type == o.type && data == o.data));
    }
    bool operator!=(const RegValue& o) const { return !(*this == o); }
};
std::string Show(const RegValue& value);
bool CheckEqual(const char* file, int line, const char* expr, const RegValue& actual,
                const RegValue& expected);

// Every value under a key and its subkeys, by "subkey\name".
typedef std::map<std::string, RegValue> RegSnapshot;
bool CheckEqual(const char* file, int line, const char* expr, const RegSnapshot& actual,
                const RegSnapshot& expected);

namespace reg {
RegValue Read(HKEY root, const std::string& path, const std::string& name);
RegValue Missing();
RegValue Sz(const std::string& text);  // REG_SZ with its terminator
RegValue Dword(DWORD value);
RegValue Binary(const std::string& bytes);
// Writes exactly value.data with value.type (creating the key), or deletes
// the value when !value.exists; REQUIREs success.
void Write(HKEY root, const std::string& path, const std::string& name, const RegValue& value);
void RemoveKey(HKEY root, const std::string& path);  // with its subkeys; absent is fine
RegSnapshot Snapshot(HKEY root, const std::string& path);
}  // namespace reg

// Keys the program reads and writes, and where Wine takes a per-program release.
extern const char kProductKey[];
extern const char kWinlogonKey[];
extern const char kPolicyKey[];
extern const char kAppDefaultsKey[];  // under HKEY_CURRENT_USER

// Every value the program may read or write: Telvaro's and Wayfold's keys,
// Winlogon and the system policy, prefixed "Corvane\\", "Winlogon\\", "Policy\\".
RegSnapshot MachineState();

// Runs the program on another Windows release ("win2k", "vista", ...);
// empty for the prefix's own (winxp).
void SetWindowsRelease(const std::string& release);

// ---- The Application log, as Wine keeps it ----------------------------------

// Wine has no event log: its ReportEventW prints a fixme with the event's
// type, id and user, then each string on the "eventlog" debug channel (trace,
// warn or err by the type), to the Unix standard error every Wine process of
// the run shares. run-wine.sh sends that to the file LUMIVALE_WINE_LOG names.
struct LoggedEvent {
    DWORD type;  // EVENTLOG_*_TYPE
    DWORD id;
    bool user;   // a user's SID came with it
    std::string channel;  // "trace", "warn" or "err"
    // In the ANSI code page, as the program gave them; Wine cuts a string of
    // more than about 290 characters short, which then ends in "...".
    std::vector<std::string> strings;
};
// `given` as Wine logs it: cut short where `logged` is.
std::string AsLogged(const std::string& given, const std::string& logged);
// The events written since the last call; REQUIREs the log.
std::vector<LoggedEvent> NewEvents();
// The text Event Viewer shows for it: its id's message from the program's
// message table, with its strings inserted by FormatMessage.
std::string Rendered(const LoggedEvent& event);

// Where the program registers itself as the event source.
extern const char kEventSourceKey[];

// ---- Files of the simulated machine -----------------------------------------

// Copies a file, creating the target's folders; REQUIREs success.
void PutFile(const std::string& from, const std::string& to);
std::string Fixture(const std::string& relativePath);

// Brings the machine back to a bare XP prefix, without the event source's
// registration and with no event unread; runs before every scenario.
void ResetMachine();

// ---- Entry points of the driver ----------------------------------------------

int RunScenarios(const std::vector<std::string>& groups);
int Measure(int rounds);
// For scripts/demo: print the machine's logon values; wait until the startup
// check of the running program enabled a button; press a button and wait for
// its message; close that message. Non-zero, with the reason printed, when
// the program does not get there.
int DemoDump(const char* title);
int DemoReady();
int DemoPress(int id);
int DemoDismiss();

}  // namespace e2e
