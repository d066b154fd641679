#include "platform/SystemDlls.h"

#include <windows.h>

#include <string>

#include "platform/Shell.h"

int PreloadSystemDlls() {
    const std::string system = SystemDirectory();
    if (system.empty()) return 0;
    int loaded = 0;
    for (const char* name : kSystemDllsLoadedByName) {
        // Kept loaded for the process's lifetime: later loads by bare name find this module.
        if (LoadLibraryA((system + "\\" + name).c_str())) ++loaded;
    }
    return loaded;
}

bool HardenDllSearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return false;
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    const bool vista = version.dwMajorVersion == 6 && version.dwMinorVersion == 0;
    const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (setDefault && !vista && setDefault(kSearchSystem32)) return true;
    auto setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDllDirectory) setDllDirectory("");
    PreloadSystemDlls();
    return false;
}
