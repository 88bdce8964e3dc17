// The main dialog, its system menu, the About box and the ways to close,
// on a bare XP prefix: no Telvaro, so the startup check refuses the machine
// and both operation buttons stay disabled.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "harness.h"
#include "telvaro.h"
#include "probe/probe.h"

using namespace e2e;

namespace {

const char kDescription[] = "This utility can restore or disable the Windows XP Welcome Screen.";
const WPARAM kShowAbout = 0x0010;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator)) parts.push_back(part);
    return parts;
}

// Opens the About box with a system command and checks what it shows.
HWND OpenAbout(App& app, WPARAM command) {
    app.SysCommand(app.Main(), command);
    HWND about = app.WaitPopup();
    REQUIRE(about != 0);
    CHECK_EQ(WindowText(about), "About KELMOR01");
    CHECK(GetWindow(about, GW_OWNER) == app.Main());
    CHECK(!IsWindowEnabled(app.Main()));
    std::vector<std::string> statics = ChildTexts(about, "Static");
    REQUIRE_EQ(statics.size(), 3u);
    CHECK_EQ(statics[1], "KELMOR01 Version 1.0");
    CHECK(!statics[2].empty());
    CHECK_EQ(ChildTexts(about, "Button").size(), 1u);
    CHECK_EQ(WindowText(GetDlgItem(about, IDOK)), "OK");
    // The icon static shows an icon.
    HWND icon = GetWindow(about, GW_CHILD);
    DWORD_PTR shown = 0;
    SendMessageTimeoutA(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &shown);
    CHECK(shown != 0);
    return about;
}

}  // namespace

// ---- The dialog as it opens --------------------------------------------------

SCENARIO("main_dialog", "title_text_and_buttons") {
    App app;
    app.StartPastMessage(kNotInstalled);
    CHECK_EQ(WindowText(app.Main()), "Lumivale");
    CHECK_EQ(WindowText(app.Item(1000)), kDescription);
    CHECK_EQ(WindowText(app.Item(IDOK)), "Restore");
    CHECK_EQ(WindowText(app.Item(1001)), "Disable");
    CHECK_EQ(WindowText(app.Item(IDCANCEL)), "Close");
    CHECK_EQ(app.ButtonStates(), kWaiting);
    // Title bar with system menu and close box; no minimise or maximise box.
    LONG style = GetWindowLongA(app.Main(), GWL_STYLE);
    CHECK_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
             WS_CAPTION | WS_SYSMENU);
    CHECK(GetWindowLongA(app.Main(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

SCENARIO("main_dialog", "startup_message_over_waiting_dialog") {
    App app;
    app.Start();
    HWND box = app.WaitPopup();
    REQUIRE(box != 0);
    // The check runs once the dialog is up, and the box is modal to it.
    CHECK(GetWindow(box, GW_OWNER) == app.Main());
    CHECK(!IsWindowEnabled(app.Main()));
    CHECK_EQ(app.ButtonStates(), kWaiting);
    CHECK_EQ(App::MessageText(box), kNotInstalled);
    app.Click(box, IDOK);
    REQUIRE(app.WaitGone(box));
    CHECK(WaitFor([&] { return IsWindowEnabled(app.Main()) != FALSE; }, 2000));
    // Focus returns to where the dialog put it: "Close", the first enabled tab stop.
    CHECK(WaitFor([&] { return app.Focus() == app.Item(IDCANCEL); }, 2000));
    CHECK(app.NoPopupFor(300));  // one message only
}

SCENARIO("main_dialog", "release_decides_the_message") {
    static const struct { const char* release; const char* message; } cases[] = {
        {"winxp", kNotInstalled}, {"win2k", kNotXp}, {"winxp64", kNotXp},
        {"vista", kNotXp},        {"nt40", kNotXp},  {"win98", kNotXp}};
    for (const auto& c : cases) {
        SetWindowsRelease(c.release);
        App app;
        app.Start();
        HWND box = app.WaitPopup();
        if (!CHECK(box != 0) || !CHECK_EQ(App::MessageText(box), c.message))
            std::printf("    (release %s)\n", c.release);
        CHECK_EQ(app.ButtonStates(), kWaiting);
    }
}

SCENARIO("main_dialog", "disabled_buttons_do_nothing") {
    App app;
    app.StartPastMessage(kNotInstalled);
    RegSnapshot before = MachineState();
    app.Click(app.Main(), IDOK);
    app.Click(app.Main(), 1001);
    // Commands as another program, or the dialog manager, could send them.
    PostMessageA(app.Main(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(app.Item(IDOK)));
    PostMessageA(app.Main(), WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED),
                 reinterpret_cast<LPARAM>(app.Item(1001)));
    CHECK(app.NoPopupFor(800));
    CHECK(app.Running());
    CHECK_EQ(app.ButtonStates(), kWaiting);
    CHECK_EQ(MachineState(), before);
}

// The framework's Help command (0xE146) explains the program in a box and
// leaves it running as it was.
SCENARIO("main_dialog", "help_shows_the_description") {
    App app;
    app.StartPastMessage(kNotInstalled);
    PostMessageA(app.Main(), WM_COMMAND, 0xE146, 0);
    app.ExpectMessage(kDescription);
    CHECK(app.Running());
    CHECK_EQ(app.ButtonStates(), kWaiting);
}

// ---- System menu ---------------------------------------------------------------

SCENARIO("system_menu", "ends_with_about_entry") {
    App app;
    app.StartPastMessage(kNotInstalled);
    std::vector<std::string> items = Split(app.Probe(kProbeSystemMenu), '\n');
    REQUIRE(items.size() >= 3);
    std::vector<std::string> last = Split(items[items.size() - 1], '\t');
    std::vector<std::string> beforeLast = Split(items[items.size() - 2], '\t');
    REQUIRE_EQ(last.size(), 4u);
    REQUIRE(beforeLast.size() >= 2);
    CHECK_EQ(beforeLast[1], "separator");
    CHECK_EQ(last[0], "10");
    CHECK_EQ(last[1], "string");
    CHECK_EQ(last[2], "0");  // enabled, not greyed
    CHECK_EQ(last[3], "&About KELMOR01...");
    int aboutEntries = 0, closeEntries = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        aboutEntries += items[i].compare(0, 3, "10\t") == 0;
        closeEntries += items[i].compare(0, 5, "f060\t") == 0;
    }
    CHECK_EQ(aboutEntries, 1);
    CHECK_EQ(closeEntries, 1);
}

// ---- About box -----------------------------------------------------------------

SCENARIO("about_box", "opens_for_every_about_command_with_same_content") {
    App app;
    app.StartPastMessage(kNotInstalled);
    std::vector<std::string> first;
    // The entry's own command, then others whose upper twelve bits match.
    static const WPARAM commands[] = {0x0010, 0x0013, 0x001F, 0x0010};
    for (WPARAM command : commands) {
        HWND about = OpenAbout(app, command);
        std::vector<std::string> texts = ChildTexts(about);
        if (first.empty()) first = texts;
        CHECK(texts == first);
        app.Click(about, IDOK);
        if (!CHECK(app.WaitGone(about))) std::printf("    (command 0x%llx)\n", 0ull + command);
    }
}

SCENARIO("about_box", "closes_every_way_leaving_buttons_as_they_were") {
    static const struct { const char* how; void (*close)(App&, HWND); } ways[] = {
        {"OK", [](App& app, HWND about) { app.Click(about, IDOK); }},
        {"Enter", [](App& app, HWND about) { app.Key(about, VK_RETURN); }},
        {"Escape", [](App& app, HWND about) { app.Key(about, VK_ESCAPE); }},
        {"close box", [](App& app, HWND about) { app.SysCommand(about, SC_CLOSE); }},
        {"WM_CLOSE", [](App&, HWND about) { PostMessageA(about, WM_CLOSE, 0, 0); }}};
    App app;
    app.StartPastMessage(kNotInstalled);
    for (const auto& way : ways) {
        HWND about = OpenAbout(app, kShowAbout);
        way.close(app, about);
        bool ok = CHECK(app.WaitGone(about)) && CHECK(app.Running()) &&
                  CHECK(WaitFor([&] { return IsWindowEnabled(app.Main()) != FALSE; }, 2000)) &&
                  CHECK_EQ(app.ButtonStates(), kWaiting) && CHECK(app.NoPopupFor(200));
        if (!ok) std::printf("    (closed by %s)\n", way.how);
    }
}

// The main dialog opens centred in the work area; the About box opens centred
// over it wherever it was moved, pushed back inside the work area where it
// would stick out.
SCENARIO("about_box", "centred_over_the_main_dialog_inside_the_work_area") {
    App app;
    app.StartPastMessage(kNotInstalled);
    RECT work, main;
    REQUIRE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    GetWindowRect(app.Main(), &main);
    CHECK(std::abs((main.left - work.left) - (work.right - main.right)) <= 1);
    CHECK(std::abs((main.top - work.top) - (work.bottom - main.bottom)) <= 1);
    const int width = main.right - main.left, height = main.bottom - main.top;
    const POINT places[] = {{work.left + 300, work.top + 250},
                            {work.left, work.top},
                            {work.right - width, work.bottom - height}};
    for (const POINT& place : places) {
        SetWindowPos(app.Main(), 0, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        GetWindowRect(app.Main(), &main);
        HWND about = OpenAbout(app, kShowAbout);
        RECT box;
        GetWindowRect(about, &box);
        const int w = box.right - box.left, h = box.bottom - box.top;
        const int x = std::min(std::max((main.left + main.right - w) / 2, work.left), work.right - w);
        const int y = std::min(std::max((main.top + main.bottom - h) / 2, work.top), work.bottom - h);
        if (!CHECK(std::abs(box.left - x) <= 1 && std::abs(box.top - y) <= 1))
            std::printf("    (main at %ld,%ld: About at %ld,%ld, expected %d,%d)\n", main.left,
                        main.top, box.left, box.top, x, y);
        app.Click(about, IDOK);
        REQUIRE(app.WaitGone(about));
    }
}

SCENARIO("about_box", "other_system_commands_do_not_open_it") {
    App app;
    app.StartPastMessage(kNotInstalled);
    static const WPARAM commands[] = {0x0000, 0x000F, 0x0020, 0x0110};
    for (WPARAM command : commands) {
        app.SysCommand(app.Main(), command);
        if (!CHECK(app.NoPopupFor(300))) std::printf("    (command 0x%llx)\n", 0ull + command);
    }
    CHECK(app.Running());
}

// ---- Ending the program ----------------------------------------------------------

SCENARIO("closing", "close_escape_and_close_box_end_the_program") {
    static const struct { const char* how; void (*close)(App&); } ways[] = {
        {"Close", [](App& app) { app.Click(app.Main(), IDCANCEL); }},
        {"Escape", [](App& app) { app.Key(app.Main(), VK_ESCAPE); }},
        {"close box", [](App& app) { app.SysCommand(app.Main(), SC_CLOSE); }},
        {"WM_CLOSE", [](App& app) { PostMessageA(app.Main(), WM_CLOSE, 0, 0); }}};
    for (const auto& way : ways) {
        App app;
        app.StartPastMessage(kNotInstalled);
        way.close(app);
        // A crash ends the process too, with an exception code.
        if (!CHECK(app.WaitExit()) || !CHECK(app.ExitCode() < 0xC0000000u))
            std::printf("    (closed by %s)\n", way.how);
    }
}

SCENARIO("closing", "enter_while_restore_is_disabled_does_not_apply") {
    // With no control focused, Enter goes to the default button, "Restore".
    {
        App app;
        app.StartPastMessage(kNotInstalled);
        RegSnapshot before = MachineState();
        CHECK_EQ(app.Probe(kProbeClearFocus), "ok");
        REQUIRE(app.Focus() == 0);
        app.Key(app.Main(), VK_RETURN);
        CHECK(app.NoPopupFor(800));
        CHECK(app.Running());
        CHECK_EQ(app.ButtonStates(), kWaiting);
        CHECK_EQ(MachineState(), before);
        CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kProductKey, "Zelt_Applied"), reg::Missing());
    }
    // As the dialog opens, focus is on "Close". Whether Enter then presses
    // "Close" depends on whether the dialog manager made it the default button
    // when it took the focus (Windows does, Wine does not); it never applies.
    {
        App app;
        app.StartPastMessage(kNotInstalled);
        RegSnapshot before = MachineState();
        REQUIRE(WaitFor([&] { return app.Focus() == app.Item(IDCANCEL); }, 2000));
        app.Key(app.Main(), VK_RETURN);
        CHECK(app.NoPopupFor(800));
        CHECK_EQ(MachineState(), before);
        CHECK_EQ(reg::Read(HKEY_LOCAL_MACHINE, kProductKey, "Zelt_Applied"), reg::Missing());
    }
}
