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

void AddChainLine(Notice& notice, ProductChecks& checks) { checks.ReadNextChain(&notice.logon.chain); }

void OperationNotice(LogonOperation operation, LockedOutcome outcome, const RunReport& report,
                     ProductChecks& checks, Notice* notice) {
    *notice = outcome == kChangesMade ? MessageNotice(IDS_RESTART) : RefusalNotice(checks);
    notice->refused = report.refused;  // only a refused Disable has one
    if (outcome != kChangesMade || operation != kApplyOperation) {
        AddChainLine(*notice, checks);
        return;
    }
    notice->redone = report.undone == kUndoneUnknown ? 0 : report.undone;
    // "Restart" alone would promise a Welcome Screen that does not come.
    checks.ReadNextLogon(&notice->logon);
    if (notice->logon.blockers) notice->note = IDS_STILL_NOT_SHOWN;
}
