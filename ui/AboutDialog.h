// The About box: the project's name and version, closed by OK, Enter, Escape
// or its close box.
#pragma once

#include "platform/Dialog.h"
#include "ui/resource.h"

class AboutDialog : public Dialog {
public:
    explicit AboutDialog(HWND owner) : Dialog(IDD_ABOUTBOX, owner) {}
};
