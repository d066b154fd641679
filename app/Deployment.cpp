#include "app/Deployment.h"

#include <cstdio>
#include <exception>

#include "app/Application.h"
#include "app/UnitInst.h"
#include "app/Uninstall.h"
#include "core/InstallRecord.h"
#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Machine.h"
#include "platform/Shell.h"

namespace {

bool IsQuestion(UINT flags) {
    return (flags & MB_TYPEMASK) == MB_YESNO;
}

void LogStart() {
    Log(StartLine(Machine()));
    Log("Arquivo de log: " + LogPath());
}

void OnTerminate() {
    EndAtFatalError("t\xE9rmino inesperado do programa (std::terminate)");
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* pointers) {
    char text[96];
    std::snprintf(text, sizeof text, "exce\xE7\xE3o 0x%08lX n\xE3o tratada no endere\xE7o %p",
                  static_cast<unsigned long>(pointers->ExceptionRecord->ExceptionCode),
                  pointers->ExceptionRecord->ExceptionAddress);
    EndAtFatalError(text);
}

// The run without a person: every way it can end becomes an exit code.
int RunUnattended(LoggedUi& ui) {
    try {
        const RunEnd end = PerformInstall(ui);
        return ExitCodeOf(end, ui.Warnings());
    } catch (const EAbort&) {
        Log("Fim da instala\xE7\xE3o: nada foi gravado");
        return kExitNoSettings;
    } catch (const std::exception& error) {
        const auto* own = dynamic_cast<const Exception*>(&error);
        Log("Erro: " + ErrorBoxText(own ? own->message() : std::string(error.what())));
        Log("Fim da instala\xE7\xE3o: parou no erro; o que foi gravado antes continua gravado");
        return kExitError;
    }
}

// What could not be removed (a link, the program copy) is a warning: 5, or 3010 when files also
// wait for the restart.
int UninstallExitCode(UninstallEnd end, int warnings) {
    switch (end) {
    case UninstallEnd::Removed: return warnings > 0 ? kExitWarnings : kExitInstalled;
    case UninstallEnd::NotConfirmed: break;
    case UninstallEnd::RestartRequired: return kExitRestartRequired;
    case UninstallEnd::NothingToRemove: return kExitNothingToRemove;
    }
    return kExitInstalled;
}

// The uninstall with every way it can end as an exit code.
int RunUninstall(LoggedUi& ui) {
    try {
        const UninstallEnd end = PerformUninstall(ui);
        return UninstallExitCode(end, ui.Warnings());
    } catch (const std::exception& error) {
        const auto* own = dynamic_cast<const Exception*>(&error);
        const std::string message = ErrorBoxText(own ? own->message() : std::string(error.what()));
        Log("Erro: " + message);
        Log("Fim da desinstala\xE7\xE3o: parou no erro; o que foi removido antes continua removido");
        if (!ui.Unattended()) ui.MessageBox(message, ui.Title(), MB_OK | MB_ICONERROR);
        ui.SetCancelEnabled(true);
        return kExitError;
    }
}

// /UNINSTALL: without a window, with one that closes itself (/SILENT), or with the window for a
// person, who is asked first and closes it at the end.
int StartUninstall(Application& app, const CommandLine& options, int showCommand) {
    if (options.VerySilent) {
        WindowlessUi windowless(app, options);
        LoggedUi ui(windowless, true);
        return RunUninstall(ui);
    }
    TFormInst form(app);
    LoggedUi ui(form, options.Silent);
    form.SetInstallEnabled(false);
    app.Show(showCommand);
    app.ProcessMessages();
    const int code = RunUninstall(ui);
    if (options.Silent) return code;
    app.Run(showCommand);  // the person reads the status line and closes the window
    return kExitInstalled;  // as every start with the window
}

int Start(Application& app, const CommandLine& options, int showCommand) {
    const int refused = options.Unattended() ? kExitBadCommandLine : kExitInstalled;
    if (options.Help) {
        app.MessageBox(HelpText(), app.Title(), MB_OK | MB_ICONINFORMATION);
        return refused;
    }
    if (!options.Error.empty()) {
        app.MessageBox(CommandLineErrorText(options.Error), app.Title(), MB_OK | MB_ICONERROR);
        return refused;
    }

    if (options.Uninstall) return StartUninstall(app, options, showCommand);

    if (options.VerySilent) {
        WindowlessUi windowless(app, options);
        LoggedUi ui(windowless, true);
        return RunUnattended(ui);
    }

    TFormInst form(app);
    form.SetChecked(InstallOption::DeskTop, options.DeskTop);
    form.SetChecked(InstallOption::MenuIniciar, options.MenuIniciar);
    form.SetChecked(InstallOption::QuickLaunch, options.QuickLaunch);
    LoggedUi ui(form, options.Silent);
    if (!options.Silent) {
        // The window as always: a person presses "&Instalar" and closes it.
        form.SetRunUi(&ui);
        app.Run(showCommand);
        return kExitInstalled;
    }
    app.Show(showCommand);
    app.ProcessMessages();  // painted before the run starts
    return RunUnattended(ui);
    // The window closes with the form.
}

}  // namespace

std::string StartLine(const MachineFacts& machine) {
    const std::string wow64 = Wow64Note(machine);
    return "In\xED" "cio: InstaladorHalden " + ProgramVersion() + "; Windows " + WindowsVersion() +
           (wow64.empty() ? std::string() : "; " + wow64) + "; usu\xE1rio " + UserName() +
           " no computador " + ComputerName() + "; linha de comando: " + GetCommandLineA();
}

int LoggedUi::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    if (!IsQuestion(flags)) ++warnings_;
    return inner_.MessageBox(text, caption, flags);
}

void LoggedUi::SetStatus(const std::string& text) {
    Log("Status: " + text);
    inner_.SetStatus(text);
}

void LoggedUi::NoteWarning(const std::string& text) {
    ++warnings_;
    Log("Aviso: " + text);
    inner_.NoteWarning(text);
}

void LoggedUi::ShowMessage(const std::string& text) {
    ++warnings_;
    inner_.ShowMessage(text);
}

int WindowlessUi::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    return app_.MessageBox(text, caption, flags);
}

void WindowlessUi::ProcessMessages() {
    app_.ProcessMessages();
}

bool WindowlessUi::IsChecked(InstallOption option) const {
    return option == InstallOption::DeskTop       ? options_.DeskTop
           : option == InstallOption::MenuIniciar ? options_.MenuIniciar
                                                  : options_.QuickLaunch;
}

void WindowlessUi::ShowMessage(const std::string& text) {
    app_.MessageBox(text, app_.Title(), MB_OK);
}

HWND WindowlessUi::ApplicationWindow() const {
    return app_.Handle();
}

std::string WindowlessUi::Title() const {
    return app_.Title();
}

void EndAtFatalError(const std::string& what) {
    Log("Erro fatal: " + what);
    Log("Fim: c\xF3" "digo de sa\xED" "da " + std::to_string(kExitError));
    CloseLog();
    ExitProcess(kExitError);
}

void EndFatalErrorsWithCode4() {
    std::set_terminate(OnTerminate);
    SetUnhandledExceptionFilter(OnUnhandledException);
}

int ExitCodeOf(RunEnd end, int warnings) {
    if (end == RunEnd::NotReinstalled) return kExitNotReinstalled;
    // The warnings are in the log; the pending restart is what a deployment tool must act on.
    if (end == RunEnd::RestartRequired) return kExitRestartRequired;
    return warnings > 0 ? kExitWarnings : kExitInstalled;
}

int RunWithCommandLine(Application& app, const CommandLine& options, int showCommand) {
    if (options.LogWanted) {
        const bool named = !options.LogPath.empty();
        DWORD error = 0;
        if (!(named ? OpenLog(options.LogPath, &error) : OpenNewLog(DefaultLogFolder(), &error))) {
            // Reported once, before anything else happens; with a person there, the start
            // goes on without a log.
            if (options.Unattended()) return kExitBadCommandLine;
            app.MessageBox("N\xE3o foi poss\xEDvel criar o arquivo de log \"" +
                               (named ? options.LogPath : DefaultLogFolder()) + "\": " +
                               LogErrorText(error) + ".",
                           app.Title(), MB_OK | MB_ICONERROR);
        }
    }
    // The error mode of an unattended start was set by the program entry, before anything.
    if (options.Unattended()) ShellOpenWithoutBoxes();
    Application::BoxAnswers answers;
    answers.Unattended = options.Unattended();
    // Unattended, "installed" means finished: a data source left by a run that stopped half-way
    // has no completion mark, and that installation is completed rather than kept.
    answers.NoReinstall = options.NoReinstall && (!options.Unattended() || UninstallEntryExists());
    app.SetBoxAnswers(answers);
    LogStart();
    if (options.NoReinstall && !answers.NoReinstall && !options.Uninstall)
        Log("/NOREINSTALL: nenhuma instala\xE7\xE3o conclu\xED" "da registrada; a instala\xE7\xE3o segue");
    const int code = Start(app, options, showCommand);
    Log("Fim: c\xF3" "digo de sa\xED" "da " + std::to_string(code));
    CloseLog();
    return code;
}
