#include "app/Application.h"

#include <objbase.h>

#include <vector>

#include "core/InstallerUi.h"
#include "platform/Errors.h"
#include "platform/Log.h"

Application* Application::instance_ = nullptr;

namespace {

const char kApplicationClass[] = "TApplication";

std::string AnswerName(int answer) {
    switch (answer) {
    case IDOK: return "OK";
    case IDYES: return "Sim";
    case IDNO: return "N\xE3o";
    case IDCANCEL: return "Cancelar";
    }
    return std::to_string(answer);
}

// Restores what MessageBox changed for the box's lifetime, also when an exception passes.
struct BoxScope {
    HWND appWindow;
    HWND active = nullptr;
    bool moved = false;
    RECT appRect{};
    std::vector<HWND> disabled;

    static BOOL CALLBACK DisableOne(HWND hwnd, LPARAM lp) {
        auto* scope = reinterpret_cast<BoxScope*>(lp);
        if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
            scope->disabled.push_back(hwnd);
            EnableWindow(hwnd, FALSE);
        }
        return TRUE;
    }

    explicit BoxScope(HWND app) : appWindow(app) {
        active = GetActiveWindow();
        MoveToMonitorOf(active);
        EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(this));
    }

    // The box opens on the monitor of the window the user works in: the application window
    // (its owner) moves to that monitor's centre when it lies on another one. The monitor
    // functions came with Windows 98 and 2000: looked up, so that the program still starts where
    // they are missing (one screen there).
    void MoveToMonitorOf(HWND window) {
        using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, DWORD);
        using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
        HMODULE user32 = GetModuleHandleA("user32.dll");
        auto monitorFromWindow = reinterpret_cast<MonitorFromWindowFn>(
            reinterpret_cast<void*>(GetProcAddress(user32, "MonitorFromWindow")));
        auto getMonitorInfo = reinterpret_cast<GetMonitorInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(user32, "GetMonitorInfoA")));
        if (!monitorFromWindow || !getMonitorInfo) return;
        HMONITOR target = monitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (target != monitorFromWindow(appWindow, MONITOR_DEFAULTTONEAREST) &&
            getMonitorInfo(target, &info) && GetWindowRect(appWindow, &appRect)) {
            moved = true;
            const RECT& m = info.rcMonitor;
            SetWindowPos(appWindow, nullptr, m.left + (m.right - m.left) / 2,
                         m.top + (m.bottom - m.top) / 2, 0, 0,
                         SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_NOZORDER);
        }
    }

    ~BoxScope() {
        if (moved) {
            SetWindowPos(appWindow, nullptr, appRect.left, appRect.top, 0, 0,
                         SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_NOZORDER);
        }
        for (HWND hwnd : disabled) EnableWindow(hwnd, TRUE);
        if (active) SetActiveWindow(active);
    }
};

}  // namespace

Application::Application(HINSTANCE instance, bool window) : module_(instance) {
    instance_ = this;
    if (!window) return;
    if (HMODULE user32 = GetModuleHandleA("user32.dll")) {
        setLayered_ = reinterpret_cast<SetLayeredWindowAttributesFn>(
            reinterpret_cast<void*>(GetProcAddress(user32, "SetLayeredWindowAttributes")));
    }
    icon_ = LoadIconA(module_, "MAINICON");

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = module_;
    wc.hIcon = icon_;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kApplicationClass;
    RegisterClassA(&wc);

    handle_ = CreateWindowExA(0, kApplicationClass, "",
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2,
                              0, 0, nullptr, nullptr, module_, nullptr);
    if (HMENU menu = GetSystemMenu(handle_, FALSE)) {
        DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
        DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
    }
}

Application::~Application() {
    if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
    if (comInitialized_) CoUninitialize();
    instance_ = nullptr;
}

void Application::Initialize() {
    if (!handle_) return;
    comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
}

void Application::SetTitle(const std::string& title) {
    if (!handle_) {
        title_ = title.substr(0, 255);
        return;
    }
    SetWindowTextA(handle_, title.c_str());
}

std::string Application::Title() const {
    if (!handle_) return title_;
    char buffer[256];
    int n = GetWindowTextA(handle_, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

void Application::SetMainForm(HWND form, InstallerUi* ui, KeyPreviewFn keyPreview,
                              FirstShowFn firstShow) {
    mainForm_ = form;
    ui_ = ui;
    keyPreview_ = keyPreview;
    firstShow_ = firstShow;
}

void Application::ShowMainForm(int showCommand) {
    if (!mainForm_) return;
    if (!mainFormShown_) {
        mainFormShown_ = true;
        // Before ShowWindow, not on the show notification: a maximised show activates the form
        // before it reports the show, and the form is restored later to the rectangle it has
        // when ShowWindow is called.
        if (firstShow_) firstShow_(mainForm_);
    }
    ShowWindow(mainForm_, showCommand);
}

void Application::Run(int showCommand) {
    Show(showCommand);
    while (!terminated_) {
        if (!ProcessMessage()) WaitMessage();
    }
}

void Application::Show(int showCommand) {
    if (showCommand == SW_SHOWMINNOACTIVE) {
        // The form appears when the taskbar button restores the application.
        ShowWindow(handle_, SW_SHOWMINNOACTIVE);
    } else {
        ShowWindow(handle_, SW_SHOWNORMAL);
        ShowMainForm(showCommand == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    }
}

void Application::Terminate() {
    PostQuitMessage(0);
}

bool Application::ProcessMessage() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
    } else {
        HandleMessage(msg);
    }
    return true;
}

void Application::HandleMessage(MSG& msg) {
    bool handled = false;
    if (keyPreview_ && mainForm_ && msg.hwnd &&
        (msg.hwnd == mainForm_ || IsChild(mainForm_, msg.hwnd))) {
        handled = keyPreview_(mainForm_, msg);
    }
    if (!handled) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void Application::ProcessMessages() {
    while (ProcessMessage()) {
    }
}

int Application::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    Log("Caixa \"" + caption + "\": " + text);
    const bool question = (flags & MB_TYPEMASK) == MB_YESNO;
    if (question && answers_.NoReinstall) {
        Log("Resposta: N\xE3o (/NOREINSTALL)");
        return IDNO;
    }
    if (answers_.Unattended) {
        const int answer = question ? IDYES : IDOK;
        Log("Resposta: " + AnswerName(answer) + " (autom\xE1tica, sem caixa)");
        return answer;
    }
    int answer;
    {
        BoxScope scope(handle_);
        answer = ::MessageBoxA(handle_, text.c_str(), caption.c_str(), flags);
    }
    Log("Resposta: " + AnswerName(answer));
    return answer;
}

void Application::ShowException(const std::exception& error) {
    if (ui_) {
        ShowError(*ui_, error);
    } else {
        if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
        if (dynamic_cast<const EAbort*>(&error)) return;
        MessageBox(ErrorBoxText(error.what()), Title(), MB_OK | MB_ICONERROR);
    }
}

LRESULT CALLBACK Application::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Application* app = instance_;
    HWND form = app ? app->mainForm_ : nullptr;
    switch (msg) {
    case WM_SYSCOMMAND:
        switch (wp & 0xFFF0) {
        case SC_MINIMIZE:
            if (form) ShowWindow(form, SW_HIDE);
            break;
        case SC_RESTORE: {
            LRESULT r = DefWindowProcA(hwnd, msg, wp, lp);
            if (app) app->ShowMainForm(SW_SHOW);
            return r;
        }
        case SC_CLOSE:
            if (form) PostMessageA(form, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_CLOSE:
        if (form) PostMessageA(form, WM_CLOSE, 0, 0);
        return 0;
    case WM_SETFOCUS:
        // The taskbar button activates the application window: pass it on to the form.
        if (form && IsWindowVisible(form) && IsWindowEnabled(form)) {
            SetActiveWindow(form);
            return 0;
        }
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

void ShowError(InstallerUi& ui, const std::exception& error) {
    if (HWND capture = GetCapture()) SendMessageA(capture, WM_CANCELMODE, 0, 0);
    if (dynamic_cast<const EAbort*>(&error)) return;
    const auto* own = dynamic_cast<const Exception*>(&error);
    std::string message = own ? own->message() : std::string(error.what());
    Log("Erro: " + ErrorBoxText(message));
    ui.MessageBox(ErrorBoxText(message), ui.Title(), MB_OK | MB_ICONERROR);
}
