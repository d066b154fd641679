// Benchmark driver, run under Wine beside the installer. One invocation measures one thing and
// appends "name seconds" lines to the result file:
//   benchdrv install RESULT INSTALLER.exe   start-up, click-to-done and whole process of one
//                                           first installation (all options on)
//   benchdrv idle RESULT INSTALLER.exe      the installer started and closed without a run
//   benchdrv process RESULT NAME PROGRAM [ARGS]   whole process of a program (baselines)
// Exit code 0 when the measurement completed, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

double Now() {
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

template <class Pred>
bool WaitFor(Pred pred, double seconds) {
    double end = Now() + seconds;
    while (Now() < end) {
        if (pred()) return true;
        Sleep(1);
    }
    return pred();
}

struct Found { DWORD pid; HWND hwnd; };

BOOL CALLBACK FindForm(HWND hwnd, LPARAM param) {
    auto* f = reinterpret_cast<Found*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    char caption[64] = "";
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (pid == f->pid && IsWindowVisible(hwnd) && std::string(caption) == "Instalador Kestrel") {
        f->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindButton(HWND form, const char* text) {
    return FindWindowExA(form, nullptr, "Button", text);
}

bool Start(const std::string& commandLine, PROCESS_INFORMATION& pi) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string line = commandLine;
    return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi) != FALSE;
}

void Report(FILE* out, const char* name, double value) {
    std::fprintf(out, "%s %.6f\n", name, value);
}

int Install(FILE* out, const std::string& installer, bool click) {
    PROCESS_INFORMATION pi{};
    double t0 = Now();
    if (!Start("\"" + installer + "\"", pi)) return 1;
    Found f{pi.dwProcessId, nullptr};
    HWND install = nullptr, cancel = nullptr;
    bool ready = WaitFor([&] {
        f.hwnd = nullptr;
        EnumWindows(FindForm, reinterpret_cast<LPARAM>(&f));
        if (!f.hwnd) return false;
        install = FindButton(f.hwnd, "&Instalar");
        cancel = FindButton(f.hwnd, "&Cancelar");
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        return install && GetGUIThreadInfo(pi.dwThreadId, &gui) && gui.hwndFocus == install;
    }, 60);
    double t1 = Now();
    if (!ready) return 1;
    Report(out, "startup", t1 - t0);
    if (!click) {
        // Idle: the window as started, for a second, then closed.
        Sleep(1000);
        PostMessageA(cancel, BM_CLICK, 0, 0);
        WaitForSingleObject(pi.hProcess, 60000);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return 0;
    }

    double c0 = Now();
    PostMessageA(install, BM_CLICK, 0, 0);
    // Running: both buttons disabled; done: "&Cancelar" enabled again. With KESTREL_BENCH_TRACE
    // set, the status line is read on the way (which slows the run down) and each new step's
    // time is written to the result file, to see where the time goes.
    bool trace = GetEnvironmentVariableA("KESTREL_BENCH_TRACE", nullptr, 0) != 0;
    HWND status = GetDlgItem(GetDlgItem(f.hwnd, 101), 102);
    std::string last;
    bool started = WaitFor([&] { return !IsWindowEnabled(install); }, 60);
    bool done = started && WaitFor([&] {
        if (trace && status) {
            char text[300] = "";
            DWORD_PTR n = 0;
            SendMessageTimeoutA(status, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                                SMTO_NORMAL, 5000, &n);
            std::string step(text, std::string(text).find(' ') == std::string::npos
                                       ? std::strlen(text) : std::string(text).find(' '));
            if (step != last) {
                std::fprintf(out, "trace %.3f %s\n", Now() - c0, text);
                last = step;
            }
        }
        return IsWindowEnabled(cancel) != FALSE;
    }, 300);
    double c1 = Now();
    if (!done) return 1;
    Report(out, "click_to_done", c1 - c0);

    PostMessageA(cancel, BM_CLICK, 0, 0);
    if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) return 1;
    double t2 = Now();
    Report(out, "whole_process", t2 - t0);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code == 0 ? 0 : 1;
}

int Process(FILE* out, const char* name, const std::string& commandLine) {
    PROCESS_INFORMATION pi{};
    double t0 = Now();
    if (!Start(commandLine, pi)) return 1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    Report(out, name, Now() - t0);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    FILE* out = std::fopen(argv[2], "a");
    if (!out) return 2;
    int rc = 2;
    std::string mode = argv[1];
    if (mode == "install") {
        rc = Install(out, argv[3], true);
    } else if (mode == "idle") {
        rc = Install(out, argv[3], false);
    } else if (mode == "process" && argc >= 5) {
        std::string line;
        for (int i = 4; i < argc; ++i) line += std::string(i > 4 ? " " : "") + "\"" + argv[i] + "\"";
        rc = Process(out, argv[3], line);
    }
    std::fclose(out);
    return rc;
}
