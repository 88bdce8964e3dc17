#include "AccessorCases.h"

#include <cstring>
#include <sstream>
#include <vector>

#include "ObservedRegistry.h"
#include "registry/RegistryValue.h"

namespace {

typedef std::vector<unsigned char> Bytes;

const std::uint32_t kRegMultiSz = 7;
const std::uint32_t kRegQword = 11;

Bytes Text(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

std::string Hex(const Bytes& bytes) {
    std::ostringstream out;
    out << std::hex;
    for (std::size_t i = 0; i < bytes.size(); ++i) out << (i ? " " : "") << int(bytes[i]);
    return "[" + out.str() + "]";
}

// What one case works with: the registry under test (for setting up and
// inspecting, uncounted), the wrapper the accessor is given (counted), and a
// key of its own that does not exist yet.
class Context {
public:
    Context(const char* name, Registry& registry, const std::string& key, CaseReporter& reporter)
        : raw(registry), observed(registry), key(key), name_(name), reporter_(reporter),
          passed_(true) {}

    Registry& raw;
    ObservedRegistry observed;
    const std::string key;

    bool Passed() const { return passed_; }

    void Check(bool ok, const std::string& what) {
        if (ok) return;
        passed_ = false;
        reporter_.Failure(name_, what);
    }
    template <typename A, typename B>
    void Equal(const A& actual, const B& expected, const std::string& what) {
        if (actual == expected) return;
        std::ostringstream out;
        out << what << ": got " << actual << ", want " << expected;
        Check(false, out.str());
    }

    // Stores count bytes from data as they are, bypassing the accessor.
    void Put(const std::string& path, const char* name, std::uint32_t type, const void* data,
             std::uint32_t count) {
        RegKey handle = 0;
        if (raw.CreateKey(kHkeyLocalMachine, path.c_str(), &handle) != kErrorSuccess) {
            Check(false, "setup: cannot create " + path);
            return;
        }
        long status = raw.SetValueEx(handle, name, type,
                                     static_cast<const unsigned char*>(data), count);
        raw.CloseKey(handle);
        Check(status == kErrorSuccess, std::string("setup: cannot store ") + name);
    }
    void Put(const char* name, std::uint32_t type, const Bytes& data) {
        Put(key, name, type, data.empty() ? 0 : &data[0], static_cast<std::uint32_t>(data.size()));
    }

    bool KeyExists(const std::string& path) {
        RegKey handle = 0;
        if (raw.OpenKey(kHkeyLocalMachine, path.c_str(), &handle) != kErrorSuccess) return false;
        raw.CloseKey(handle);
        return true;
    }

    // The stored type and bytes of a value; false when it cannot be read.
    bool Get(const std::string& path, const char* name, std::uint32_t* type, Bytes* data) {
        RegKey handle = 0;
        if (raw.OpenKey(kHkeyLocalMachine, path.c_str(), &handle) != kErrorSuccess) return false;
        std::uint32_t size = 0;
        long status = raw.QueryValueEx(handle, name, type, 0, &size);
        data->assign(size + 1, 0);
        if (status == kErrorSuccess) status = raw.QueryValueEx(handle, name, type, &(*data)[0], &size);
        data->resize(size);
        raw.CloseKey(handle);
        return status == kErrorSuccess;
    }
    void ExpectStored(const std::string& path, const char* name, std::uint32_t type,
                      const Bytes& data) {
        std::uint32_t storedType = 0;
        Bytes stored;
        if (!Get(path, name, &storedType, &stored)) {
            Check(false, std::string(name) + " is not stored");
            return;
        }
        Equal(storedType, type, std::string(name) + " stored type");
        Check(stored == data, std::string(name) + " stored " + Hex(stored) + ", want " + Hex(data));
    }

private:
    const char* name_;
    CaseReporter& reporter_;
    bool passed_;
};

void RefusedTypesTouchNothing(Context& c) {
    const std::uint32_t refused[] = {kRegNone, kRegExpandSz, kRegMultiSz, kRegQword};
    const Bytes text = Text("abc");
    // Writes on a missing key: refused before the key would be created.
    for (std::uint32_t type : refused) {
        RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
        std::ostringstream what;
        what << "type " << type << ": ";
        c.Equal(value.WriteBytes("Value", type, &text[0], 4), 0, what.str() + "WriteBytes");
        c.Equal(value.ValueType(), type, what.str() + "type field after a refused write");
        c.Equal(value.WriteDword("Value", type, 1), 0, what.str() + "WriteDword");
        c.Equal(value.WriteBinaryDword("Value", type, 1), 0, what.str() + "WriteBinaryDword");
    }
    c.Check(!c.KeyExists(c.key), "a refused write created the key");
    // Reads of a value that a permitted type would read.
    c.Put("Value", kRegSz, text);
    for (std::uint32_t type : refused) {
        RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
        std::ostringstream what;
        what << "type " << type << ": ";
        unsigned char buffer[8];
        std::uint32_t count = sizeof(buffer);
        c.Equal(value.ReadBytes("Value", type, buffer, &count), 0, what.str() + "ReadBytes");
        c.Equal(value.ValueType(), type, what.str() + "type field after a refused read");
        std::uint32_t number = 0xA5A5A5A5u;
        c.Equal(value.ReadDword("Value", type, &number), 0, what.str() + "ReadDword");
        c.Equal(value.ReadBinaryDword("Value", type, &number), 0, what.str() + "ReadBinaryDword");
        c.Equal(number, 0xA5A5A5A5u, what.str() + "destination after refused reads");
        TextString kept;
        kept.Assign("kept");
        c.Equal(value.ReadToString("Value", type, kept), 0, what.str() + "ReadToString");
        c.Equal(std::string(kept.CStr()), "kept", what.str() + "text after a refused read");
    }
    c.Equal(c.observed.CallCount(), 0, "registry calls made by refused calls");
}

void WritesCreateKeyAndStoreExactly(Context& c) {
    const std::string nested = c.key + "\\Created\\Below";
    RegistryValue value(c.observed, kHkeyLocalMachine, nested.c_str());
    c.Equal(value.WriteDword("Count", kRegDword, 0x01020304u), 1, "WriteDword to a missing key");
    c.Check(c.KeyExists(nested), "the write did not create the key path");
    c.Equal(value.WriteBinaryDword("Marker", kRegBinary, 1), 1, "WriteBinaryDword");
    const Bytes text = Text("C:\\Tel");
    c.Equal(value.WriteBytes("Text", kRegSz, &text[0], static_cast<std::uint32_t>(text.size())),
            1, "WriteBytes");
    c.ExpectStored(nested, "Count", kRegDword, Bytes{4, 3, 2, 1});
    c.ExpectStored(nested, "Marker", kRegBinary, Bytes{1, 0, 0, 0});
    c.ExpectStored(nested, "Text", kRegSz, text);
    // The same accessor then addresses each value by its own name.
    std::uint32_t count = 0, marker = 0;
    c.Equal(value.ReadDword("Count", kRegDword, &count), 1, "ReadDword Count");
    c.Equal(value.ReadBinaryDword("Marker", kRegBinary, &marker), 1, "ReadBinaryDword Marker");
    c.Equal(count, 0x01020304u, "Count read back");
    c.Equal(marker, 1u, "Marker read back");
    c.Equal(value.RemoveValue("Count"), 1, "RemoveValue Count");
    c.Equal(value.ReadBinaryDword("Marker", kRegBinary, &marker), 1, "Marker after removing Count");
    c.Equal(value.ReadDword("Count", kRegDword, &count), 0, "Count after removing it");
}

// Text written without its terminator, from a buffer whose next byte is zero
// (as a zero-filled read buffer always has): stored exactly as given, although
// RegSetValueExA itself would add a terminator.
void WriteBytesStoresUnterminatedTextAsGiven(Context& c) {
    const char buffer[8] = {'a', 'b', 'c'};
    RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
    c.Equal(value.WriteBytes("Copy", kRegSz, buffer, 3), 1, "WriteBytes of 3 bytes");
    c.ExpectStored(c.key, "Copy", kRegSz, Bytes{'a', 'b', 'c'});
}

void TooLongDataReportsSizeNeeded(Context& c) {
    c.Put("Binary", kRegBinary, Bytes(10, 0x5A));
    c.Put("Text", kRegSz, Text("twenty characters..."));
    RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
    unsigned char buffer[8];
    std::uint32_t count = 4;
    c.Equal(value.ReadBytes("Binary", kRegBinary, buffer, &count), 0, "ReadBytes of 10 bytes into 4");
    c.Equal(count, 10u, "size reported for 10 bytes");
    count = sizeof(buffer);
    c.Equal(value.ReadBytes("Text", kRegSz, buffer, &count), 0, "ReadBytes of 21 bytes into 8");
    c.Equal(count, 21u, "size reported for 20 characters and NUL");
}

void ReadToStringAt355Bytes(Context& c) {
    const std::string fits(354, 'a'), tooLong(355, 'b');
    c.Put("Fits", kRegSz, Text(fits));
    c.Put("TooLong", kRegSz, Text(tooLong));
    // 355 bytes without a terminator; the byte after them is not zero, so
    // nothing adds one on the way in.
    std::string unterminated(355, 'c');
    unterminated += 'X';
    c.Put(c.key, "Unterminated", kRegSz, unterminated.data(), 355);
    RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
    TextString text;
    text.Assign("kept");
    c.Equal(value.ReadToString("Fits", kRegSz, text), 1, "ReadToString of 354 characters + NUL");
    c.Check(text.CStr() == fits && text.Length() == 354, "text of 354 characters");
    text.Assign("kept");
    c.Equal(value.ReadToString("TooLong", kRegSz, text), 0, "ReadToString of 355 characters + NUL");
    c.Equal(std::string(text.CStr()), "kept", "text after a too-long read");
    c.Equal(value.ReadToString("Unterminated", kRegSz, text), 1,
            "ReadToString of 355 unterminated bytes");
    c.Check(text.CStr() == std::string(355, 'c') && text.Length() == 355,
            "text of 355 unterminated bytes stops at the buffer");
}

void ReadBinaryDwordWidthsAndTooLong(Context& c) {
    c.Put("One", kRegBinary, Bytes{0xAB});
    c.Put("Five", kRegBinary, Bytes{1, 2, 3, 4, 5});
    RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
    std::uint32_t number = 0xFFFFFFFFu;
    c.Equal(value.ReadBinaryDword("One", kRegBinary, &number), 1, "ReadBinaryDword of 1 byte");
    c.Equal(number, 0xABu, "1-byte value with zero upper bytes");
    number = 0x12345678u;
    c.Equal(value.ReadBinaryDword("Five", kRegBinary, &number), 0, "ReadBinaryDword of 5 bytes");
    c.Equal(number, 0x12345678u, "destination after a 5-byte value");
}

void ReadBytesZeroFillsBehindShortText(Context& c) {
    c.Put("Terminated", kRegSz, Text("abc"));
    // "abc" stored without its NUL: the byte after the count is not zero.
    c.Put(c.key, "Unterminated", kRegSz, "abcX", 3);
    struct Row { const char* name; std::uint32_t stored; };
    const Row rows[] = {{"Terminated", 4}, {"Unterminated", 3}};
    RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
    for (const Row& row : rows) {
        unsigned char buffer[20];
        std::memset(buffer, 0xEE, sizeof(buffer));
        std::uint32_t count = 16;
        c.Equal(value.ReadBytes(row.name, kRegSz, buffer, &count), 1, std::string(row.name) + " read");
        c.Equal(count, row.stored, std::string(row.name) + " count");
        c.Check(std::memcmp(buffer, "abc", 3) == 0, std::string(row.name) + " text");
        bool zero = true;
        for (int i = 3; i < 16; ++i) zero = zero && buffer[i] == 0;
        c.Check(zero, std::string(row.name) + ": buffer behind the text is not zero-filled");
        bool untouched = true;
        for (int i = 16; i < 20; ++i) untouched = untouched && buffer[i] == 0xEE;
        c.Check(untouched, std::string(row.name) + ": bytes past the offered count were touched");
    }
}

void TextReadAsOtherTypes(Context& c) {
    c.Put("Empty", kRegSz, Text(""));
    c.Put("Three", kRegSz, Text("abc"));
    c.Put("Four", kRegSz, Text("abcd"));
    struct Row { const char* name; int result; std::uint32_t number; };
    const Row rows[] = {{"Empty", 1, 0u}, {"Three", 1, 0x00636261u}, {"Four", 0, 0u}};
    for (const Row& row : rows) {
        RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
        std::uint32_t number = 0;
        c.Equal(value.ReadDword(row.name, kRegDword, &number), row.result,
                std::string("ReadDword of text ") + row.name);
        if (row.result != 1) continue;
        c.Equal(number, row.number, std::string("number read from ") + row.name);
        c.Equal(value.ValueType(), kRegSz, std::string("type field after reading ") + row.name);
    }
    RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
    unsigned char buffer[8];
    std::uint32_t count = sizeof(buffer);
    c.Equal(value.ReadBytes("Three", kRegBinary, buffer, &count), 1, "text read as REG_BINARY");
    c.Equal(value.ValueType(), kRegSz, "type field after reading text as REG_BINARY");
}

void RemoveValueExistingAndMissing(Context& c) {
    c.Put("Gone", kRegDword, Bytes{1, 0, 0, 0});
    c.Put("Stays", kRegSz, Text("x"));
    RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
    std::uint32_t number = 0;
    value.ReadBinaryDword("Gone", kRegBinary, &number);  // type field now REG_DWORD
    c.Equal(value.RemoveValue("Gone"), 1, "RemoveValue of an existing value");
    c.Equal(value.ValueType(), kRegDword, "type field after a delete");
    std::uint32_t type = 0;
    Bytes data;
    c.Check(!c.Get(c.key, "Gone", &type, &data), "the removed value is still there");
    c.Check(c.Get(c.key, "Stays", &type, &data), "a delete removed another value");
    c.Equal(value.RemoveValue("Gone"), 0, "RemoveValue of a value already removed");
    c.Equal(value.RemoveValue("Never"), 0, "RemoveValue of a value never there");
}

// Reads and deletes of a missing value, in a missing key and in an existing
// one: all fail, prepare the caller's buffers as documented, create nothing.
void MissingKeyOrValue(Context& c) {
    c.Put("Other", kRegDword, Bytes{9, 0, 0, 0});
    const std::string missingKey = c.key + "\\Missing\\Key";
    const std::string keys[] = {missingKey, c.key};
    for (const std::string& key : keys) {
        const std::string where = key == missingKey ? "missing key: " : "missing value: ";
        RegistryValue value(c.observed, kHkeyLocalMachine, key.c_str());
        unsigned char buffer[8];
        std::memset(buffer, 0xEE, sizeof(buffer));
        std::uint32_t count = sizeof(buffer);
        c.Equal(value.ReadBytes("Absent", kRegSz, buffer, &count), 0, where + "ReadBytes");
        bool zero = true;
        for (unsigned char b : buffer) zero = zero && b == 0;
        c.Check(zero, where + "ReadBytes left the buffer not zero-filled");
        std::uint32_t number = 0xA5A5A5A5u;
        c.Equal(value.ReadDword("Absent", kRegDword, &number), 0, where + "ReadDword");
        c.Equal(value.ReadBinaryDword("Absent", kRegBinary, &number), 0, where + "ReadBinaryDword");
        c.Equal(number, 0xA5A5A5A5u, where + "destination");
        TextString text;
        text.Assign("kept");
        c.Equal(value.ReadToString("Absent", kRegSz, text), 0, where + "ReadToString");
        c.Equal(std::string(text.CStr()), "kept", where + "text");
        c.Equal(value.RemoveValue("Absent"), 0, where + "RemoveValue");
        std::uint32_t size = 0;
        c.Equal(static_cast<int>(value.QuerySize("Absent", &size)),
                static_cast<int>(RegistryValue::kAbsent), where + "QuerySize");
    }
    c.Check(!c.KeyExists(c.key + "\\Missing"), "a read or delete created a missing key");
    c.ExpectStored(c.key, "Other", kRegDword, Bytes{9, 0, 0, 0});
}

void ConstructAndDestroyTouchNothing(Context& c) {
    {
        RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
    }
    c.Equal(c.observed.CallCount(), 0, "registry calls made by construction and destruction");
    c.Check(!c.KeyExists(c.key), "construction created the key");
}

void QuerySizeOfValues(Context& c) {
    c.Put("Seven", kRegBinary, Bytes(7, 1));
    c.Put("Empty", kRegBinary, Bytes());
    c.Put("Text", kRegSz, Text("hello"));
    struct Row { const char* name; int result; std::uint32_t size; };
    const Row rows[] = {
        {"Seven", RegistryValue::kPresent, 7}, {"Empty", RegistryValue::kPresent, 0},
        {"Text", RegistryValue::kPresent, 6}, {"Absent", RegistryValue::kAbsent, 0}};
    RegistryValue value(c.observed, kHkeyLocalMachine, c.key.c_str());
    for (const Row& row : rows) {
        std::uint32_t size = 99;
        c.Equal(static_cast<int>(value.QuerySize(row.name, &size)), row.result,
                std::string("QuerySize ") + row.name);
        if (row.result == RegistryValue::kPresent)
            c.Equal(size, row.size, std::string("size of ") + row.name);
    }
    // A refused open or query says nothing about the value: neither present
    // nor absent.
    for (int failAt = 1; failAt <= 2; ++failAt) {
        ObservedRegistry refusing(c.raw);
        refusing.FailCall(failAt);
        RegistryValue refused(refusing, kHkeyLocalMachine, c.key.c_str());
        std::uint32_t size = 0;
        c.Equal(static_cast<int>(refused.QuerySize("Seven", &size)),
                static_cast<int>(RegistryValue::kUnknown),
                "QuerySize with call " + std::to_string(failAt) + " refused");
    }
}

// Every registry call of an operation, made to fail in turn: the operation
// then fails (unless only the closing failed) and leaves no handle open.
void EachFailingCallLeavesNoHandle(Context& c) {
    for (std::size_t i = 0; i < AccessorOperationCount(); ++i) {
        const AccessorOperation& operation = AccessorOperationAt(i);
        for (int failAt = 1;; ++failAt) {
            c.Put("Value", kRegSz, Text("abc"));
            ObservedRegistry observed(c.raw);
            observed.FailCall(failAt);
            int result;
            {
                RegistryValue value(observed, kHkeyLocalMachine, c.key.c_str());
                result = operation.run(value, "Value");
            }
            if (failAt > observed.CallCount()) {
                c.Equal(result, 1, std::string(operation.name) + " with no call failing");
                break;
            }
            std::ostringstream what;
            what << operation.name << " with call " << failAt << " failing";
            bool closeFailed = observed.Calls()[failAt - 1].operation == ObservedRegistry::kClose;
            c.Equal(result, closeFailed ? 1 : 0, what.str());
            c.Equal(observed.OpenHandles(), 0, what.str() + ": handles left open");
        }
    }
}

const AccessorOperation kOperations[] = {
    {"ReadBytes", [](RegistryValue& v, const char* name) {
         char buffer[8];
         std::uint32_t count = sizeof(buffer);
         return v.ReadBytes(name, kRegSz, buffer, &count);
     }},
    {"ReadToString", [](RegistryValue& v, const char* name) {
         TextString text;
         return v.ReadToString(name, kRegSz, text);
     }},
    {"ReadDword", [](RegistryValue& v, const char* name) {
         std::uint32_t number = 0;
         return v.ReadDword(name, kRegDword, &number);
     }},
    {"ReadBinaryDword", [](RegistryValue& v, const char* name) {
         std::uint32_t number = 0;
         return v.ReadBinaryDword(name, kRegBinary, &number);
     }},
    {"WriteBytes", [](RegistryValue& v, const char* name) {
         return v.WriteBytes(name, kRegSz, "abc", 4);
     }},
    {"WriteDword", [](RegistryValue& v, const char* name) {
         return v.WriteDword(name, kRegDword, 7);
     }},
    {"WriteBinaryDword", [](RegistryValue& v, const char* name) {
         return v.WriteBinaryDword(name, kRegBinary, 1);
     }},
    {"RemoveValue", [](RegistryValue& v, const char* name) { return v.RemoveValue(name); }},
    {"QuerySize", [](RegistryValue& v, const char* name) {
         std::uint32_t size = 0;
         return v.QuerySize(name, &size) == RegistryValue::kPresent ? 1 : 0;
     }},
};

struct Case {
    const char* name;
    void (*run)(Context&);
};

const Case kCases[] = {
    {"RefusedTypesTouchNothing", RefusedTypesTouchNothing},
    {"WritesCreateKeyAndStoreExactly", WritesCreateKeyAndStoreExactly},
    {"WriteBytesStoresUnterminatedTextAsGiven", WriteBytesStoresUnterminatedTextAsGiven},
    {"TooLongDataReportsSizeNeeded", TooLongDataReportsSizeNeeded},
    {"ReadToStringAt355Bytes", ReadToStringAt355Bytes},
    {"ReadBinaryDwordWidthsAndTooLong", ReadBinaryDwordWidthsAndTooLong},
    {"ReadBytesZeroFillsBehindShortText", ReadBytesZeroFillsBehindShortText},
    {"TextReadAsOtherTypes", TextReadAsOtherTypes},
    {"RemoveValueExistingAndMissing", RemoveValueExistingAndMissing},
    {"MissingKeyOrValue", MissingKeyOrValue},
    {"ConstructAndDestroyTouchNothing", ConstructAndDestroyTouchNothing},
    {"QuerySizeOfValues", QuerySizeOfValues},
    {"EachFailingCallLeavesNoHandle", EachFailingCallLeavesNoHandle},
};

}  // namespace

std::size_t AccessorOperationCount() { return sizeof(kOperations) / sizeof(kOperations[0]); }

const AccessorOperation& AccessorOperationAt(std::size_t index) { return kOperations[index]; }

std::size_t AccessorCaseCount() { return sizeof(kCases) / sizeof(kCases[0]); }

const char* AccessorCaseName(std::size_t index) { return kCases[index].name; }

bool RunAccessorCase(std::size_t index, Registry& registry, const std::string& scratchPath,
                     CaseReporter& reporter) {
    const Case& entry = kCases[index];
    std::ostringstream key;
    key << scratchPath << "\\case" << index;
    Context context(entry.name, registry, key.str(), reporter);
    entry.run(context);
    // No call of the accessor, failed ones included, leaves a key open.
    context.Equal(context.observed.OpenHandles(), 0, "key handles left open");
    reporter.Finished(entry.name, context.Passed());
    return context.Passed();
}

int RunAccessorCases(Registry& registry, const std::string& scratchPath, CaseReporter& reporter) {
    int failed = 0;
    for (std::size_t i = 0; i < AccessorCaseCount(); ++i)
        if (!RunAccessorCase(i, registry, scratchPath, reporter)) ++failed;
    return failed;
}
