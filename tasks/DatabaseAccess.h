// Registers the BDE directory and configuration file, the two PostgreSQL ODBC drivers and the
// machine-wide data source "Kestrel" under HKEY_LOCAL_MACHINE, creating keys that are missing
// (recorded) and counting the drivers' use; and takes all that away again on the uninstall, as
// far as the counts allow.
#pragma once
#include "core/InstallContext.h"

class TRegistry;

// The data source key; the run's reinstall check looks for it too.
constexpr const char* kDataSourceKey = "SOFTWARE\\ODBC\\ODBC.INI\\Kestrel";

// A BDE registered before (a non-empty "DLLPATH") replaces context.BdeDir. Reads only: the run
// asks it before anything is written, so that the engine's folder is known and checked first.
void TakeRegisteredBdeDir(TRegistry& registry, InstallContext& context);
// Works on the run's registry object (root HKEY_LOCAL_MACHINE), with the BdeDir that
// TakeRegisteredBdeDir left.
void RegisterDatabaseAccess(TRegistry& registry, const InstallContext& context);
// The data source and its line in "ODBC Data Sources" (Kestrel's alone); the drivers as their
// UsageCount allows; the BDE's values once none of its files is counted by anyone any more.
// Run after the payload files were given up. Keys the installations made are removed later,
// when empty (RemoveEmptyRecordedKeys).
void UnregisterDatabaseAccess(TRegistry& registry);
