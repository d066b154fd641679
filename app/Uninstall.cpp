#include "app/Uninstall.h"

#include <windows.h>

#include <string>
#include <vector>

#include "core/InstallContext.h"
#include "core/InstallRecord.h"
#include "core/InstallerUi.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Log.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "tasks/DatabaseAccess.h"
#include "tasks/Payload.h"
#include "tasks/Shortcuts.h"

namespace {

const char* const kQuestion =
    "Deseja remover o Kestrel deste computador? Os arquivos compartilhados com outros programas "
    "ser\xE3o mantidos.";
const char* const kQuestionCaption = "Desinstalar - Kestrel";
const char* const kStatusLinks = "Removendo atalhos.";
const char* const kStatusPrograms = "Removendo execut\xE1veis.";
const char* const kStatusRegistry = "Removendo o registro do sistema.";
const char* const kStatusNotInstalled = "O Kestrel n\xE3o est\xE1 instalado.";
const char* const kStatusDone = "Desinstala\xE7\xE3o conclu\xED" "da!";
// The uninstaller's place below the program-files folder, as the installation writes it.
const char* const kUninstallerInFolder = "\\Tavrin\\Kestrel\\Desinstalar\\DesinstalarKestrel.exe";
const char* const kStatusRestart =
    "Desinstala\xE7\xE3o conclu\xED" "da! Reinicie o computador para terminar.";

void ShowStatus(InstallerUi& ui, const std::string& text) {
    ui.SetStatus(text);
    ui.ProcessMessages();
}

bool SamePath(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           lstrcmpiA(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

// The application's copy at LocalApp lies in a folder that ordinary users may change: it is
// deleted only through its folder checked and held, by a handle on its own name, and never left
// to the restart (by then the folder may have become a link). Not removed: a warning.
void RemoveProgramCopy(const std::string& program, InstallerUi& ui) {
    HeldFolder folder;
    if (!folder.Hold(ExtractFilePath(program))) {
        if (!DirectoryExists(ExtractFilePath(program))) {
            Log("Execut\xE1vel j\xE1 removido: " + program);
            return;
        }
        ui.NoteWarning("Execut\xE1vel n\xE3o removido: " + program + ": " + folder.Problem());
        return;
    }
    if (DeleteFileByHandle(program))
        Log("Arquivo exclu\xED" "do: " + program);
    else
        ui.NoteWarning("Execut\xE1vel n\xE3o removido: " + program + " (" +
                       SysErrorMessage(GetLastError()) + ")");
}

// The application's copy and the uninstaller. The running program (the uninstaller itself) goes
// at the next restart, as uninstallers' own files do; that alone asks for no restart.
void RemovePrograms(InstallContext& context, std::vector<std::string>& ownFiles, InstallerUi& ui) {
    const std::string running = OwnProgramFile();
    for (const std::string& program : RecordedItems(Recorded::Program)) {
        if (SamePath(program, running)) {
            if (MoveFileAtRestart(program, "")) {
                ownFiles.push_back(program);
                Log("Desinstalador exclu\xED" "do ao reiniciar: " + program);
            }
        } else if (EndsWith(program, kUninstallerInFolder)) {
            // Below the program-files folder, where only administrators write.
            DeleteFileNowOrAtRestart(program, context.FilesAwaitingRestart);
        } else {
            RemoveProgramCopy(program, ui);
        }
        Unrecord(Recorded::Program, program);
    }
}

}  // namespace

UninstallEnd PerformUninstall(InstallerUi& ui) {
    ui.SetCancelEnabled(false);
    ui.SetInstallEnabled(false);
    if (!UninstallEntryExists()) {
        ui.SetStatus(kStatusNotInstalled);
        Log("Fim da desinstala\xE7\xE3o: n\xE3o instalado, nada a remover");
        ui.SetCancelEnabled(true);
        return UninstallEnd::NothingToRemove;
    }
    if (!ui.Unattended() &&
        ui.MessageBox(kQuestion, kQuestionCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
        ui.SetStatus("");
        Log("Fim da desinstala\xE7\xE3o: n\xE3o confirmada, nada foi removido");
        ui.SetCancelEnabled(true);
        return UninstallEnd::NotConfirmed;
    }

    InstallContext context;
    context.SystemDir = SystemDirectory();
    std::vector<std::string> ownFiles;

    ShowStatus(ui, kStatusLinks);
    RemoveShellLinks();
    ShowStatus(ui, kStatusPrograms);
    RemovePrograms(context, ownFiles, ui);
    RemovePayloadFiles(context.SystemDir, ui, context.FilesAwaitingRestart);
    ShowStatus(ui, kStatusRegistry);
    {
        TRegistry registry;
        registry.RootKey = HKEY_LOCAL_MACHINE;
        UnregisterDatabaseAccess(registry);
    }
    RemoveEmptyRecordedKeys();
    std::vector<std::string> waiting = context.FilesAwaitingRestart;
    waiting.insert(waiting.end(), ownFiles.begin(), ownFiles.end());
    RemoveRecordedFolders(waiting);
    RemoveRecord();
    RemoveUninstallEntry();  // last: until here the uninstall can be run again

    const bool restart = !context.FilesAwaitingRestart.empty();
    ui.SetStatus(restart ? kStatusRestart : kStatusDone);
    Log(restart ? "Fim da desinstala\xE7\xE3o: conclu\xED" "da, arquivos em uso exclu\xED" "dos ao reiniciar"
                : "Fim da desinstala\xE7\xE3o: conclu\xED" "da");
    ui.SetCancelEnabled(true);
    return restart ? UninstallEnd::RestartRequired : UninstallEnd::Removed;
}
