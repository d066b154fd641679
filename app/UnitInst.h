// The installer window FormInst: a banner, three installation options, the status line and the
// two buttons. "&Instalar" runs the whole installation inside its click handler; "&Cancelar"
// closes the window, which ends the program.
//
// Every text on the window is a child control of its own (the web address Label1 and the status
// line Label2 included), so that WM_GETTEXT and screen readers read it. The labels are static
// controls, which are transparent to the hit test: a press on them still drags the window.
#pragma once
#include <windows.h>

#include <string>

#include "core/InstallerUi.h"

class Application;

// The web address the banner strip shows.
constexpr const char* kWebAddress = "www.tavrin.com.br";
// Pixels painted in exactly this colour are left out of the window.
constexpr COLORREF kColourKey = RGB(0, 128, 128);
constexpr int kFormWidth = 459;
constexpr int kFormHeight = 246;

// Control identifiers, for GetDlgItem.
enum FormInstControl : int {
    IdPanel1 = 101,
    IdLabel2,
    IdGroupBox1,
    IdCheckMenuIniciar,
    IdCheckDeskTop,
    IdCheckQuickLaunch,
    IdSBFechar,
    IdSBInstalar,
    IdLabel1,
};

// Where a window of the given outer size goes when first shown: centred on a desktop of the
// given size, counted from 0, the halves truncated toward zero, negative results taken as 0.
POINT CentredOrigin(int desktopWidth, int desktopHeight, int windowWidth, int windowHeight);

class TFormInst : public InstallerUi {
public:
    // Creates the native window and its controls, still hidden, owned by the application window,
    // with the colour key applied. Being the first form, it becomes the main form.
    explicit TFormInst(Application& app);
    ~TFormInst() override;
    TFormInst(const TFormInst&) = delete;
    TFormInst& operator=(const TFormInst&) = delete;

    HWND Handle() const { return handle_; }

    // A check box's state, set before the window shows (from /TASKS).
    void SetChecked(InstallOption option, bool checked);
    // The window interface a click on "&Instalar" hands the run: the window itself unless one is
    // put in front of it (the command line's logging one).
    void SetRunUi(InstallerUi* ui) { runUi_ = ui; }

    // InstallerUi
    int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;
    void SetStatus(const std::string& text) override;
    std::string Status() const override;
    void ProcessMessages() override;
    void SetCancelEnabled(bool enabled) override;
    void SetInstallEnabled(bool enabled) override;
    bool IsChecked(InstallOption option) const override;
    void ShowMessage(const std::string& text) override;
    HWND ApplicationWindow() const override;
    std::string Title() const override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static bool KeyPreview(HWND form, MSG& msg);
    // The first show's steps, before the window becomes visible: FormShow, then the centring.
    static void FirstShow(HWND form);
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);

    // Event handlers.
    void FormShow();
    void SBFecharClick();
    void SBInstalarClick();

    // The control takes the focus now when the window is active, else when it is next activated.
    void FocusControl(HWND control);
    void CreateControls();
    HWND CheckBox(InstallOption option) const;
    void AlignControls();
    void PaintBanner(HDC dc);

    Application& app_;
    HWND handle_ = nullptr;
    // The controls, in the order of their fields.
    HWND Panel1 = nullptr;
    HWND Label2 = nullptr;
    HWND GroupBox1 = nullptr;
    HWND CheckDeskTop = nullptr;
    HWND CheckMenuIniciar = nullptr;
    HWND CheckQuickLaunch = nullptr;
    HWND SBFechar = nullptr;
    HWND SBInstalar = nullptr;
    HWND Label1 = nullptr;
    // Image1: the banner picture, painted on the window's own surface.
    HBITMAP banner_ = nullptr;
    SIZE bannerSize_{};

    HFONT font_ = nullptr;        // the window's: buttons, check boxes, group box
    HFONT label1Font_ = nullptr;
    HFONT label2Font_ = nullptr;
    HBRUSH white_ = nullptr;
    HICON icon_ = nullptr;
    HWND activeControl_ = nullptr;  // focused when the window is activated
    InstallerUi* runUi_ = nullptr;
};
