#include "platform/Dialog.h"

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
        return self->OnInitDialog();
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
