#include "checks/Notice.h"

#include "ui/resource.h"

Notice MessageNotice(int message) {
    Notice notice = {message, 0, {0, {0}}};
    return notice;
}

Notice RefusalNotice(ProductChecks& checks) {
    Notice notice = MessageNotice(IDS_ERRORS);
    // A user who may not change the logon settings needs an administrator,
    // not the product's support.
    if (!checks.RunsAsAdministrator()) notice.note = IDS_NEEDS_ADMINISTRATOR;
    return notice;
}

Notice OperationNotice(LogonOperation operation, LockedOutcome outcome, ProductChecks& checks) {
    if (outcome != kChangesMade) return RefusalNotice(checks);
    Notice notice = MessageNotice(IDS_RESTART);
    if (operation == kApplyOperation) {
        // "Restart" alone would promise a Welcome Screen that does not come.
        checks.ReadNextLogon(&notice.logon);
        if (notice.logon.blockers) notice.note = IDS_STILL_NOT_SHOWN;
    }
    return notice;
}
