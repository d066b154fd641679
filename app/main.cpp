// Program entry: the application object, the title, the installer window and the message loop.
#include <windows.h>

#include <cstdlib>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Deployment.h"
#include "app/UnitInst.h"
#include "platform/Resources.h"

// Every handler's exception is caught and shown by the error display; one that escapes anyway
// ends the program at once. Replacing the runtime's report of such an exception (which names its
// type) keeps a C++ name demangler out of the executable.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

namespace {

// The installer is run elevated, often from a network share: a DLL planted beside it, or in the
// current directory, must never be loaded. Done before anything else can load a DLL; both calls
// are looked up, since older systems lack them. On Vista, restricting the search to system32
// breaks the shell-link object, so there only the current directory is taken out.
void HardenDllSearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel) return;
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    const bool vista = version.dwMajorVersion == 6 && version.dwMinorVersion == 0;
    const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
    if (setDefault && !vista && setDefault(kSearchSystem32)) return;
    auto setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDllDirectory) setDllDirectory("");
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    HardenDllSearch();
    CommandLine options = ParseCommandLine(ArgumentsOf(GetCommandLineA()));
    // The uninstaller is this program without the payload: started as it is (from Programs and
    // Features' folder, by a double click), it uninstalls, asking first; it can install nothing.
    ResourceBytes firstRow;
    if (!FindRcData(nullptr, 1, firstRow) && !options.Uninstall) {
        options.Uninstall = true;
        options.Empty = false;
    }
    Application app(instance);
    app.Initialize();
    app.SetTitle("Instalador - Kestrel");
    if (!options.Empty) return RunWithCommandLine(app, options, showCommand);
    TFormInst FormInst(app);
    app.Run(showCommand);
    return 0;
}
