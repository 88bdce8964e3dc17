#include "harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "probe/probe.h"

namespace e2e {

// ---- Scenarios and checks -------------------------------------------------

std::vector<Scenario>& Scenarios() {
    static std::vector<Scenario> all;
    return all;
}

Registrar::Registrar(const char* group, const char* name, ScenarioFn run) {
    Scenario scenario = {group, name, run};
    Scenarios().push_back(scenario);
}

static int g_failedChecks = 0;

void Fail(const char* file, int line, const std::string& what) {
    const char* base = std::strrchr(file, '/');
    std::printf("    %s:%d: %s\n", base ? base + 1 : file, line, what.c_str());
    std::fflush(stdout);
    ++g_failedChecks;
}

std::string Show(const std::string& bytes) {
    std::string shown = "\"";
    for (std::string::size_type i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
            shown += escaped;
        }
    }
    return shown + "\"";
}

bool CheckEqual(const char* file, int line, const char* expr, long long actual,
                long long expected) {
    if (actual == expected) return true;
    char text[160];
    std::snprintf(text, sizeof(text), ": got %lld (0x%llX), expected %lld (0x%llX)", actual,
                  actual, expected, expected);
    Fail(file, line, expr + std::string(text));
    return false;
}

bool CheckEqual(const char* file, int line, const char* expr, const std::string& actual,
                const std::string& expected) {
    if (actual == expected) return true;
    Fail(file, line, std::string(expr) + ": got " + Show(actual) + ", expected " + Show(expected));
    return false;
}

std::string Show(const RegValue& value) {
    if (!value.exists) return "(absent)";
    char type[32];
    std::snprintf(type, sizeof(type), "type %lu ", value.type);
    return type + Show(value.data);
}

bool CheckEqual(const char* file, int line, const char* expr, const RegValue& actual,
                const RegValue& expected) {
    if (actual == expected) return true;
    Fail(file, line, std::string(expr) + ": got " + Show(actual) + ", expected " + Show(expected));
    return false;
}

bool CheckEqual(const char* file, int line, const char* expr, const RegSnapshot& actual,
                const RegSnapshot& expected) {
    bool same = true;
    RegSnapshot all = actual;
    all.insert(expected.begin(), expected.end());
    for (RegSnapshot::const_iterator it = all.begin(); it != all.end(); ++it) {
        RegSnapshot::const_iterator a = actual.find(it->first);
        RegSnapshot::const_iterator e = expected.find(it->first);
        RegValue got = a == actual.end() ? reg::Missing() : a->second;
        RegValue want = e == expected.end() ? reg::Missing() : e->second;
        if (got != want) {
            Fail(file, line, std::string(expr) + " [" + it->first + "]: got " + Show(got) +
                                 ", expected " + Show(want));
            same = false;
        }
    }
    return same;
}

Paths& Where() {
    static Paths paths;
    return paths;
}

// ---- Windows of another process --------------------------------------------

std::string WindowText(HWND window) {
    char text[1024] = {0};
    DWORD_PTR length = 0;
    // WM_GETTEXT is marshalled across processes; a hung program times out.
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 2000, &length))
        return "(no answer)";
    return std::string(text, length);
}

std::string ClassOf(HWND window) {
    char name[256] = {0};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::vector<std::string> ChildTexts(HWND window, const char* className) {
    std::vector<std::string> texts;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!className || lstrcmpiA(ClassOf(child).c_str(), className) == 0)
            texts.push_back(WindowText(child));
    }
    return texts;
}

namespace {

struct WindowSearch {
    DWORD processId;
    HWND exclude;
    bool needDescription;  // the main dialog is the one with control 1000
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || window == search->exclude) return TRUE;
    if (!IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
    if (search->needDescription != (GetDlgItem(window, 1000) != 0)) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindDialog(DWORD processId, HWND exclude, bool mainDialog) {
    WindowSearch search = {processId, exclude, mainDialog, 0};
    EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

App::~App() {
    if (hook_) UnhookWindowsHookEx(hook_);
    if (process_.hProcess) {
        if (Running()) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, 5000);
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
}

void App::Launch(const std::string& arguments, const std::string& exe, bool suspended,
                 const std::string& output) {
    REQUIRE(process_.hProcess == 0);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!output.empty()) {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), 0, TRUE};
        file = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
        REQUIRE(file != INVALID_HANDLE_VALUE);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = file;
    }
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(0);
    // A loaded machine has seen Wine refuse a start once in a while; a
    // second refusal is a failure, with Windows' reason.
    BOOL started = FALSE;
    DWORD error = 0;
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        if (attempt) {
            std::printf("    (Wine refused to start %s, error %lu; once more)\n", exe.c_str(),
                        static_cast<unsigned long>(error));
            Sleep(500);
        }
        started = CreateProcessA(exe.c_str(), &buffer[0], 0, 0, file != INVALID_HANDLE_VALUE,
                                 suspended ? CREATE_SUSPENDED : 0, 0, 0, &startup, &process_);
        if (!started) error = GetLastError();
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!started) {
        Fail(__FILE__, __LINE__, "cannot start " + exe + ", error " + std::to_string(error));
        throw Abort();
    }
}

void App::Start(const std::string& exe, const std::string& arguments) {
    Launch(arguments, exe);
    DWORD processId = process_.dwProcessId;
    HWND found = 0;
    WaitFor([&] { return (found = FindDialog(processId, 0, true)) != 0 || !Running(); }, 20000);
    main_ = found;
    if (!main_) {
        char why[80] = "no main dialog within 20 s";
        if (!Running())
            std::snprintf(why, sizeof(why), "exited with code 0x%lX before its dialog showed",
                          ExitCode());
        Fail(__FILE__, __LINE__, exe + ": " + why);
        throw Abort();
    }
}

namespace {

BOOL CALLBACK AddWindowOf(HWND window, LPARAM param) {
    std::pair<DWORD, std::vector<HWND>*>* search =
        reinterpret_cast<std::pair<DWORD, std::vector<HWND>*>*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->first) search->second->push_back(window);
    return TRUE;
}

std::vector<HWND> WindowsOf(DWORD processId) {
    std::vector<HWND> windows;
    std::pair<DWORD, std::vector<HWND>*> search(processId, &windows);
    EnumWindows(&AddWindowOf, reinterpret_cast<LPARAM>(&search));
    return windows;
}

}  // namespace

std::vector<std::string> App::WatchUntilExit(DWORD ms) {
    std::vector<std::string> seen;
    std::set<HWND> shown;
    std::map<HWND, std::string> hidden;  // by class, until it shows
    DWORD start = GetTickCount();
    for (bool exited = false; !exited;) {
        // One more look after the exit: nothing may slip through between polls.
        exited = WaitExit(2);
        std::vector<HWND> windows = WindowsOf(process_.dwProcessId);
        for (size_t i = 0; i < windows.size(); ++i) {
            HWND window = windows[i];
            if (shown.count(window)) continue;
            if (!IsWindowVisible(window)) {
                if (!hidden.count(window)) hidden[window] = ClassOf(window);
                continue;
            }
            shown.insert(window);
            if (ClassOf(window) == "#32770" && GetDlgItem(window, 0xFFFF)) {
                size_t buttons = ChildTexts(window, "Button").size();
                seen.push_back(WindowText(window) + ": " + MessageText(window) +
                               (buttons == 1 ? "" : " [" + std::to_string(buttons) + " buttons]"));
                Click(window, IDOK);
            } else {
                seen.push_back("window " + ClassOf(window) + " \"" + WindowText(window) + "\"");
            }
        }
        if (!exited && GetTickCount() - start >= ms) {
            Fail(__FILE__, __LINE__, "still running after " + std::to_string(ms) + " ms");
            TerminateProcess(process_.hProcess, 1);
            WaitExit();
            break;
        }
    }
    for (std::map<HWND, std::string>::const_iterator it = hidden.begin(); it != hidden.end(); ++it)
        if (!shown.count(it->first)) seen.push_back("hidden " + it->second);
    return seen;
}

void App::StartPastMessage(const std::string& text) {
    Start();
    ExpectMessage(text);
}

bool App::Enabled(int id) const {
    HWND item = Item(id);
    return item && IsWindowEnabled(item);
}

std::string App::ButtonStates() const {
    static const struct { int id; const char* name; } buttons[] = {
        {IDOK, "Restore"}, {1001, "Disable"}, {IDCANCEL, "Close"}};
    std::string states;
    for (const auto& button : buttons) {
        if (!states.empty()) states += ' ';
        const char* state = !Item(button.id) ? "=missing" : Enabled(button.id) ? "=on" : "=off";
        states += std::string(button.name) + state;
    }
    return states;
}

HWND App::WaitPopup(DWORD ms) const {
    HWND found = 0;
    DWORD processId = process_.dwProcessId;
    HWND main = main_;
    WaitFor([&] { return (found = FindDialog(processId, main, false)) != 0; }, ms);
    return found;
}

bool App::WaitGone(HWND window, DWORD ms) const {
    return WaitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); }, ms);
}

std::string App::MessageText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? WindowText(text) : "(no text control)";
}

void App::ExpectMessage(const std::string& text) {
    HWND box = WaitPopup();
    REQUIRE(box != 0);
    CHECK_EQ(WindowText(box), "Lumivale");
    CHECK_EQ(MessageText(box), text);
    CHECK_EQ(ChildTexts(box, "Button").size(), 1u);  // a single OK button
    Click(box, IDOK);
    REQUIRE(WaitGone(box));
}

void App::Click(HWND window, int id) const {
    PostMessageA(GetDlgItem(window, id), BM_CLICK, 0, 0);
}

void App::Key(HWND window, UINT vk) const {
    HWND target = Focus();
    if (!target || (target != window && !IsChild(window, target))) target = window;
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, 0)) << 16;
    PostMessageA(target, WM_KEYDOWN, vk, scan | 1);
    PostMessageA(target, WM_KEYUP, vk, scan | 1 | (3u << 30));
}

void App::SysCommand(HWND window, WPARAM command) const {
    PostMessageA(window, WM_SYSCOMMAND, command, 0);
}

HWND App::Focus() const {
    GUITHREADINFO info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main_, 0), &info)) return 0;
    return info.hwndFocus;
}

bool App::WaitExit(DWORD ms) const {
    return process_.hProcess && WaitForSingleObject(process_.hProcess, ms) == WAIT_OBJECT_0;
}

DWORD App::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

// ---- The probe -------------------------------------------------------------

namespace {

std::string g_probeAnswer;
bool g_probeAnswered = false;

LRESULT CALLBACK ReplyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        g_probeAnswer.assign(static_cast<const char*>(data->lpData), data->cbData);
        g_probeAnswered = true;
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND ReplyWindow() {
    static HWND window = 0;
    if (!window) {
        WNDCLASSA windowClass;
        ZeroMemory(&windowClass, sizeof(windowClass));
        windowClass.lpfnWndProc = &ReplyProc;
        windowClass.hInstance = GetModuleHandleA(0);
        windowClass.lpszClassName = "Lumivale.e2e.Reply";
        RegisterClassA(&windowClass);
        window = CreateWindowA(windowClass.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, 0, 0,
                               windowClass.hInstance, 0);
    }
    return window;
}

}  // namespace

std::string App::Probe(int command, int argument) {
    if (!hook_) {
        std::string path = Where().self + "\\lumivale-probe.dll";
        HMODULE probe = LoadLibraryA(path.c_str());
        REQUIRE(probe != 0);
        FARPROC entry = GetProcAddress(probe, PROBE_HOOK_PROC);
        REQUIRE(entry != 0);
        HOOKPROC hookProc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(entry));
        hook_ = SetWindowsHookExA(WH_GETMESSAGE, hookProc, probe,
                                  GetWindowThreadProcessId(main_, 0));
        REQUIRE(hook_ != 0);
    }
    HWND reply = ReplyWindow();
    REQUIRE(reply != 0);
    g_probeAnswered = false;
    static const UINT request = RegisterWindowMessageA(PROBE_REQUEST_MESSAGE);
    REQUIRE(PostMessageA(main_, request, MAKEWPARAM(command, argument),
                         reinterpret_cast<LPARAM>(reply)));
    // The answer is a sent message: keep this thread's messages flowing.
    WaitFor([] {
        MSG message;
        while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        return g_probeAnswered;
    }, 5000);
    REQUIRE(g_probeAnswered);
    return g_probeAnswer;
}

// ---- Registry ----------------------------------------------------------------

const char kProductKey[] = "SOFTWARE\\Corvane\\Telvaro\\CurrentVersion\\System";
const char kWinlogonKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kPolicyKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char kAppDefaultsKey[] = "Software\\Wine\\AppDefaults\\Lumivale.exe";

namespace reg {

RegValue Missing() {
    RegValue value = {false, REG_NONE, std::string()};
    return value;
}

RegValue Sz(const std::string& text) {
    RegValue value = {true, REG_SZ, text + '\0'};
    return value;
}

RegValue Dword(DWORD number) {
    RegValue value = {true, REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4)};
    return value;
}

RegValue Binary(const std::string& bytes) {
    RegValue value = {true, REG_BINARY, bytes};
    return value;
}

RegValue Read(HKEY root, const std::string& path, const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return Missing();
    RegValue value = Missing();
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name.c_str(), 0, &type, 0, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> data(size + 1);
        if (RegQueryValueExA(key, name.c_str(), 0, &type, &data[0], &size) == ERROR_SUCCESS) {
            value.exists = true;
            value.type = type;
            value.data.assign(reinterpret_cast<const char*>(&data[0]), size);
        }
    }
    RegCloseKey(key);
    return value;
}

void Write(HKEY root, const std::string& path, const std::string& name, const RegValue& value) {
    HKEY key;
    if (!value.exists) {
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
        return;
    }
    REQUIRE(RegCreateKeyExA(root, path.c_str(), 0, 0, 0, KEY_SET_VALUE, 0, &key, 0) ==
            ERROR_SUCCESS);
    // Wine stores a REG_SZ with a terminator added when the byte after the
    // given count is zero; a non-zero byte there keeps the data exact.
    std::string buffer = value.data + '\x01';
    LONG status = RegSetValueExA(key, name.c_str(), 0, value.type,
                                 reinterpret_cast<const BYTE*>(buffer.data()),
                                 static_cast<DWORD>(value.data.size()));
    RegCloseKey(key);
    REQUIRE(status == ERROR_SUCCESS);
}

void RemoveKey(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char sub[256];
    DWORD length = sizeof(sub);
    std::vector<std::string> subkeys;
    for (DWORD i = 0; RegEnumKeyExA(key, i, sub, &length, 0, 0, 0, 0) == ERROR_SUCCESS;
         ++i, length = sizeof(sub))
        subkeys.push_back(sub);
    RegCloseKey(key);
    for (size_t i = 0; i < subkeys.size(); ++i) RemoveKey(root, path + "\\" + subkeys[i]);
    RegDeleteKeyA(root, path.c_str());
}

static void AddToSnapshot(HKEY root, const std::string& path, const std::string& prefix,
                          RegSnapshot* snapshot) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    char name[16384];
    DWORD length = sizeof(name);
    for (DWORD i = 0; RegEnumValueA(key, i, name, &length, 0, 0, 0, 0) == ERROR_SUCCESS;
         ++i, length = sizeof(name))
        (*snapshot)[prefix + name] = Read(root, path, name);
    std::vector<std::string> subkeys;
    length = sizeof(name);
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &length, 0, 0, 0, 0) == ERROR_SUCCESS;
         ++i, length = sizeof(name))
        subkeys.push_back(name);
    RegCloseKey(key);
    for (size_t i = 0; i < subkeys.size(); ++i)
        AddToSnapshot(root, path + "\\" + subkeys[i], prefix + subkeys[i] + "\\", snapshot);
}

RegSnapshot Snapshot(HKEY root, const std::string& path) {
    RegSnapshot snapshot;
    AddToSnapshot(root, path, "", &snapshot);
    return snapshot;
}

}  // namespace reg

RegSnapshot MachineState() {
    static const struct { const char* prefix; const char* path; } keys[] = {
        {"Corvane\\", "SOFTWARE\\Corvane"}, {"Winlogon\\", kWinlogonKey}, {"Policy\\", kPolicyKey}};
    RegSnapshot state;
    for (const auto& key : keys) {
        RegSnapshot values = reg::Snapshot(HKEY_LOCAL_MACHINE, key.path);
        for (RegSnapshot::const_iterator it = values.begin(); it != values.end(); ++it)
            state[key.prefix + it->first] = it->second;
    }
    return state;
}

void SetWindowsRelease(const std::string& release) {
    reg::Write(HKEY_CURRENT_USER, kAppDefaultsKey, "Version",
               release.empty() ? reg::Missing() : reg::Sz(release));
}

// ---- The Application log -------------------------------------------------------

const char kEventSourceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\Eventlog\\Application\\Lumivale";

namespace {

// The Wine log as a Windows path, empty when the run has none.
std::string WineLog() {
    char path[MAX_PATH] = {0};
    if (!GetEnvironmentVariableA("LUMIVALE_WINE_LOG", path, sizeof(path))) return "";
    std::string windows = path[0] == '/' ? std::string("Z:") + path : path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

LONGLONG g_logRead = 0;  // the log's bytes read so far

// What the Wine processes wrote to the log since the last call.
std::string UnreadLog() {
    std::string path = WineLog();
    REQUIRE(!path.empty());
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0,
                              OPEN_EXISTING, 0, 0);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = g_logRead;
    SetFilePointerEx(file, at, 0, FILE_BEGIN);
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, 0) && read > 0) text.append(buffer, read);
    CloseHandle(file);
    // Only whole lines: another process may be half way through one.
    text.erase(text.rfind('\n') + 1);
    g_logRead += text.size();
    return text;
}

// A string as Wine's debugstr_w writes it, L"..." with C escapes and \xxxx
// for any other character, back in the ANSI code page.
std::string Unquoted(const std::string& quoted) {
    std::wstring wide;
    std::string::size_type i = quoted.find("L\"") + 2, end = quoted.rfind('"');
    while (i < end) {
        char c = quoted[i++];
        if (c != '\\') {
            wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
            continue;
        }
        c = quoted[i++];
        if (c == 'r') wide += L'\r';
        else if (c == 'n') wide += L'\n';
        else if (c == 't') wide += L'\t';
        else if (c == '"' || c == '\\') wide += static_cast<wchar_t>(c);
        else {
            wide += static_cast<wchar_t>(std::strtoul(quoted.substr(i - 1, 4).c_str(), 0, 16));
            i += 3;
        }
    }
    std::string text(wide.size() * 2 + 1, '\0');
    int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                     &text[0], static_cast<int>(text.size()), 0, 0);
    text.resize(length > 0 ? length : 0);
    if (quoted.compare(end + 1, 3, "...") == 0) text += "...";
    return text;
}

}  // namespace

std::string AsLogged(const std::string& given, const std::string& logged) {
    std::string::size_type kept = logged.size() - 3;
    bool cut = logged.size() >= 3 && logged.compare(kept, 3, "...") == 0 && given.size() > kept &&
               given.compare(0, kept, logged, 0, kept) == 0;
    return cut ? given.substr(0, kept) + "..." : given;
}

std::vector<LoggedEvent> NewEvents() {
    std::vector<LoggedEvent> events;
    std::map<std::string, LoggedEvent> open;  // by the Wine thread writing it
    std::map<std::string, size_t> expected;
    std::string text = UnreadLog();
    for (std::string::size_type start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        std::string line = text.substr(start, end - start);
        std::string thread = line.substr(0, line.find(':'));
        std::string::size_type fixme = line.find(":fixme:advapi:ReportEventW (");
        std::string::size_type string = line.find(":eventlog:ReportEventW ");
        if (fixme != std::string::npos) {
            // (handle,type,category,id,sid,count,size,strings,data): stub
            std::vector<std::string> fields;
            std::string::size_type at = line.find('(', fixme) + 1, comma;
            while ((comma = line.find_first_of(",)", at)) != std::string::npos) {
                fields.push_back(line.substr(at, comma - at));
                at = comma + 1;
                if (line[comma] == ')') break;
            }
            REQUIRE(fields.size() == 9);
            LoggedEvent event;
            event.type = std::strtoul(fields[1].c_str(), 0, 16);
            event.id = std::strtoul(fields[3].c_str(), 0, 16);
            event.user = fields[4].find_first_not_of("0x") != std::string::npos &&
                         fields[4] != "(nil)";
            open[thread] = event;
            expected[thread] = std::strtoul(fields[5].c_str(), 0, 16);
            if (!expected[thread]) events.push_back(event);
        } else if (string != std::string::npos && open.count(thread)) {
            LoggedEvent& event = open[thread];
            std::string::size_type colon = line.find(':') + 1;
            event.channel = line.substr(colon, string - colon);
            event.strings.push_back(Unquoted(line.substr(string)));
            if (event.strings.size() == expected[thread]) events.push_back(event);
        }
    }
    return events;
}

std::string Rendered(const LoggedEvent& event) {
    HMODULE image = LoadLibraryExA(Where().app.c_str(), 0, LOAD_LIBRARY_AS_DATAFILE);
    REQUIRE(image != 0);
    std::vector<DWORD_PTR> arguments;
    for (const std::string& string : event.strings)
        arguments.push_back(reinterpret_cast<DWORD_PTR>(string.c_str()));
    char* text = 0;
    const DWORD flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                        FORMAT_MESSAGE_ALLOCATE_BUFFER;
    DWORD length = FormatMessageA(flags, image, event.id, 0, reinterpret_cast<char*>(&text), 0,
                                  reinterpret_cast<va_list*>(arguments.data()));
    std::string rendered =
        length ? std::string(text, length) : "(no message " + std::to_string(event.id) + ")";
    LocalFree(text);
    FreeLibrary(image);
    return rendered;
}

// ---- Files ---------------------------------------------------------------------

void PutFile(const std::string& from, const std::string& to) {
    // By characters: in a double-byte code page a backslash's byte may end
    // another character.
    for (const char* p = to.c_str() + 3; *p; p = CharNextA(p))
        if (*p == '\\') CreateDirectoryA(to.substr(0, p - to.c_str()).c_str(), 0);
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
        Fail(__FILE__, __LINE__, "cannot copy " + from + " to " + to);
        throw Abort();
    }
}

std::string Fixture(const std::string& relativePath) {
    std::string path = Where().fixtures + "\\" + relativePath;
    for (std::string::size_type i = 0; i < path.size(); ++i)
        if (path[i] == '/') path[i] = '\\';
    return path;
}

// ---- Running the scenarios -------------------------------------------------------

namespace {

// The values of the logon keys as the fresh prefix had them.
RegSnapshot g_winlogon, g_policy;

// Writes one snapshot entry ("subkey\\name") back under `path`.
void WriteEntry(HKEY root, const std::string& path, const std::string& entry,
                const RegValue& value) {
    std::string::size_type slash = entry.rfind('\\');
    if (slash == std::string::npos)
        reg::Write(root, path, entry, value);
    else
        reg::Write(root, path + "\\" + entry.substr(0, slash), entry.substr(slash + 1), value);
}

// Puts the values under a key back as they were in `saved` (values only).
void RestoreValues(HKEY root, const std::string& path, const RegSnapshot& saved) {
    RegSnapshot now = reg::Snapshot(root, path);
    for (RegSnapshot::const_iterator it = now.begin(); it != now.end(); ++it)
        if (!saved.count(it->first)) WriteEntry(root, path, it->first, reg::Missing());
    for (RegSnapshot::const_iterator it = saved.begin(); it != saved.end(); ++it)
        if (!now.count(it->first) || now.find(it->first)->second != it->second)
            WriteEntry(root, path, it->first, it->second);
}

bool Selected(const Scenario& scenario, const std::vector<std::string>& groups) {
    if (groups.empty()) return true;
    for (size_t i = 0; i < groups.size(); ++i)
        if (scenario.group == groups[i]) return true;
    return false;
}

}  // namespace

void ResetMachine() {
    if (!WineLog().empty()) NewEvents();
    reg::RemoveKey(HKEY_LOCAL_MACHINE, kEventSourceKey);
    reg::RemoveKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane");
    reg::RemoveKey(HKEY_CURRENT_USER, kAppDefaultsKey);
    RestoreValues(HKEY_LOCAL_MACHINE, kWinlogonKey, g_winlogon);
    RestoreValues(HKEY_LOCAL_MACHINE, kPolicyKey, g_policy);
}

int RunScenarios(const std::vector<std::string>& groups) {
    for (size_t i = 0; i < groups.size(); ++i) {
        bool known = false;
        for (size_t j = 0; j < Scenarios().size(); ++j) known |= Scenarios()[j].group == groups[i];
        if (!known) {
            std::printf("no scenarios in group \"%s\"\n", groups[i].c_str());
            return 2;
        }
    }
    g_winlogon = reg::Snapshot(HKEY_LOCAL_MACHINE, kWinlogonKey);
    g_policy = reg::Snapshot(HKEY_LOCAL_MACHINE, kPolicyKey);

    int passed = 0, failed = 0;
    for (size_t i = 0; i < Scenarios().size(); ++i) {
        const Scenario& scenario = Scenarios()[i];
        if (!Selected(scenario, groups)) continue;
        std::string name = scenario.group + "." + scenario.name;
        std::printf("[ RUN      ] %s\n", name.c_str());
        std::fflush(stdout);
        int failedBefore = g_failedChecks;
        DWORD start = GetTickCount();
        try {
            ResetMachine();
            scenario.run();
        } catch (const Abort&) {
            // already reported
        } catch (const std::exception& error) {
            Fail(__FILE__, __LINE__, std::string("exception: ") + error.what());
        }
        bool ok = g_failedChecks == failedBefore;
        (ok ? passed : failed)++;
        std::printf("[ %s ] %s (%lu ms)\n", ok ? "      OK" : "  FAILED", name.c_str(),
                    GetTickCount() - start);
        std::fflush(stdout);
    }
    ResetMachine();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace e2e
