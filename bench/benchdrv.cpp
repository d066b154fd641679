// Benchmark driver, run under Wine beside the installer. Each invocation does one thing; the
// measuring ones append "name value" lines to the result file:
//   benchdrv install RESULT INSTALLER.exe   start-up, click-to-done and whole process of one
//                                           first installation (all options on)
//   benchdrv idle RESULT INSTALLER.exe      the installer started and, once RELEASE exists,
//                                           closed without a run (the memory baseline)
//   benchdrv process RESULT NAME PROGRAM [ARGS]  whole process of a program (baselines and the
//                                           peer): its arguments are passed as given, and
//                                           "NAME_exit CODE" is reported besides the time
//   benchdrv hold RESULT PROGRAM [ARGS]     a window program started, shown and, once RELEASE
//                                           exists, closed (the empty program's memory)
//   benchdrv tables OUT                     the installer's own tables (payload rows, and the
//                                           registry values as the run writes them), compiled
//                                           from its sources, for the peer and the checks
//   benchdrv verify RESULT EXPECTED         registry values and links as listed in EXPECTED;
//                                           every difference is reported as a "mismatch" line
// RELEASE is the result file's name followed by ".release"; the sampler of tools/bench.py makes
// it once it has sampled the shown window. Exit code 0 when the measurement completed (or the
// check passed), 1 otherwise, 2 on bad arguments.
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/common/LinkReader.h"
#include "core/InstallContext.h"
#include "platform/Registry.h"
#include "tasks/DatabaseAccess.h"
#include "tasks/PayloadTable.h"

namespace {

// Generous: a loaded, shared machine may be slow, and no time-out decides a figure.
const double kStartTimeout = 120;
const double kRunTimeout = 600;
const double kExitTimeout = 120;

double Now() {
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

bool WaitFor(const std::function<bool()>& pred, double seconds) {
    double end = Now() + seconds;
    while (Now() < end) {
        if (pred()) return true;
        Sleep(1);
    }
    return pred();
}

struct Search {
    DWORD pid;
    const char* caption;  // nullptr: any caption
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
    char caption[128] = "";
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (s->caption && std::strcmp(caption, s->caption) != 0) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND FindWindowOf(DWORD pid, const char* caption) {
    Search s{pid, caption, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

// A message box of the process (class #32770): a run that asks or warns has gone wrong here.
HWND FindBox(DWORD pid) {
    HWND box = nullptr;
    while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (owner == pid && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

std::string TextOf(HWND hwnd) {
    char text[512] = "";
    DWORD_PTR n = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, 5000, &n);
    return text;
}

// A child process that is waited for and closed.
struct Child {
    PROCESS_INFORMATION pi{};
    ~Child() {
        if (pi.hThread) CloseHandle(pi.hThread);
        if (pi.hProcess) CloseHandle(pi.hProcess);
    }
    bool Start(const std::string& commandLine) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::string line = commandLine;
        return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                              &pi) != FALSE;
    }
    bool WaitExit(double seconds) {
        return WaitForSingleObject(pi.hProcess, static_cast<DWORD>(seconds * 1000)) == WAIT_OBJECT_0;
    }
    DWORD ExitCode() const {
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

// One argument of a command line as the C runtime and CommandLineToArgvW split it: as given
// unless it is empty or holds a blank, a tab or a double quote.
std::string QuoteArgument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

std::string CommandLine(char** args, int count) {
    std::string line;
    for (int i = 0; i < count; ++i) line += (i ? " " : "") + QuoteArgument(args[i]);
    return line;
}

void Report(FILE* out, const char* name, double value) {
    std::fprintf(out, "%s %.6f\n", name, value);
    std::fflush(out);
}

// Waits for the sampler's go-ahead (the release file), so that the shown window was sampled.
bool WaitForRelease(const std::string& result) {
    const std::string release = result + ".release";
    return WaitFor([&] { return GetFileAttributesA(release.c_str()) != INVALID_FILE_ATTRIBUTES; },
                   kRunTimeout);
}

int Install(FILE* out, const std::string& result, const std::string& installer, bool click) {
    Child child;
    double t0 = Now();
    if (!child.Start(QuoteArgument(installer))) return 1;
    HWND form = nullptr, install = nullptr, cancel = nullptr;
    // The effect of the start: the window shown, "&Instalar" focused. Looked for once the
    // program first waits for input, so that the looking (every window through the wineserver)
    // does not slow the start it measures; the look decides, whatever the idle wait returns.
    WaitForInputIdle(child.pi.hProcess, static_cast<DWORD>(kStartTimeout * 1000));
    bool ready = WaitFor([&] {
        form = FindWindowOf(child.pi.dwProcessId, "Instalador Kestrel");
        if (!form) return false;
        install = FindWindowExA(form, nullptr, "Button", "&Instalar");
        cancel = FindWindowExA(form, nullptr, "Button", "&Cancelar");
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        return install && cancel && GetGUIThreadInfo(child.pi.dwThreadId, &gui) &&
               gui.hwndFocus == install;
    }, kStartTimeout);
    double t1 = Now();
    if (!ready) {
        std::fprintf(out, "error the window did not show with \"&Instalar\" focused\n");
        return 1;
    }
    Report(out, "startup", t1 - t0);
    if (!click) {
        bool released = WaitForRelease(result);
        PostMessageA(cancel, BM_CLICK, 0, 0);
        // The effect of the click on "&Cancelar": the process gone.
        return released && child.WaitExit(kExitTimeout) && child.ExitCode() == 0 ? 0 : 1;
    }

    double c0 = Now();
    PostMessageA(install, BM_CLICK, 0, 0);
    // The effect of the click: the run has begun ("&Instalar" disabled, after "&Cancelar").
    // Done: "&Cancelar" enabled again, which only the run's end does from here. With
    // KESTREL_BENCH_TRACE set, the status line is read on the way (which slows the run down) and
    // the time of each new text (every payload row's) goes to the result file: where time goes.
    bool trace = GetEnvironmentVariableA("KESTREL_BENCH_TRACE", nullptr, 0) != 0;
    HWND status = GetDlgItem(GetDlgItem(form, 101), 102);
    std::string last;
    HWND box = nullptr;
    double nextBoxLook = 0;
    bool started = WaitFor([&] { return !IsWindowEnabled(install); }, kRunTimeout);
    bool done = started && WaitFor([&] {
        if (trace && status) {
            std::string text = TextOf(status);
            if (text != last) {
                std::fprintf(out, "trace %.3f %s\n", Now() - c0, text.c_str());
                last = text;
            }
        }
        if (IsWindowEnabled(cancel)) return true;
        // A box is a failure, seen soon enough at a twentieth of the rate: each look walks
        // every top-level window through the wineserver, which the installer needs meanwhile.
        double now = Now();
        if (now >= nextBoxLook) {
            nextBoxLook = now + 0.02;
            box = FindBox(child.pi.dwProcessId);
        }
        return box != nullptr;
    }, kRunTimeout);
    double c1 = Now();
    if (box) {
        std::fprintf(out, "error a box came up: %s\n",
                     TextOf(FindWindowExA(box, nullptr, "Static", nullptr)).c_str());
        TerminateProcess(child.pi.hProcess, 1);
        return 1;
    }
    if (!done) {
        std::fprintf(out, "error the run did not %s\n", started ? "end" : "start");
        return 1;
    }
    Report(out, "click_to_done", c1 - c0);

    PostMessageA(cancel, BM_CLICK, 0, 0);
    // The effect of the click on "&Cancelar": the process gone.
    if (!child.WaitExit(kExitTimeout)) {
        std::fprintf(out, "error the installer did not end after \"&Cancelar\"\n");
        return 1;
    }
    double t2 = Now();
    Report(out, "whole_process", t2 - t0);
    return child.ExitCode() == 0 ? 0 : 1;
}

int Process(FILE* out, const char* name, const std::string& commandLine) {
    Child child;
    double t0 = Now();
    if (!child.Start(commandLine)) {
        std::fprintf(out, "error cannot start %s\n", commandLine.c_str());
        return 1;
    }
    if (!child.WaitExit(kRunTimeout)) {
        std::fprintf(out, "error %s did not end\n", name);
        return 1;
    }
    Report(out, name, Now() - t0);
    std::fprintf(out, "%s_exit %lu\n", name, static_cast<unsigned long>(child.ExitCode()));
    return 0;
}

int Hold(FILE* out, const std::string& result, const std::string& commandLine) {
    Child child;
    if (!child.Start(commandLine)) return 1;
    HWND window = nullptr;
    if (!WaitFor([&] { return (window = FindWindowOf(child.pi.dwProcessId, nullptr)) != nullptr; },
                 kStartTimeout))
        return 1;
    std::fprintf(out, "shown\n");
    std::fflush(out);
    bool released = WaitForRelease(result);
    PostMessageA(window, WM_CLOSE, 0, 0);
    return released && child.WaitExit(kExitTimeout) ? 0 : 1;
}

// --- the installer's tables -------------------------------------------------------------------

const char* const kScratchKey = "Software\\Kestrel benchmark tables";

void DumpKey(std::ostream& out, HKEY key, const std::string& path) {
    char name[256];
    BYTE data[2048];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        // The configuration values; a driver's UsageCount (a REG_DWORD) is the installations'
        // count, not part of what the peer is asked to write.
        if (type != REG_SZ) continue;
        data[dataSize] = 0;
        out << "reg\t" << path << '\t' << name << '\t' << reinterpret_cast<char*>(data) << '\n';
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        DumpKey(out, sub, path.empty() ? name : path + "\\" + name);
        RegCloseKey(sub);
    }
}

// The registry values are those RegisterDatabaseAccess writes, written below a scratch key of
// the current user (no BDE registered there, so the default BdeDir stays) with each context
// field replaced by its name in braces, then read back in the order written.
int Tables(const char* path) {
    std::ofstream out(path, std::ios::binary);
    if (!out) return 2;
    for (const PayloadEntry& e : PayloadTable) {
        const char* base = e.Base == PayloadBase::BdeDir    ? "BdeDir"
                           : e.Base == PayloadBase::OdbcDir ? "OdbcDir"
                                                            : "SystemDir";
        out << "file\t" << e.Row << '\t' << base << '\t' << e.FileName << '\t'
            << (e.KeepIfPresent ? "keep" : "replace") << '\n';
    }
    SHDeleteKeyA(HKEY_CURRENT_USER, kScratchKey);
    HKEY scratch = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &scratch, nullptr) != ERROR_SUCCESS)
        return 1;
    InstallContext context;
    context.BdeDir = "{BdeDir}";
    context.OdbcDir = "{OdbcDir}";
    context.IPServidor = "{IPServidor}";
    context.Porta = "{Porta}";
    context.BancoDados = "{BancoDados}";
    {
        TRegistry registry;
        registry.RootKey = scratch;
        RegisterDatabaseAccess(registry, context);
    }
    DumpKey(out, scratch, "");
    RegCloseKey(scratch);
    SHDeleteKeyA(HKEY_CURRENT_USER, kScratchKey);
    return out ? 0 : 1;
}

// --- the checks after a run -------------------------------------------------------------------

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.push_back("");
    return fields;
}

// Lines "reg KEY NAME VALUE" (HKLM; a REG_SZ of exactly that value) and
// "link PATH TARGET ARGUMENTS WORKDIR" (a shell link reading back so), tab-separated.
int Verify(FILE* out, const char* expected) {
    std::ifstream in(expected, std::ios::binary);
    if (!in) return 2;
    CoInitialize(nullptr);
    int mismatches = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f = Split(line);
        if (f.size() == 4 && f[0] == "reg") {
            HKEY key = nullptr;
            std::string value = "(no key)";
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, f[1].c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
                DWORD type = 0;
                if (RegQueryValueExA(key, f[2].c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
                    value = "(no value)";
                else if (type != REG_SZ)
                    value = "(not REG_SZ)";
                else
                    value = RegReadStringValue(key, f[2]);
                RegCloseKey(key);
            }
            if (value != f[3]) {
                ++mismatches;
                std::fprintf(out, "mismatch HKLM\\%s \"%s\" = \"%s\", expected \"%s\"\n", f[1].c_str(),
                             f[2].c_str(), value.c_str(), f[3].c_str());
            }
        } else if (f.size() == 5 && f[0] == "link") {
            Link link = LoadLink(f[1]);
            if (!link.loaded || link.target != f[2] || link.arguments != f[3] ||
                link.workingDirectory != f[4]) {
                ++mismatches;
                std::fprintf(out, "mismatch link %s: %s\n", f[1].c_str(),
                             link.loaded ? ("target \"" + link.target + "\" arguments \"" +
                                            link.arguments + "\" directory \"" +
                                            link.workingDirectory + "\"").c_str()
                                         : "missing");
            }
        } else if (!line.empty()) {
            ++mismatches;
            std::fprintf(out, "mismatch cannot read the line: %s\n", line.c_str());
        }
    }
    CoUninitialize();
    return mismatches == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::string mode = argv[1];
    if (mode == "tables") return Tables(argv[2]);
    FILE* out = std::fopen(argv[2], "a");
    if (!out) return 2;
    int rc = 2;
    if (mode == "install" && argc == 4) {
        rc = Install(out, argv[2], argv[3], true);
    } else if (mode == "idle" && argc == 4) {
        rc = Install(out, argv[2], argv[3], false);
    } else if (mode == "process" && argc >= 5) {
        rc = Process(out, argv[3], CommandLine(argv + 4, argc - 4));
    } else if (mode == "hold" && argc >= 4) {
        rc = Hold(out, argv[2], CommandLine(argv + 3, argc - 3));
    } else if (mode == "verify" && argc == 4) {
        rc = Verify(out, argv[3]);
    }
    std::fclose(out);
    return rc;
}
