#include "tasks/Shortcuts.h"

void CreateShellLink(const std::string&, const std::string&, const std::string&,
                     const std::string&, const std::string&, InstallerUi&) {}
void PlaceQuickLaunchLinks(const InstallContext&, InstallerUi&) {}
void PlaceQuickLaunchLink(const InstallContext&, const std::string&, InstallerUi&) {}
