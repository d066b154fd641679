// The end-to-end driver: starts the real InstaladorHalden.exe under Wine (in the same prefix as
// the test program), finds its window and controls, presses keys and buttons, answers message
// boxes and collects the exit code.
//
// Every TEST of a tests/e2e/NAME_e2e_test.cpp runs as its own ctest, in a fresh Wine prefix and
// on an X display of its own, so a scenario may change the machine freely. Drives D:, F: and S:
// are empty folders at the start.
//
// A scenario, typically:
//
//     e2e::LayOutInstaller();                              // F:\Instalador\InstaladorHalden.exe
//     e2e::WriteFile("F:\\Instalador\\startKestrel.INI", e2e::Settings("C:\\Kestrel\\K.exe",
//                                                                      "S:\\Kestrel\\K.exe"));
//     e2e::Installer app;                                 // started, window shown and ready
//     app.Click(app.Button("&Instalar"));
//     e2e::Box box = app.WaitForBox();                    // caption and text recorded
//     app.Answer(box, IDYES);
//     app.WaitUntilEnabled(app.Button("&Cancelar"));
//     EXPECT_EQ(app.Status(), "Instala\xE7\xE3o conclu\xED" "da!");
//     app.Click(app.Button("&Cancelar"));
//     EXPECT_EQ(app.WaitForExit(), 0u);
//
// Every action the installer takes in its own time (a posted click, a key, a close) is followed
// by a wait for that action's effect, never for a state that may hold before it: Click on
// "&Instalar" returns once the installer has disabled "&Instalar" (the run has started), Click on
// a check box once its state has changed, Click on "&Cancelar" once the window is gone. Every
// wait polls with a generous timeout (kTimeoutMs), multiplied on a slow bed by the environment's
// KESTREL_TIME_SCALE (the emulated 32-bit bed starts processes ~5x slower), and fails the test
// (ADD_FAILURE) when it runs out; no result depends on a fixed sleep. Strings are ANSI
// (Windows-1252).
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// The installer's own texts and the places a default installation uses, shared by the scenarios.
namespace texts {
inline constexpr char kInstalar[] = "&Instalar";
inline constexpr char kCancelar[] = "&Cancelar";
inline constexpr char kMenuIniciar[] = "Copiar para Menu Iniciar";
inline constexpr char kDeskTop[] = "Copiar para Desktop";
inline constexpr char kQuickLaunch[] = "Abrir ap\xF3s instala\xE7\xE3o";
inline constexpr char kDone[] = "Instala\xE7\xE3o conclu\xED" "da!";
inline constexpr char kWarning[] = "Advert\xEA" "ncia";
inline constexpr char kTitle[] = "Instalador - Kestrel";
inline constexpr char kDefaultBde[] =
    "C:\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE";
inline constexpr char kOdbc[] = "C:\\Arquivos de programas\\PostgreSQL\\psqlODBC\\0804\\bin";
inline constexpr char kBdeKey[] = "SOFTWARE\\Borland\\Database Engine";
inline constexpr char kDataSourceKey[] = "SOFTWARE\\ODBC\\ODBC.INI\\Kestrel";
// The site the scenarios lay out, and where a default installation puts its copy and links.
inline constexpr char kSettingsFile[] = "F:\\Instalador\\startKestrel.INI";
inline constexpr char kRemoteApp[] = "S:\\Kestrel\\Kestrel.exe";
inline constexpr char kLocalApp[] = "C:\\Kestrel\\Kestrel.exe";
inline constexpr char kDesktopLink[] = "C:\\users\\Public\\Desktop\\Kestrel.lnk";
inline constexpr char kMenuFolder[] =
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tavrin";
inline constexpr char kMenuLink[] =
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tavrin\\Kestrel.lnk";
}  // namespace texts


constexpr DWORD kTimeoutMs = 60000;

// --- The machine --------------------------------------------------------------------------

// The installer built beside this test program, and the uninstaller program it carries.
std::string BuiltInstaller();
std::string BuiltUninstaller();
// Copies the built installer to folder + "InstaladorHalden.exe" (folders created); returns the
// copy's path. Default folder: F:\Instalador\.
std::string LayOutInstaller(const std::string& folder = "F:\\Instalador\\");
// Writes a file, creating its folders.
void WriteFile(const std::string& path, const std::string& contents);
// A file of that many megabytes of zeros (sparse where the file system can), made at once: a
// program file big enough to keep a run busy in its copy.
void WriteLargeFile(const std::string& path, LONG megabytes);
// The whole file ("" when it cannot be read).
std::string ReadFile(const std::string& path);
// The destination names of rows 1 to 82, from a sample payload's manifest ("row<TAB>name<TAB>...",
// "#" comments).
std::vector<std::string> ManifestNames(const std::string& manifestPath);
// The files a replacement makes or leaves ("~kst*": being written, renamed aside, waiting for the
// restart) in these folders, with their paths.
std::vector<std::string> ReplacementFiles(const std::vector<std::string>& folders);
bool FileExists(const std::string& path);
// A process of that program file name (e.g. "regsvr32.exe") is running in this prefix.
bool ProcessRunning(const char* exeName);
// A settings file's text: [Application] LocalApp, RemoteApp; [Instalacao] IPServidor, Porta,
// BancoDados.
std::string Settings(const std::string& localApp, const std::string& remoteApp,
                     const std::string& server = "192.168.0.10", const std::string& port = "5432",
                     const std::string& database = "kestreldb");

// A timeout of this bed: ms times KESTREL_TIME_SCALE (1 when unset).
DWORD Scaled(DWORD ms);
// Polls pred every 20 ms until it holds or Scaled(timeoutMs) passes; returns its last value.
bool WaitFor(const std::function<bool()>& pred, DWORD timeoutMs = kTimeoutMs);

// --- Windows of any process ---------------------------------------------------------------

// WM_GETTEXT of any window (cross-process safe).
std::string Text(HWND hwnd);
std::string ClassName(HWND hwnd);
RECT WindowRect(HWND hwnd);

// A message box (#32770 dialog) of the installer: its caption, its text and its buttons.
struct Box {
    HWND hwnd = nullptr;
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;  // the captions, in order ("OK", "&Sim", ...)
    bool hasIcon = false;
};

// The message box a process shows now (hwnd nullptr when none).
Box BoxOf(DWORD processId);
// Presses the box's button with this identifier and waits until the box is gone.
void AnswerBox(const Box& box, int buttonId);

// --- The installer ------------------------------------------------------------------------

class Installer {
public:
    // Starts the installer (default: F:\Instalador\InstaladorHalden.exe, laid out first when it
    // is not there) with the given show command, and waits until its window "Instalador Kestrel"
    // is visible and a control of it has the focus.
    explicit Installer(const std::string& exe = "", int showCommand = SW_SHOWNORMAL);
    // Ends the process if it still runs (a failed scenario leaves nothing behind).
    ~Installer();
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    DWORD ProcessId() const { return pi_.dwProcessId; }
    DWORD ThreadId() const { return pi_.dwThreadId; }
    // The installer window and its owner, the hidden application window.
    HWND Window() const { return form_; }
    HWND ApplicationWindow() const;

    // Controls by caption (WM_GETTEXT, exact), searched among all descendants; nullptr if none.
    HWND Control(const std::string& caption) const;
    // As Control, but fails the test when there is none.
    HWND Button(const std::string& caption) const;
    // Controls by identifier or class, in the window's child order.
    std::vector<HWND> Children(const char* className = nullptr) const;

    // The status line: the text of the label inside the status panel.
    std::string Status() const;
    HWND StatusLabel() const;
    bool IsEnabled(HWND control) const { return IsWindowEnabled(control) != FALSE; }
    bool IsChecked(HWND checkBox) const;
    // The control that has the keyboard focus in the installer's thread, and its active window.
    HWND Focus() const;
    HWND ActiveWindow() const;
    // True while the installer's thread is in a move or size loop.
    bool InMoveLoop() const;

    // Presses a button or check box without the mouse (a posted BM_CLICK) and waits until the
    // installer has taken it: "&Instalar" disabled, a check box's state changed, the window gone
    // after "&Cancelar". Does not wait for the end of a run. False (and a failure) when the
    // effect did not show.
    bool Click(HWND control);
    // Real input (SendInput), to the installer window brought to the front first.
    void MouseClick(POINT screen);
    // Left press at from, move to to, release; waits until the window's move loop, if any, ends.
    // Returns whether the press started the window's move loop.
    bool MouseDrag(POINT from, POINT to);
    // A key with optional modifiers, e.g. Key(VK_TAB), Key('I', VK_MENU), Key(VK_F4, VK_MENU).
    void Key(WORD vk, WORD modifier = 0);

    // Waits for the text of the status line; fails the test on timeout.
    bool WaitForStatus(const std::string& text, DWORD timeoutMs = kTimeoutMs);
    bool WaitUntilEnabled(HWND control, DWORD timeoutMs = kTimeoutMs);

    // Message boxes: the box currently open (hwnd nullptr when none), or the next one to open.
    Box CurrentBox() const;
    Box WaitForBox(DWORD timeoutMs = kTimeoutMs);
    // Presses the box's button with this identifier (IDOK, IDYES, IDNO...) and waits until the
    // box is gone.
    void Answer(const Box& box, int buttonId);
    // Every box seen by WaitForBox, in order.
    const std::vector<Box>& Boxes() const { return boxes_; }

    bool Running() const;
    // Waits for the process to end and returns its exit code (STILL_ACTIVE on timeout).
    DWORD WaitForExit(DWORD timeoutMs = kTimeoutMs);

    // The form made the foreground window (keys go there), waiting for the installer's thread
    // to answer when it was not in front already.
    void BringToFront();

private:
    PROCESS_INFORMATION pi_{};
    HWND form_ = nullptr;
    std::vector<Box> boxes_;
};

// --- The installer started with a command line -------------------------------------------

// The installer started with arguments (e.g. "/VERYSILENT /LOG=\"C:\\k.log\""), waiting for
// nothing: an unattended run may show no window at all. Default program: the one of Installer.
class Launched {
public:
    explicit Launched(const std::string& arguments, const std::string& exe = "");
    // Ends the process if it still runs.
    ~Launched();
    Launched(const Launched&) = delete;
    Launched& operator=(const Launched&) = delete;

    DWORD ProcessId() const { return pi_.dwProcessId; }
    bool Running() const;
    // A visible top-level window of the process with that caption (any caption: nullptr);
    // nullptr when there is none.
    HWND VisibleWindow(const char* caption = nullptr) const;
    // Polls until a visible window of that caption appears; nullptr (and a failure) on timeout.
    HWND WaitForWindow(const char* caption, DWORD timeoutMs = kTimeoutMs);
    // The next message box (see Installer::WaitForBox); AnswerBox answers it.
    Box WaitForBox(DWORD timeoutMs = kTimeoutMs);
    // Waits for the end; the exit code (STILL_ACTIVE, and a failure, on timeout). While it
    // waits it notes every visible top-level window it sees (see SeenWindows).
    DWORD WaitForExit(DWORD timeoutMs = kTimeoutMs);
    // Captions of the visible windows WaitForExit saw, once each, in order.
    const std::vector<std::string>& SeenWindows() const { return seen_; }

private:
    void NoteWindows();
    PROCESS_INFORMATION pi_{};
    std::vector<std::string> seen_;
};

}  // namespace e2e
