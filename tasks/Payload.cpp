// Writes the 82 embedded vendor files (BDE, PostgreSQL ODBC, system-wide DLLs) into BdeDir,
// OdbcDir and SystemDir, replacing existing ones, except the BDE configuration and the Qt
// interface DLL when a file of that name is already there. Counts each file as shared, and on the
// uninstall deletes those that nobody counts any more. Deletes nothing else but the installer's
// own temporary files that a killed earlier run left in those folders.
#include "tasks/Payload.h"

#include <set>

#include "core/InstallRecord.h"
#include "core/InstallerUi.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Resources.h"
#include "platform/RestartManager.h"
#include "platform/Shell.h"
#include "tasks/PayloadTable.h"

void BuildPayloadDestinations(InstallContext& context) {
    for (const PayloadEntry& entry : PayloadTable)
        context.Destinations[entry.Row - 1] = PayloadBaseDir(context, entry.Base) + entry.FileName;
}

namespace {

// The two COM DLLs the run registers (and unregisters before it deletes them), and what
// msxml5.dll loads when it is registered.
const char* const kComDlls[] = {"capicom.dll", "msxml5.dll"};
const char kComDllResources[] = "msxml5r.dll";

bool IsComDllName(const char* name) {
    for (const char* dll : kComDlls)
        if (lstrcmpiA(name, dll) == 0) return true;
    return false;
}

// Whether row entry belongs to the files the COM registrations load.
bool NeededByRegistrations(const PayloadEntry& entry) {
    const char* name = entry.FileName + 1;  // after its leading backslash
    return entry.Base == PayloadBase::SystemDir &&
           (IsComDllName(name) || lstrcmpiA(name, kComDllResources) == 0);
}

// New files of an earlier run that was killed before it could move or delete them, in the
// folders of the rows.
void RemoveLeftovers(const InstallContext& context) {
    std::set<std::string> folders;
    for (const PayloadEntry& entry : PayloadTable)
        folders.insert(ExtractFilePath(context.Destinations[entry.Row - 1]));
    for (const std::string& folder : folders)
        for (const std::string& path : RemoveLeftoverPendingFiles(folder))
            Log("Arquivo tempor\xE1rio de uma execu\xE7\xE3o interrompida removido: " + path);
}

}  // namespace

void LogFileInUse(const std::string& destination, const ReplaceResult& result, DWORD size) {
    std::string why;
    std::vector<std::string> holders = ProgramsHolding(destination, &why);
    std::string held = "em uso (" + SysErrorMessage(result.InUseError) + ")";
    if (!holders.empty()) {
        held += " por";
        for (size_t i = 0; i < holders.size(); ++i) held += (i ? ", " : " ") + holders[i];
    } else if (!why.empty()) {
        held += "; programas: " + why;
    }
    if (result.How == Replacement::OldRenamedAside)
        Log("Arquivo gravado: " + destination + " (" + std::to_string(size) + " bytes); o antigo, " +
            held + ", renomeado para " + result.AsidePath +
            (result.AsideRemovedAtRestart ? " e apagado quando o Windows for reiniciado"
                                          : " (a exclus\xE3o na reinicializa\xE7\xE3o n\xE3o p\xF4" "de ser "
                                            "registrada; o arquivo fica)"));
    else
        Log("Arquivo aguardando reinicializa\xE7\xE3o: " + destination + " (" + std::to_string(size) +
            " bytes) gravado em " + result.AsidePath + "; o antigo, " + held +
            ", \xE9 substitu\xED" "do quando o Windows for reiniciado");
}

std::vector<std::string> RegistrationFiles(const InstallContext& context) {
    std::vector<std::string> files;
    for (const PayloadEntry& entry : PayloadTable)
        if (NeededByRegistrations(entry)) files.push_back(context.Destinations[entry.Row - 1]);
    return files;
}

void MakeDurable(FileFlushList& written, const std::vector<std::string>* only) {
    std::string failed;
    DWORD error = 0;
    if (!written.Flush(&failed, &error, only))
        throw EWriteError(Format("Stream write error: \"%s\". %s", failed.c_str(),
                                 SysErrorMessage(error).c_str()));
}

void ExtractPayload(InstallContext& context, InstallerUi& ui, HMODULE module,
                    FileFlushList* runList) {
    RemoveLeftovers(context);
    // Each file replaces its old one only once it is whole. All of them reach the disk at one
    // flush point for all: the run's, before it marks the installation complete, or else at the
    // end of this step; also the rows before a failing one (the list's destructor).
    FileFlushList ownList;
    FileFlushList& written = runList ? *runList : ownList;
    for (const PayloadEntry& entry : PayloadTable) {
        const std::string& destination = context.Destinations[entry.Row - 1];
        if (!(entry.KeepIfPresent && FileExists(destination))) {
            ResourceBytes blob;  // looked up only for a row that is written
            if (!FindRcData(module, entry.Row, blob))
                throw EResNotFound(Format("Resource %d not found", entry.Row));
            ui.SetStatus("Instalando " + destination);
            const ReplaceResult result = WriteFileReplacing(destination, blob.Data, blob.Size);
            written.Add(result.NewBytesAt(destination));
            if (result.How == Replacement::InPlace) {
                Log("Arquivo gravado: " + destination + " (" + std::to_string(blob.Size) + " bytes)");
            } else {
                context.FilesAwaitingRestart.push_back(destination);
                LogFileInUse(destination, result, blob.Size);
            }
        } else {
            Log("Arquivo mantido, j\xE1 existe: " + destination);
        }
        ui.ProcessMessages();  // also for a kept row
    }
    if (!runList) MakeDurable(ownList);
}

void CountPayloadFiles(const InstallContext& context) {
    std::vector<std::string> paths;
    for (const PayloadEntry& entry : PayloadTable)
        paths.push_back(ExpandFileName(context.Destinations[entry.Row - 1]));
    CountSharedFiles(paths);
}

namespace {

bool IsComDll(const std::string& path) {
    return IsComDllName(path.c_str() + ExtractFilePath(path).size());
}

constexpr DWORD kUnregisterWaitMs = 120000;

void Unregister(const std::string& systemDir, const std::string& path) {
    StartedProgram program;
    DWORD code = 0;
    if (!StartProgram(systemDir + "\\regsvr32.exe", "/u /s \"" + path + "\"", program))
        return;
    if (WaitForProgram(program, kUnregisterWaitMs, &code) == ProgramEnd::Exited)
        Log("regsvr32.exe /u: c\xF3" "digo " + std::to_string(code));
    else
        Log("regsvr32.exe /u: n\xE3o terminou a tempo");
}

}  // namespace

bool DeleteFileNowOrAtRestart(const std::string& path, std::vector<std::string>& awaitingRestart) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const bool deleted = DeleteFileA(path.c_str()) != FALSE;
    const DWORD error = GetLastError();
    if (deleted || !FileExists(path)) {
        Log("Arquivo exclu\xED" "do: " + path);
        return true;
    }
    if (MoveFileAtRestart(path, "")) {
        awaitingRestart.push_back(path);
        Log("Arquivo em uso, exclu\xED" "do ao reiniciar: " + path + " (" + SysErrorMessage(error) +
            ")");
        return true;
    }
    Log("Arquivo n\xE3o exclu\xED" "do: " + path + " (" + SysErrorMessage(error) + ")");
    return false;
}

void RemovePayloadFiles(const std::string& systemDir, InstallerUi& ui,
                        std::vector<std::string>& awaitingRestart) {
    for (const std::string& path : RecordedItems(Recorded::Files)) {
        if (!ReleaseSharedFile(path)) continue;  // others still use it
        if (!FileExists(path)) continue;
        ui.SetStatus("Removendo " + path);
        ui.ProcessMessages();
        if (IsComDll(path)) Unregister(systemDir, path);
        DeleteFileNowOrAtRestart(path, awaitingRestart);
    }
}
