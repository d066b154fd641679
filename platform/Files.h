// Thin file-system helpers with the meanings the installer relies on.
#pragma once
#include <windows.h>

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
