// Thin file-system helpers with the meanings the installer relies on.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

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
// The system's text for an error code, trimmed of trailing blanks, control characters and
// full stops ("" when the system has none).
std::string SysErrorMessage(DWORD code);
// The path made absolute by GetFullPathNameA (a buffer of MAX_PATH characters); the path itself
// when that fails.
std::string ExpandFileName(const std::string& path);
// Raises EFCreateError "Cannot create file "<absolute path>". <system text for code>".
[[noreturn]] void RaiseCreateError(const std::string& path, DWORD code);

// Puts a file holding exactly size bytes of data at path, replacing an existing one, so that a
// failure never leaves a half-written file there: the bytes go with one WriteFile call into a
// new file beside it (share mode none), which is closed and then moved over path (MoveFileExA
// with replace; delete and move where the system lacks it). On any failure the new file is
// removed and an old file at path is left as it was. The bytes may still be in the system's
// cache when this returns: a FileFlushList makes them durable.
// What would refuse creating path in place refuses here too, with EFCreateError: a directory, a
// read-only, hidden or system file, a file another process holds open, a missing folder. A
// failed or short write (a full disk) raises EWriteError "Stream write error".
void WriteFileReplacing(const std::string& path, const void* data, DWORD size);

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
class FileFlushList {
public:
    FileFlushList() = default;
    ~FileFlushList() { Flush(); }
    FileFlushList(const FileFlushList&) = delete;
    FileFlushList& operator=(const FileFlushList&) = delete;
    void Add(const std::string& path) { paths_.push_back(path); }
    // Every file is tried; false when one could not be opened or flushed.
    bool Flush();
private:
    std::vector<std::string> paths_;
};

// An owned search handle (FindFirstFileA / FindNextFileA / FindClose).
class FindHandle {
public:
    FindHandle() = default;
    ~FindHandle() { Close(); }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    bool First(const std::string& pattern, WIN32_FIND_DATAA& data);
    bool Next(WIN32_FIND_DATAA& data);
    void Close();
private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// An owned kernel file handle.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool IsOpen() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE Get() const { return h_; }
    void Attach(HANDLE h) { Close(); h_ = h; }
    HANDLE Detach() { HANDLE h = h_; h_ = INVALID_HANDLE_VALUE; return h; }
    bool Close();
private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};
