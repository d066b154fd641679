// The programs that hold a file, as the Restart Manager of Windows Vista and later knows them.
// rstrtmgr.dll is loaded from the system folder by its full path and its functions looked up,
// so the installer still starts where it is missing (Windows XP). Nothing is closed or restarted.
#pragma once
#include <string>
#include <vector>

// "Name (PID n)" for each program that has path open or loaded. Empty when none is known or the
// Restart Manager is missing or fails; *why (when given) then says which of these it was.
std::vector<std::string> ProgramsHolding(const std::string& path, std::string* why = nullptr);
