// The installation run: everything one press of "&Instalar" does, in order.
#pragma once
#include <windows.h>

#include <string>

#include "platform/Shell.h"
#include "settings/Settings.h"

class InstallerUi;

// Where the run finds what it installs: the machine's system directory, the folder of the
// settings file and the image carrying the payload and the uninstaller. The defaults are the
// program's own; the unit tests point them at places of their own.
struct InstallSources {
    std::string SystemDir = SystemDirectory();
    std::string SettingsFolder = InstallerFolder();
    HMODULE PayloadModule = nullptr;  // nullptr: the program's own image
};

// How a run that did not fail ended.
enum class RunEnd {
    Installed,       // "Instalação concluída!"
    NotReinstalled,  // installed already, and the reinstall question answered No
    RestartRequired, // "Instalação concluída!", and files in use wait for the next restart
};

// The body of TFormInst::SBInstalarClick. Failures leave as exceptions (the error display shows
// them); the buttons then stay disabled. The missing settings file leaves as EAbort.
RunEnd PerformInstall(InstallerUi& ui, const InstallSources& sources = InstallSources());

// The drive part of a path: "C:" of "C:\...", "\\server\share" of "\\server\share\...", else "".
std::string ExtractFileDrive(const std::string& path);
