// Writes the uninstaller DesinstalarKestrel.exe into <Program Files>\Tavrin\Kestrel\Desinstalar,
// from the program embedded in the installer; creates and records its folders (protected as a
// program-files folder) and records the file. Deletes nothing but the installer's own temporary
// files that a killed earlier run left in that folder.
#include "tasks/Uninstaller.h"

#include "core/InstallRecord.h"
#include "platform/Errors.h"
#include "platform/Log.h"
#include "platform/Resources.h"
#include "platform/Shell.h"
#include "tasks/Payload.h"

namespace {

static_assert(KESTREL_UNINSTALLER_RESOURCE > kPayloadRows,
              "the uninstaller's resource must not be one of the payload's rows");

const char* const kUninstallerSubfolder = "\\Tavrin\\Kestrel\\Desinstalar";
const char* const kUninstallerName = "\\DesinstalarKestrel.exe";

}  // namespace

std::string CreateUninstaller(InstallContext& context, FileFlushList& written, HMODULE module) {
    // The bytes where they lie in the mapped image, never the installer's file read by its name:
    // whoever can write the installer's folder could have put another program there meanwhile.
    ResourceBytes program;
    if (!FindRcData(module, KESTREL_UNINSTALLER_RESOURCE, program))
        throw EResNotFound(Format("Resource %d not found", KESTREL_UNINSTALLER_RESOURCE));
    const std::string folder = ProgramFilesFolder(context.SystemDrive) + kUninstallerSubfolder;
    HeldFolder held;
    if (!HoldRecordedFolder(held, folder, FolderProtection::ProgramFiles))
        throw EFolderError(held.Problem());
    for (const std::string& path : RemoveLeftoverPendingFiles(folder + "\\"))
        Log("Arquivo tempor\xE1rio de uma execu\xE7\xE3o interrompida removido: " + path);

    const std::string uninstaller = folder + kUninstallerName;
    const ReplaceResult result = WriteFileReplacing(uninstaller, program.Data, program.Size);
    written.Add(result.NewBytesAt(uninstaller));
    Record(Recorded::Program, uninstaller);
    if (result.How == Replacement::InPlace) {
        Log("Desinstalador gravado: " + uninstaller + " (" + std::to_string(program.Size) +
            " bytes)");
    } else {
        // An old uninstaller still running (its question box left open) holds its file.
        context.FilesAwaitingRestart.push_back(uninstaller);
        LogFileInUse(uninstaller, result, program.Size);
    }
    return uninstaller;
}
