// What the log's first line says about the machine and the program.
#pragma once
#include <string>

// The fixed file version of the program's own version block, "3.0.0.0" ("" without one).
std::string ProgramVersion();
// "6.1.7601 Service Pack 1": major.minor.build and the service pack text, as GetVersionExA
// reports them.
std::string WindowsVersion();
// The user the program runs as (GetUserNameA; "SYSTEM" under a start-up script or psexec -s).
std::string UserName();
std::string ComputerName();
// The text with its %NAME% references replaced by the environment's values
// (ExpandEnvironmentStringsA); a reference to an unknown name stays as written.
std::string ExpandEnvironment(const std::string& text);

// The NT line (Windows 2000, XP and later), with access control; false on Windows 9x.
bool HasAccessControl();
