// Steps of scripts/demo, each against the Lumivale that is already running,
// so that the script can take a screenshot between them.
#include <cstdio>
#include <cstring>
#include <string>

#include "harness.h"

namespace e2e {

namespace {

BOOL CALLBACK MatchMain(HWND window, LPARAM lParam) {
    char title[16] = {0};
    GetWindowTextA(window, title, sizeof(title));
    if (lstrcmpA(title, "Lumivale") != 0 || !GetDlgItem(window, 1000)) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = window;
    return FALSE;
}

// The main dialog: titled "Lumivale" like its message boxes, but with control 1000.
HWND MainDialog() {
    HWND found = 0;
    WaitFor([&] {
        EnumWindows(&MatchMain, reinterpret_cast<LPARAM>(&found));
        return found != 0;
    }, 10000);
    return found;
}

struct PopupSearch {
    DWORD processId;
    HWND main;
    HWND found;
};

BOOL CALLBACK MatchPopup(HWND window, LPARAM lParam) {
    PopupSearch* search = reinterpret_cast<PopupSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || window == search->main || !IsWindowVisible(window))
        return TRUE;
    char name[16] = {0};
    GetClassNameA(window, name, sizeof(name));
    if (lstrcmpA(name, "#32770") != 0) return TRUE;
    search->found = window;
    return FALSE;
}

// The message box in front of the main dialog.
HWND Popup(HWND main) {
    PopupSearch search = {0, main, 0};
    GetWindowThreadProcessId(main, &search.processId);
    WaitFor([&] {
        EnumWindows(&MatchPopup, reinterpret_cast<LPARAM>(&search));
        return search.found != 0;
    }, 10000);
    return search.found;
}

// Type, byte count and data: a number, a text up to its terminator (the zeros
// that pad it counted, not shown), or hex bytes.
std::string Brief(const RegValue& value) {
    const std::string& data = value.data;
    std::string size = std::to_string(data.size()) + " bytes";
    if (value.type == REG_DWORD && data.size() == 4) {
        DWORD number;
        std::memcpy(&number, data.data(), 4);
        return "REG_DWORD   " + size + "  " + std::to_string(number);
    }
    if (value.type != REG_SZ) {
        std::string hex;
        char byte[4];
        for (unsigned char c : data) {
            std::snprintf(byte, sizeof(byte), " %02X", c);
            hex += byte;
        }
        return "REG_BINARY  " + size + " " + hex;
    }
    std::size_t end = data.find('\0');
    std::string text = "\"" + data.substr(0, end) + "\"";
    if (end != std::string::npos) text += " + NUL";
    if (end != std::string::npos && end + 1 < data.size())
        text += " + " + std::to_string(data.size() - end - 1) + " zero bytes";
    return "REG_SZ      " + size + "  " + text;
}

}  // namespace

int DemoDump(const char* title) {
    std::printf("%s\n", title);
    RegSnapshot state = MachineState();
    for (RegSnapshot::const_iterator it = state.begin(); it != state.end(); ++it)
        std::printf("  %-62s %s\n", it->first.c_str(), Brief(it->second).c_str());
    return 0;
}

int DemoReady() {
    HWND main = MainDialog();
    if (!main) {
        std::printf("Lumivale's dialog did not show\n");
        return 1;
    }
    // The startup check enables one of the two buttons, or shows why not.
    if (WaitFor([&] {
            return IsWindowEnabled(GetDlgItem(main, IDOK)) ||
                   IsWindowEnabled(GetDlgItem(main, 1001));
        }, 10000))
        return 0;
    HWND box = Popup(main);
    std::printf("Lumivale refused the machine: %s\n",
                box ? App::MessageText(box).c_str() : "(no message)");
    return 1;
}

int DemoPress(int id) {
    HWND main = MainDialog();
    if (!main) {
        std::printf("Lumivale's dialog did not show\n");
        return 1;
    }
    HWND button = GetDlgItem(main, id);
    if (!IsWindowEnabled(button)) {
        std::printf("Lumivale's \"%s\" button is disabled\n", WindowText(button).c_str());
        return 1;
    }
    PostMessageA(button, BM_CLICK, 0, 0);
    HWND box = Popup(main);
    if (!box) {
        std::printf("Lumivale showed no message\n");
        return 1;
    }
    std::printf("Lumivale says: %s\n", App::MessageText(box).c_str());
    return 0;
}

int DemoDismiss() {
    HWND main = MainDialog();
    HWND box = main ? Popup(main) : 0;
    if (!box) return 1;
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    return WaitFor([&] { return !IsWindow(box); }, 5000) ? 0 : 1;
}

}  // namespace e2e
