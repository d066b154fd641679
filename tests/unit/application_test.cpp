// The application object and the window's arithmetic: the error display's text and silence,
// centring, the quit message during a run, the application window's system menu.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/Application.h"
#include "app/UnitInst.h"
#include "platform/Errors.h"

namespace {

TEST(ErrorDisplay, FullStopRuleOnTheLastByte) {
    struct Case { std::string message, shown; };
    const Case cases[] = {
        {"Unable to create directory", "Unable to create directory."},
        {"Cannot create file C:\\x\\y.dll", "Cannot create file C:\\x\\y.dll."},
        {"Erro 42", "Erro 42."},
        {"C:\\pasta/", "C:\\pasta/."},
        {"Drive C:", "Drive C:."},
        {"Acesso negado \xE0", "Acesso negado \xE0."},   // accented letters are above "."
        {"Conclu\xED" "do.", "Conclu\xED" "do."},
        {"Falhou!", "Falhou!"},
        {"(c\xF3" "digo 5)", "(c\xF3" "digo 5)"},
        {"\"aspas\"", "\"aspas\""},
        {"espa\xE7o ", "espa\xE7o "},
        {"linha\r\n", "linha\r\n"},
        {"h\xED" "fen-", "h\xED" "fen-"},                // "-" orders before "."
        {"", ""},
    };
    for (const Case& c : cases) {
        RecordingUi ui;
        ShowError(ui, Exception(c.message));
        ASSERT_EQ(ui.boxes.size(), 1u) << c.message;
        EXPECT_EQ(ui.boxes[0].text, c.shown);
        EXPECT_EQ(ui.boxes[0].caption, "Instalador - Kestrel");
        EXPECT_EQ(ui.boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
    }
}

TEST(ErrorDisplay, SilentAbortShowsNothingAndOtherErrorsUseTheirMessage) {
    RecordingUi ui;
    ShowError(ui, EAbort());
    EXPECT_TRUE(ui.boxes.empty());
    ShowError(ui, EOleSysError("Class not registered", 0x80040154));
    ShowError(ui, std::runtime_error("bad thing"));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[0].text, "Class not registered.");
    EXPECT_EQ(ui.boxes[1].text, "bad thing.");
}

TEST(Window, CentringArithmetic) {
    struct Case { int dw, dh, ww, wh; LONG x, y; };
    const Case cases[] = {
        {1024, 768, 459, 246, 282, 261},
        {800, 600, 459, 246, 170, 177},
        {2048, 768, 459, 246, 794, 261},   // two monitors side by side: the combined width
        {400, 200, 459, 246, 0, 0},        // a desktop smaller than the window
        {458, 247, 459, 246, 0, 0},        // -1 / 2 truncates to 0; 1 / 2 too
    };
    for (const Case& c : cases) {
        POINT p = CentredOrigin(c.dw, c.dh, c.ww, c.wh);
        EXPECT_EQ(p.x, c.x) << c.dw << "x" << c.dh;
        EXPECT_EQ(p.y, c.y) << c.dw << "x" << c.dh;
    }
}

TEST(Application, WindowTitleQuitAndSystemMenu) {
    Application app(GetModuleHandleA(nullptr));
    ASSERT_TRUE(IsWindow(app.Handle())) << GetLastError();
    app.SetTitle("Instalador - Kestrel");
    EXPECT_EQ(app.Title(), "Instalador - Kestrel");
    RECT r;
    GetWindowRect(app.Handle(), &r);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
    HMENU menu = GetSystemMenu(app.Handle(), FALSE);
    ASSERT_NE(menu, nullptr);
    for (UINT gone : {SC_SIZE, SC_MOVE, SC_MAXIMIZE}) {
        EXPECT_EQ(GetMenuState(menu, gone, MF_BYCOMMAND), static_cast<UINT>(-1)) << gone;
    }
    EXPECT_NE(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), static_cast<UINT>(-1));

    // A quit message taken while processing pending messages only sets the terminate flag;
    // the messages behind it are still handled.
    PostQuitMessage(0);
    PostMessageA(app.Handle(), WM_USER, 0, 0);
    app.ProcessMessages();
    EXPECT_TRUE(app.Terminated());
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

// A run that shows nothing makes no window: no application window, no COM set up for windows;
// the title is kept, and boxes are answered without one.
TEST(Application, WithoutTheWindowMakesNone) {
    const DWORD thread = GetCurrentThreadId();
    auto windowsOfThisThread = [thread] {
        int count = 0;
        EnumThreadWindows(thread, [](HWND, LPARAM n) { return ++*reinterpret_cast<int*>(n), TRUE; },
                          reinterpret_cast<LPARAM>(&count));
        return count;
    };
    const int before = windowsOfThisThread();
    Application app(GetModuleHandleA(nullptr), false);
    app.Initialize();
    EXPECT_EQ(app.Handle(), nullptr);
    app.SetTitle("Instalador - Kestrel");
    EXPECT_EQ(app.Title(), "Instalador - Kestrel");
    Application::BoxAnswers answers;
    answers.Unattended = true;
    app.SetBoxAnswers(answers);
    EXPECT_EQ(app.MessageBox("Reinstalar?", "Aten\xE7\xE3o", MB_YESNO), IDYES);
    EXPECT_EQ(app.MessageBox("Aviso", "Advert\xEA" "ncia", MB_OK), IDOK);
    app.ProcessMessages();
    EXPECT_EQ(windowsOfThisThread(), before);
}

TEST(Window, StatusLineAndButtonsThroughTheWindowInterface) {
    Application app(GetModuleHandleA(nullptr));
    app.SetTitle("Instalador - Kestrel");
    TFormInst form(app);
    InstallerUi& ui = form;
    EXPECT_EQ(ui.Status(), "");
    ui.SetStatus("Instalando C:\\Arquivos & Coisas\\x.dll");
    EXPECT_EQ(ui.Status(), "Instalando C:\\Arquivos & Coisas\\x.dll");
    HWND label = GetDlgItem(GetDlgItem(form.Handle(), IdPanel1), IdLabel2);
    RECT short_, long_;
    ui.SetStatus("ab");
    GetWindowRect(label, &short_);
    ui.SetStatus(std::string(200, 'W'));
    GetWindowRect(label, &long_);
    EXPECT_GT(long_.right - long_.left, short_.right - short_.left);  // grows with its text
    ui.SetCancelEnabled(false);
    ui.SetInstallEnabled(false);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(form.Handle(), IdSBFechar)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(form.Handle(), IdSBInstalar)));
    ui.SetCancelEnabled(true);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(form.Handle(), IdSBFechar)));
    for (InstallOption o : {InstallOption::DeskTop, InstallOption::MenuIniciar, InstallOption::QuickLaunch}) {
        EXPECT_TRUE(ui.IsChecked(o));
    }
    HWND groupBox = GetDlgItem(form.Handle(), IdGroupBox1);
    SendMessageA(GetDlgItem(groupBox, IdCheckDeskTop), BM_SETCHECK, BST_UNCHECKED, 0);
    EXPECT_FALSE(ui.IsChecked(InstallOption::DeskTop));
    EXPECT_TRUE(ui.IsChecked(InstallOption::QuickLaunch));
    EXPECT_EQ(ui.ApplicationWindow(), app.Handle());
    EXPECT_EQ(ui.Title(), "Instalador - Kestrel");
}

// Only Alt with the underlined letter presses a button: WM_SYSCHAR with bit 29 of lParam (Alt
// down). When no control has the focus the system sends plain keys as WM_SYSCHAR too.
TEST(Window, OnlyAltWithTheUnderlinedLetterPressesAButton) {
    Application app(GetModuleHandleA(nullptr));
    TFormInst form(app);
    ShowWindow(form.Handle(), SW_SHOWNOACTIVATE);  // a button in a hidden window takes no key
    const LPARAM kAltDown = 1 << 29;
    struct Case {
        WPARAM key;
        LPARAM lParam;
        bool closes;
    } cases[] = {
        {'c', 1, false},
        {'C', 1, false},
        {'c', 1 | kAltDown, true},  // last: closing ends the message loop for good
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(static_cast<char>(k.key));
        SCOPED_TRACE(k.lParam);
        PostMessageA(form.Handle(), WM_SYSCHAR, k.key, k.lParam);
        app.ProcessMessages();
        EXPECT_EQ(app.Terminated(), k.closes);
    }
}

}  // namespace
