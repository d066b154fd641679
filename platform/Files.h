// Thin file-system helpers with the meanings the installer relies on.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/Handles.h"

// A directory search for the exact path finds an entry that is not a directory.
bool FileExists(const std::string& path);
// The path's attributes can be read and include the directory attribute.
bool DirectoryExists(const std::string& path);
// Ensure-directory: nothing when it exists; otherwise created with every missing parent.
// "" raises EInOutError("Unable to create directory"); fewer than three characters after one
// trailing backslash is removed counts as existing; a creation that fails is not reported.
void ForceDirectories(const std::string& path);
// Everything up to and including the last "\" or ":" ("" when neither), walking double-byte
// characters so that a trail byte is never taken for a separator.
std::string ExtractFilePath(const std::string& path);
// The path made absolute by GetFullPathNameA (a buffer of MAX_PATH characters); the path itself
// when that fails.
std::string ExpandFileName(const std::string& path);
// Raises EFCreateError "Cannot create file "<absolute path>". <system text for code>".
[[noreturn]] void RaiseCreateError(const std::string& path, DWORD code);

// How WriteFileReplacing put the new bytes in place.
enum class Replacement {
    InPlace,         // the old file (if any) is gone, the new one is at the path
    OldRenamedAside, // the old file was in use: renamed to AsidePath, deleted at the next
                     // restart; the new one is at the path
    AtRestart,       // the old file was in use and could not even be renamed: the new bytes wait
                     // in AsidePath, which the next restart moves over the path
};
struct ReplaceResult {
    Replacement How = Replacement::InPlace;
    std::string AsidePath;  // "" for InPlace
    DWORD InUseError = 0;   // why the old file counted as in use
    // OldRenamedAside: the removal at the restart could be registered (else the old file stays
    // beside the new one, harmless but left to a person).
    bool AsideRemovedAtRestart = false;
    // Where the new bytes are now, for a later flush.
    const std::string& NewBytesAt(const std::string& path) const {
        return How == Replacement::AtRestart ? AsidePath : path;
    }
};
// The size of a file in bytes; 0 when there is none.
unsigned long long FileSizeOf(const std::string& path);

// Puts a file holding exactly size bytes of data at path, replacing an existing one, so that a
// failure never leaves a half-written file there: the bytes go with one WriteFile call into a
// new file beside it (share mode none), which is closed and then moved over path (MoveFileExA
// with replace; delete and move where the system lacks it). On any failure the new file is
// removed and an old file at path is left as it was. The bytes may still be in the system's
// cache when this returns: a FileFlushList makes them durable.
// An old file in use (IsInUseError: held open without sharing, or a loaded program or DLL) does
// not stop it: the old file is renamed aside and the new one moved in (Windows lets the file of
// a loaded image be renamed), or, where even the rename is refused, the new file waits beside it
// and MoveFileAtRestart puts it in place at the next restart. See Replacement.
// What would refuse creating path in place refuses here too, with EFCreateError: a directory, a
// read-only, hidden or system file, a missing folder, and a file in use when the move at the
// restart cannot be registered either (no administrator rights). A failed or short write (a
// full disk) raises EWriteError "Stream write error".
// flushNow: the new file is flushed through its own handle before it replaces the old one, for a
// folder where the file must not be opened again by name later (a folder users control).
ReplaceResult WriteFileReplacing(const std::string& path, const void* data, DWORD size,
                                 bool flushNow = false);

// The errors Windows gives for a file that another program holds: a sharing or lock violation,
// or a section (a loaded image, a mapped view) that forbids writing.
bool IsInUseError(DWORD code);

// MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT: the move is registered (in the Session
// Manager's PendingFileRenameOperations, which needs administrator rights) and done by the
// system at the next start, before any program can load the file. to "" deletes from then;
// otherwise to is replaced if it exists. A path in the system folder of a 32-bit process on
// 64-bit Windows is written as the folder it really is (SysWOW64), since the restart knows
// nothing of the redirection. False, with the last error set, when it could not be registered.
bool MoveFileAtRestart(const std::string& from, const std::string& to);

// path as a 64-bit system sees it: the system folder of a 32-bit process on 64-bit Windows is
// SysWOW64 there; every other path, and every path on a 32-bit Windows, as it is.
std::string NativePath(const std::string& path);

// Copies from over to so that a copy failing half-way (a share that drops, a full disk) leaves
// the old to intact: the bytes go through the two handles into a new file beside to (CREATE_NEW,
// share mode none), are flushed to the disk through that handle, and the new file then replaces
// to. A read-only old to is renamed aside first (a rename needs no write access to it) and then
// deleted (DeleteFileByHandle). Nothing in to's folder is opened by name for writing, so a link
// that someone planted at a name there is never written through, and nothing there needs to be
// opened again later for a flush. False, with the last error set, when the copy or the
// replacement failed; the new file is then removed.
bool CopyFileReplacing(const std::string& from, const std::string& to);

// Deletes the file at path by a handle opened on the name itself (FILE_FLAG_OPEN_REPARSE_POINT):
// a symbolic link is deleted, never its target. A read-only file's attribute is cleared first,
// through the same handle, only when the file has no other name (a hard link planted at path
// shares its attributes with another file, which must keep them); such a file, a folder, and a
// file in use are left. True when the name is gone (also when it was not there); false with the
// last error set.
bool DeleteFileByHandle(const std::string& path);

// The name of a new file of WriteFileReplacing: "~kst" + 8 upper-case hexadecimal digits +
// ".tmp", e.g. "~kst0A1B2C3D.tmp" (nothing else: other files of the installer, such as those that
// wait for a restart, use other endings and are never taken for one).
bool IsPendingFileName(const std::string& name);
// Deletes the new files of WriteFileReplacing that a run killed before it could move or delete
// them left in folder (with its trailing backslash): the files whose names IsPendingFileName
// accepts, no folder, nothing else. Returns the paths deleted.
std::vector<std::string> RemoveLeftoverPendingFiles(const std::string& folder);

// Files put in place whose bytes may still be only in the system's cache. Flush() writes them to
// the disk (FlushFileBuffers on each, reopened by name) and forgets them; one flush point for many
// files costs far less than a flush before each move. Destroyed with files left (an error on the
// way), it flushes them too, unchecked.
// A file is reopened with what a flush needs (write access to its data) and every sharing mode,
// so that a program that has since opened or loaded it does not stand in the way; where a
// loaded image still refuses that (Windows does), the file is left to the system's own writing
// and the log says so.
class FileFlushList {
public:
    FileFlushList() = default;
    ~FileFlushList() { Flush(); }
    FileFlushList(const FileFlushList&) = delete;
    FileFlushList& operator=(const FileFlushList&) = delete;
    void Add(const std::string& path) { paths_.push_back(path); }
    // Every file is tried; false when one could not be opened or flushed, with the first such
    // file and its error in *failedPath and *error (when given). With only, just the files of the
    // list named there (as they were added) are flushed and forgotten; the others stay.
    bool Flush(std::string* failedPath = nullptr, DWORD* error = nullptr,
               const std::vector<std::string>* only = nullptr);
private:
    std::vector<std::string> paths_;
};
