#include "app/Run.h"

#include "core/InstallRecord.h"
#include "core/InstallerUi.h"
#include "platform/Com.h"
#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Log.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "settings/Settings.h"
#include "tasks/DatabaseAccess.h"
#include "tasks/Payload.h"
#include "tasks/Shortcuts.h"
#include "tasks/Uninstaller.h"

#include <vector>

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
const char* const kRestartNotice =
    "O Windows precisa ser reiniciado para concluir a instala\xE7\xE3o.\r\n\r\n"
    "Estes arquivos estavam em uso por programas abertos; a troca deles termina quando o "
    "Windows for reiniciado:\r\n";
const char* const kRestartCaption = "Aten\xE7\xE3o";
const char* const kRunOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

const char* const kLauncher = "StartKestrel.exe";
const char* const kLinkName = "Kestrel";

// A registration program that has not ended after this long is not waited for any more.
constexpr DWORD kRegistrationWaitMs = 120000;
constexpr DWORD kWaitSliceMs = 100;

struct Registration {
    std::string Command;
    StartedProgram Program;
};
using Registrations = std::vector<Registration>;

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

// The reinstall check: false when the data source is there and the answer is No.
bool ConfirmInstall(InstallerUi& ui) {
    TRegistry registry;
    registry.RootKey = HKEY_LOCAL_MACHINE;
    return !registry.KeyExists(kDataSourceKey) ||
           ui.MessageBox(kReinstallQuestion, kReinstallCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// The registry writes, on one HKEY_LOCAL_MACHINE registry object that is released when this
// returns, also when a write throws.
void RegisterSystem(InstallContext& context, InstallerUi& ui) {
    TRegistry registry;
    registry.RootKey = HKEY_LOCAL_MACHINE;
    ui.SetStatus(kStatusRegistering);
    RegisterDatabaseAccess(registry, context);
}

// The folders the run writes into, each checked and held until the run ends (platform/Folders.h):
// none of them can be renamed or turned into a link meanwhile.
struct RunFolders {
    HeldFolder Local;  // the application's folder; not held when its check failed (no copy then)
    HeldFolder Bde, Odbc, System;
};

// Before anything is written: the engine's folder as registered, and every folder the payload
// goes into, created where missing and checked, those that can stop the run first. The engine's
// and the drivers' folders get the protection of a program-files folder; a refused one stops the
// run (EFolderError). The application's folder keeps the rights it inherits (its launcher
// updates the copy there as the user); when it fails its check, the program file is not copied
// (a warning).
void ResolveFolders(InstallContext& context, RunFolders& folders, InstallerUi& ui) {
    {
        TRegistry registry;
        registry.RootKey = HKEY_LOCAL_MACHINE;
        TakeRegisteredBdeDir(registry, context);
    }
    for (const std::string* path : {&context.LocalFolder, &context.BdeDir, &context.OdbcDir})
        if (path->empty()) throw EInOutError("Unable to create directory");
    if (!folders.System.Hold(context.SystemDir)) throw EFolderError(folders.System.Problem());
    for (auto [folder, path] : {std::make_pair(&folders.Bde, &context.BdeDir),
                                std::make_pair(&folders.Odbc, &context.OdbcDir)})
        if (!HoldRecordedFolder(*folder, *path, FolderProtection::ProgramFiles))
            throw EFolderError(folder->Problem());
    if (!HoldRecordedFolder(folders.Local, context.LocalFolder))
        ui.NoteWarning("Pasta do programa recusada: " + folders.Local.Problem() +
                       "; o execut\xE1vel n\xE3o \xE9 copiado");
}

// The payload's destinations are built from the same SystemDir: compared as they are.
bool AwaitsRestart(const InstallContext& context, const std::string& path) {
    for (const std::string& waiting : context.FilesAwaitingRestart)
        if (waiting == path) return true;
    return false;
}

// A COM DLL that was in use is registered once more at the next start of Windows, after the
// restart has put it in place: a RunOnce entry, regsvr32 and the DLL by their full paths (as
// the 64-bit system sees them, which RunOnce runs for).
void RegisterAtRestart(const std::string& regsvr32, const std::string& dll) {
    const std::string command =
        "\"" + NativePath(regsvr32) + "\" /s \"" + NativePath(dll) + "\"";
    TRegistry registry;
    registry.RootKey = HKEY_LOCAL_MACHINE;
    const std::string name = "Kestrel regsvr32 " + dll.substr(dll.find_last_of('\\') + 1);
    if (registry.OpenKey(kRunOnceKey, true)) {
        registry.WriteString(name, command);
        registry.CloseKey();
        Log("Registro ap\xF3s a reinicializa\xE7\xE3o: RunOnce \"" + name + "\" = " + command);
    } else {
        Log("Registro ap\xF3s a reinicializa\xE7\xE3o n\xE3o gravado: RunOnce \"" + name + "\"");
    }
}

// regsvr32 by its full path: a bare name would be looked up in the current and the installer's
// folders first, and a program planted there would run with the installer's rights.
// With a person there, both are started and left to themselves, as always. Unattended, each start
// is kept and waited for at the end of the run (WaitForRegistrations); one that could not be
// started is a warning at once.
// The DLLs are on the disk before regsvr32 loads them, and the run opens them no more while it
// runs: a handle with write access (a flush's) would keep Windows from loading them.
Registrations RegisterComDlls(const InstallContext& context, InstallerUi& ui,
                              FileFlushList& written) {
    ShowStatus(ui, kStatusDlls);
    const std::vector<std::string> loaded = RegistrationFiles(context);
    MakeDurable(written, &loaded);
    Registrations started;
    const std::string regsvr32 = context.SystemDir + "\\regsvr32.exe";
    for (const char* parameters : {"capicom.dll /s", "msxml5.dll /s"}) {
        if (!ui.Unattended()) {
            ShellOpen(ui.ApplicationWindow(), regsvr32, parameters);
            continue;
        }
        StartedProgram program;
        DWORD error = 0;
        if (StartProgram(regsvr32, parameters, program, &error))
            started.push_back({std::string("regsvr32.exe ") + parameters, std::move(program)});
        else
            ui.NoteWarning(std::string("regsvr32.exe ") + parameters + " n\xE3o foi iniciado: " +
                           SysErrorMessage(error));
    }
    for (const char* dll : {"\\capicom.dll", "\\msxml5.dll"})
        if (AwaitsRestart(context, context.SystemDir + dll))
            RegisterAtRestart(regsvr32, context.SystemDir + dll);
    return started;
}

// Waits for each registration program at most kRegistrationWaitMs, the window kept alive
// meanwhile: an exit code other than 0, or no end in time, is a warning.
void WaitForRegistrations(Registrations& started, InstallerUi& ui) {
    for (Registration& registration : started) {
        DWORD code = 0;
        ProgramEnd end = ProgramEnd::StillRunning;
        const DWORD begin = GetTickCount();
        while ((end = WaitForProgram(registration.Program, kWaitSliceMs, &code)) ==
                   ProgramEnd::StillRunning &&
               GetTickCount() - begin < kRegistrationWaitMs)
            ui.ProcessMessages();
        if (end == ProgramEnd::Exited && code == 0)
            Log(registration.Command + ": terminou com c\xF3" "digo 0");
        else if (end == ProgramEnd::Exited)
            ui.NoteWarning(registration.Command + " falhou: c\xF3" "digo de sa\xED" "da " +
                           std::to_string(code));
        else if (end == ProgramEnd::StillRunning)
            ui.NoteWarning(registration.Command + " n\xE3o terminou em " +
                           std::to_string(kRegistrationWaitMs / 1000) + " segundos");
        else
            Log(registration.Command + ": iniciado sem processo a esperar");
    }
}

void CopyApplication(const InstallContext& context, const HeldFolder& folder, InstallerUi& ui) {
    ShowStatus(ui, kStatusCopying);
    if (!folder.IsHeld()) {
        Log("Execut\xE1vel n\xE3o copiado: " + context.RemoteApp + " para " + context.LocalApp +
            ": " + folder.Problem());
        ui.MessageBox(kCopyWarning, kWarningCaption, MB_OK);
        return;
    }
    // In a folder users control: written, flushed and put in place through handles of its own.
    if (CopyFileReplacing(context.RemoteApp, context.LocalApp)) {
        Record(Recorded::Program, context.LocalApp);
        Log("Execut\xE1vel copiado: " + context.RemoteApp + " para " + context.LocalApp);
    } else {
        Log("Execut\xE1vel n\xE3o copiado: " + context.RemoteApp + " para " + context.LocalApp +
            ": " + SysErrorMessage(GetLastError()));
        ui.MessageBox(kCopyWarning, kWarningCaption, MB_OK);
    }
}

// With files waiting for the restart: one box that says so and names them (answered at once,
// and kept in the log, when no person is there). The installer never restarts Windows itself.
void NoticeRestart(const InstallContext& context, InstallerUi& ui) {
    std::string text = kRestartNotice;
    for (const std::string& file : context.FilesAwaitingRestart) text += "\r\n" + file;
    ui.MessageBox(text, kRestartCaption, MB_OK | MB_ICONINFORMATION);
}

// The check boxes count as they are now, not as they were at the click. The shell-link objects
// need COM, set up here for a run without a window (with one, it already is).
void CreateLinks(const InstallContext& context, InstallerUi& ui) {
    ShowStatus(ui, kStatusLinks);
    const ComApartment com;
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

// The links of the installation (the shell writes them; placed now or by an earlier run).
void AddLinks(FileFlushList& written) {
    for (const std::string& link : RecordedItems(Recorded::Links))
        if (FileExists(link)) written.Add(link);
}

// What the installations wrote, in KB rounded up: the counted files, the program copies.
unsigned long WrittenKb() {
    unsigned long long bytes = 0;
    for (Recorded kind : {Recorded::Files, Recorded::Program})
        for (const std::string& path : RecordedItems(kind)) bytes += FileSizeOf(path);
    return static_cast<unsigned long>((bytes + 1023) / 1024);
}

// The completion mark: the Programs and Features entry, written when all the rest is done.
void MarkInstallationComplete(const InstallContext& context, const std::string& uninstaller) {
    UninstallEntry entry;
    entry.DisplayVersion = ProgramVersion();
    entry.InstallLocation = context.LocalFolder;
    entry.EstimatedSizeKb = WrittenKb();
    entry.Uninstaller = uninstaller;
    WriteUninstallEntry(entry);
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
    if (ConfirmInstall(ui)) {
        FileFlushList written;  // what the run wrote, made durable before the completion mark
        RunFolders folders;
        ResolveFolders(context, folders, ui);
        RegisterSystem(context, ui);
        BuildPayloadDestinations(context);
        CountPayloadFiles(context);
        ExtractPayload(context, ui, sources.PayloadModule, &written);
        Registrations registrations = RegisterComDlls(context, ui, written);
        CopyApplication(context, folders.Local, ui);
        MakeDurable(written);  // the bulk of the bytes, while the registrations run
        CreateLinks(context, ui);
        const std::string uninstaller = CreateUninstaller(context, written, sources.PayloadModule);
        AddLinks(written);
        MakeDurable(written);
        WaitForRegistrations(registrations, ui);
        ui.SetStatus(kStatusDone);
        MarkInstallationComplete(context, uninstaller);
        if (context.FilesAwaitingRestart.empty()) {
            end = RunEnd::Installed;
            Log("Fim da instala\xE7\xE3o: conclu\xED" "da");
        } else {
            end = RunEnd::RestartRequired;
            Log("Fim da instala\xE7\xE3o: conclu\xED" "da; " +
                std::to_string(context.FilesAwaitingRestart.size()) +
                " arquivo(s) em uso aguardam a reinicializa\xE7\xE3o do Windows");
            NoticeRestart(context, ui);
        }
    } else {
        ui.SetStatus("");
        Log("Fim da instala\xE7\xE3o: j\xE1 instalado, nada foi gravado");
    }
    // "&Instalar" stays disabled: one start of the program installs at most once.
    ui.SetCancelEnabled(true);
    return end;
}
