// Shortcuts to the launcher StartKestrel.exe: writes Kestrel.lnk (through the shell-link object)
// into the common desktop, the start-menu folder "\Tavrin" (created when missing) and the users'
// Quick Launch folders, replacing an older Kestrel.lnk there. Reads the Shell Folders values of
// HKEY_LOCAL_MACHINE and, for the start menu, of HKEY_CURRENT_USER, asks the shell for a common
// folder the registry does not hold, and on Windows Vista and later reads the profile list. Every
// link placed, and the start-menu folder when it was made, is recorded; the uninstall deletes
// what is recorded.
#pragma once
#include <string>
#include <vector>

#include "core/InstallContext.h"

class InstallerUi;

// folder: "Common Desktop", "Common Programs" (machine-wide shell folders, compared exactly) or a
// directory path. A folder key's directory is the registry's value (for the start menu else the
// user's "Programs"); without one, the shell's common folder (SHGetFolderPathA); when neither
// gives one, no link is placed.
void CreateShellLink(const std::string& target, const std::string& arguments,
                     const std::string& workingDirectory, const std::string& linkName,
                     const std::string& folder, InstallerUi& ui);
// The old-style Quick Launch folder if it exists, else every visible user profile's: found by
// walking the profiles folder that "Common AppData" names (Windows 9x to XP), or, where that
// holds no "All Users" (Windows Vista to 11), through PlaceProfileListQuickLaunchLinks.
void PlaceQuickLaunchLinks(const InstallContext& context, InstallerUi& ui);
// The Quick Launch folder (AppData\Roaming\...) of every profile of an ordinary user account
// in the profile list (HKLM ...\ProfileList, SIDs S-1-5-21-...; the path's %VARIABLES%
// expanded) gets the link where that folder exists. Each profile is logged with or without it.
void PlaceProfileListQuickLaunchLinks(const InstallContext& context, InstallerUi& ui);
// The profile list's account is an ordinary user's: S-1-5-21-... and nothing else after it.
bool IsUserAccountSid(const std::string& sid);
// The profile paths of the ordinary user accounts in the profile list, expanded.
std::vector<std::string> UserProfiles();
// One candidate directory: the link is placed if the directory exists.
void PlaceQuickLaunchLink(const InstallContext& context, const std::string& directory,
                          InstallerUi& ui);

// Deletes every recorded link (each leaves the record).
void RemoveShellLinks();

// The folder holding the user profiles: everything of the machine-wide application-data path
// before the backslash that precedes "All Users" (case-sensitive); "" without one.
std::string ProfilesFolderOf(const std::string& commonAppData);
// A profile's Quick Launch folder: the first "ALL USERS" of the application-data path, in any
// letter case, replaced by the profile name, then "\Microsoft\Internet Explorer\Quick Launch".
std::string QuickLaunchCandidate(const std::string& commonAppData, const std::string& profile);

// What a folder key falls back to: SpecialFolderPath (platform/Shell.h), unless a test has put
// another lookup in place (nullptr puts it back).
using SpecialFolderFunction = std::string (*)(int csidl);
void SetSpecialFolderFunction(SpecialFolderFunction function);
