// The uninstall: everything "/UNINSTALL" does, in order. It removes what the installations
// recorded and nobody else uses, and leaves the rest.
#pragma once

class InstallerUi;

// How an uninstall that did not fail ended.
enum class UninstallEnd {
    Removed,          // all gone
    RestartRequired,  // all gone but files in use, which go at the next restart
    NothingToRemove,  // no Programs and Features entry: not installed
    NotConfirmed,     // the person answered No to the question
};

// With a person there (not ui.Unattended()) it asks first. Failures leave as exceptions; what
// was removed before stays removed, and the entry stays until the very end, so the uninstall can
// be run again.
UninstallEnd PerformUninstall(InstallerUi& ui);
