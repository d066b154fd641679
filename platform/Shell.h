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

// What ShellOpen calls: ShellExecuteA, unless a test has put a recorder of the starts in its
// place (nullptr puts ShellExecuteA back).
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND owner, LPCSTR verb, LPCSTR file,
                                                LPCSTR parameters, LPCSTR directory, INT show);
void SetShellExecuteFunction(ShellExecuteFunction function);
