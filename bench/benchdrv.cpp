// Benchmark driver, run under Wine beside the installer. Each invocation does one thing; the
// measuring ones append "name value" lines to the result file:
//   benchdrv install RESULT INSTALLER.exe   start-up, click-to-done and whole process of one
//                                           first installation (all options on)
//   benchdrv idle RESULT INSTALLER.exe      the installer started and, once RELEASE exists,
//                                           closed without a run (the memory baseline)
//   benchdrv process RESULT NAME PROGRAM [ARGS]  whole process of a program (baselines and the
//                                           peer): its arguments are passed as given, and
//                                           "NAME_exit CODE" is reported besides the time, and
//                                           "fact NAME marks N": how many of the sample COM
//                                           DLLs' registration marks were there the moment it
//                                           ended (a run that waits for regsvr32.exe has both)
//   benchdrv over RESULT NAME FILES HOLD PROGRAM [ARGS]  the same, over an installation: the
//                                           files listed in FILES (one path a line) and the
//                                           Session Manager's PendingFileRenameOperations are
//                                           read before and after; with HOLD a DLL's path (not
//                                           "-"), that DLL is loaded here first and shown to be
//                                           held (no write access to it) for the whole run.
//                                           Facts: "modified N" (files replaced, rewritten or
//                                           gone), "pending_added N", "held 1"
//   benchdrv hold RESULT PROGRAM [ARGS]     a window program started, shown and, once RELEASE
//                                           exists, closed (the empty program's memory)
//   benchdrv tables OUT [INSTALLER.exe]     the installer's own tables (payload rows, the
//                                           registry values and counts as the run writes them),
//                                           compiled from its sources, for the peers, the floor
//                                           and the checks; with INSTALLER, its file version
//   benchdrv verify RESULT EXPECTED         registry values, files and links as listed in
//                                           EXPECTED (see Verify); every difference is reported
//                                           as a "mismatch" line
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

// The sample payload's COM DLLs leave a value each here when regsvr32.exe registers them
// (payload/markers/marker.c); tools/bench.py deletes the key before every run.
const char* const kMarkerKey = "SOFTWARE\\Kestrel\\SamplePayload";

DWORD MarkerCount() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMarkerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return values;
}

int Process(FILE* out, const char* name, const std::string& commandLine) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMarkerKey);  // the marks counted are this run's
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
    double t1 = Now();
    // At once: what a run that waits for its registrations has done before it ended.
    const DWORD marks = MarkerCount();
    Report(out, name, t1 - t0);
    std::fprintf(out, "%s_exit %lu\n", name, static_cast<unsigned long>(child.ExitCode()));
    std::fprintf(out, "fact %s marks %lu\n", name, static_cast<unsigned long>(marks));
    return 0;
}

// --- a run over an installation ----------------------------------------------------------------

// What tells a file that was replaced (a new file index), rewritten (a new time or size) or
// removed from the one that was left alone.
struct FileState {
    bool exists = false;
    DWORD volume = 0, indexHigh = 0, indexLow = 0, sizeLow = 0;
    FILETIME written{};
    bool operator==(const FileState& o) const {
        return exists == o.exists && volume == o.volume && indexHigh == o.indexHigh &&
               indexLow == o.indexLow && sizeLow == o.sizeLow &&
               CompareFileTime(&written, &o.written) == 0;
    }
};

FileState StateOf(const std::string& path) {
    FileState state;
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return state;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info)) {
        state.exists = true;
        state.volume = info.dwVolumeSerialNumber;
        state.indexHigh = info.nFileIndexHigh;
        state.indexLow = info.nFileIndexLow;
        state.sizeLow = info.nFileSizeLow;
        state.written = info.ftLastWriteTime;
    }
    CloseHandle(h);
    return state;
}

const char* const kSessionManagerKey = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The strings of PendingFileRenameOperations, pairs of source and target (an empty target: a
// deletion). The value holds empty strings, so it is walked to its size, not to the first one.
std::vector<std::string> PendingRenames() {
    std::vector<std::string> strings;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return strings;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS && type == REG_MULTI_SZ && size > 0) {
        std::vector<char> data(size + 2, '\0');
        if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
            // Each string ends with a zero byte, the list with one more (an empty string).
            for (size_t at = 0; at < size;) {
                std::string text(data.data() + at);
                at += text.size() + 1;
                strings.push_back(text);
            }
            // No pair has an empty source: trailing empty strings beyond the last pair are ends.
            while (!strings.empty() && strings.back().empty() &&
                   (strings.size() % 2 == 1 || strings[strings.size() - 2].empty()))
                strings.pop_back();
        }
    }
    RegCloseKey(key);
    return strings;
}

int Over(FILE* out, const char* name, const char* filesPath, const std::string& hold,
         const std::string& commandLine) {
    std::vector<std::string> files;
    {
        std::ifstream in(filesPath, std::ios::binary);
        if (!in) return 2;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) files.push_back(line);
        }
    }
    HMODULE held = nullptr;
    if (hold != "-") {
        held = LoadLibraryA(hold.c_str());
        if (!held) {
            std::fprintf(out, "error cannot load %s: error %lu\n", hold.c_str(), GetLastError());
            return 1;
        }
        // Held as a running program holds its DLL: the file cannot be opened for writing.
        HANDLE h = CreateFileA(hold.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
            std::fprintf(out, "error %s is loaded but can still be opened for writing\n",
                         hold.c_str());
            FreeLibrary(held);
            return 1;
        }
        std::fprintf(out, "fact %s held 1\n", name);
    }
    std::vector<FileState> before;
    for (const std::string& file : files) before.push_back(StateOf(file));
    const std::vector<std::string> pendingBefore = PendingRenames();

    int rc = Process(out, name, commandLine);

    const std::vector<std::string> pendingAfter = PendingRenames();
    size_t modified = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        if (StateOf(files[i]) == before[i]) continue;
        if (++modified <= 3) std::fprintf(out, "info %s modified %s\n", name, files[i].c_str());
    }
    // The pairs that were not there before are this run's.
    size_t added = 0;
    for (size_t i = 0; i + 1 < pendingAfter.size(); i += 2) {
        bool old = false;
        for (size_t j = 0; j + 1 < pendingBefore.size() && !old; j += 2)
            old = pendingBefore[j] == pendingAfter[i] && pendingBefore[j + 1] == pendingAfter[i + 1];
        if (old) continue;
        ++added;
        std::fprintf(out, "info %s pending %s -> %s\n", name, pendingAfter[i].c_str(),
                     pendingAfter[i + 1].empty() ? "(deleted)" : pendingAfter[i + 1].c_str());
    }
    std::fprintf(out, "fact %s modified %lu\n", name, static_cast<unsigned long>(modified));
    std::fprintf(out, "fact %s pending_added %lu\n", name, static_cast<unsigned long>(added));
    if (held) FreeLibrary(held);
    return rc;
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
        // The configuration values, and a driver's UsageCount (a REG_DWORD): the installations'
        // count, raised once per machine, which the peers and the floor raise as a count.
        if (type == REG_DWORD) {
            DWORD count = 0;
            CopyMemory(&count, data, sizeof count);
            out << "count\t" << path << '\t' << name << '\t' << count << '\n';
            continue;
        }
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

// The file version of a program, as the installer's ProgramVersion gives its own ("" when none).
std::string FileVersion(const char* program) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program, &ignored);
    if (size == 0) return std::string();
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(program, 0, size, data.data()) ||
        !VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed)
        return std::string();
    char text[48];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu",
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                  static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
                  static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
    return text;
}

// The registry values are those RegisterDatabaseAccess writes, written below a scratch key of
// the current user (no BDE registered there, so the default BdeDir stays) with each context
// field replaced by its name in braces, then read back in the order written.
int Tables(const char* path, const char* installer) {
    std::ofstream out(path, std::ios::binary);
    if (!out) return 2;
    if (installer) out << "version\t" << FileVersion(installer) << '\n';
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

// A value below HKEY_LOCAL_MACHINE in one registry view, as text: a REG_SZ's string, a
// REG_DWORD's number; "(no key)", "(no value)", "(not REG_SZ)" or "(not REG_DWORD)" when it is
// not of the type asked for.
std::string ValueText(const std::string& keyPath, const std::string& name, REGSAM view,
                      DWORD wanted) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return "(no key)";
    DWORD type = 0, size = 0;
    std::string text = "(no value)";
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> data(size + 1, 0);
        RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
        if (type != wanted)
            text = wanted == REG_SZ ? "(not REG_SZ)" : "(not REG_DWORD)";
        else if (type == REG_SZ)
            text = reinterpret_cast<const char*>(data.data());
        else
            text = std::to_string(*reinterpret_cast<const DWORD*>(data.data()));
    }
    RegCloseKey(key);
    return text;
}

// The expected text: exactly VALUE; "*" any REG_SZ that is not empty; ">=N" a number of at
// least N.
bool Matches(const std::string& got, const std::string& want) {
    if (want == "*") return !got.empty() && got[0] != '(';
    if (want.compare(0, 2, ">=") == 0)
        return !got.empty() && got.find_first_not_of("0123456789") == std::string::npos &&
               std::stoull(got) >= std::stoull(want.substr(2));
    return got == want;
}

bool LastWritten(const std::string& path, FILETIME& time) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    time = data.ftLastWriteTime;
    return true;
}

// Tab-separated lines, each a check:
//   reg KEY NAME VALUE       HKLM, this program's (64-bit) view: a REG_SZ of exactly VALUE
//   reg32 KEY NAME VALUE     the same in the 32-bit program's view (WOW6432Node)
//   dword KEY NAME VALUE     a REG_DWORD; dword32 in the 32-bit view (VALUE as in Matches)
//   exe PATH                 a file that starts as a program does ("MZ")
//   after32 KEY PATH         the key (32-bit view) was last written at or after the file was
//                            (a completion mark written after that file)
//   link PATH TARGET ARGUMENTS WORKDIR   a shell link reading back so
int Verify(FILE* out, const char* expected) {
    std::ifstream in(expected, std::ios::binary);
    if (!in) return 2;
    CoInitialize(nullptr);
    int mismatches = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f = Split(line);
        const std::string kind = f.empty() ? "" : f[0];
        if (f.size() == 4 && (kind == "reg" || kind == "reg32" || kind == "dword" || kind == "dword32")) {
            const REGSAM view = kind.back() == '2' ? KEY_WOW64_32KEY : 0;
            const std::string value =
                ValueText(f[1], f[2], view, kind.compare(0, 3, "reg") == 0 ? REG_SZ : REG_DWORD);
            if (!Matches(value, f[3])) {
                ++mismatches;
                std::fprintf(out, "mismatch HKLM%s\\%s \"%s\" = \"%s\", expected \"%s\"\n",
                             view ? "(32)" : "", f[1].c_str(), f[2].c_str(), value.c_str(),
                             f[3].c_str());
            }
        } else if (f.size() == 2 && kind == "exe") {
            char head[2] = {0, 0};
            DWORD got = 0;
            HANDLE h = CreateFileA(f[1].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                ReadFile(h, head, 2, &got, nullptr);
                CloseHandle(h);
            }
            if (got != 2 || head[0] != 'M' || head[1] != 'Z') {
                ++mismatches;
                std::fprintf(out, "mismatch %s: %s\n", f[1].c_str(),
                             h == INVALID_HANDLE_VALUE ? "missing" : "not a program");
            }
        } else if (f.size() == 3 && kind == "after32") {
            HKEY key = nullptr;
            FILETIME keyTime{}, fileTime{};
            bool haveKey = RegOpenKeyExA(HKEY_LOCAL_MACHINE, f[1].c_str(), 0,
                                         KEY_READ | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS;
            if (haveKey) {
                haveKey = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr,
                                           &keyTime) == ERROR_SUCCESS;
                RegCloseKey(key);
            }
            const bool haveFile = LastWritten(f[2], fileTime);
            if (!haveKey || !haveFile || CompareFileTime(&keyTime, &fileTime) < 0) {
                ++mismatches;
                std::fprintf(out, "mismatch HKLM(32)\\%s %s %s\n", f[1].c_str(),
                             !haveKey ? "missing" : !haveFile ? "(and no file" : "written before",
                             f[2].c_str());
            }
        } else if (f.size() == 5 && kind == "link") {
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
    if (mode == "tables") return Tables(argv[2], argc > 3 ? argv[3] : nullptr);
    FILE* out = std::fopen(argv[2], "a");
    if (!out) return 2;
    int rc = 2;
    if (mode == "install" && argc == 4) {
        rc = Install(out, argv[2], argv[3], true);
    } else if (mode == "idle" && argc == 4) {
        rc = Install(out, argv[2], argv[3], false);
    } else if (mode == "process" && argc >= 5) {
        rc = Process(out, argv[3], CommandLine(argv + 4, argc - 4));
    } else if (mode == "over" && argc >= 7) {
        rc = Over(out, argv[3], argv[4], argv[5], CommandLine(argv + 6, argc - 6));
    } else if (mode == "hold" && argc >= 4) {
        rc = Hold(out, argv[2], CommandLine(argv + 3, argc - 3));
    } else if (mode == "verify" && argc == 4) {
        rc = Verify(out, argv[3]);
    }
    std::fclose(out);
    return rc;
}
