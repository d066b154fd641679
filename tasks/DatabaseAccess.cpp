#include "tasks/DatabaseAccess.h"

void RegisterDatabaseAccess(TRegistry&, InstallContext&) {}
