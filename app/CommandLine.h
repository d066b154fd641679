// The installer's command line, for unattended installations by deployment tools (a group
// policy start-up script, SCCM, PDQ Deploy, psexec):
//
//   /SILENT            the window shows, the run starts by itself, no box is shown, the window
//                      closes itself at the end; the exit code tells the outcome
//   /VERYSILENT        the same without any window
//   /SUPPRESSMSGBOXES  accepted, as in Inno Setup; the two above imply it, alone it changes nothing
//   /NOREINSTALL       the reinstall question is answered No
//   /TASKS="list"      the links to place: desktop, startmenu, quicklaunch, comma-separated
//   /LOG, /LOG="file"  a log (by default a new file in %TEMP%, see platform/Log.h)
//   /UNINSTALL         removes the installation instead (with /SILENT or /VERYSILENT: unasked)
//   /?, /HELP          a box listing the switches and the exit codes
//
// Switch names match without regard to case and may come in any order. An argument ends at a
// blank outside double quotes; the quotes themselves are dropped wherever they stand, and a
// backslash is an ordinary character (so /LOG="C:\Logs\" keeps its final backslash).
#pragma once
#include <string>
#include <vector>

struct CommandLine {
    bool Empty = true;             // no argument at all (empty ones ignored): the start as always
    bool Silent = false;           // /SILENT
    bool VerySilent = false;       // /VERYSILENT
    bool SuppressMsgBoxes = false; // /SUPPRESSMSGBOXES
    bool NoReinstall = false;      // /NOREINSTALL
    bool Help = false;             // /? or /HELP
    bool Uninstall = false;        // /UNINSTALL
    // /TASKS: the three links; all three without the switch.
    bool TasksGiven = false;
    bool DeskTop = true;
    bool MenuIniciar = true;
    bool QuickLaunch = true;
    // /LOG: LogPath "" means the default place.
    bool LogWanted = false;
    std::string LogPath;
    // The first argument that could not be used, described for the user ("" when none).
    std::string Error;

    // No window waits for a person: no box is shown and the exit code tells the outcome.
    bool Unattended() const { return Silent || VerySilent; }
};

// The arguments of a whole command line as GetCommandLineA gives it: what follows the
// program's own name (quoted or not).
std::string ArgumentsOf(const std::string& commandLine);
// The arguments one by one, with the quotes removed.
std::vector<std::string> SplitArguments(const std::string& arguments);
// Reads the arguments; every argument is looked at, so Silent, VerySilent and LogWanted are
// known even when another argument is bad. A switch given twice takes its last value. Empty
// arguments ("") are skipped. A bad argument that names SILENT or VERYSILENT in any spelling
// ("/VERYSILENT=1", "-silent") still makes the start unattended: it ends with code 2, no box.
CommandLine ParseCommandLine(const std::string& arguments);

// The help box's text: the switches and the exit codes.
std::string HelpText();
// The box for a bad command line: the problem and where to find the switches.
std::string CommandLineErrorText(const std::string& error);

// The exit codes of an unattended run (a run with the window keeps 0 whatever happens).
enum ExitCode : int {
    kExitInstalled = 0,
    kExitNoSettings = 1,      // startKestrel.INI missing or its LocalApp unusable; nothing written
    kExitBadCommandLine = 2,  // the command line or the log file unusable; nothing written
    kExitNotReinstalled = 3,  // already installed and /NOREINSTALL; nothing written
    kExitError = 4,           // the run stopped at an error; what was written before stays
    kExitWarnings = 5,        // installed, with a warning (the program file, a link, regsvr32)
    kExitNothingToRemove = 6, // /UNINSTALL without an installation (no Programs and Features entry)
    // Installed (or removed); files in use wait for the next restart (ERROR_SUCCESS_REBOOT_REQUIRED,
    // which deployment tools take as success with a restart pending). Also over kExitWarnings.
    kExitRestartRequired = 3010,
};
