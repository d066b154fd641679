// The installer window as a user meets it: its state at start, the keyboard, the mouse, and the
// ways to end the program.
#include <gtest/gtest.h>

#include "Driver.h"

namespace {

const char kInstalar[] = "&Instalar";
const char kCancelar[] = "&Cancelar";
const char kMenuIniciar[] = "Copiar para Menu Iniciar";
const char kDeskTop[] = "Copiar para Desktop";
const char kQuickLaunch[] = "Abrir ap\xF3s instala\xE7\xE3o";

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

}  // namespace
