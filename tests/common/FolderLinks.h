// Links planted at a folder's name, as an ordinary user plants them on Windows: a junction made
// with mklink /J (no privilege needed) on Windows; on Wine, whose CreateSymbolicLinkA makes
// nothing, a Unix symbolic link made by /bin/ln, which Wine runs when a Windows program starts it
// (the bed's stand-in for a junction: Wine shows such a folder with FILE_ATTRIBUTE_REPARSE_POINT
// by name, and a handle opened through it names the real place). Both for the unit tests and the
// end-to-end programs.
#pragma once
#include <windows.h>

#include <string>

namespace links {

inline bool IsWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// The Unix path of a Windows path under Wine ("" elsewhere, or when Wine cannot say).
inline std::string UnixPathOf(const std::string& path) {
    using UnixNameFn = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return std::string();
    wchar_t wide[MAX_PATH * 2];
    if (!MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2)) return std::string();
    char* name = unixName(wide);
    if (!name) return std::string();
    std::string out = name;
    HeapFree(GetProcessHeap(), 0, name);
    return out;
}

// A Windows program's exit code (Windows only: see MakeFolderLink).
inline DWORD RunAndWait(const char* program, std::string commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
        return GetLastError() | 0x80000000u;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// Wine: a Unix symbolic link at link (its parent must exist, the name must not) to target. Wine
// gives a Unix program started from a Windows one no handle to wait on: the wait is for the link.
inline bool MakeUnixLink(const std::string& link, const std::string& target) {
    const size_t slash = link.find_last_of('\\');
    const std::string parent = UnixPathOf(link.substr(0, slash));
    const std::string to = UnixPathOf(target);
    if (parent.empty() || to.empty()) return false;
    std::string command = "/bin/ln -s \"" + to + "\" \"" + parent + "/" + link.substr(slash + 1) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA("Z:\\bin\\ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    for (int waited = 0; waited < 60000; waited += 10) {
        if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(10);
    }
    return false;
}

// Puts at link (which must not exist; its parent must) a link to the folder target: a junction
// on Windows. True when the link is there.
inline bool MakeFolderLink(const std::string& link, const std::string& target) {
    if (IsWine()) return MakeUnixLink(link, target);
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const std::string cmd = std::string(system) + "\\cmd.exe";
    return RunAndWait(cmd.c_str(), "cmd.exe /c mklink /J \"" + link + "\" \"" + target + "\"") == 0;
}

// A symbolic link to the file target (on Windows only an administrator, or developer mode, may
// make one: false there otherwise).
inline bool MakeFileLink(const std::string& link, const std::string& target) {
    if (IsWine()) return MakeUnixLink(link, target);
    using CreateSymbolicLinkFn = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    const auto create = reinterpret_cast<CreateSymbolicLinkFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
    return create && create(link.c_str(), target.c_str(), 0);
}

}  // namespace links
