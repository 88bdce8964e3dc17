#include "platform/Dialog.h"

namespace {

// Where the template puts the dialog, in dialog units: the x and y fields
// of a DLGTEMPLATEEX or of a classic DLGTEMPLATE.
bool TemplateAtOrigin(int templateId) {
    HMODULE module = GetModuleHandleA(0);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5));
    HGLOBAL loaded = found ? LoadResource(module, found) : 0;
    const WORD* words = loaded ? static_cast<const WORD*>(LockResource(loaded)) : 0;
    if (!words) return false;
    bool extended = words[0] == 1 && words[1] == 0xFFFF;
    const short* position = reinterpret_cast<const short*>(words + (extended ? 9 : 5));
    return position[0] == 0 && position[1] == 0;
}

// Centres a dialog the way users expect a modal dialog to open: over its
// owner, or in the work area of the primary monitor when it has none; and
// never sticking out of the work area of the monitor it lands on.
void Centre(HWND dialog, HWND owner) {
    RECT window;
    MONITORINFO monitor;
    monitor.cbSize = sizeof(monitor);
    POINT origin = {0, 0};  // always on the primary monitor
    HMONITOR screen = owner ? MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST)
                            : MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY);
    if (!GetMonitorInfoA(screen, &monitor) || !GetWindowRect(dialog, &window)) return;
    RECT area = monitor.rcWork, over = area;
    if (owner) GetWindowRect(owner, &over);
    int width = window.right - window.left, height = window.bottom - window.top;
    int x = over.left + (over.right - over.left - width) / 2;
    int y = over.top + (over.bottom - over.top - height) / 2;
    if (x + width > area.right) x = area.right - width;
    if (y + height > area.bottom) y = area.bottom - height;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    SetWindowPos(dialog, 0, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

INT_PTR Dialog::DoModal() {
    return DialogBoxParamA(GetModuleHandleA(0), MAKEINTRESOURCEA(templateId_), owner_,
                           &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
        RECT before, after;
        GetWindowRect(hwnd, &before);
        BOOL focus = self->OnInitDialog();
        // A template without a place of its own is centred, unless the
        // dialog moved itself while it initialised.
        GetWindowRect(hwnd, &after);
        if (before.left == after.left && before.top == after.top &&
            !(GetWindowLongA(hwnd, GWL_STYLE) & DS_CENTER) && TemplateAtOrigin(self->templateId_))
            Centre(hwnd, self->owner_);
        return focus;
    }
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self) return FALSE;  // messages sent before WM_INITDIALOG

    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            self->OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            self->OnCancel();
            return TRUE;
        }
    }
    INT_PTR result = 0;
    if (self->OnMessage(message, wParam, lParam, &result)) {
        // Messages whose result is not the procedure's return value.
        if (message != WM_QUERYDRAGICON) SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
        return message == WM_QUERYDRAGICON ? result : TRUE;
    }
    return FALSE;
}
