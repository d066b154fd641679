// Program entry: the application object, the title, the installer window and the message loop.
#include <windows.h>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/Deployment.h"
#include "app/UnitInst.h"
#include "platform/Resources.h"
#include "platform/SystemDlls.h"

// Every handler's exception is caught and shown by the error display; one that escapes anyway
// ends the program at once with exit code 4 (never abort()'s 3, which a deployment tool reads as
// "already installed"). Replacing the runtime's report of such an exception (which names its
// type) keeps a C++ name demangler out of the executable; it is also the handler in force before
// EndFatalErrorsWithCode4 sets its own.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    EndAtFatalError("t\xE9rmino inesperado do programa (std::terminate)");
}
}  // namespace __gnu_cxx


int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // Reading the command line touches nothing; the error mode of an unattended start is then
    // set before anything else could show a system box.
    CommandLine options = ParseCommandLine(ArgumentsOf(GetCommandLineA()));
    if (options.Unattended()) SetErrorMode(kUnattendedErrorMode);
    EndFatalErrorsWithCode4();
    HardenDllSearch();  // before anything can load a DLL
    // The uninstaller is this program without the payload: started as it is (from Programs and
    // Features' folder, by a double click), it uninstalls, asking first; it can install nothing.
    ResourceBytes firstRow;
    if (!FindRcData(nullptr, 1, firstRow) && !options.Uninstall) {
        options.Uninstall = true;
        options.Empty = false;
    }
    // A run that shows nothing makes no window at all.
    Application app(instance, !options.VerySilent);
    app.Initialize();
    app.SetTitle("Instalador - Kestrel");
    if (!options.Empty) return RunWithCommandLine(app, options, showCommand);
    TFormInst FormInst(app);
    app.Run(showCommand);
    return 0;
}
