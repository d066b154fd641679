// The 82 vendor files carried in the program image, and their writing into BdeDir, OdbcDir and
// SystemDir; their counting as shared files, and their removal when nobody uses them any more.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "core/InstallContext.h"
#include "platform/Files.h"
#include "tasks/PayloadTable.h"

class InstallerUi;

// destination r := base of row r + its file name, the bases read now. Touches nothing else.
void BuildPayloadDestinations(InstallContext& context);

// First deletes the installer's own temporary files ("~kst" + 8 hex digits + ".tmp") that a
// killed earlier run left in the destination folders. Then writes the rows 1 to 82 in order from
// the RT_RCDATA blobs 1 to 82 of module (nullptr: the program's own image), announcing each on
// the status line and letting the window process its messages after every row. A kept row (KeepIfPresent, file present) is neither looked up nor
// announced. A row whose old file is in use is replaced by renaming the old one aside or at the
// next restart (WriteFileReplacing), logged with the programs that hold it, and listed in
// context.FilesAwaitingRestart. Raises EResNotFound, EFCreateError or EWriteError at the failing
// row; the rows before it stay written. The files written are added to written, the run's list of
// files to make durable (MakeDurable) before it marks the installation complete; without a list
// the step makes them durable itself at its end.
void ExtractPayload(InstallContext& context, InstallerUi& ui, HMODULE module = nullptr,
                    FileFlushList* written = nullptr);
// Writes every file of the list (with only, those of the list named there) to the disk
// (FileFlushList::Flush); raises EWriteError naming the first file that could not be written.
void MakeDurable(FileFlushList& written, const std::vector<std::string>* only = nullptr);
// The log line of a file written over an old one in use (WriteFileReplacing did not put it in
// place at once): which way it went and, where the system can tell, which programs held it.
void LogFileInUse(const std::string& destination, const ReplaceResult& result, DWORD size);
// The destinations of the files the COM registrations load.
std::vector<std::string> RegistrationFiles(const InstallContext& context);

// Counts every destination in SharedDLLs, once per machine (CountSharedFile), before the files
// are written: a file already there is then still seen as someone else's.
void CountPayloadFiles(const InstallContext& context);
// Gives up every recorded payload file; one nobody counts any more is deleted, a COM DLL among
// them unregistered first (regsvr32.exe /u /s, waited for). A file that cannot be deleted now (in
// use) goes at the next restart and is added to awaitingRestart.
void RemovePayloadFiles(const std::string& systemDir, InstallerUi& ui,
                        std::vector<std::string>& awaitingRestart);
// Deletes a file, or when it is in use, has it deleted at the next restart (added to
// awaitingRestart then). False when neither could be done.
bool DeleteFileNowOrAtRestart(const std::string& path, std::vector<std::string>& awaitingRestart);
