#include "logon/MachineState.h"

#include <cstring>

#include "logon/LogonConfig.h"

using namespace layout;

namespace {

// Appends text to a terminated buffer of size bytes, cut short where it
// does not fit.
void AppendText(char* buffer, std::size_t size, const char* text) {
    std::size_t length = strnlen(buffer, size - 1);
    while (*text && length + 1 < size) buffer[length++] = *text++;
    buffer[length] = 0;
}

ChainState Broken(ChainReport* report, ChainTrouble trouble, const char* text) {
    if (report) {
        report->trouble = trouble;
        report->text[0] = 0;
        AppendText(report->text, sizeof(report->text), text);
    }
    return kChainBroken;
}

// The GINAs a chain loads, in order, as named: texts of the reading.
struct Walk {
    const char* ginas[4];
    unsigned count;
};

// The text a GINA setting holds, or once Disable has written its copy back
// when copy is given: a copy that fits the buffer is written back, also one
// without a terminator; one too long, or none, leaves the value as it is.
// Empty where no path can be read from it; null, with the flag added to
// *unreadable, where a read was refused.
const char* TextOf(const TextValue& value, unsigned flag, const TextValue* copy, unsigned copyFlag,
                   unsigned* unreadable) {
    if (copy && copy->state != kTextAbsent && copy->state != kTextTooLong) {
        if (copy->state == kTextUnknown) {
            *unreadable |= copyFlag;
            return 0;
        }
        return copy->state == kTextPath ? copy->text : "";
    }
    if (value.state == kTextUnknown) {
        *unreadable |= flag;
        return 0;
    }
    return value.state == kTextPath ? value.text : "";
}

// Follows the chain Winlogon loads: its GinaDLL (none: the system default),
// after Telvaro's GINA the one it recorded, after the Wayfold GINA its
// ChainTo; each of the two settings as it is, or as Disable writes it back.
ChainState FollowChain(LogonConfig& logon, const MachineState& m, bool restoredGina,
                       bool restoredChainTo, const char* systemDirectory, ChainReport* report,
                       Walk* walk, unsigned* unreadable) {
    walk->count = 0;
    const char* text = TextOf(m.gina, kUnreadGina, restoredGina ? &m.savedGina : 0,
                              kUnreadSavedGina, unreadable);
    if (!text) return kChainUnknown;
    if (!text[0]) return kChainLoads;
    bool product = false, chained = false;
    char chain[sizeof(report->text)] = {0};  // the GINAs met, "A -> B"; 3 fit
    for (;;) {
        if (walk->count < sizeof(walk->ginas) / sizeof(walk->ginas[0]))
            walk->ginas[walk->count++] = text;
        if (chain[0]) AppendText(chain, sizeof(chain), " -> ");
        AppendText(chain, sizeof(chain), text);
        if (!logon.FindGina(text, systemDirectory))
            return Broken(report, kChainMissingGina, text);
        bool isProduct = logon.Names(text, kProductGinaName);
        if (!isProduct && !logon.Names(text, kChainedGinaName)) return kChainLoads;
        if (isProduct ? product : chained) return Broken(report, kChainLoops, chain);
        (isProduct ? product : chained) = true;
        const char* gina = text;
        // Disable leaves Telvaro's record as it is.
        text = isProduct ? TextOf(m.record, kUnreadRecord, 0, 0, unreadable)
                         : TextOf(m.chainTo, kUnreadChainTo, restoredChainTo ? &m.savedChainTo : 0,
                                  kUnreadSavedChainTo, unreadable);
        if (!text) return kChainUnknown;
        if (!text[0]) return Broken(report, kChainNoNextGina, gina);
    }
}

LogonTypeState TypeOf(LogonConfig& logon, const char* key) {
    bool present = false;
    int welcome = logon.SelectsWelcomeScreen(key, &present);
    if (welcome < 0) return kTypeUnknown;
    if (!present) return kTypeAbsent;
    return welcome ? kTypeWelcome : kTypeClassic;
}

// What keeps the Welcome Screen off, and what of Restore is not in effect.
void Judge(LogonConfig& logon, MachineState* m) {
    unsigned& unreadable = m->unreadable;
    if (m->marker == RegistryValue::kUnknown) unreadable |= kUnreadMarker;

    m->blockers = 0;
    if (m->domain == kDomainMember) m->blockers |= kBlockedByDomain;
    // Any GinaDLL Winlogon can read names the GINA it loads instead of its
    // own, even one naming msgina.dll; a longer one it ignores.
    if (m->gina.state == kTextPath) m->blockers |= kBlockedByGina;
    if (m->gina.state == kTextUnterminated) m->blockers |= kBlockedByUnusableGina;
    if (m->gina.state == kTextUnknown) unreadable |= kUnreadGina;
    // The policy's LogonType, when there is one, wins over Winlogon's.
    LogonTypeState type = m->policyType == kTypeAbsent ? m->logonType : m->policyType;
    if (m->policyType == kTypeUnknown) unreadable |= kUnreadPolicy;
    if (m->policyType == kTypeAbsent && m->logonType == kTypeUnknown)
        unreadable |= kUnreadLogonType;
    if (type == kTypeAbsent || type == kTypeClassic)
        m->blockers |= m->policyType == kTypeAbsent ? kBlockedByLogonType : kBlockedByPolicy;

    // Restore takes Telvaro's GINA out of the chain, first or behind the
    // Wayfold GINA, and selects the Welcome Screen in Winlogon's LogonType;
    // the policy's it leaves alone.
    m->notInEffect = 0;
    if (m->gina.state == kTextPath) {
        if (logon.Names(m->gina.text, kProductGinaName)) {
            m->notInEffect |= kOffGina;
        } else if (logon.Names(m->gina.text, kChainedGinaName)) {
            if (m->chainTo.state == kTextPath && logon.Names(m->chainTo.text, kProductGinaName))
                m->notInEffect |= kOffChainedGina;
            // Whether Restore is in effect matters only with the marker there.
            if (m->chainTo.state == kTextUnknown && m->marker == RegistryValue::kPresent)
                unreadable |= kUnreadChainTo;
        }
    }
    if (m->policyType == kTypeAbsent && (type == kTypeAbsent || type == kTypeClassic))
        m->notInEffect |= kOffLogonType;
}

}  // namespace

void ReadMachine(LogonConfig& logon, System& system, MachineState* m) {
    m->marker = logon.MarkerPresence();
    logon.ReadTextValue(kWinlogonKey, kGinaDll, &m->gina);
    logon.ReadTextValue(kProductKey, kGinaDll, &m->record);
    logon.ReadTextValue(kChainedGinaKey, kChainTo, &m->chainTo);
    logon.ReadTextValue(kProductKey, kBackupGinaDll, &m->savedGina);
    logon.ReadTextValue(kProductKey, kBackupChainedGinaChainTo, &m->savedChainTo);
    m->policyType = TypeOf(logon, kPolicyKey);
    m->logonType = TypeOf(logon, kWinlogonKey);
    m->domain = GetDomainMembership(system);

    m->unreadable = 0;
    m->chain.trouble = kChainFine;
    m->chain.text[0] = 0;
    char systemDirectory[kTextBufferSize];
    logon.SystemDirectoryText(systemDirectory);
    Walk walk;
    m->chainState =
        FollowChain(logon, *m, false, false, systemDirectory, &m->chain, &walk, &m->unreadable);
    Judge(logon, m);
}

// A GINA that cannot be loaded stops every logon, so nothing is written back
// that names a GINA file that is not there or turns a chain that loads into
// one that does not: neither once all is back, nor when only the Wayfold
// GINA's ChainTo, which goes back first, is. A machine whose chain is broken
// already is no worse for getting its own settings back. And no GINA that
// loads now leaves the chain unsaid: another program may have put it in
// after Restore, and the backup does not know it.
bool DisableKeepsChain(LogonConfig& logon, const MachineState& m, ChainReport* why,
                       unsigned* unreadable) {
    char systemDirectory[kTextBufferSize];
    logon.SystemDirectoryText(systemDirectory);
    const TextValue* const copies[] = {&m.savedGina, &m.savedChainTo};
    const unsigned flags[] = {kUnreadSavedGina, kUnreadSavedChainTo};
    for (std::size_t i = 0; i < 2; ++i) {
        if (copies[i]->state == kTextUnknown) {
            *unreadable |= flags[i];
            return false;
        }
        if (copies[i]->state == kTextPath && copies[i]->text[0] &&
            !logon.FindGina(copies[i]->text, systemDirectory)) {
            Broken(why, kChainMissingGina, copies[i]->text);
            return false;
        }
    }
    Walk now, after, half;
    ChainState state = FollowChain(logon, m, false, false, systemDirectory, 0, &now, unreadable);
    if (state == kChainBroken) return true;
    if (state == kChainUnknown) return false;
    if (FollowChain(logon, m, true, true, systemDirectory, why, &after, unreadable) != kChainLoads ||
        FollowChain(logon, m, false, true, systemDirectory, why, &half, unreadable) != kChainLoads)
        return false;
    for (unsigned i = 0; i < now.count; ++i) {
        const char* gina = now.ginas[i];
        if (logon.Names(gina, kProductGinaName) || logon.IsSystemGina(gina, systemDirectory))
            continue;
        bool kept = false;
        for (unsigned k = 0; k < after.count && !kept; ++k)
            kept = logon.SameText(gina, after.ginas[k]) ||
                   (logon.Names(gina, kChainedGinaName) &&
                    logon.Names(after.ginas[k], kChainedGinaName) &&
                    !logon.Names(after.ginas[k], kProductGinaName));
        if (!kept) {
            Broken(why, kChainDropsGina, gina);
            return false;
        }
    }
    return true;
}

namespace {
const unsigned kDecidesRestore = kUnreadGina | kUnreadChainTo | kUnreadPolicy | kUnreadLogonType;
}

Due RestoreDue(const MachineState& m) {
    if (m.marker == RegistryValue::kUnknown) return kDueUnknown;
    if (m.marker == RegistryValue::kAbsent) return kDueRestore;
    if (m.unreadable & kDecidesRestore) return kDueUnknown;
    return m.notInEffect ? kDueRepair : kDueNothing;
}

Due DisableDue(const MachineState& m) {
    if (m.marker == RegistryValue::kUnknown) return kDueUnknown;
    return m.marker == RegistryValue::kPresent ? kDueDisable : kDueNothing;
}

bool OffersDisable(const MachineState& m) { return m.marker == RegistryValue::kPresent; }

bool OffersRestore(const MachineState& m) {
    return m.marker != RegistryValue::kPresent || RestoreDue(m) == kDueRepair;
}
