#include "ui/Messages.h"

#include "checks/Notice.h"
#include "platform/Win32System.h"
#include "ui/AppName.h"
#include "ui/resource.h"

void ShowNotice(HWND owner, const Notice& notice) {
    char text[kNoticeTextSize];
    Win32System system;
    NoticeText(system, notice, text, sizeof(text));
    // An OK-only box without an icon of its own gets the warning icon.
    MessageBoxA(owner, text, kAppName, MB_OK | MB_ICONEXCLAMATION);
}

void ShowStringMessage(HWND owner, int id) { ShowNotice(owner, MessageNotice(id)); }
