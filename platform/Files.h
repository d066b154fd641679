// Thin file-system helpers with the meanings the installer relies on.
#pragma once
#include <windows.h>

#include <deque>
#include <string>

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

// Files put in place whose bytes may still be only in the system's cache, made durable by a
// helper thread while the caller goes on with the next file: it reopens each added file by name
// and flushes it (FlushFileBuffers), in the order added. Flush() is the one point that waits:
// it returns once every added file is on the disk, false when one could not be opened or
// flushed (all are tried). Destroyed with files left (an error on the way), it waits for them
// too, unchecked. Without a thread (CreateThread failed), Flush() does the work itself.
class FileFlushList {
public:
    FileFlushList();
    ~FileFlushList();
    FileFlushList(const FileFlushList&) = delete;
    FileFlushList& operator=(const FileFlushList&) = delete;
    void Add(const std::string& path);
    bool Flush();
private:
    static DWORD WINAPI Run(void* self);
    bool FlushNext();  // one queued file, false when none is left

    CRITICAL_SECTION lock_;
    HANDLE added_ = nullptr;   // auto-reset: something was queued (or the end asked for)
    HANDLE thread_ = nullptr;
    std::deque<std::string> queue_;
    size_t pending_ = 0;       // queued or being flushed
    HANDLE drained_ = nullptr; // manual-reset: pending_ is 0
    bool ending_ = false;
    bool ok_ = true;
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
