// Registers the BDE directory and configuration file, the two PostgreSQL ODBC drivers and the
// machine-wide data source "Kestrel" under HKEY_LOCAL_MACHINE.
#pragma once
#include "app/InstallContext.h"

class TRegistry;

// Works on the run's registry object (root HKEY_LOCAL_MACHINE); may replace context.BdeDir.
void RegisterDatabaseAccess(TRegistry& registry, InstallContext& context);
