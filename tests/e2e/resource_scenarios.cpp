// The executable's resources, read from the file as data: dialog templates,
// string table, icon and version record, byte for byte as Windows reads them.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "harness.h"

using namespace e2e;

namespace {

// The executable mapped as data; nothing of it runs.
class Image {
public:
    Image() : module_(LoadLibraryExA(Where().app.c_str(), 0, LOAD_LIBRARY_AS_DATAFILE)) {
        REQUIRE(module_ != 0);
    }
    ~Image() { FreeLibrary(module_); }
    HMODULE Module() const { return module_; }
    // The bytes of one resource; REQUIREs that it exists.
    std::string Bytes(LPCSTR type, int id, WORD language = 0) const {
        HRSRC found = language ? FindResourceExA(module_, type, MAKEINTRESOURCEA(id), language)
                               : FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (!found) {
            Fail(__FILE__, __LINE__, "resource " + std::to_string(id) + " missing");
            throw Abort();
        }
        const char* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
        return std::string(data, SizeofResource(module_, found));
    }
    std::vector<int> Ids(LPCSTR type) const {
        std::vector<int> ids;
        EnumResourceNamesA(module_, type, &AddId, reinterpret_cast<LONG_PTR>(&ids));
        return ids;
    }

private:
    static BOOL CALLBACK AddId(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
        reinterpret_cast<std::vector<int>*>(param)->push_back(
            IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<ULONG_PTR>(name)) : -1);
        return TRUE;
    }
    HMODULE module_;
};

// Little-endian reader over a copy of resource bytes; `ok` turns false on overrun.
struct Reader {
    explicit Reader(const std::string& bytes) : data(bytes), at(0), ok(true) {}
    unsigned Take(size_t size) {
        if (at + size > data.size()) {
            ok = false;
            return 0;
        }
        unsigned value = 0;
        for (size_t i = 0; i < size; ++i)
            value |= static_cast<unsigned>(static_cast<unsigned char>(data[at + i])) << (8 * i);
        at += size;
        return value;
    }
    unsigned Word() { return Take(2); }
    unsigned Dword() { return Take(4); }
    int Short() { return static_cast<short>(Take(2)); }
    // A NUL-terminated UTF-16 text, in characters below 0x80 as the
    // templates use; others show as '?'.
    std::string Text() {
        std::string text;
        for (unsigned c = Word(); ok && c != 0; c = Word()) text += c < 0x80 ? char(c) : '?';
        return text;
    }
    // A name or ordinal field: "" for none, "#n" for an ordinal.
    std::string NameOrOrdinal() {
        unsigned first = Word();
        if (first == 0) return "";
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        at -= 2;
        return Text();
    }
    void AlignDword() { at = (at + 3) & ~size_t(3); }

    std::string data;
    size_t at;
    bool ok;
};

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

// A dialog template in one line per part, so that a difference shows plainly.
struct Dialog {
    std::string header;
    std::string font;
    unsigned weight;
    std::vector<std::string> items;
};

// The predefined classes are written as ordinals, as Windows' resource
// compiler writes them; a class written as a name shows quoted.
std::string ClassName(const std::string& field) {
    if (field == "#128") return "Button";
    if (field == "#130") return "Static";
    return "\"" + field + "\"";
}

const char kButton[] = "#128";
const char kStatic[] = "#130";

std::string Item(unsigned id, const std::string& cls, const std::string& title, int x, int y,
                 int cx, int cy, unsigned style, unsigned exStyle = 0, unsigned helpId = 0,
                 unsigned extra = 0) {
    char text[300];
    std::snprintf(text, sizeof(text), "id=%s class=%s title=\"%s\" at %d,%d size %dx%d style=%s "
                  "exstyle=%s help=%u extra=%u",
                  Hex(id).c_str(), ClassName(cls).c_str(), title.c_str(), x, y, cx, cy,
                  Hex(style).c_str(), Hex(exStyle).c_str(), helpId, extra);
    return text;
}

std::string Header(bool extended, unsigned style, unsigned exStyle, int x, int y, int cx, int cy,
                   const std::string& menu, const std::string& cls, const std::string& caption,
                   unsigned helpId = 0) {
    char text[300];
    std::snprintf(text, sizeof(text), "%s style=%s exstyle=%s help=%u at %d,%d size %dx%d "
                  "menu=\"%s\" class=\"%s\" caption=\"%s\"",
                  extended ? "DIALOGEX" : "DIALOG", Hex(style).c_str(), Hex(exStyle).c_str(),
                  helpId, x, y, cx, cy, menu.c_str(), cls.c_str(), caption.c_str());
    return text;
}

Dialog ParseDialog(const std::string& bytes) {
    Reader r(bytes);
    Dialog dialog;
    bool extended = r.Word() == 1 && r.Word() == 0xFFFF;
    unsigned helpId = 0, exStyle, style;
    if (extended) {
        helpId = r.Dword();
        exStyle = r.Dword();
        style = r.Dword();
    } else {
        r.at = 0;
        style = r.Dword();
        exStyle = r.Dword();
    }
    unsigned count = r.Word();
    int x = r.Short(), y = r.Short(), cx = r.Short(), cy = r.Short();
    std::string menu = r.NameOrOrdinal();
    std::string cls = r.NameOrOrdinal();
    std::string caption = r.Text();
    dialog.header = Header(extended, style, exStyle, x, y, cx, cy, menu, cls, caption, helpId);
    dialog.weight = 0;
    if (style & DS_SETFONT) {
        unsigned points = r.Word();
        unsigned italic = 0, charset = 0;
        if (extended) {
            dialog.weight = r.Word();
            italic = r.Take(1);
            charset = r.Take(1);
        }
        std::string face = r.Text();
        char text[200];
        std::snprintf(text, sizeof(text), "%u pt \"%s\" italic=%u charset=%u", points,
                      face.c_str(), italic, charset);
        dialog.font = text;
    }
    for (unsigned i = 0; i < count && r.ok; ++i) {
        r.AlignDword();
        unsigned itemHelp = 0, itemEx, itemStyle, id;
        if (extended) {
            itemHelp = r.Dword();
            itemEx = r.Dword();
            itemStyle = r.Dword();
        } else {
            itemStyle = r.Dword();
            itemEx = r.Dword();
        }
        int ix = r.Short(), iy = r.Short(), icx = r.Short(), icy = r.Short();
        id = extended ? r.Dword() : r.Word();
        std::string itemClass = r.NameOrOrdinal();
        std::string title = r.NameOrOrdinal();
        unsigned extra = r.Word();
        r.at += extra;
        dialog.items.push_back(
            Item(id, itemClass, title, ix, iy, icx, icy, itemStyle, itemEx, itemHelp, extra));
    }
    REQUIRE(r.ok);
    return dialog;
}

void CheckItems(const Dialog& dialog, const std::vector<std::string>& expected) {
    CHECK_EQ(dialog.items.size(), expected.size());
    for (size_t i = 0; i < expected.size() && i < dialog.items.size(); ++i)
        CHECK_EQ(dialog.items[i], expected[i]);
}

}  // namespace

SCENARIO("resources", "main_dialog_template") {
    Image image;
    Dialog dialog = ParseDialog(image.Bytes(RT_DIALOG, 102));
    CHECK_EQ(dialog.header,
             Header(true, 0x90C800C0, 0x40000, 0, 0, 188, 70, "", "", "KELMOR01"));
    // Normal weight, not italic, DEFAULT_CHARSET.
    CHECK_EQ(dialog.font, "8 pt \"MS Sans Serif\" italic=0 charset=1");
    CHECK(dialog.weight == FW_DONTCARE || dialog.weight == FW_NORMAL);
    std::vector<std::string> expected;
    expected.push_back(Item(IDOK, kButton, "Restore", 7, 49, 50, 14, 0x58010001));
    expected.push_back(Item(IDCANCEL, kButton, "Close", 131, 49, 50, 14, 0x50010000));
    expected.push_back(Item(1000, kStatic, "Place Holder", 7, 7, 174, 37, 0x50020000));
    expected.push_back(Item(1001, kButton, "Disable", 67, 49, 50, 14, 0x58010000));
    CheckItems(dialog, expected);
}

SCENARIO("resources", "about_box_template") {
    Image image;
    Dialog dialog = ParseDialog(image.Bytes(RT_DIALOG, 100));
    CHECK_EQ(dialog.header,
             Header(false, 0x80C800C0, 0, 0, 0, 235, 55, "", "", "About KELMOR01"));
    CHECK_EQ(dialog.font, "8 pt \"MS Sans Serif\" italic=0 charset=0");
    // The second line's text is the program's own choice: take it as found,
    // as long as there is one.
    std::string secondLine;
    if (dialog.items.size() > 2) {
        const std::string& item = dialog.items[2];
        std::string::size_type open = item.find("title=\"") + 7;
        secondLine = item.substr(open, item.find("\" at ") - open);
    }
    CHECK(!secondLine.empty());
    std::vector<std::string> expected;
    expected.push_back(Item(0xFFFF, kStatic, "#128", 11, 17, 20, 20, 0x50000003));
    expected.push_back(Item(0xFFFF, kStatic, "KELMOR01 Version 1.0", 40, 10, 119, 8, 0x50020080));
    expected.push_back(Item(0xFFFF, kStatic, secondLine, 40, 25, 119, 8, 0x50020000));
    expected.push_back(Item(IDOK, kButton, "OK", 178, 7, 50, 14, 0x50030001));
    CheckItems(dialog, expected);
}

SCENARIO("resources", "only_the_two_dialogs") {
    Image image;
    std::vector<int> ids = image.Ids(RT_DIALOG);
    CHECK_EQ(ids.size(), 2u);
    CHECK(std::count(ids.begin(), ids.end(), 100) == 1);
    CHECK(std::count(ids.begin(), ids.end(), 102) == 1);
}

SCENARIO("resources", "string_table_in_us_english") {
    static const char* const texts[] = {
        "&About KELMOR01...",
        "This utility can restore or disable the Windows XP Welcome Screen.",
        "This utility is only valid on Windows XP",
        "You must restart your computer for these changes to take effect.",
        "Some errors occured.  Please contact Telvaro Tech Support.",
        "This utility is only valid on systems that have Telvaro installed.",
        "This utility is only valid on Telvaro version 10.5"};
    Image image;
    // Strings 96 to 111 share block 7, 112 to 127 block 8, 128 to 143 block
    // 9, 144 to 159 block 10; 101 to 157 are the only ones. /status's own,
    // from 109 on, and the events', are checked where they show.
    std::vector<int> blocks = image.Ids(RT_STRING);
    CHECK_EQ(blocks.size(), 4u);
    Reader r(image.Bytes(RT_STRING, 7, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)));
    std::string usage;
    for (int id = 96; id < 112; ++id) {
        unsigned length = r.Word();
        std::string text;
        for (unsigned i = 0; i < length; ++i) {
            unsigned c = r.Word();
            text += c < 0x80 ? char(c) : '?';
        }
        if (id == 108) {
            usage = text;
            continue;
        }
        if (id >= 109) continue;
        std::string expected = id >= 101 && id <= 107 ? texts[id - 101] : "";
        if (!CHECK_EQ(text, expected)) std::printf("    (string %d)\n", id);
    }
    // 108, the command line's usage: one line for every switch and exit code.
    const char* const lines[] = {"/restore\t", "/disable\t", "/status\t", "/quiet\t", "/?\t",
                                 "0\t", "1\t", "3010\t", "1603\t", "1618\t", "1605\t", "1633\t",
                                 "1638\t", "87\t"};
    for (const char* line : lines)
        if (!CHECK(("\n" + usage).find("\n" + std::string(line)) != std::string::npos))
            std::printf("    (usage lacks a line for %s)\n", line);
    // /status's exit code 2 as well.
    CHECK(("\n" + usage).find("\n2\t") != std::string::npos);
    CHECK(r.ok);
    CHECK_EQ(r.at, r.data.size());
    // And as the program loads them.
    char loaded[512];
    for (int id = 101; id <= 107; ++id) {
        LoadStringA(image.Module(), id, loaded, sizeof(loaded));
        CHECK_EQ(loaded, texts[id - 101]);
    }
}

// The message table Event Viewer reads the events' texts from: US English,
// one message for each event id from 1 to 5 and no other, each with every
// insertion string, %1 to %9, once and in order, and nothing else left of
// the form "%n"; no line ends in a bare LF, which Event Viewer would not break.
SCENARIO("resources", "message_table_of_the_events") {
    Image image;
    CHECK_EQ(image.Ids(RT_MESSAGETABLE).size(), 1u);
    image.Bytes(RT_MESSAGETABLE, 1, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    for (DWORD id = 0; id <= 6; ++id) {
        LoggedEvent event = {EVENTLOG_INFORMATION_TYPE, id, true, "trace", {}};
        for (int i = 1; i <= 9; ++i) event.strings.push_back("<" + std::to_string(i) + ">");
        std::string text = Rendered(event);
        bool message = text.compare(0, 11, "(no message") != 0;
        if (!CHECK_EQ(message, id >= 1 && id <= 5)) std::printf("    (event %lu)\n", id);
        if (!message) continue;
        std::string::size_type at = 0;
        for (int i = 1; i <= 9; ++i) {
            std::string mark = "<" + std::to_string(i) + ">";
            std::string::size_type found = text.find(mark, at);
            bool once =
                found != std::string::npos && text.find(mark, found + 1) == std::string::npos;
            if (!CHECK(once)) std::printf("    (event %lu, %%%d)\n", id, i);
            at = found == std::string::npos ? at : found;
        }
        CHECK(text.find('%') == std::string::npos);
        for (std::string::size_type lf = text.find('\n'); lf != std::string::npos;
             lf = text.find('\n', lf + 1))
            CHECK(lf > 0 && text[lf - 1] == '\r');
        std::printf("    %lu: %s\n", id, text.substr(0, text.find('\r')).c_str());
    }
}

SCENARIO("resources", "icon_128_has_32_and_16_pixel_images_in_16_colours") {
    Image image;
    std::vector<int> groups = image.Ids(RT_GROUP_ICON);
    CHECK_EQ(groups.size(), 1u);
    Reader r(image.Bytes(RT_GROUP_ICON, 128));
    CHECK_EQ(r.Word(), 0);  // reserved
    CHECK_EQ(r.Word(), 1);  // icons, not cursors
    unsigned count = r.Word();
    std::vector<std::string> found;
    for (unsigned i = 0; i < count && r.ok; ++i) {
        unsigned width = r.Take(1), height = r.Take(1), colours = r.Take(1);
        r.Take(1);
        unsigned planes = r.Word(), bits = r.Word(), size = r.Dword(), id = r.Word();
        // The image itself: a DIB of twice the height (colour and mask).
        std::string dib = image.Bytes(RT_ICON, id);
        CHECK_EQ(dib.size(), size);
        Reader d(dib);
        unsigned headerSize = d.Dword();
        int dibWidth = static_cast<int>(d.Dword()), dibHeight = static_cast<int>(d.Dword());
        unsigned dibPlanes = d.Word(), dibBits = d.Word();
        char line[200];
        std::snprintf(line, sizeof(line),
                      "%ux%u colours=%u planes=%u bits=%u; image header=%u %dx%d planes=%u bits=%u",
                      width, height, colours, planes, bits, headerSize, dibWidth, dibHeight,
                      dibPlanes, dibBits);
        found.push_back(line);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> expected;
    expected.push_back("16x16 colours=16 planes=1 bits=4; image header=40 16x32 planes=1 bits=4");
    expected.push_back("32x32 colours=16 planes=1 bits=4; image header=40 32x64 planes=1 bits=4");
    CHECK_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size() && i < expected.size(); ++i)
        CHECK_EQ(found[i], expected[i]);
}

SCENARIO("resources", "version_record_1_0_0_1_us_english_unicode") {
    const std::string& path = Where().app;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    REQUIRE(size != 0);
    std::vector<char> block(size);
    REQUIRE(GetFileVersionInfoA(path.c_str(), 0, size, &block[0]));
    VS_FIXEDFILEINFO* fixed = 0;
    UINT length = 0;
    REQUIRE(VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&fixed), &length));
    REQUIRE(length >= sizeof(VS_FIXEDFILEINFO));
    CHECK_EQ(fixed->dwSignature, 0xFEEF04BD);
    CHECK_EQ(fixed->dwFileVersionMS, 0x00010000);
    CHECK_EQ(fixed->dwFileVersionLS, 0x00000001);
    CHECK_EQ(fixed->dwProductVersionMS, 0x00010000);
    CHECK_EQ(fixed->dwProductVersionLS, 0x00000001);
    WORD* translation = 0;
    REQUIRE(VerQueryValueA(&block[0], "\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &length));
    REQUIRE_EQ(length, 4u);
    CHECK_EQ(translation[0], 0x0409);
    CHECK_EQ(translation[1], 0x04B0);
    char* name = 0;
    CHECK(VerQueryValueA(&block[0], "\\StringFileInfo\\040904b0\\ProductName",
                         reinterpret_cast<void**>(&name), &length) &&
          length > 1);
}
