// A start with a command line: the switches of app/CommandLine.h put to work. The log is opened
// first; a bad command line or a help request is answered with a box; then the run goes as the
// switches say: with the window for a person, with the window starting and closing by itself
// (/SILENT), or without any window (/VERYSILENT). An unattended run shows no box at all (the
// application answers each one and the log keeps it) and ends with an exit code that tells its
// outcome.
#pragma once
#include <string>

#include "app/CommandLine.h"
#include "app/Run.h"
#include "core/InstallerUi.h"

class Application;
struct MachineFacts;

// Stands in front of the window interface a run works on: logs every status text and counts
// the warnings the run gives (every box but the questions: the program file not copied, an old
// link not deleted, the settings warnings; and the warnings without a box).
class LoggedUi : public InstallerUi {
public:
    explicit LoggedUi(InstallerUi& inner, bool unattended = false)
        : inner_(inner), unattended_(unattended) {}
    int Warnings() const { return warnings_; }

    int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;
    void SetStatus(const std::string& text) override;
    std::string Status() const override { return inner_.Status(); }
    void ProcessMessages() override { inner_.ProcessMessages(); }
    void SetCancelEnabled(bool enabled) override { inner_.SetCancelEnabled(enabled); }
    void SetInstallEnabled(bool enabled) override { inner_.SetInstallEnabled(enabled); }
    bool IsChecked(InstallOption option) const override { return inner_.IsChecked(option); }
    void ShowMessage(const std::string& text) override;
    HWND ApplicationWindow() const override { return inner_.ApplicationWindow(); }
    std::string Title() const override { return inner_.Title(); }
    bool Unattended() const override { return unattended_; }
    void NoteWarning(const std::string& text) override;

private:
    InstallerUi& inner_;
    bool unattended_;
    int warnings_ = 0;
};

// The window interface of a run without a window (/VERYSILENT): the status line is only kept,
// the links are the ones /TASKS names, boxes go to the application (which answers them).
class WindowlessUi : public InstallerUi {
public:
    WindowlessUi(Application& app, const CommandLine& options) : app_(app), options_(options) {}

    int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;
    void SetStatus(const std::string& text) override { status_ = text; }
    std::string Status() const override { return status_; }
    void ProcessMessages() override;
    void SetCancelEnabled(bool) override {}
    void SetInstallEnabled(bool) override {}
    bool IsChecked(InstallOption option) const override;
    void ShowMessage(const std::string& text) override;
    HWND ApplicationWindow() const override;
    std::string Title() const override;

private:
    Application& app_;
    const CommandLine& options_;
    std::string status_;
};

// The log's first line: version, Windows version (on 64-bit Windows, where this 32-bit
// program's writes really go), user, computer, command line.
std::string StartLine(const MachineFacts& machine);

// The exit code of an unattended run that ended without an error.
int ExitCodeOf(RunEnd end, int warnings);

// The error mode of an unattended start, set before anything else can show a system box: no
// box for a drive that is not ready, a file that cannot be opened or a crash.
constexpr UINT kUnattendedErrorMode =
    SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;

// Ends the process at once with kExitError, after a line naming what happened and the line of
// the exit code in the log (when one is open). Neither the runtime's abort() (code 3, which a
// deployment tool reads as "already installed", and msvcrt's "Runtime Error" box) nor a system
// box comes in between.
[[noreturn]] void EndAtFatalError(const std::string& what);
// From now on std::terminate (an exception no handler took) and a crash end the process
// through EndAtFatalError.
void EndFatalErrorsWithCode4();

// The whole start for a non-empty command line, after the application is initialised and
// titled. Returns the process's exit code (0 whenever the run had a window for a person).
int RunWithCommandLine(Application& app, const CommandLine& options, int showCommand);
