#include "ui/Messages.h"

#include "checks/NextLogon.h"
#include "ui/AppName.h"
#include "ui/resource.h"

namespace {

// The lines for the blockers, in the order they are shown.
const struct { unsigned blocker; int id; } kReasonLines[] = {
    {kBlockedByDomain, IDS_REASON_DOMAIN},
    {kBlockedByPolicy, IDS_REASON_POLICY},
    {kBlockedByGina, IDS_REASON_GINA},
    {kBlockedByLogonType, IDS_REASON_LOGON_TYPE},
    {kBlockedUnreadable, IDS_REASON_UNREADABLE},
};

}  // namespace

void ShowStringMessage(HWND owner, int id, const NextLogon* reasons) {
    // Room for every line and a GINA name of 260 bytes.
    char text[2048] = {0};
    const int size = sizeof(text);
    HMODULE module = GetModuleHandleA(0);
    int length = LoadStringA(module, id, text, 1024);
    for (unsigned i = 0; reasons && i < sizeof(kReasonLines) / sizeof(kReasonLines[0]); ++i) {
        if (!(reasons->blockers & kReasonLines[i].blocker) || length + 2 >= size) continue;
        text[length++] = '\n';
        length += LoadStringA(module, kReasonLines[i].id, text + length, size - length);
        if (kReasonLines[i].blocker != kBlockedByGina) continue;
        for (const char* name = reasons->gina; *name && length + 1 < size; ++name)
            text[length++] = *name;
        text[length] = 0;
    }
    // An OK-only box without an icon of its own gets the warning icon.
    MessageBoxA(owner, text, kAppName, MB_OK | MB_ICONEXCLAMATION);
}
