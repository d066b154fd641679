// A folder the installer works in, reached safely: checked and held.
//
// Run as SYSTEM or elevated, the installer must never create, replace, move or delete anything
// by name below a folder that an ordinary user may change (the application's folder C:\Kestrel,
// a user's profile) unless that name is sure to lead where it says. On Windows any user may turn
// a folder she can modify into a junction (to another folder, or to \RPC Control, where an
// object-manager link sends a name to any file of the machine): whatever SYSTEM then writes or
// deletes by name there lands where she chose.
//
// HeldFolder makes the name sure. Every folder of the path below the drive's root (or the share)
// is opened by handle, from the top down, each through the ones above it that are held already,
// without following a link (FILE_FLAG_OPEN_REPARSE_POINT), and found by that handle to be the real
// folder it names: a folder (not a file), no reparse point (junction, mount point, symbolic
// link), and, where Windows can say (GetFinalPathNameByHandleA, Vista and later), at the very
// place the name gives; on Windows XP the volume of each folder is its parent's. Windows' own
// compatibility junctions (C:\Documents and Settings, and on a Portuguese Windows
// C:\Arquivos de Programas) are accepted: a junction owned by the system whose access list lets
// only the system and the administrators change it, and that leads to one of the shell's own
// folders. The handles are kept without FILE_SHARE_WRITE and FILE_SHARE_DELETE, so that while
// the object lives none of those folders can be renamed, deleted or turned into a link (a
// folder that is to become a junction must be opened for writing). Work by name inside a held
// folder is then work in the real folder.
//
// A file at a name inside the folder may still be anything a user put there (a hard link to
// another file): replacing it by a move, or deleting it, changes only the name; writing through
// it (opening it for writing) does not stay in the folder, and the installer never does that.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// What HeldFolder::Hold does with the folders of the path that do not exist yet.
enum class MissingFolders {
    Refuse,           // each must exist
    Create,           // created with the rights their parent lets them inherit
    CreateProtected,  // created with the rights of a program-files folder (ProgramFilesProtection);
                      // each folder of the path that exists must belong to an owner
                      // MayOwnProtectedFolder accepts (platform/Security.h)
};

class HeldFolder {
public:
    HeldFolder() = default;
    ~HeldFolder() { Release(); }
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    HeldFolder(HeldFolder&& other) noexcept { *this = static_cast<HeldFolder&&>(other); }
    HeldFolder& operator=(HeldFolder&& other) noexcept;

    // Checks and holds path (a full path: "C:\...", or "\\server\share\..."; one trailing
    // backslash is ignored). A path that is the root alone is held as it is: nothing to check.
    // False when a folder of the path fails the check or cannot be made; Problem() then names
    // it and says what was found, and nothing is held. Folders made before the failure stay
    // (Created() lists them).
    bool Hold(const std::string& path, MissingFolders missing = MissingFolders::Refuse);
    bool IsHeld() const { return held_; }
    // The path as given to Hold, without a trailing backslash.
    const std::string& Path() const { return path_; }
    // The path inside the folder: Path() + "\" + name.
    std::string Inside(const std::string& name) const { return path_ + "\\" + name; }
    // What the check found ("" when held), in Portuguese, for the log and the error box.
    const std::string& Problem() const { return problem_; }
    // The folders that this Hold created, from the top down.
    const std::vector<std::string>& Created() const { return created_; }
    // Closes the handles; the folders may change again from now on.
    void Release();

private:
    std::vector<HANDLE> handles_;
    std::vector<std::string> created_;
    std::string path_;
    std::string problem_;
    bool held_ = false;
};

// What HeldFolder asks of the system that a test must be able to give otherwise (Wine keeps no
// owners and no access lists): whether a reparse point is a compatibility junction Windows made.
// Defaults to the system's own check (owner and access list by handle, target among the shell's
// folders); nullptr puts it back.
using SystemJunctionCheck = bool (*)(HANDLE junction, const std::string& path,
                                     const std::string& target);
void SetSystemJunctionCheck(SystemJunctionCheck check);
