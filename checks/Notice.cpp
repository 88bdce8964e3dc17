#include "checks/Notice.h"

#include <cstring>

#include "checks/MessageIds.h"

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
