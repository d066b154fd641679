// Writes the 82 embedded vendor files (BDE, PostgreSQL ODBC, system-wide DLLs) into BdeDir,
// OdbcDir and SystemDir, replacing existing ones, except the BDE configuration and the Qt
// interface DLL when a file of that name is already there. Deletes nothing else but the
// installer's own temporary files that a killed earlier run left in those folders.
#include "tasks/Payload.h"

#include <set>

#include "core/InstallerUi.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Resources.h"
#include "tasks/PayloadTable.h"

void BuildPayloadDestinations(InstallContext& context) {
    for (const PayloadEntry& entry : PayloadTable)
        context.Destinations[entry.Row - 1] = PayloadBaseDir(context, entry.Base) + entry.FileName;
}

namespace {

// New files of an earlier run that was killed before it could move or delete them.
void RemoveLeftovers(const InstallContext& context) {
    std::set<std::string> folders;
    for (const std::string& destination : context.Destinations)
        folders.insert(ExtractFilePath(destination));
    for (const std::string& folder : folders)
        for (const std::string& path : RemoveLeftoverPendingFiles(folder))
            Log("Arquivo tempor\xE1rio de uma execu\xE7\xE3o interrompida removido: " + path);
}

}  // namespace

void ExtractPayload(InstallContext& context, InstallerUi& ui, HMODULE module) {
    RemoveLeftovers(context);
    // Each file replaces its old one only once it is whole; all of them reach the disk at the
    // end of the step (also the rows before a failing one), with one flush point for all.
    FileFlushList written;
    for (const PayloadEntry& entry : PayloadTable) {
        const std::string& destination = context.Destinations[entry.Row - 1];
        if (!(entry.KeepIfPresent && FileExists(destination))) {
            ResourceBytes blob;  // looked up only for a row that is written
            if (!FindRcData(module, entry.Row, blob))
                throw EResNotFound(Format("Resource %d not found", entry.Row));
            ui.SetStatus("Instalando " + destination);
            WriteFileReplacing(destination, blob.Data, blob.Size);
            written.Add(destination);
            Log("Arquivo gravado: " + destination + " (" + std::to_string(blob.Size) + " bytes)");
        } else {
            Log("Arquivo mantido, j\xE1 existe: " + destination);
        }
        ui.ProcessMessages();  // also for a kept row
    }
    if (!written.Flush()) throw EWriteError("Stream write error");
}
