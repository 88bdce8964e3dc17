// Runs inside Lumivale.exe, on its dialog thread; see probe.h.
#include <windows.h>

#include <cstdio>
#include <string>

#include "probe.h"

namespace {

std::string SystemMenu(HWND dialog) {
    std::string lines;
    HMENU menu = GetSystemMenu(dialog, FALSE);
    int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i) {
        char text[256] = {0};
        MENUITEMINFOA item;
        ZeroMemory(&item, sizeof(item));
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = sizeof(text) - 1;
        if (!GetMenuItemInfoA(menu, i, TRUE, &item)) continue;
        char line[400];
        std::snprintf(line, sizeof(line), "%x\t%s\t%x\t%s\n", item.wID,
                      (item.fType & MFT_SEPARATOR) ? "separator" : "string",
                      item.fState, text);
        lines += line;
    }
    return lines;
}

void Answer(HWND replyTo, int command, const std::string& text) {
    COPYDATASTRUCT data;
    data.dwData = command;
    data.cbData = static_cast<DWORD>(text.size());
    data.lpData = const_cast<char*>(text.data());
    DWORD_PTR ignored;
    SendMessageTimeoutA(replyTo, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeGetMessage(int code, WPARAM removal,
                                                                  LPARAM lParam) {
    static const UINT request = RegisterWindowMessageA(PROBE_REQUEST_MESSAGE);
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && removal == PM_REMOVE && message->message == request) {
        int command = LOWORD(message->wParam);
        HWND replyTo = reinterpret_cast<HWND>(message->lParam);
        switch (command) {
        case kProbeSystemMenu:
            Answer(replyTo, command, SystemMenu(message->hwnd));
            break;
        case kProbeClearFocus:
            SetFocus(0);
            Answer(replyTo, command, "ok");
            break;
        default:
            Answer(replyTo, command, "unknown command");
        }
        // The program never sees the request.
        message->message = WM_NULL;
    }
    return CallNextHookEx(0, code, removal, lParam);
}
