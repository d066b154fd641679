#include "app/UnitInst.h"

#include <exception>

#include "app/Application.h"
#include "app/Banner.h"
#include "app/Run.h"
#include "app/res/ResourceIds.h"

namespace {

const char kFormClass[] = "TFormInst";
const char kPanelClass[] = "TPanel";

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kMaroon = RGB(128, 0, 0);
const COLORREF kBlack = RGB(0, 0, 0);

HFONT MakeFont(const char* face, int height, int weight, BYTE charset) {
    LOGFONTA lf{};
    lf.lfHeight = -height;
    lf.lfWeight = weight;
    lf.lfCharSet = charset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH;
    lstrcpynA(lf.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectA(&lf);
}

// The size a label takes for its text: one line, "&" marking the next character; an empty
// text measures as one blank.
SIZE LabelSize(HWND label, HFONT font, const std::string& text, bool prefix) {
    std::string measured = text.empty() || (prefix && text == "&") ? text + " " : text;
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, font);
    RECT r{0, 0, 0, 0};
    DrawTextA(dc, measured.c_str(), static_cast<int>(measured.size()), &r,
              DT_CALCRECT | DT_SINGLELINE | DT_LEFT | (prefix ? 0 : DT_NOPREFIX));
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

// Panel1: inactive-caption colour, a raised outer and a lowered inner bevel of one pixel each.
// Its status label draws black on the panel's colour.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, GetSysColorBrush(COLOR_INACTIVECAPTION));
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r;
        GetClientRect(hwnd, &r);
        auto frame = [dc](RECT rc, int topLeft, int bottomRight) {
            HBRUSH light = GetSysColorBrush(topLeft), dark = GetSysColorBrush(bottomRight);
            RECT e;
            SetRect(&e, rc.left, rc.top, rc.right - 1, rc.top + 1);   FillRect(dc, &e, light);
            SetRect(&e, rc.left, rc.top, rc.left + 1, rc.bottom - 1); FillRect(dc, &e, light);
            SetRect(&e, rc.left, rc.bottom - 1, rc.right, rc.bottom); FillRect(dc, &e, dark);
            SetRect(&e, rc.right - 1, rc.top, rc.right, rc.bottom);   FillRect(dc, &e, dark);
        };
        frame(r, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW);
        InflateRect(&r, -1, -1);
        frame(r, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, kBlack);
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_INACTIVECAPTION));
    }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// GroupBox1 is the system's group box with three changes: it is a window of its own for the
// mouse (the system's answers the hit test as transparent), its inside is white, and its check
// boxes draw black on white.
WNDPROC gGroupBoxProc = nullptr;
HBRUSH gWhiteBrush = nullptr;

LRESULT CALLBACK GroupBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, gWhiteBrush);
        return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, kBlack);
        SetBkColor(dc, kWhite);
        return reinterpret_cast<LRESULT>(gWhiteBrush);
    }
    case WM_COMMAND:
        // The check boxes check themselves; nothing else is asked of the group.
        return 0;
    }
    return CallWindowProcA(gGroupBoxProc, hwnd, msg, wp, lp);
}

// The mnemonic of a caption: the character after a single "&", lower-cased (0 when none).
char Mnemonic(HWND control) {
    char text[64];
    int n = GetWindowTextA(control, text, sizeof text);
    for (int i = 0; i + 1 < n; ++i) {
        if (text[i] == '&') {
            if (text[i + 1] != '&') {
                return static_cast<char>(reinterpret_cast<UINT_PTR>(
                    CharLowerA(reinterpret_cast<LPSTR>(static_cast<UINT_PTR>(
                        static_cast<unsigned char>(text[i + 1]))))));
            }
            ++i;
        }
    }
    return 0;
}

}  // namespace

POINT CentredOrigin(int desktopWidth, int desktopHeight, int windowWidth, int windowHeight) {
    int left = (desktopWidth - windowWidth) / 2;
    int top = (desktopHeight - windowHeight) / 2;
    return POINT{left < 0 ? 0 : left, top < 0 ? 0 : top};
}

TFormInst::TFormInst(Application& app) : app_(app) {
    HINSTANCE module = app_.Module();
    white_ = CreateSolidBrush(kWhite);
    gWhiteBrush = white_;
    font_ = MakeFont("MS Sans Serif", 11, FW_NORMAL, DEFAULT_CHARSET);
    label1Font_ = MakeFont("MS Sans Serif", 13, FW_BOLD, DEFAULT_CHARSET);
    label2Font_ = MakeFont("MS Serif", 13, FW_NORMAL, ANSI_CHARSET);
    icon_ = static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(FORM_ICON_ID), IMAGE_ICON, 32, 32, 0));
    banner_ = LoadBanner(module, bannerSize_);

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = module;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = white_;
    wc.lpszClassName = kFormClass;
    RegisterClassA(&wc);
    WNDCLASSA panel{};
    panel.lpfnWndProc = PanelProc;
    panel.hInstance = module;
    panel.hCursor = LoadCursor(nullptr, IDC_ARROW);
    panel.lpszClassName = kPanelClass;
    RegisterClassA(&panel);

    handle_ = CreateWindowExA(WS_EX_TOOLWINDOW, kFormClass, "Instalador Kestrel",
                              WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_CLIPSIBLINGS,
                              0, 0, kFormWidth, kFormHeight, app_.Handle(), nullptr, module, this);
    if (icon_) SendMessageA(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    CreateControls();

    if (auto setLayered = app_.SetLayeredWindowAttributes()) {
        SetWindowLongPtrA(handle_, GWL_EXSTYLE, GetWindowLongPtrA(handle_, GWL_EXSTYLE) | WS_EX_LAYERED);
        setLayered(handle_, kColourKey, 255, LWA_COLORKEY);
    }
    if (!app_.MainForm()) app_.SetMainForm(handle_, this, KeyPreview, FirstShow);
}

TFormInst::~TFormInst() {
    if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(label1Font_),
                      static_cast<HGDIOBJ>(label2Font_), static_cast<HGDIOBJ>(banner_)}) {
        if (o) DeleteObject(o);
    }
    if (icon_) DestroyIcon(icon_);
    // The class keeps the brush until the window is gone.
    if (white_) DeleteObject(white_);
}

void TFormInst::CreateControls() {
    HINSTANCE module = app_.Module();
    auto make = [&](DWORD exStyle, const char* cls, const char* text, DWORD style, int x, int y,
                    int w, int h, HWND parent, int id, HFONT font) {
        HWND hwnd = CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                    parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                    module, nullptr);
        SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return hwnd;
    };
    RECT client;
    GetClientRect(handle_, &client);
    const int width = client.right;

    // Created in tab order: the system's tab navigation follows the order of the children.
    Panel1 = make(0, kPanelClass, "", 0, 1, 144, 440, 25, handle_, IdPanel1, font_);
    Label2 = make(0, "STATIC", "", SS_LEFTNOWORDWRAP, 4, 4, 3, 16, Panel1, IdLabel2, label2Font_);
    GroupBox1 = make(WS_EX_CONTROLPARENT, "BUTTON", "Op\xE7\xF5" "es", BS_GROUPBOX, 0, 60, width,
                     80, handle_, IdGroupBox1, font_);
    gGroupBoxProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(GroupBox1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GroupBoxProc)));
    const DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP;
    CheckMenuIniciar = make(0, "BUTTON", "Copiar para Menu Iniciar", check, 7, 17, 145, 17,
                            GroupBox1, IdCheckMenuIniciar, font_);
    CheckDeskTop = make(0, "BUTTON", "Copiar para Desktop", check, 7, 38, 145, 17, GroupBox1,
                        IdCheckDeskTop, font_);
    CheckQuickLaunch = make(0, "BUTTON", "Abrir ap\xF3s instala\xE7\xE3o", check, 7, 59, 145, 17,
                            GroupBox1, IdCheckQuickLaunch, font_);
    for (HWND box : {CheckMenuIniciar, CheckDeskTop, CheckQuickLaunch}) {
        SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
    }
    SBFechar = make(0, "BUTTON", "&Cancelar", BS_PUSHBUTTON | WS_TABSTOP, 272, 179, 75, 25,
                    handle_, IdSBFechar, font_);
    SBInstalar = make(0, "BUTTON", "&Instalar", BS_PUSHBUTTON | WS_TABSTOP, 366, 179, 75, 25,
                      handle_, IdSBInstalar, font_);
    Label1 = make(0, "STATIC", kWebAddress, SS_LEFT | SS_NOPREFIX, 277, 42, 162, 16, handle_,
                  IdLabel1, label1Font_);
    SIZE size = LabelSize(Label1, label1Font_, kWebAddress, false);
    SetWindowPos(Label1, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetStatus("");
}

void TFormInst::AlignControls() {
    RECT client;
    GetClientRect(handle_, &client);
    SetWindowPos(GroupBox1, nullptr, 0, 60, client.right, 80, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT strip{0, 0, client.right, 60};
    InvalidateRect(handle_, &strip, TRUE);
}

void TFormInst::PaintBanner(HDC dc) {
    if (!banner_) return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, banner_);
    // Drawn at its own size from the top-left corner, cut by the 60-pixel strip.
    BitBlt(dc, 0, 0, bannerSize_.cx, bannerSize_.cy < 60 ? bannerSize_.cy : 60, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

LRESULT CALLBACK TFormInst::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    TFormInst* form;
    if (msg == WM_NCCREATE) {
        form = static_cast<TFormInst*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
        form->handle_ = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    } else {
        form = reinterpret_cast<TFormInst*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!form) return DefWindowProcA(hwnd, msg, wp, lp);
    try {
        return form->HandleMessage(msg, wp, lp);
    } catch (const std::exception& e) {
        form->app_.ShowException(e);
        return 0;
    }
}

LRESULT TFormInst::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCHITTEST:
        // Pressed anywhere on the window's own surface, it is dragged; never resized or closed.
        return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) ? HTCAPTION : HTCLIENT;
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED) {
            if (reinterpret_cast<HWND>(lp) == SBFechar) SBFecharClick();
            else if (reinterpret_cast<HWND>(lp) == SBInstalar) SBInstalarClick();
        }
        return 0;
    case WM_CLOSE:
        // The main form: closing ends the program once the loop takes the quit message.
        app_.Terminate();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(handle_, focus)) activeControl_ = focus;
        } else if (activeControl_ && IsWindowEnabled(activeControl_)) {
            SetFocus(activeControl_);
            return 0;
        }
        break;
    case WM_SIZE:
        AlignControls();
        break;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(handle_, &ps);
        PaintBanner(dc);
        EndPaint(handle_, &ps);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, reinterpret_cast<HWND>(lp) == Label1 ? kMaroon : kBlack);
        SetBkColor(dc, kWhite);
        return reinterpret_cast<LRESULT>(white_);
    }
    }
    return DefWindowProcA(handle_, msg, wp, lp);
}

bool TFormInst::KeyPreview(HWND form, MSG& msg) {
    auto* self = reinterpret_cast<TFormInst*>(GetWindowLongPtrA(form, GWLP_USERDATA));
    if (!self) return false;
    const bool alt = GetKeyState(VK_MENU) < 0, ctrl = GetKeyState(VK_CONTROL) < 0;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && !alt && !ctrl) {
        HWND next = GetNextDlgTabItem(form, GetFocus(), GetKeyState(VK_SHIFT) < 0);
        if (next) SetFocus(next);
        return true;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        // Enter presses the focused button; neither button is the default one.
        HWND focus = GetFocus();
        if ((focus == self->SBFechar || focus == self->SBInstalar) && IsWindowEnabled(focus)) {
            SendMessageA(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                         reinterpret_cast<LPARAM>(focus));
        }
        return true;
    }
    // Alt with a button's underlined letter presses it. Without Alt (bit 29 clear) a WM_SYSCHAR
    // is a plain key that reached the form because no control has the focus: not a press.
    if (msg.message == WM_SYSCHAR && (msg.lParam & (1 << 29))) {
        char key = static_cast<char>(reinterpret_cast<UINT_PTR>(
            CharLowerA(reinterpret_cast<LPSTR>(static_cast<UINT_PTR>(msg.wParam & 0xFF)))));
        for (HWND button : {self->SBFechar, self->SBInstalar}) {
            if (key && Mnemonic(button) == key && IsWindowEnabled(button) && IsWindowVisible(button)) {
                SendMessageA(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                             reinterpret_cast<LPARAM>(button));
                return true;
            }
        }
    }
    return false;
}

void TFormInst::FirstShow(HWND form) {
    auto* self = reinterpret_cast<TFormInst*>(GetWindowLongPtrA(form, GWLP_USERDATA));
    if (!self) return;
    try {
        self->FormShow();
    } catch (const std::exception& e) {
        self->app_.ShowException(e);
    }
    RECT r;
    GetWindowRect(form, &r);
    POINT at = CentredOrigin(GetSystemMetrics(SM_CXVIRTUALSCREEN),
                             GetSystemMetrics(SM_CYVIRTUALSCREEN), r.right - r.left,
                             r.bottom - r.top);
    SetWindowPos(form, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFormInst::FocusControl(HWND control) {
    activeControl_ = control;
    if (GetActiveWindow() == handle_) SetFocus(control);
}

void TFormInst::FormShow() {
    FocusControl(SBInstalar);
}

void TFormInst::SBFecharClick() {
    SendMessageA(handle_, WM_CLOSE, 0, 0);
}

void TFormInst::SBInstalarClick() {
    // "&Instalar" held the focus and the run leaves it disabled: the keyboard would reach no
    // control. Whatever way the run ends, an enabled "&Cancelar" takes the focus.
    struct FocusCancelAfterwards {
        TFormInst& form;
        ~FocusCancelAfterwards() {
            if (IsWindowEnabled(form.SBFechar)) form.FocusControl(form.SBFechar);
        }
    } focusCancel{*this};
    PerformInstall(runUi_ ? *runUi_ : *this);
}

int TFormInst::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    return app_.MessageBox(text, caption, flags);
}

void TFormInst::SetStatus(const std::string& text) {
    SetWindowTextA(Label2, text.c_str());
    SIZE size = LabelSize(Label2, label2Font_, text, true);
    SetWindowPos(Label2, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(Label2, nullptr, TRUE);
}

std::string TFormInst::Status() const {
    int n = GetWindowTextLengthA(Label2);
    std::string text(static_cast<size_t>(n) + 1, '\0');
    n = GetWindowTextA(Label2, &text[0], n + 1);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

void TFormInst::ProcessMessages() {
    app_.ProcessMessages();
}

void TFormInst::SetCancelEnabled(bool enabled) {
    EnableWindow(SBFechar, enabled);
}

void TFormInst::SetInstallEnabled(bool enabled) {
    EnableWindow(SBInstalar, enabled);
}

HWND TFormInst::CheckBox(InstallOption option) const {
    return option == InstallOption::DeskTop       ? CheckDeskTop
           : option == InstallOption::MenuIniciar ? CheckMenuIniciar
                                                  : CheckQuickLaunch;
}

bool TFormInst::IsChecked(InstallOption option) const {
    return SendMessageA(CheckBox(option), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TFormInst::SetChecked(InstallOption option, bool checked) {
    SendMessageA(CheckBox(option), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TFormInst::ShowMessage(const std::string& text) {
    app_.MessageBox(text, app_.Title(), MB_OK);
}

HWND TFormInst::ApplicationWindow() const {
    return app_.Handle();
}

std::string TFormInst::Title() const {
    return app_.Title();
}
