#include "tasks/Payload.h"

void BuildPayloadDestinations(InstallContext&) {}
void ExtractPayload(InstallContext&, InstallerUi&) {}
