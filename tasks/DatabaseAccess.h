// Registers the BDE directory and configuration file, the two PostgreSQL ODBC drivers and the
// machine-wide data source "Kestrel" under HKEY_LOCAL_MACHINE. Writes REG_SZ values only,
// creating keys that are missing; deletes nothing.
#pragma once
#include "core/InstallContext.h"

class TRegistry;

// The data source key; the run's reinstall check looks for it too.
constexpr const char* kDataSourceKey = "SOFTWARE\\ODBC\\ODBC.INI\\Kestrel";

// Works on the run's registry object (root HKEY_LOCAL_MACHINE). A BDE registered before (a
// non-empty "DLLPATH") replaces context.BdeDir.
void RegisterDatabaseAccess(TRegistry& registry, InstallContext& context);
