#include "checks/Notice.h"

#include <cstring>

#include "checks/MessageIds.h"

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
int AppendLine(System& system, char* text, int length, int size, int id, const char* insert) {
    if (length + 2 >= size) return length;
    if (length > 0) text[length++] = '\n';
    char line[kNoticeTextSize];
    int count = system.LoadText(id, line, sizeof(line));
    bool inserted = false;
    for (int i = 0; i <= count && length + 1 < size; ++i) {
        bool here = i < count && line[i] == '%' && i + 1 < count && line[i + 1] == 's';
        if (here || (i == count && !inserted)) {
            for (const char* p = insert; p && *p && length + 1 < size; ++p)
                text[length++] = ShownByte(*p);
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
int AppendFlagLines(System& system, char* text, int length, int size,
                    const FlagLine (&lines)[count], unsigned flags, const char* gina) {
    for (unsigned i = 0; i < count; ++i)
        if (flags & lines[i].flag)
            length = AppendLine(system, text, length, size, lines[i].id,
                                lines[i].id == IDS_REASON_GINA ||
                                        lines[i].id == IDS_REASON_GINA_NO_PATH
                                    ? gina
                                    : 0);
    return length;
}

}  // namespace

void NoticeText(System& system, const Notice& notice, char* text, int size) {
    text[0] = 0;
    int length = 0;
    const ChainReport& chain = notice.chain;
    if (kChainLines[chain.trouble])
        length = AppendLine(system, text, length, size, kChainLines[chain.trouble], chain.text);
    if (notice.message) length = AppendLine(system, text, length, size, notice.message, 0);
    if (notice.refused.trouble)
        length = AppendLine(system, text, length, size, kRefusedLines[notice.refused.trouble],
                            notice.refused.text);
    length = AppendFlagLines(system, text, length, size, kRedoneLines, notice.redone, 0);
    if (notice.note) length = AppendLine(system, text, length, size, notice.note, 0);
    length = AppendFlagLines(system, text, length, size, kNotInEffectLines, notice.notInEffect, 0);
    length =
        AppendFlagLines(system, text, length, size, kReasonLines, notice.blockers, notice.gina);
    if (notice.unreadable) {
        length = AppendLine(system, text, length, size, IDS_UNREADABLE, 0);
        AppendFlagLines(system, text, length, size, kUnreadLines, notice.unreadable, 0);
    }
}

Notice MessageNotice(int message) {
    Notice notice;
    std::memset(&notice, 0, sizeof(notice));
    notice.message = message;
    return notice;
}

Notice RefusalNotice(ProductChecks& checks) {
    Notice notice = MessageNotice(IDS_ERRORS);
    // A user who may not change the logon settings needs an administrator,
    // not the product's support.
    if (!checks.RunsAsAdministrator()) notice.note = IDS_NEEDS_ADMINISTRATOR;
    return notice;
}

void DescribeMachine(const MachineState& state, bool blockers, Notice* notice) {
    if (state.chainState == kChainBroken) notice->chain = state.chain;
    notice->unreadable |= state.unreadable;
    if (!blockers) return;
    notice->blockers = state.blockers;
    std::memcpy(notice->gina, state.gina.text, sizeof(notice->gina));
}

void OperationNotice(LogonOperation operation, LockedOutcome outcome, const RunReport& report,
                     const MachineState& now, ProductChecks& checks, Notice* notice) {
    bool restore = operation == kApplyOperation;
    if (outcome == kChangesMade)
        *notice = MessageNotice(IDS_RESTART);
    else if (outcome == kNothingDue)
        *notice = MessageNotice(restore ? IDS_ALREADY_RESTORED : IDS_NOT_RESTORED_NOTHING_TO_DO);
    else
        *notice = RefusalNotice(checks);
    notice->refused = report.refused;  // only a refused Disable has one
    notice->unreadable = report.unreadable;
    notice->redone = outcome == kChangesMade ? report.redone : 0;
    // "Restart" alone would promise a Welcome Screen that does not come.
    bool blocked = restore && (outcome == kChangesMade || outcome == kNothingDue) && now.blockers;
    if (blocked) notice->note = IDS_STILL_NOT_SHOWN;
    DescribeMachine(now, blocked, notice);
}
