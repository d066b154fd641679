#include "app/Run.h"

#include "core/InstallerUi.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Registry.h"
#include "platform/Security.h"
#include "platform/Shell.h"
#include "settings/Settings.h"
#include "tasks/DatabaseAccess.h"
#include "tasks/Payload.h"
#include "tasks/Shortcuts.h"

namespace {

// Both literals are the installed products' own folder names; "programas" differs in case.
const char* const kBdeSubdir = "\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE";
const char* const kOdbcSubdir = "\\Arquivos de programas\\PostgreSQL\\psqlODBC\\0804\\bin";

const char* const kReinstallQuestion =
    "Este programa j\xE1 est\xE1 instalado. Deseja reinstalar?";
const char* const kReinstallCaption = "Aten\xE7\xE3o";
const char* const kCopyWarning = "N\xE3o foi poss\xEDvel copiar o execut\xE1vel!";
const char* const kWarningCaption = "Advert\xEA" "ncia";

const char* const kStatusRegistering = "Registrando o sistema.";
const char* const kStatusDlls = "Registrando DLLs NFe";
const char* const kStatusCopying = "Copiando execut\xE1vel. Aguarde...";
const char* const kStatusLinks = "Criando atalho. Aguarde...";
const char* const kStatusDone = "Instala\xE7\xE3o conclu\xED" "da!";

const char* const kLauncher = "StartKestrel.exe";
const char* const kLinkName = "Kestrel";

void ShowStatus(InstallerUi& ui, const std::string& text) {
    ui.SetStatus(text);
    ui.ProcessMessages();
}

void FixBaseDirectories(InstallContext& context, const std::string& systemDir) {
    context.SystemDir = systemDir;
    context.SystemDrive = ExtractFileDrive(context.SystemDir);
    context.BdeDir = context.SystemDrive + kBdeSubdir;
    context.OdbcDir = context.SystemDrive + kOdbcSubdir;
    Log("Pastas: sistema " + context.SystemDir + "; BDE " + context.BdeDir + "; ODBC " +
        context.OdbcDir);
}

// The reinstall check and the registry writes, on one HKEY_LOCAL_MACHINE registry object that
// is released when this returns, also when a write throws. False when the user said No.
bool RegisterSystem(InstallContext& context, InstallerUi& ui) {
    TRegistry registry;
    registry.RootKey = HKEY_LOCAL_MACHINE;
    if (registry.KeyExists(kDataSourceKey) &&
        ui.MessageBox(kReinstallQuestion, kReinstallCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    ui.SetStatus(kStatusRegistering);
    RegisterDatabaseAccess(registry, context);
    return true;
}

// The engine's and the drivers' folders get the protection of a program-files folder; the
// application's folder keeps the rights it inherits (its launcher updates the copy there as the
// user).
void CreateDirectories(const InstallContext& context) {
    ForceDirectories(context.LocalFolder);
    ForceProtectedDirectories(context.BdeDir);
    ForceProtectedDirectories(context.OdbcDir);
}

// regsvr32 by its full path: a bare name would be looked up in the current and the installer's
// folders first, and a program planted there would run with the installer's rights.
void RegisterComDlls(const InstallContext& context, InstallerUi& ui) {
    ShowStatus(ui, kStatusDlls);
    const std::string regsvr32 = context.SystemDir + "\\regsvr32.exe";
    ShellOpen(ui.ApplicationWindow(), regsvr32, "capicom.dll /s");
    ShellOpen(ui.ApplicationWindow(), regsvr32, "msxml5.dll /s");
}

void CopyApplication(const InstallContext& context, InstallerUi& ui) {
    ShowStatus(ui, kStatusCopying);
    if (CopyFileReplacing(context.RemoteApp, context.LocalApp)) {
        Log("Execut\xE1vel copiado: " + context.RemoteApp + " para " + context.LocalApp);
    } else {
        Log("Execut\xE1vel n\xE3o copiado: " + context.RemoteApp + " para " + context.LocalApp +
            ": " + SysErrorMessage(GetLastError()));
        ui.MessageBox(kCopyWarning, kWarningCaption, MB_OK);
    }
}

// The check boxes count as they are now, not as they were at the click.
void CreateLinks(const InstallContext& context, InstallerUi& ui) {
    ShowStatus(ui, kStatusLinks);
    const std::string target = context.RemoteFolder + kLauncher;
    if (ui.IsChecked(InstallOption::DeskTop))
        CreateShellLink(target, "", context.LocalFolder, kLinkName, "Common Desktop", ui);
    else Log("Atalho na \xE1rea de trabalho: n\xE3o criado, op\xE7\xE3o desmarcada");
    if (ui.IsChecked(InstallOption::MenuIniciar))
        CreateShellLink(target, "", context.LocalFolder, kLinkName, "Common Programs", ui);
    else Log("Atalho no menu Iniciar: n\xE3o criado, op\xE7\xE3o desmarcada");
    if (ui.IsChecked(InstallOption::QuickLaunch)) PlaceQuickLaunchLinks(context, ui);
    else Log("Atalhos de Inicializa\xE7\xE3o R\xE1pida: n\xE3o criados, op\xE7\xE3o desmarcada");
}

}  // namespace

std::string ExtractFileDrive(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        size_t serverEnd = path.find('\\', 2);
        if (serverEnd == std::string::npos) return path;
        return path.substr(0, path.find('\\', serverEnd + 1));  // npos: all of it
    }
    return std::string();
}

RunEnd PerformInstall(InstallerUi& ui, const InstallSources& sources) {
    ui.SetCancelEnabled(false);
    ui.SetInstallEnabled(false);

    InstallContext context;
    FixBaseDirectories(context, sources.SystemDir);
    ReadSettingsFrom(sources.SettingsFolder, context, ui);  // a missing file ends the run here

    RunEnd end = RunEnd::NotReinstalled;
    if (RegisterSystem(context, ui)) {
        CreateDirectories(context);
        BuildPayloadDestinations(context);
        ExtractPayload(context, ui, sources.PayloadModule);
        RegisterComDlls(context, ui);
        CopyApplication(context, ui);
        CreateLinks(context, ui);
        ui.SetStatus(kStatusDone);
        end = RunEnd::Installed;
        Log("Fim da instala\xE7\xE3o: conclu\xED" "da");
    } else {
        ui.SetStatus("");
        Log("Fim da instala\xE7\xE3o: j\xE1 instalado, nada foi gravado");
    }
    // "&Instalar" stays disabled: one start of the program installs at most once.
    ui.SetCancelEnabled(true);
    return end;
}
