// The system directory and programs started through the shell.
#pragma once
#include <windows.h>

#include <string>

// The Windows system directory (GetSystemDirectoryA), however long: the buffer grows to what the
// system asks for instead of cutting the path at a fixed size.
std::string SystemDirectory();

// Calls a GetSystemDirectoryA-shaped function (returns the length copied, or the size needed
// including the terminating zero when the buffer is too small) until the whole text fits.
std::string TakeWholeString(UINT(WINAPI* query)(LPSTR buffer, UINT size));

// The shell's path of a special folder such as CSIDL_COMMON_DESKTOPDIRECTORY (SHGetFolderPathA,
// the folder's current path; nothing is created). "" when the shell gives none.
std::string SpecialFolderPath(int csidl);

// ShellExecuteA with the verb "open", no working directory and SW_SHOWNORMAL. The program is
// neither waited for nor is the result looked at: what it does is its own business.
void ShellOpen(HWND owner, const std::string& program, const std::string& parameters);
// From now on ShellOpen shows no box of its own when a program cannot be started (an
// unattended run must never wait for a person).
void ShellOpenWithoutBoxes();

// A started program not yet waited for: owns its process handle.
class StartedProgram {
public:
    StartedProgram() = default;
    explicit StartedProgram(HANDLE process) : process_(process) {}
    ~StartedProgram() { Close(); }
    StartedProgram(StartedProgram&& other) noexcept : process_(other.process_) {
        other.process_ = nullptr;
    }
    StartedProgram& operator=(StartedProgram&& other) noexcept {
        if (this != &other) {
            Close();
            process_ = other.process_;
            other.process_ = nullptr;
        }
        return *this;
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;
    HANDLE Process() const { return process_; }
    void Close();
private:
    HANDLE process_ = nullptr;
};

// CreateProcessA of the program file program (a full path: nothing is searched for), with the
// command line "program" parameters, the installer's current folder and no handles inherited,
// keeping the process to wait for. Logged. False, with the system's error code in *error, when
// it could not be started. (The shell is not needed to start a program file: ShellExecuteEx
// would look up the file's association and load the shell's machinery for it first.)
bool StartProgram(const std::string& program, const std::string& parameters,
                  StartedProgram& started, DWORD* error = nullptr);

// How a wait for a started program ended.
enum class ProgramEnd { Exited, StillRunning, NotWaitable };
// Waits at most timeoutMs for the program's end; its exit code in *exitCode when it ended.
ProgramEnd WaitForProgram(const StartedProgram& program, DWORD timeoutMs, DWORD* exitCode);

// What ShellOpen calls: ShellExecuteA, unless a test has put a recorder of the starts in its
// place (nullptr puts ShellExecuteA back).
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND owner, LPCSTR verb, LPCSTR file,
                                                LPCSTR parameters, LPCSTR directory, INT show);
void SetShellExecuteFunction(ShellExecuteFunction function);

// The program-files folder of a 32-bit program (CSIDL_PROGRAM_FILES; "C:\Program Files (x86)"
// on 64-bit Windows), as the shell gives it; where the shell cannot, the "ProgramFilesDir" the
// system records; without either, systemDrive + "\Arquivos de programas". No trailing backslash.
std::string ProgramFilesFolder(const std::string& systemDrive);
// The full path of the running program file.
std::string OwnProgramFile();

