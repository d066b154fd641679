// The 82 vendor files carried in the program image, and their writing into BdeDir, OdbcDir and
// SystemDir.
#pragma once
#include <windows.h>

#include "core/InstallContext.h"

class InstallerUi;

// destination r := base of row r + its file name, the bases read now. Touches nothing else.
void BuildPayloadDestinations(InstallContext& context);
// First deletes the installer's own temporary files ("~kst" + 8 hex digits + ".tmp") that a
// killed earlier run left in the destination folders. Then writes rows 1 to 82 in order from the
// RT_RCDATA blobs 1 to 82 of module (nullptr: the program's own image), announcing each on the status line and letting the window process its
// messages after every row. A kept row (KeepIfPresent, file present) is neither looked up nor
// announced. Raises EResNotFound, EFCreateError or EWriteError at the failing row; the rows
// before it stay written.
void ExtractPayload(InstallContext& context, InstallerUi& ui, HMODULE module = nullptr);
