// startKestrel.INI, beside the installer: the only configuration. Read into the settings fields
// of the run's context; a missing file ends the run with a warning and the silent abort.
#pragma once
#include <string>

#include "core/InstallContext.h"

class InstallerUi;

constexpr const char* kSettingsFileName = "startKestrel.INI";

// The folder of the running program file, with its trailing backslash.
std::string InstallerFolder();

// Replaces whatever stands before the first backslash by systemDrive (byte by byte). A value
// without any backslash comes back as systemDrive alone.
std::string RebaseDrive(const std::string& value, const std::string& systemDrive);

// Reads startKestrel.INI of settingsFolder into the context (SystemDrive must be set). On a missing file, or a
// LocalApp that is no path, shows the warning, enables "&Cancelar" and throws EAbort.
void ReadSettingsFrom(const std::string& settingsFolder, InstallContext& context, InstallerUi& ui);
