// What the run and its tasks need from the installer window and the application object. The
// real window implements it; tests use a recording fake.
#pragma once
#include <windows.h>

#include <string>

enum class InstallOption { DeskTop, MenuIniciar, QuickLaunch };

class InstallerUi {
public:
    virtual ~InstallerUi() = default;

    // The application's modal message box (owner: the application window). Returns the button.
    virtual int MessageBox(const std::string& text, const std::string& caption, UINT flags) = 0;
    // The status line (Label2).
    virtual void SetStatus(const std::string& text) = 0;
    virtual std::string Status() const = 0;
    // Handles the messages already waiting and returns at once.
    virtual void ProcessMessages() = 0;
    // "&Cancelar" (SBFechar) and "&Instalar" (SBInstalar).
    virtual void SetCancelEnabled(bool enabled) = 0;
    virtual void SetInstallEnabled(bool enabled) = 0;
    // The check boxes, read at the moment of the call.
    virtual bool IsChecked(InstallOption option) const = 0;
    // A plain notice: caption the application title, no icon, one OK button, centred on the
    // screen (the failed deletion of an old shortcut).
    virtual void ShowMessage(const std::string& text) = 0;
    // The hidden application window: owner of boxes and of started programs.
    virtual HWND ApplicationWindow() const = 0;
    // The application title as the application window shows it ("Instalador - Kestrel").
    virtual std::string Title() const = 0;

    // No person follows the run (/SILENT, /VERYSILENT): the exit code tells the outcome.
    virtual bool Unattended() const { return false; }
    // A problem the run goes on after without a box (a registration program that failed, a link
    // that could not be saved): an unattended run then ends with the warnings' exit code. The
    // window shows nothing for it.
    virtual void NoteWarning(const std::string& text) { (void)text; }
};
