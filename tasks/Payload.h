// The 82 vendor files carried in the program image, and their writing into BdeDir, OdbcDir and
// SystemDir.
#pragma once
#include "app/InstallContext.h"

class InstallerUi;

// destination r := base of row r + its file name, the bases read now.
void BuildPayloadDestinations(InstallContext& context);
// Writes rows 1 to 82 in order, announcing each on the status line.
void ExtractPayload(InstallContext& context, InstallerUi& ui);
