#include "Driver.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

namespace e2e {

namespace {

const char kFormCaption[] = "Instalador Kestrel";

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void CreateFolders(const std::string& folder) {
    for (size_t i = 3; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == '\\') {
            CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
        }
    }
}

struct Search {
    DWORD pid;
    const char* className;
    const char* caption;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
    if (s->className && ClassName(hwnd) != s->className) return TRUE;
    if (s->caption && Text(hwnd) != s->caption) return TRUE;
    s->found = hwnd;
    return FALSE;
}

// A window of the process and class, visible or not.
BOOL CALLBACK FindHiddenOrShown(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || ClassName(hwnd) != s->className) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND FindWindowOf(DWORD pid, const char* className, const char* caption) {
    Search s{pid, className, caption, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&all));
    return all;
}

void Send(std::vector<INPUT>& inputs) {
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

INPUT MouseInput(POINT screen, DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = static_cast<LONG>((screen.x * 65535 + w / 2) / (w - 1));
    in.mi.dy = static_cast<LONG>((screen.y * 65535 + h / 2) / (h - 1));
    // Every event carries its position: a press without MOUSEEVENTF_MOVE may be taken at the
    // cursor position before a move sent just ahead of it has been applied.
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return in;
}

INPUT KeyInput(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, 0));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

}  // namespace

// --- The machine --------------------------------------------------------------------------

std::string BuiltInstaller() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    return FolderOf(self) + "InstaladorHalden.exe";
}

std::string BuiltUninstaller() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    return FolderOf(self) + "DesinstalarKestrel.exe";
}

std::string LayOutInstaller(const std::string& folder) {
    CreateFolders(folder);
    std::string target = folder + "InstaladorHalden.exe";
    EXPECT_TRUE(CopyFileA(BuiltInstaller().c_str(), target.c_str(), FALSE))
        << "copying " << BuiltInstaller() << " to " << target << ": error " << GetLastError();
    return target;
}

void WriteFile(const std::string& path, const std::string& contents) {
    CreateFolders(FolderOf(path));
    std::ofstream out(path, std::ios::binary);
    out << contents;
    EXPECT_TRUE(out.good()) << "writing " << path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> ManifestNames(const std::string& manifestPath) {
    std::vector<std::string> out;
    std::string text = ReadFile(manifestPath);
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.find('\t');
        out.push_back(line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1));
    }
    return out;
}

std::vector<std::string> ReplacementFiles(const std::vector<std::string>& folders) {
    std::vector<std::string> found;
    for (const std::string& folder : folders) {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((folder + "\\~kst*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) continue;
        do found.push_back(folder + "\\" + data.cFileName);
        while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return found;
}

bool ProcessRunning(const char* exeName) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL ok = Process32First(snap, &entry); ok && !found; ok = Process32Next(snap, &entry))
        found = lstrcmpiA(entry.szExeFile, exeName) == 0;
    CloseHandle(snap);
    return found;
}

void WriteLargeFile(const std::string& path, LONG megabytes) {
    WriteFile(path, "");
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    SetFilePointer(h, megabytes << 20, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string Settings(const std::string& localApp, const std::string& remoteApp,
                     const std::string& server, const std::string& port,
                     const std::string& database) {
    return "[Application]\r\nLocalApp=" + localApp + "\r\nRemoteApp=" + remoteApp +
           "\r\n[Instalacao]\r\nIPServidor=" + server + "\r\nPorta=" + port +
           "\r\nBancoDados=" + database + "\r\n";
}

DWORD Scaled(DWORD ms) {
    static const DWORD scale = [] {
        char value[16] = "";
        DWORD n = GetEnvironmentVariableA("KESTREL_TIME_SCALE", value, sizeof value);
        int parsed = n > 0 && n < sizeof value ? std::atoi(value) : 0;
        return static_cast<DWORD>(parsed > 0 ? parsed : 1);
    }();
    return ms == INFINITE ? INFINITE : ms * scale;
}

bool WaitFor(const std::function<bool()>& pred, DWORD timeoutMs) {
    timeoutMs = Scaled(timeoutMs);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (pred()) return true;
        Sleep(20);
    }
    return pred();
}

// --- Windows of any process ---------------------------------------------------------------

std::string Text(HWND hwnd) {
    char buffer[4096];
    DWORD_PTR n = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 10000, &n)) {
        return std::string();
    }
    return std::string(buffer, n);
}

std::string ClassName(HWND hwnd) {
    char buffer[256];
    int n = GetClassNameA(hwnd, buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

RECT WindowRect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
}

// --- The installer ------------------------------------------------------------------------

// The program a scenario starts: exe, or F:\Instalador\InstaladorHalden.exe (laid out first
// when it is not there).
static std::string ProgramToStart(const std::string& exe) {
    if (!exe.empty()) return exe;
    const std::string path = "F:\\Instalador\\InstaladorHalden.exe";
    if (!FileExists(path)) LayOutInstaller("F:\\Instalador\\");
    return path;
}

Installer::Installer(const std::string& exe, int showCommand) {
    const std::string path = ProgramToStart(exe);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(showCommand);
    std::string line = "\"" + path + "\"";
    std::string folder = FolderOf(path);
    if (!CreateProcessA(path.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi_)) {
        ADD_FAILURE() << "cannot start " << path << ": error " << GetLastError();
        return;
    }
    const DWORD pid = pi_.dwProcessId;
    if (showCommand == SW_SHOWMINNOACTIVE) {
        // Only the application window shows (minimised); the form exists, hidden.
        bool found = WaitFor([&] { return FindWindowOf(pid, "TApplication", nullptr) != nullptr; });
        if (!found) ADD_FAILURE() << "no application window";
        Search s{pid, "TFormInst", nullptr, nullptr};
        WaitFor([&] {
            EnumWindows(FindHiddenOrShown, reinterpret_cast<LPARAM>(&s));
            return s.found != nullptr;
        });
        form_ = s.found;
        return;
    }
    // Ready once the form's activation has put the focus on one of its controls. Any focus at all
    // would not do: the application window, shown and activated first, holds the focus while the
    // form is already visible but not yet activated, and a key sent then goes to it.
    bool ready = WaitFor([&] {
        form_ = FindWindowOf(pid, nullptr, kFormCaption);
        HWND focus = form_ ? Focus() : nullptr;
        return focus && IsChild(form_, focus);
    });
    if (!ready) ADD_FAILURE() << "the window \"" << kFormCaption << "\" did not appear ready";
}

// Ends a process that still runs and closes its handles.
static void EndProcess(PROCESS_INFORMATION& pi) {
    if (!pi.hProcess) return;
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 10000);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

Installer::~Installer() {
    EndProcess(pi_);
}

HWND Installer::ApplicationWindow() const {
    return form_ ? GetWindow(form_, GW_OWNER) : nullptr;
}

HWND Installer::Control(const std::string& caption) const {
    for (HWND child : Descendants(form_)) {
        if (Text(child) == caption) return child;
    }
    return nullptr;
}

HWND Installer::Button(const std::string& caption) const {
    HWND hwnd = Control(caption);
    if (!hwnd) ADD_FAILURE() << "no control \"" << caption << "\"";
    return hwnd;
}

std::vector<HWND> Installer::Children(const char* className) const {
    std::vector<HWND> out;
    for (HWND child : Descendants(form_)) {
        if (!className || ClassName(child) == className) out.push_back(child);
    }
    return out;
}

HWND Installer::StatusLabel() const {
    // The status line is the one static control inside the status panel.
    for (HWND child : Descendants(form_)) {
        HWND parent = GetParent(child);
        if (parent != form_ && ClassName(child) == "Static" && ClassName(parent) != "Button") {
            return child;
        }
    }
    return nullptr;
}

std::string Installer::Status() const {
    HWND label = StatusLabel();
    return label ? Text(label) : std::string("<no status line>");
}

bool Installer::IsChecked(HWND checkBox) const {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(checkBox, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 10000, &state);
    return state == BST_CHECKED;
}

HWND Installer::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(pi_.dwThreadId, &info) ? info.hwndFocus : nullptr;
}

HWND Installer::ActiveWindow() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(pi_.dwThreadId, &info) ? info.hwndActive : nullptr;
}

bool Installer::InMoveLoop() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(pi_.dwThreadId, &info) && (info.flags & GUI_INMOVESIZE);
}

bool Installer::Click(HWND control) {
    if (!control) {
        ADD_FAILURE() << "Click: no control";
        return false;
    }
    const std::string caption = Text(control);
    const LONG type = GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
    const bool checkBox = type == BS_AUTOCHECKBOX || type == BS_CHECKBOX;
    const bool checked = checkBox && IsChecked(control);
    PostMessageA(control, BM_CLICK, 0, 0);
    std::function<bool()> taken;
    if (checkBox) {
        taken = [&] { return IsChecked(control) != checked; };
    } else if (caption == texts::kInstalar) {
        // The run's first step disables both buttons; "&Instalar" stays disabled after it.
        taken = [&] { return !IsEnabled(control); };
    } else if (caption == texts::kCancelar) {
        taken = [&] { return !IsWindow(form_) || !Running(); };
    } else {
        return true;
    }
    if (WaitFor(taken)) return true;
    ADD_FAILURE() << "the click on \"" << caption << "\" was not taken";
    return false;
}

// Keys and clicks go to the thread of the foreground window. Nothing to do when the form is it
// (its thread's focus then takes the keys; a run may have left no control focused). Otherwise
// SetForegroundWindow moves the foreground at once but leaves the activation to the installer's
// thread, through messages queued for it: under Wine one deactivates the window that was active
// (no active window, no focus: a key arriving then is dropped by the system) and one activates the
// form. The installer's own active window may already be the form before them, so that is no sign
// they were handled; a message sent behind them is: its answer comes after them.
void Installer::BringToFront() {
    if (!form_ || GetForegroundWindow() == form_ || !IsWindowEnabled(form_)) return;
    SetForegroundWindow(form_);
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutA(form_, WM_NULL, 0, 0, SMTO_NORMAL, Scaled(kTimeoutMs), &ignored))
        ADD_FAILURE() << "the installer did not answer after SetForegroundWindow";
    if (!WaitFor([&] { return GetForegroundWindow() == form_ && ActiveWindow() == form_; }, 5000))
        ADD_FAILURE() << "the installer window did not come to the front";
}

// The pause between the last mouse message and a press (see MouseDrag).
const DWORD kPressAfterMoveMs = 150;

// Moves the cursor and waits until the system has it there.
static void MoveTo(POINT screen) {
    std::vector<INPUT> in{MouseInput(screen, 0)};
    Send(in);
    WaitFor([&] {
        POINT at{};
        GetCursorPos(&at);
        return at.x == screen.x && at.y == screen.y;
    }, 5000);
}

void Installer::MouseClick(POINT screen) {
    BringToFront();
    MoveTo(screen);
    std::vector<INPUT> in;
    in = {MouseInput(screen, MOUSEEVENTF_LEFTDOWN)};
    Send(in);
    in = {MouseInput(screen, MOUSEEVENTF_LEFTUP)};
    Send(in);
}

bool Installer::MouseDrag(POINT from, POINT to) {
    BringToFront();
    MoveTo(from);
    // The window answers the hit test from the button's asynchronous state, which Wine caches
    // for 50 ms after each look (every mouse message makes one): a press that follows a move or
    // a release at once is taken with the button still up. So the press comes as a person's
    // would, a moment after the last mouse message, and one that starts no move loop anyway is
    // released and made again.
    bool moving = false;
    std::vector<INPUT> in;
    for (int attempt = 0; attempt < 3 && !moving; ++attempt) {
        if (attempt) {
            in = {MouseInput(from, MOUSEEVENTF_LEFTUP)};
            Send(in);
        }
        Sleep(kPressAfterMoveMs);
        in = {MouseInput(from, MOUSEEVENTF_LEFTDOWN)};
        Send(in);
        moving = WaitFor([&] { return InMoveLoop(); }, 700);
    }
    const POINT mid{(from.x + to.x) / 2, (from.y + to.y) / 2};
    for (POINT at : {mid, to}) {
        const RECT before = WindowRect(form_);
        in = {MouseInput(at, 0)};
        Send(in);
        if (moving) {
            WaitFor([&] {
                RECT now = WindowRect(form_);
                return now.left != before.left || now.top != before.top;
            }, 5000);
        }
    }
    in = {MouseInput(to, MOUSEEVENTF_LEFTUP)};
    Send(in);
    WaitFor([&] { return !InMoveLoop(); });
    return moving;
}

void Installer::Key(WORD vk, WORD modifier) {
    BringToFront();
    std::vector<INPUT> in;
    if (modifier) in.push_back(KeyInput(modifier, false));
    in.push_back(KeyInput(vk, false));
    in.push_back(KeyInput(vk, true));
    if (modifier) in.push_back(KeyInput(modifier, true));
    Send(in);
}

bool Installer::WaitForStatus(const std::string& text, DWORD timeoutMs) {
    bool ok = WaitFor([&] { return Status() == text; }, timeoutMs);
    if (!ok) ADD_FAILURE() << "status line is \"" << Status() << "\", expected \"" << text << "\"";
    return ok;
}

bool Installer::WaitUntilEnabled(HWND control, DWORD timeoutMs) {
    bool ok = WaitFor([&] { return IsEnabled(control); }, timeoutMs);
    if (!ok) ADD_FAILURE() << "\"" << Text(control) << "\" did not become enabled";
    return ok;
}

Box Installer::CurrentBox() const {
    return BoxOf(pi_.dwProcessId);
}

Box BoxOf(DWORD processId) {
    Box box;
    box.hwnd = FindWindowOf(processId, "#32770", nullptr);
    if (!box.hwnd) return box;
    char caption[512];
    int n = GetWindowTextA(box.hwnd, caption, sizeof caption);
    box.caption.assign(caption, n > 0 ? static_cast<size_t>(n) : 0);
    HWND text = GetDlgItem(box.hwnd, 0xFFFF);
    for (HWND child : Descendants(box.hwnd)) {
        std::string cls = ClassName(child);
        if (cls == "Static") {
            // Wine's boxes always hold the icon control and hide it when there is no icon.
            if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                if (IsWindowVisible(child) && SendMessageA(child, STM_GETICON, 0, 0))
                    box.hasIcon = true;
            }
            else if (!text) text = child;
        } else if (cls == "Button" && IsWindowVisible(child)) {
            box.buttons.push_back(Text(child));
        }
    }
    if (text) box.text = Text(text);
    return box;
}

Box Installer::WaitForBox(DWORD timeoutMs) {
    Box box;
    // A box's controls are made before it shows; wait until its text can be read too.
    bool ok = WaitFor([&] {
        box = CurrentBox();
        return box.hwnd && !box.buttons.empty();
    }, timeoutMs);
    if (!ok) {
        ADD_FAILURE() << "no message box appeared (status \"" << Status() << "\")";
        return box;
    }
    boxes_.push_back(box);
    return box;
}

void Installer::Answer(const Box& box, int buttonId) {
    AnswerBox(box, buttonId);
}

void AnswerBox(const Box& box, int buttonId) {
    ASSERT_NE(box.hwnd, nullptr);
    HWND button = GetDlgItem(box.hwnd, buttonId);
    ASSERT_NE(button, nullptr) << "the box \"" << box.caption << "\" has no button " << buttonId;
    PostMessageA(button, BM_CLICK, 0, 0);
    if (!WaitFor([&] { return !IsWindow(box.hwnd); })) {
        ADD_FAILURE() << "the box \"" << box.caption << "\" did not close";
    }
}

bool Installer::Running() const {
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD Installer::WaitForExit(DWORD timeoutMs) {
    if (!pi_.hProcess) return STILL_ACTIVE;
    if (WaitForSingleObject(pi_.hProcess, Scaled(timeoutMs)) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the installer did not end";
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

// --- The installer started with a command line -------------------------------------------

namespace {

BOOL CALLBACK CollectVisible(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == s->first && IsWindowVisible(hwnd)) s->second.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> VisibleWindowsOf(DWORD pid) {
    std::pair<DWORD, std::vector<HWND>> s{pid, {}};
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&s));
    return s.second;
}

}  // namespace

Launched::Launched(const std::string& arguments, const std::string& exe) {
    const std::string path = ProgramToStart(exe);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string line = "\"" + path + "\" " + arguments;
    std::string folder = FolderOf(path);
    if (!CreateProcessA(path.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi_)) {
        ADD_FAILURE() << "cannot start " << line << ": error " << GetLastError();
    }
}

Launched::~Launched() {
    EndProcess(pi_);
}

bool Launched::Running() const {
    return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND Launched::VisibleWindow(const char* caption) const {
    return pi_.hProcess ? FindWindowOf(pi_.dwProcessId, nullptr, caption) : nullptr;
}

HWND Launched::WaitForWindow(const char* caption, DWORD timeoutMs) {
    HWND found = nullptr;
    if (!WaitFor([&] { return (found = VisibleWindow(caption)) != nullptr || !Running(); },
                 timeoutMs) || !found)
        ADD_FAILURE() << "no window \"" << caption << "\" appeared"
                      << (Running() ? "" : " (the installer had ended)");
    return found;
}

void Launched::NoteWindows() {
    for (HWND hwnd : VisibleWindowsOf(pi_.dwProcessId)) {
        std::string caption = ClassName(hwnd) + " \"" + Text(hwnd) + "\"";
        if (std::find(seen_.begin(), seen_.end(), caption) == seen_.end())
            seen_.push_back(caption);
    }
}

Box Launched::WaitForBox(DWORD timeoutMs) {
    Box box;
    if (!WaitFor([&] {
            box = BoxOf(pi_.dwProcessId);
            return (box.hwnd && !box.buttons.empty()) || !Running();
        }, timeoutMs) || !box.hwnd)
        ADD_FAILURE() << "no message box appeared";
    return box;
}

DWORD Launched::WaitForExit(DWORD timeoutMs) {
    if (!pi_.hProcess) return STILL_ACTIVE;
    const DWORD start = GetTickCount(), limit = Scaled(timeoutMs);
    while (WaitForSingleObject(pi_.hProcess, 20) == WAIT_TIMEOUT) {
        NoteWindows();
        if (GetTickCount() - start > limit) {
            ADD_FAILURE() << "the installer did not end";
            return STILL_ACTIVE;
        }
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
}

}  // namespace e2e
