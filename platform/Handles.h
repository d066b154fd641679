// Owners of kernel handles: each closes its handle when it goes, and cannot be copied. The lowest
// floor of platform/ with Errors.h: it knows nothing of the other files.
#pragma once
#include <windows.h>

#include <string>

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

// --- What Windows XP's API offers only by name, done through an open handle (NtSetInformationFile
// of ntdll, looked up; Windows NT 4 and later) ---------------------------------------------------

// Sets the file's attributes (FILE_ATTRIBUTE_NORMAL for none); the handle needs
// FILE_WRITE_ATTRIBUTES. False with the last error set.
bool SetAttributesThroughHandle(HANDLE file, DWORD attributes);
// Deletes the file or empty folder the handle is open on, when the handle closes; the handle needs
// DELETE. A read-only file is refused (ERROR_ACCESS_DENIED). False with the last error set.
bool DeleteThroughHandle(HANDLE file);

// The final path of an open handle without the "\\?\" (or "\\?\UNC\" as "\\") prefix; "" where
// Windows cannot say (before Vista: GetFinalPathNameByHandleA is looked up at run time).
std::string FinalPathOf(HANDLE handle);
