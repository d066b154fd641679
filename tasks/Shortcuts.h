// Shortcuts to the launcher StartKestrel.exe: the common desktop, the start-menu folder
// "\Tavrin" and the users' Quick Launch folders.
#pragma once
#include <string>

#include "app/InstallContext.h"

class InstallerUi;

// folder: "Common Desktop", "Common Programs" (machine-wide shell folders) or a directory path.
void CreateShellLink(const std::string& target, const std::string& arguments,
                     const std::string& workingDirectory, const std::string& linkName,
                     const std::string& folder, InstallerUi& ui);
// The old-style Quick Launch folder if it exists, else every visible user profile's.
void PlaceQuickLaunchLinks(const InstallContext& context, InstallerUi& ui);
// One candidate directory: the link is placed if the directory exists.
void PlaceQuickLaunchLink(const InstallContext& context, const std::string& directory,
                          InstallerUi& ui);
