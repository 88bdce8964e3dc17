#include "ui/Messages.h"

#include "checks/Notice.h"
#include "ui/AppName.h"
#include "ui/resource.h"

namespace {

struct FlagLine {
    unsigned flag;
    int id;
};

// The lines for the blockers, in the order they are shown.
const FlagLine kReasonLines[] = {
    {kBlockedByDomain, IDS_REASON_DOMAIN},
    {kBlockedByPolicy, IDS_REASON_POLICY},
    {kBlockedByGina, IDS_REASON_GINA},
    {kBlockedByUnusableGina, IDS_REASON_GINA_NO_PATH},
    {kBlockedByLogonType, IDS_REASON_LOGON_TYPE},
};
// What of Restore is not in effect, and what Restore put in place.
const FlagLine kNotInEffectLines[] = {
    {kOffGina, IDS_UNDONE_GINA},
    {kOffChainedGina, IDS_UNDONE_CHAINED_GINA},
    {kOffLogonType, IDS_UNDONE_LOGON_TYPE},
};
const FlagLine kRedoneLines[] = {
    {kOffGina, IDS_REDONE_GINA},
    {kOffChainedGina, IDS_REDONE_CHAINED_GINA},
    {kOffLogonType, IDS_REDONE_LOGON_TYPE},
};
// The reads that were refused.
const FlagLine kUnreadLines[] = {
    {kUnreadMarker, IDS_UNREAD_MARKER},       {kUnreadGina, IDS_UNREAD_GINA},
    {kUnreadRecord, IDS_UNREAD_RECORD},       {kUnreadChainTo, IDS_UNREAD_CHAINTO},
    {kUnreadLogonType, IDS_UNREAD_LOGON_TYPE}, {kUnreadPolicy, IDS_UNREAD_POLICY},
    {kUnreadSavedGina, IDS_UNREAD_SAVED_GINA}, {kUnreadSavedChainTo, IDS_UNREAD_SAVED_CHAINTO},
};
// By ChainTrouble.
const int kChainLines[] = {0, IDS_CHAIN_MISSING, IDS_CHAIN_NO_NEXT, IDS_CHAIN_LOOPS, 0};
const int kRefusedLines[] = {0, IDS_REFUSED_MISSING, IDS_REFUSED_NO_NEXT, IDS_REFUSED_LOOPS,
                             IDS_REFUSED_DROPS};

// Appends a line of the string table (after a '\n' unless it is the first)
// with `insert` in place of its "%s", or after it when it has none; keeps the
// whole terminated within size. insert comes from the registry: a control
// character in it shows as '?', so that it can neither end the line nor
// forge another in a log that collects standard output.
int AppendLine(char* text, int length, int size, int id, const char* insert) {
    if (length + 2 >= size) return length;
    if (length > 0) text[length++] = '\n';
    char line[kNoticeTextSize];
    int count = LoadStringA(GetModuleHandleA(0), id, line, sizeof(line));
    bool inserted = false;
    for (int i = 0; i <= count && length + 1 < size; ++i) {
        bool here = i < count && line[i] == '%' && i + 1 < count && line[i + 1] == 's';
        if (here || (i == count && !inserted)) {
            for (const char* p = insert; p && *p && length + 1 < size; ++p)
                text[length++] = static_cast<unsigned char>(*p) < 0x20 ? '?' : *p;
            inserted = true;
            i += here ? 1 : 0;
        } else if (i < count) {
            text[length++] = line[i];
        }
    }
    text[length] = 0;
    return length;
}

template <unsigned count>
int AppendFlagLines(char* text, int length, int size, const FlagLine (&lines)[count],
                    unsigned flags, const char* gina) {
    for (unsigned i = 0; i < count; ++i)
        if (flags & lines[i].flag)
            length = AppendLine(text, length, size, lines[i].id,
                                lines[i].id == IDS_REASON_GINA ||
                                        lines[i].id == IDS_REASON_GINA_NO_PATH
                                    ? gina
                                    : 0);
    return length;
}

}  // namespace

void NoticeText(const Notice& notice, char* text, int size) {
    text[0] = 0;
    int length = 0;
    const ChainReport& chain = notice.chain;
    if (kChainLines[chain.trouble])
        length = AppendLine(text, length, size, kChainLines[chain.trouble], chain.text);
    if (notice.message) length = AppendLine(text, length, size, notice.message, 0);
    if (notice.refused.trouble)
        length = AppendLine(text, length, size, kRefusedLines[notice.refused.trouble],
                            notice.refused.text);
    length = AppendFlagLines(text, length, size, kRedoneLines, notice.redone, 0);
    if (notice.note) length = AppendLine(text, length, size, notice.note, 0);
    length = AppendFlagLines(text, length, size, kNotInEffectLines, notice.notInEffect, 0);
    length = AppendFlagLines(text, length, size, kReasonLines, notice.blockers, notice.gina);
    if (notice.unreadable) {
        length = AppendLine(text, length, size, IDS_UNREADABLE, 0);
        AppendFlagLines(text, length, size, kUnreadLines, notice.unreadable, 0);
    }
}

void ShowNotice(HWND owner, const Notice& notice) {
    char text[kNoticeTextSize];
    NoticeText(notice, text, sizeof(text));
    // An OK-only box without an icon of its own gets the warning icon.
    MessageBoxA(owner, text, kAppName, MB_OK | MB_ICONEXCLAMATION);
}

void ShowStringMessage(HWND owner, int id) { ShowNotice(owner, MessageNotice(id)); }
