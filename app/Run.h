// The installation run: everything one press of "&Instalar" does, in order.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "core/InstallContext.h"

class InstallerUi;
class TRegistry;

// The body of TFormInst::SBInstalarClick. Failures leave as exceptions (the error display shows
// them); the buttons then stay disabled.
void PerformInstall(InstallerUi& ui);

// The steps the run hands work to. The defaults are the real ones; tests replace the steps
// that would write the payload or links, or that must fail on purpose.
struct InstallSteps {
    InstallSteps();
    std::function<std::string()> systemDirectory;
    std::function<void(InstallContext&, InstallerUi&)> readSettings;
    std::function<void(TRegistry&, InstallContext&)> registerDatabaseAccess;
    std::function<void(InstallContext&)> buildPayloadDestinations;
    std::function<void(InstallContext&, InstallerUi&)> extractPayload;
    std::function<void(HWND owner, const std::string& program, const std::string& parameters)>
        shellOpen;
    std::function<bool(const std::string& from, const std::string& to)> copyFile;
    std::function<void(const std::string& target, const std::string& arguments,
                       const std::string& workingDirectory, const std::string& linkName,
                       const std::string& folder, InstallerUi& ui)>
        createShellLink;
    std::function<void(const InstallContext&, InstallerUi&)> placeQuickLaunchLinks;
};
void PerformInstall(InstallerUi& ui, const InstallSteps& steps);

// The drive part of a path: "C:" of "C:\...", "\\server\share" of "\\server\share\...", else "".
std::string ExtractFileDrive(const std::string& path);
