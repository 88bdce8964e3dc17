// A modal dialog built from a template resource: keeps `this` in the window's
// user data and routes the messages a dialog class needs to virtual members.
#pragma once

#include <windows.h>

class Dialog {
public:
    Dialog(int templateId, HWND owner) : templateId_(templateId), owner_(owner), hwnd_(0) {}
    virtual ~Dialog() {}

    // Runs the dialog modally; -1 when it cannot be created.
    INT_PTR DoModal();
    HWND Handle() const { return hwnd_; }

protected:
    // Return TRUE to let the dialog manager focus the first tab stop.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(hwnd_, IDOK); }
    virtual void OnCancel() { EndDialog(hwnd_, IDCANCEL); }
    // Any other message: return true when handled, with *result the value for
    // the dialog procedure; false asks for the default dialog processing.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);

private:
    Dialog(const Dialog&);
    Dialog& operator=(const Dialog&);
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    HWND owner_;
    HWND hwnd_;
};
