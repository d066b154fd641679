// The 82 vendor files carried in the program image, and their writing into BdeDir, OdbcDir and
// SystemDir.
#pragma once
#include <windows.h>

#include "core/InstallContext.h"

class InstallerUi;

// destination r := base of row r + its file name, the bases read now. Touches nothing else.
void BuildPayloadDestinations(InstallContext& context);
// Writes rows 1 to 82 in order from the RT_RCDATA blobs 1 to 82 of module (nullptr: the
// program's own image), announcing each on the status line and letting the window process its
// messages after every row. A kept row (KeepIfPresent, file present) is neither looked up nor
// announced. A row whose old file is in use is replaced by renaming the old one aside or at the
// next restart (WriteFileReplacing), logged with the programs that hold it, and listed in
// context.FilesAwaitingRestart. Raises EResNotFound, EFCreateError or EWriteError at the failing
// row; the rows before it stay written.
void ExtractPayload(InstallContext& context, InstallerUi& ui, HMODULE module = nullptr);
