#include "platform/Shell.h"

#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "platform/Log.h"
#include "platform/Registry.h"

std::string TakeWholeString(UINT(WINAPI* query)(LPSTR buffer, UINT size)) {
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        UINT n = query(buffer.data(), static_cast<UINT>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(n + 1);  // n is the size needed, terminating zero included
    }
}

std::string SpecialFolderPath(int csidl) {
    char path[MAX_PATH + 1] = "";
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0 /* SHGFP_TYPE_CURRENT */, path)))
        return std::string();
    return path;
}

std::string SystemDirectory() {
    return TakeWholeString(GetSystemDirectoryA);
}

namespace {
ShellExecuteFunction gShellExecute = ShellExecuteA;

// ShellExecuteA's work without its error box (SEE_MASK_FLAG_NO_UI).
HINSTANCE WINAPI ShellExecuteWithoutBoxes(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                          LPCSTR directory, INT show) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = show;
    ShellExecuteExA(&info);
    return info.hInstApp;
}
}  // namespace

void SetShellExecuteFunction(ShellExecuteFunction function) {
    gShellExecute = function ? function : ShellExecuteA;
}

void ShellOpenWithoutBoxes() {
    gShellExecute = ShellExecuteWithoutBoxes;
}

void ShellOpen(HWND owner, const std::string& program, const std::string& parameters) {
    HINSTANCE result =
        gShellExecute(owner, "open", program.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
    // Not waited for, and the run does not look at the result; the log keeps it.
    const INT_PTR code = reinterpret_cast<INT_PTR>(result);
    Log("Iniciado: " + program + " " + parameters +
        (code > 32 ? std::string() : " (falhou, c\xF3" "digo " + std::to_string(code) + ")"));
}

void StartedProgram::Close() {
    if (process_) {
        CloseHandle(process_);
        process_ = nullptr;
    }
}

bool StartProgram(const std::string& program, const std::string& parameters,
                  StartedProgram& started, DWORD* error) {
    std::string commandLine = "\"" + program + "\" " + parameters;  // CreateProcessA may write in it
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const bool ok = CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &process) != FALSE;
    const DWORD code = ok ? ERROR_SUCCESS : GetLastError();
    if (error) *error = code;
    if (ok) CloseHandle(process.hThread);
    started = StartedProgram(ok ? process.hProcess : nullptr);
    Log("Iniciado: " + program + " " + parameters +
        (ok ? std::string() : " (falhou, erro " + std::to_string(code) + ")"));
    return ok;
}

ProgramEnd WaitForProgram(const StartedProgram& program, DWORD timeoutMs, DWORD* exitCode) {
    if (!program.Process()) return ProgramEnd::NotWaitable;
    if (WaitForSingleObject(program.Process(), timeoutMs) != WAIT_OBJECT_0)
        return ProgramEnd::StillRunning;
    DWORD code = 0;
    if (!GetExitCodeProcess(program.Process(), &code)) return ProgramEnd::NotWaitable;
    if (exitCode) *exitCode = code;
    return ProgramEnd::Exited;
}

std::string ProgramFilesFolder(const std::string& systemDrive) {
    std::string folder;
    // Looked up: shell32 before Windows 2000 may lack it, or not know the folder.
    using SpecialFolderFn = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);
    auto special = reinterpret_cast<SpecialFolderFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("shell32.dll"), "SHGetSpecialFolderPathA")));
#ifdef _WIN64
    const int kProgramFiles = 0x002A;  // CSIDL_PROGRAM_FILESX86: what a 32-bit program gets
#else
    const int kProgramFiles = 0x0026;  // CSIDL_PROGRAM_FILES
#endif
    char buffer[MAX_PATH + 1] = "";
    if (special && special(nullptr, buffer, kProgramFiles, FALSE)) folder = buffer;
    if (folder.empty()) {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        reg.Access = KEY_READ | kView32;
        if (reg.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", false))
            folder = reg.ReadString("ProgramFilesDir");
    }
    if (folder.empty()) folder = systemDrive + "\\Arquivos de programas";
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

std::string OwnProgramFile() {
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}
