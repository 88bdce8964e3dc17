#include "ui/Messages.h"

#include "ui/AppName.h"

void ShowStringMessage(HWND owner, int id) {
    char text[1024] = {0};
    LoadStringA(GetModuleHandleA(0), id, text, sizeof(text));
    // An OK-only box without an icon of its own gets the warning icon.
    MessageBoxA(owner, text, kAppName, MB_OK | MB_ICONEXCLAMATION);
}
