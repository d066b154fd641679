// The installer window as a user meets it: its state at start, the keyboard, the mouse, and the
// ways to end the program.
#include <gtest/gtest.h>

#include "Driver.h"

namespace {

using namespace e2e::texts;

TEST(Window, StartState) {
    e2e::Installer app;
    HWND form = app.Window();
    ASSERT_NE(form, nullptr);

    EXPECT_EQ(e2e::Text(form), "Instalador Kestrel");
    RECT r = e2e::WindowRect(form);
    EXPECT_EQ(r.right - r.left, 459);
    EXPECT_EQ(r.bottom - r.top, 246);
    // Centred on the 1024 x 768 desktop.
    EXPECT_EQ(r.left, (1024 - 459) / 2);
    EXPECT_EQ(r.top, (768 - 246) / 2);
    LONG style = GetWindowLongA(form, GWL_STYLE), ex = GetWindowLongA(form, GWL_EXSTYLE);
    EXPECT_TRUE((style & WS_THICKFRAME) && (style & WS_SYSMENU) && (style & WS_CAPTION));
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(ex & WS_EX_LAYERED);

    // The hidden application window owns the form and carries the title.
    HWND owner = app.ApplicationWindow();
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(e2e::Text(owner), "Instalador - Kestrel");
    RECT o = e2e::WindowRect(owner);
    EXPECT_EQ(o.right - o.left, 0);
    EXPECT_EQ(o.bottom - o.top, 0);
    EXPECT_FALSE(GetWindowLongA(owner, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(IsWindowVisible(owner));

    for (const char* box : {kMenuIniciar, kDeskTop, kQuickLaunch}) {
        HWND h = app.Button(box);
        EXPECT_TRUE(h && app.IsChecked(h) && app.IsEnabled(h)) << box;
    }
    EXPECT_NE(app.Control("Op\xE7\xF5" "es"), nullptr);
    EXPECT_NE(app.Control("www.tavrin.com.br"), nullptr);
    EXPECT_TRUE(app.IsEnabled(app.Button(kInstalar)));
    EXPECT_TRUE(app.IsEnabled(app.Button(kCancelar)));
    EXPECT_EQ(app.Focus(), app.Button(kInstalar));
    EXPECT_NE(app.StatusLabel(), nullptr);
    EXPECT_EQ(app.Status(), "");
    EXPECT_TRUE(app.Running());
}

TEST(Window, CancelEndsWithExitCodeZero) {
    e2e::Installer app;
    app.Click(app.Button(kCancelar));
    EXPECT_EQ(app.WaitForExit(), 0u);
    EXPECT_TRUE(app.Boxes().empty());
}

TEST(Window, TabVisitsTheControlsInOrder) {
    e2e::Installer app;
    const char* order[] = {kMenuIniciar, kDeskTop, kQuickLaunch, kCancelar, kInstalar};
    for (const char* next : order) {
        HWND before = app.Focus();
        app.Key(VK_TAB);
        ASSERT_TRUE(e2e::WaitFor([&] { return app.Focus() != before; }, 10000))
            << "Tab did not move the focus from \"" << e2e::Text(before) << "\"";
        EXPECT_EQ(e2e::Text(app.Focus()), next);
    }
    // Shift+Tab goes back; Tab never toggles a check box.
    app.Key(VK_TAB, VK_SHIFT);
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::Text(app.Focus()) == kCancelar; }, 10000));
    for (const char* box : {kMenuIniciar, kDeskTop, kQuickLaunch}) {
        EXPECT_TRUE(app.IsChecked(app.Button(box))) << box;
    }
}

TEST(Window, EnterAndEscapeOnACheckBoxPressNothing) {
    e2e::Installer app;
    app.Key(VK_TAB);
    ASSERT_TRUE(e2e::WaitFor([&] { return e2e::Text(app.Focus()) == kMenuIniciar; }, 10000));
    app.Key(VK_RETURN);
    app.Key(VK_ESCAPE);
    // Space toggles the focused box: once it has, the keys before it have been handled.
    app.Key(VK_SPACE);
    HWND box = app.Button(kMenuIniciar);
    EXPECT_TRUE(e2e::WaitFor([&] { return !app.IsChecked(box); }, 10000));
    EXPECT_TRUE(app.Running());
    EXPECT_TRUE(app.Boxes().empty() && !app.CurrentBox().hwnd);
}

TEST(Window, AltCEndsWithExitCodeZero) {
    e2e::Installer app;
    app.Key('C', VK_MENU);
    EXPECT_EQ(app.WaitForExit(), 0u);
}

TEST(Window, AltF4EndsWithExitCodeZero) {
    e2e::Installer app;
    app.Key(VK_F4, VK_MENU);
    EXPECT_EQ(app.WaitForExit(), 0u);
}

TEST(Window, PressAndDragOnTheBannerMovesTheWindow) {
    e2e::Installer app;
    HWND form = app.Window();
    const RECT start = e2e::WindowRect(form);
    // On the banner picture, on the web address and on the frame's corner.
    POINT banner{start.left + 60, start.top + 40};
    EXPECT_TRUE(app.MouseDrag(banner, POINT{banner.x - 100, banner.y - 80}));
    RECT moved = e2e::WindowRect(form);
    EXPECT_EQ(moved.left, start.left - 100);
    EXPECT_EQ(moved.top, start.top - 80);
    EXPECT_EQ(moved.right - moved.left, 459);

    RECT label = e2e::WindowRect(app.Button("www.tavrin.com.br"));
    POINT onLabel{label.left + 5, label.top + 5};
    EXPECT_TRUE(app.MouseDrag(onLabel, POINT{onLabel.x + 30, onLabel.y + 20}));
    RECT again = e2e::WindowRect(form);
    EXPECT_EQ(again.left, moved.left + 30);
    EXPECT_EQ(again.top, moved.top + 20);

    // A press on the frame's corner drags too: the window is never resized.
    POINT corner{again.right - 2, again.bottom - 2};
    EXPECT_TRUE(app.MouseDrag(corner, POINT{corner.x + 10, corner.y + 10}));
    RECT last = e2e::WindowRect(form);
    EXPECT_EQ(last.right - last.left, 459);
    EXPECT_EQ(last.bottom - last.top, 246);
    EXPECT_EQ(last.left, again.left + 10);
    EXPECT_TRUE(app.Running());
}

TEST(Window, ClicksOnCheckBoxesAndPanelDoNotMoveTheWindow) {
    e2e::Installer app;
    HWND form = app.Window();
    const RECT start = e2e::WindowRect(form);
    HWND box = app.Button(kDeskTop);
    RECT b = e2e::WindowRect(box);
    app.MouseClick(POINT{b.left + 6, (b.top + b.bottom) / 2});
    EXPECT_TRUE(e2e::WaitFor([&] { return !app.IsChecked(box); }, 10000));
    // A drag that starts on the status panel does nothing either.
    RECT panel = e2e::WindowRect(GetParent(app.StatusLabel()));
    POINT onPanel{panel.left + 200, panel.top + 12};
    EXPECT_FALSE(app.MouseDrag(onPanel, POINT{onPanel.x + 40, onPanel.y + 40}));
    app.MouseClick(POINT{b.left + 6, (b.top + b.bottom) / 2});
    EXPECT_TRUE(e2e::WaitFor([&] { return app.IsChecked(box); }, 10000));
    RECT end = e2e::WindowRect(form);
    EXPECT_EQ(end.left, start.left);
    EXPECT_EQ(end.top, start.top);
    EXPECT_TRUE(app.Running());
}

// After a run no control keeps the focus unless the window gives it one ("&Instalar" held it and
// is disabled): the enabled "&Cancelar" takes it, so Tab and Enter work, and a plain letter
// (no Alt) presses no button.
TEST(Window, AfterARunTheKeyboardWorksAndPlainLettersPressNothing) {
    e2e::LayOutInstaller();
    e2e::WriteFile("F:\\Instalador\\startKestrel.INI",
                   e2e::Settings("C:\\Kestrel\\Kestrel.exe", "S:\\Kestrel\\Kestrel.exe"));
    e2e::WriteFile("S:\\Kestrel\\Kestrel.exe", "MZ stand-in for the application");
    e2e::Installer app;
    HWND install = app.Button(kInstalar), cancel = app.Button(kCancelar);
    app.Click(install);
    ASSERT_TRUE(e2e::WaitFor([&] { return !app.IsEnabled(install); }));
    ASSERT_TRUE(app.WaitForStatus(kDone));
    ASSERT_TRUE(app.WaitUntilEnabled(cancel));
    EXPECT_TRUE(e2e::WaitFor([&] { return app.Focus() == cancel; }))
        << "focus on \"" << e2e::Text(app.Focus()) << "\"";

    // The letters of both buttons without Alt, then Tab: once Tab has moved the focus (past the
    // disabled "&Instalar" to the first check box), the letters have been handled.
    app.Key('C');
    app.Key('I');
    app.Key(VK_TAB);
    EXPECT_TRUE(e2e::WaitFor([&] { return e2e::Text(app.Focus()) == kMenuIniciar; }))
        << "focus on \"" << e2e::Text(app.Focus()) << "\"";
    EXPECT_TRUE(app.Running());
    EXPECT_TRUE(app.Boxes().empty() && !app.CurrentBox().hwnd);

    app.Key(VK_TAB, VK_SHIFT);
    ASSERT_TRUE(e2e::WaitFor([&] { return app.Focus() == cancel; }));
    app.Key(VK_RETURN);
    EXPECT_EQ(app.WaitForExit(), 0u);
}

// The first show, whatever show command the program was started with: "&Instalar" focused, the
// window centred on the 1024 x 768 desktop. A maximised start keeps the centred rectangle as the
// one the window is restored to; a minimised start shows the window when the taskbar button
// restores the program.
TEST(Window, FirstShowForEachShowCommand) {
    const RECT centred{(1024 - 459) / 2, (768 - 246) / 2, (1024 - 459) / 2 + 459,
                       (768 - 246) / 2 + 246};
    const struct {
        int show;
        const char* name;
    } commands[] = {{SW_SHOWNORMAL, "SW_SHOWNORMAL"},
                    {SW_SHOWMAXIMIZED, "SW_SHOWMAXIMIZED"},
                    {SW_SHOWMINNOACTIVE, "SW_SHOWMINNOACTIVE"}};
    for (const auto& command : commands) {
        SCOPED_TRACE(command.name);
        const int show = command.show;
        e2e::Installer app("", show);
        HWND form = app.Window();
        ASSERT_NE(form, nullptr);
        if (show == SW_SHOWMINNOACTIVE) {
            HWND owner = app.ApplicationWindow();
            EXPECT_TRUE(IsIconic(owner));
            EXPECT_FALSE(IsWindowVisible(form));
            // What the taskbar button does.
            PostMessageA(owner, WM_SYSCOMMAND, SC_RESTORE, 0);
            ASSERT_TRUE(e2e::WaitFor([&] { return IsWindowVisible(form) != FALSE; }));
        }
        HWND install = app.Button(kInstalar);
        EXPECT_TRUE(e2e::WaitFor([&] { return app.Focus() == install; }))
            << "focus on \"" << e2e::Text(app.Focus()) << "\"";
        EXPECT_EQ(app.ActiveWindow(), form);
        EXPECT_EQ(IsZoomed(form) != FALSE, show == SW_SHOWMAXIMIZED);
        // Restored, where the window goes is its normal rectangle. (Wine's GetWindowPlacement
        // reports the current rectangle for another process's window.)
        if (show == SW_SHOWMAXIMIZED) {
            ShowWindowAsync(form, SW_RESTORE);
            ASSERT_TRUE(e2e::WaitFor([&] {
                const RECT now = e2e::WindowRect(form);
                return !IsZoomed(form) && now.right - now.left == 459;
            }));
        }
        const RECT r = e2e::WindowRect(form);
        EXPECT_TRUE(EqualRect(&r, &centred)) << r.left << "," << r.top << " "
                                             << r.right - r.left << "x" << r.bottom - r.top;
        app.Click(app.Button(kCancelar));
        EXPECT_EQ(app.WaitForExit(), 0u);
    }
}

}  // namespace
