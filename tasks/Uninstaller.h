// Writes the uninstaller, <Program Files>\Tavrin\Kestrel\Desinstalar\DesinstalarKestrel.exe,
// replacing an older one there: the program the build made without the payload, carried by the
// installer as a resource. Creates the folders it needs with the rights of a program-files folder
// (only administrators can write there) and records them and the file; deletes nothing but the
// installer's own temporary files that a killed earlier run left in that folder.
#pragma once
#include <windows.h>

#include <string>

#include "core/InstallContext.h"
#include "platform/Files.h"
#include "tasks/UninstallerResource.h"

// Writes the bytes of resource KESTREL_UNINSTALLER_RESOURCE of module (nullptr: the image this
// process was started from, as it is mapped: renaming or replacing the installer's file on the
// disk during the run changes nothing) through WriteFileReplacing, adds the file to written (the
// run's flush list) and records it as a program. An old uninstaller in use is replaced as a
// payload file is (renamed aside, or put in place at the next restart), logged so, and listed in
// context.FilesAwaitingRestart. Returns the uninstaller's path. Raises EResNotFound, before
// anything is made, when module has no such resource; else what the folders' creation and
// WriteFileReplacing raise.
std::string CreateUninstaller(InstallContext& context, FileFlushList& written,
                              HMODULE module = nullptr);
