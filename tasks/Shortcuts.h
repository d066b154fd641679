// Shortcuts to the launcher StartKestrel.exe: writes Kestrel.lnk (through the shell-link object)
// into the common desktop, the start-menu folder "\Tavrin" (created when missing) and the users'
// Quick Launch folders, replacing an older Kestrel.lnk there. Reads the Shell Folders values of
// HKEY_LOCAL_MACHINE and, for the start menu, of HKEY_CURRENT_USER. Every link placed, and the
// start-menu folder when it was made, is recorded; the uninstall deletes what is recorded.
#pragma once
#include <string>

#include "core/InstallContext.h"

class InstallerUi;

// folder: "Common Desktop", "Common Programs" (machine-wide shell folders, compared exactly) or a
// directory path. A folder key that yields no directory places no link.
void CreateShellLink(const std::string& target, const std::string& arguments,
                     const std::string& workingDirectory, const std::string& linkName,
                     const std::string& folder, InstallerUi& ui);
// The old-style Quick Launch folder if it exists, else every visible user profile's.
void PlaceQuickLaunchLinks(const InstallContext& context, InstallerUi& ui);
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
