// The application object: one per process. It owns the hidden 0 x 0 application window that
// stands for the program on the taskbar and owns the installer window and every message box; it
// runs the message loop, shows the errors that escape event handlers and processes pending
// messages for the installation run.
#pragma once
#include <windows.h>

#include <exception>
#include <string>

class InstallerUi;

// SetLayeredWindowAttributes, looked up by name in user32 (absent before Windows 2000).
using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

class Application {
public:
    // Creates the application window (hidden, 0 x 0, at the centre of the primary screen) and
    // looks up SetLayeredWindowAttributes.
    // With window false (a run that shows nothing: /VERYSILENT) there is no application window,
    // and no window of any kind is made unless a form is; Handle() is nullptr then.
    explicit Application(HINSTANCE instance, bool window = true);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The one instance of the process (nullptr before it is made).
    static Application* Instance() { return instance_; }

    // With the window: CoInitialize on this thread; CoUninitialize follows in the destructor when
    // it succeeded. Without it, COM is left to the step that uses it (ComApartment), so that a
    // run that shows nothing never sets up what windows need.
    void Initialize();

    HINSTANCE Module() const { return module_; }
    HWND Handle() const { return handle_; }
    SetLayeredWindowAttributesFn SetLayeredWindowAttributes() const { return setLayered_; }

    // The title is the application window's caption; Title() reads it back (at most 255 chars).
    // Without the window it is kept as it was given.
    void SetTitle(const std::string& title);
    std::string Title() const;

    // The first form created: its keyboard handling (Tab, Enter, accelerators) is applied to
    // every message taken from the queue before it is dispatched, closing it ends the program,
    // and its window interface shows the errors. Its first-show step runs once, right before the
    // form first becomes visible, whatever the show command: the form is still hidden and
    // neither maximised nor active then.
    using KeyPreviewFn = bool (*)(HWND form, MSG& msg);
    using FirstShowFn = void (*)(HWND form);
    void SetMainForm(HWND form, InstallerUi* ui, KeyPreviewFn keyPreview, FirstShowFn firstShow);
    HWND MainForm() const { return mainForm_; }

    // Shows the application window (carrying the taskbar button) and the main form as the show
    // command asks, then takes and handles messages until the terminate flag is set.
    void Run(int showCommand);
    // Only the showing part of Run.
    void Show(int showCommand);
    bool Terminated() const { return terminated_; }
    // Ends the message loop after the current message (posts the quit message).
    void Terminate();

    // Handles the messages already waiting and returns at once; a quit message only sets the
    // terminate flag.
    void ProcessMessages();

    // The modal message box owned by the application window: opens on the monitor of the active
    // window, disables the other top-level windows of this thread meanwhile and restores
    // everything afterwards. Returns the button pressed. Every box's caption, text and answer
    // also go to the log.
    int MessageBox(const std::string& text, const std::string& caption, UINT flags);

    // How boxes are answered. Unattended: no box is ever shown; each is answered at once, a
    // question (the reinstall question, the program's only one) with Yes, any other box with
    // OK. NoReinstall: the question is answered No without being shown, also with the window.
    struct BoxAnswers {
        bool Unattended = false;
        bool NoReinstall = false;
    };
    void SetBoxAnswers(const BoxAnswers& answers) { answers_ = answers; }

    // The error display for an exception that escaped an event handler (ShowError below, on the
    // main form).
    void ShowException(const std::exception& error);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    // One message from the queue: false when the queue was empty.
    bool ProcessMessage();
    void HandleMessage(MSG& msg);
    // ShowWindow of the main form, its first-show step first the first time.
    void ShowMainForm(int showCommand);

    static Application* instance_;
    HINSTANCE module_;
    HWND handle_ = nullptr;
    HWND mainForm_ = nullptr;
    InstallerUi* ui_ = nullptr;
    KeyPreviewFn keyPreview_ = nullptr;
    FirstShowFn firstShow_ = nullptr;
    bool mainFormShown_ = false;
    HICON icon_ = nullptr;
    SetLayeredWindowAttributesFn setLayered_ = nullptr;
    bool comInitialized_ = false;
    std::string title_;  // without the window
    bool terminated_ = false;
    BoxAnswers answers_;
};

// The error display, on any window interface: cancels a mouse capture, shows nothing for the
// silent abort, and otherwise an error box captioned with ui.Title() whose text is the message,
// with "." appended when its last character orders after "." (as an unsigned byte).
void ShowError(InstallerUi& ui, const std::exception& error);
// The error box's text for a message.
std::string ErrorBoxText(const std::string& message);
