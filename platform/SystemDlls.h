// Where the program's DLLs come from. The installer runs elevated or as SYSTEM, often from a
// share or a downloads folder that others can write: a DLL of a system name planted beside it,
// or in the current folder, must never be loaded.
#pragma once

// The DLLs that the shell (ShellExecute, the shell-link object), COM, the common controls and
// dialogs, and the security functions load by bare name while the installer runs, on some
// Windows from XP to 11. Where the search cannot be restricted to the system folder they are
// loaded from there by full path first, so that a later load by bare name finds the loaded one.
// The list follows what the established installers preload (7-Zip's, NSIS's and Inno Setup's
// lists), with ntmarta.dll, which advapi32 loads for the folders' owners and access lists.
inline constexpr const char* kSystemDllsLoadedByName[] = {
    "uxtheme.dll",  "userenv.dll", "setupapi.dll", "apphelp.dll", "propsys.dll",
    "dwmapi.dll",   "cryptbase.dll", "oleacc.dll", "clbcatq.dll", "version.dll",
    "profapi.dll",  "comres.dll",  "ntmarta.dll",  "sspicli.dll", "secur32.dll",
};

// Done first in the program entry, before anything can load a DLL:
// - where SetDefaultDllDirectories exists (Windows 8 and later; 7 with update KB2533623), every
//   load by bare name searches the system folder only;
// - elsewhere (XP, Vista, 7 without the update) SetDllDirectory("") takes the current folder out
//   of the search (XP SP1 and later), and the DLLs of kSystemDllsLoadedByName are loaded from the
//   system folder by full path, since the installer's own folder still comes first in the search.
// On Vista the first way is skipped on purpose: restricting the search to system32 breaks the
// shell-link object there. Both functions are looked up at run time.
// Returns true when the search was restricted to the system folder.
bool HardenDllSearch();
// The second way alone, for the DLLs of the list that the system has (one it lacks is nobody's
// to load); returns how many were loaded.
int PreloadSystemDlls();
