#include "checks/RunEvent.h"

#include <cstring>
#include <new>

#include "checks/MessageIds.h"
#include "checks/ProductChecks.h"

using namespace layout;

namespace {

// The label of each of layout::kRecordedValues, in its order.
const int kValueLabels[] = {IDS_VALUE_GINA,       IDS_VALUE_CHAINTO,  IDS_VALUE_CHAINED_CHAINTO,
                            IDS_VALUE_LOGON_TYPE, IDS_VALUE_SESSIONS, IDS_VALUE_SESSIONS_POLICY,
                            IDS_VALUE_MARKER};
static_assert(sizeof(kValueLabels) / sizeof(kValueLabels[0]) == kRecordedValueCount,
              "a label for every recorded value");
// The message table's messages show %3 to %9.
static_assert(kEventStringCount == 9, "the messages' insertion strings");

// A text built in a buffer of its own, cut short where it does not fit and
// always terminated.
struct Builder {
    char* text;
    unsigned size;
    unsigned length;

    Builder(char* buffer, unsigned bufferSize) : text(buffer), size(bufferSize), length(0) {
        text[0] = 0;
    }
    void Add(char c) {
        if (length + 1 < size) text[length++] = c;
        text[length] = 0;
    }
    void Add(const char* s) {
        while (*s) Add(*s++);
    }
    void Number(std::uint32_t n) {
        char digits[10];
        int count = 0;
        do digits[count++] = static_cast<char>('0' + n % 10);
        while (n /= 10);
        while (count) Add(digits[--count]);
    }
    void String(System& system, int id) {
        char line[128] = {0};
        if (system.LoadText(id, line, sizeof(line)) > 0) Add(line);
    }
};

bool Same(const RecordedValue& a, const RecordedValue& b) {
    if (a.presence != b.presence) return false;
    if (a.presence != RegistryValue::kPresent) return true;
    std::uint32_t read = a.size < sizeof(a.data) ? a.size : sizeof(a.data);
    return a.type == b.type && a.size == b.size && std::memcmp(a.data, b.data, read) == 0;
}

// A text in quotes, as the notices show texts; a REG_DWORD of 4 bytes as
// its number; anything else (the marker, for one) by its type and size.
void AddValue(System& system, Builder& out, const RecordedValue& value) {
    if (value.presence != RegistryValue::kPresent) {
        out.String(system, value.presence == RegistryValue::kAbsent ? IDS_VALUE_NONE
                                                                    : IDS_VALUE_UNREADABLE);
        return;
    }
    bool read = value.size <= sizeof(value.data);
    if (read && (value.type == kRegSz || value.type == kRegExpandSz)) {
        out.Add('"');
        for (std::uint32_t i = 0; i < value.size && value.data[i]; ++i)
            out.Add(ShownByte(static_cast<char>(value.data[i])));
        out.Add('"');
    } else if (read && value.type == kRegDword && value.size == kDwordSize) {
        out.Number(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                   (static_cast<std::uint32_t>(value.data[3]) << 24));
    } else {
        out.Add("type ");
        out.Number(value.type);
        out.Add(", ");
        out.Number(value.size);
        out.Add(" bytes");
    }
}

const unsigned kValueLineSize = 720;

// The insertion strings, built on the heap: together they would pass a page.
struct EventStrings {
    char plain[kNoticeTextSize];
    char how[128];
    char notice[2 * kNoticeTextSize];
    char values[kRecordedValueCount][kValueLineSize];
};

// Each line begins with CR LF, as Event Viewer breaks lines, so that a value
// left unchanged leaves no empty line behind.
void BuildStrings(System& system, RunSource source, LogonOperation operation,
                  const RunRecord* record, const Notice& notice, EventStrings* s) {
    Builder how(s->how, sizeof(s->how));
    bool restore = operation == kApplyOperation;
    how.String(system, source == kRunFromDialog
                           ? (restore ? IDS_RAN_RESTORE_BUTTON : IDS_RAN_DISABLE_BUTTON)
                           : (restore ? IDS_RAN_RESTORE_SWITCH : IDS_RAN_DISABLE_SWITCH));
    // The lines as on the standard output, separated by CR LF.
    NoticeText(system, notice, s->plain, sizeof(s->plain));
    Builder text(s->notice, sizeof(s->notice));
    for (const char* p = s->plain; *p; ++p) {
        if (*p == '\n') text.Add('\r');
        text.Add(*p);
    }
    bool changed = false;
    for (unsigned i = 0; i < kRecordedValueCount; ++i) {
        Builder line(s->values[i], kValueLineSize);  // empty unless the value changed
        if (!record || !record->taken || Same(record->before[i], record->after[i])) continue;
        changed = true;
        line.Add("\r\n");
        line.String(system, kValueLabels[i]);
        line.Add(": ");
        AddValue(system, line, record->before[i]);
        line.Add(" -> ");
        AddValue(system, line, record->after[i]);
    }
    // Without a record (memory was short) nothing can be told of the values.
    if (record && !changed) {
        Builder none(s->values[0], kValueLineSize);
        none.Add("\r\n");
        none.String(system, IDS_VALUE_NONE);
    }
}

__attribute__((noinline)) void WriteRunEvent(System& system, RunEvent event, RunSource source,
                                             LogonOperation operation, const RunReport& report,
                                             const Notice& notice) {
    EventStrings* s = new (std::nothrow) EventStrings;
    if (!s) return;
    BuildStrings(system, source, operation, report.record, notice, s);
    const char* strings[kEventStringCount] = {s->how, s->notice};
    for (unsigned i = 0; i < kRecordedValueCount; ++i) strings[2 + i] = s->values[i];
    system.WriteEvent(kEventSource, static_cast<std::uint16_t>(event.type), event.id, strings,
                      static_cast<std::uint16_t>(kEventStringCount));
    delete s;
}

// Whether an open key holds a value of exactly this type and data.
bool Holds(Registry& registry, RegKey key, const char* name, std::uint32_t type, const void* data,
           std::uint32_t count) {
    unsigned char stored[kTextBufferSize];
    std::uint32_t storedType = kRegNone, size = sizeof(stored);
    return registry.QueryValueEx(key, name, &storedType, stored, &size) == kErrorSuccess &&
           storedType == type && size == count && std::memcmp(stored, data, count) == 0;
}

}  // namespace

RunEvent EventOf(LogonOperation operation, LockedOutcome outcome, const RunReport& report,
                 const Notice& notice) {
    RunEvent event = {kNoEvent, kEventInformation};
    if (outcome == kLockUnavailable) {
        event.id = kEventLockTaken;
        event.type = kEventWarning;
    } else if (outcome == kChangeRefused || (outcome == kNothingDue && notice.unreadable)) {
        // Nothing to do on a reading refused in part is no answer either.
        event.id = kEventRefused;
        event.type = kEventError;
    } else if (outcome == kChangesMade) {
        event.id = operation == kRevertOperation ? kEventDisabled
                   : report.redone               ? kEventRepaired
                                                 : kEventRestored;
        if (notice.chain.trouble != kChainFine)
            event.type = kEventError;
        else if (notice.blockers || notice.unreadable)
            event.type = kEventWarning;
    }
    return event;
}

void RegisterSource(Registry& registry, System& system) {
    char path[kTextBufferSize];
    std::uint32_t length = system.ProgramPath(path, sizeof(path));
    if (!length) return;
    const unsigned char types[kDwordSize] = {kEventTypesSupported, 0, 0, 0};
    const struct {
        const char* name;
        std::uint32_t type;
        const void* data;
        std::uint32_t count;
    } values[] = {{kEventMessageFile, kRegExpandSz, path, length + 1},
                  {kTypesSupported, kRegDword, types, kDwordSize}};
    RegKey key = 0;
    bool current = registry.OpenKey(kHkeyLocalMachine, kEventSourceKey, &key) == kErrorSuccess;
    for (unsigned i = 0; i < 2 && current; ++i)
        current =
            Holds(registry, key, values[i].name, values[i].type, values[i].data, values[i].count);
    if (key) registry.CloseKey(key);
    if (current || registry.CreateKey(kHkeyLocalMachine, kEventSourceKey, &key) != kErrorSuccess)
        return;
    for (unsigned i = 0; i < 2; ++i)
        registry.SetValueEx(key, values[i].name, values[i].type,
                            static_cast<const unsigned char*>(values[i].data), values[i].count);
    registry.CloseKey(key);
}

void ReportRun(Registry& registry, System& system, RunSource source, LogonOperation operation,
               LockedOutcome outcome, const RunReport& report, const Notice& notice) {
    RunEvent event = EventOf(operation, outcome, report, notice);
    if (event.id == kNoEvent) return;
    RegisterSource(registry, system);
    WriteRunEvent(system, event, source, operation, report, notice);
}

void ProductChecks::ReportRun(RunSource source, LogonOperation operation, LockedOutcome outcome,
                              const RunReport& report, const Notice& notice) {
    ::ReportRun(registry_, system_, source, operation, outcome, report, notice);
}
