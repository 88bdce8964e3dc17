#include "ui/Messages.h"

#include "checks/Notice.h"
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

// Appends a line of the string table (after a '\n' unless it is the first)
// and, when given, a text after it; keeps the whole terminated within size.
int AppendLine(char* text, int length, int size, int id, const char* after) {
    if (length + 2 >= size) return length;
    if (length > 0) text[length++] = '\n';
    length += LoadStringA(GetModuleHandleA(0), id, text + length, size - length);
    for (; after && *after && length + 1 < size; ++after) text[length++] = *after;
    text[length] = 0;
    return length;
}

}  // namespace

void NoticeText(const Notice& notice, char* text, int size) {
    text[0] = 0;
    int length = 0;
    if (notice.message) length = AppendLine(text, length, size, notice.message, 0);
    if (notice.note) length = AppendLine(text, length, size, notice.note, 0);
    for (unsigned i = 0; i < sizeof(kReasonLines) / sizeof(kReasonLines[0]); ++i) {
        if (!(notice.logon.blockers & kReasonLines[i].blocker)) continue;
        bool gina = kReasonLines[i].blocker == kBlockedByGina;
        length = AppendLine(text, length, size, kReasonLines[i].id, gina ? notice.logon.gina : 0);
    }
}

void ShowNotice(HWND owner, const Notice& notice) {
    char text[kNoticeTextSize];
    NoticeText(notice, text, sizeof(text));
    // An OK-only box without an icon of its own gets the warning icon.
    MessageBoxA(owner, text, kAppName, MB_OK | MB_ICONEXCLAMATION);
}

void ShowStringMessage(HWND owner, int id) { ShowNotice(owner, MessageNotice(id)); }
