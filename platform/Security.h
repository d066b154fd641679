// The protection of the folders the installer creates for the database engine and the drivers.
// A DLL in them (idapi32.dll, libpq.dll, psqlodbc30a.dll) is loaded by every database client on
// the machine, services and administrators included: nobody but the system and the
// administrators may write there. Windows 9x has no access control: there this is
// ForceDirectories.
#pragma once
#include <windows.h>

#include <string>
#include <vector>


// A security identifier held in its own bytes.
using SidBytes = std::vector<BYTE>;
// S-1-<authority>-<subauthorities...>, e.g. MakeSid(5, {32, 544}) for Administrators.
SidBytes MakeSid(BYTE authority, const std::vector<DWORD>& subauthorities);
SidBytes SystemSid();          // S-1-5-18, the local system account
SidBytes AdministratorsSid();  // S-1-5-32-544
SidBytes UsersSid();           // S-1-5-32-545
SidBytes TrustedInstallerSid();  // NT SERVICE\TrustedInstaller, owner of Windows' own folders
// The user the process runs as (its token's user); empty when it cannot be read.
SidBytes RunnerSid();
// "DOMINIO\nome" when the system knows the account, else "S-1-5-21-...".
std::string AccountName(const SidBytes& sid);

// The rights of a program-files folder: full control for SYSTEM and Administrators, read and
// execute for Users, each inherited by the subfolders and files (OI|CI), and the list protected
// from the entries of the folders above (on Vista to 11 the drive root grants Authenticated Users
// "Modify" to what is created in it). Holds its own buffers; Attributes() is what
// CreateDirectoryA takes.
class ProgramFilesProtection {
public:
    ProgramFilesProtection();
    ProgramFilesProtection(const ProgramFilesProtection&) = delete;
    ProgramFilesProtection& operator=(const ProgramFilesProtection&) = delete;
    SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }
    PSECURITY_DESCRIPTOR Descriptor() { return &descriptor_; }

private:
    SidBytes system_, administrators_, users_;
    std::vector<BYTE> acl_;
    SECURITY_DESCRIPTOR descriptor_;
    SECURITY_ATTRIBUTES attributes_;
};

// Whom an existing folder may belong to for the installer to write into it: the system, the
// administrators, TrustedInstaller or the user running the installer. Any other owner is an
// ordinary user, who could have made the folder (or a link in its place) before the first run.
bool MayOwnProtectedFolder(const SidBytes& owner, const SidBytes& runner);

// Why an existing folder may not be written into by the installer as a protected folder: its
// owner (the owner of the name itself, a link's and not its target's; read through
// FolderCalls::ReadOwner) is not one MayOwnProtectedFolder accepts, or cannot be read. "" when
// it may (also on a volume that keeps no owners, FAT). The text names the folder and the owner.
std::string OwnerProblem(const std::string& folder, const SidBytes& runner);

// What the creation and the owner check of protected folders (platform/Folders.h) ask of the
// system, in one place so that a test can record the calls and give owners that Wine cannot keep. ReadOwner returns the system's error code
// (ERROR_SUCCESS with owner filled).
struct FolderCalls {
    BOOL(WINAPI* CreateDirectory)(LPCSTR path, LPSECURITY_ATTRIBUTES attributes);
    DWORD (*ReadOwner)(const std::string& path, SidBytes& owner);
};
// The system's calls.
const FolderCalls& SystemFolderCalls();
// Puts calls in the system's place (nullptr puts the system's back).
void SetFolderCalls(const FolderCalls* calls);
// The calls in force: the system's, or a test's.
const FolderCalls& CurrentFolderCalls();
