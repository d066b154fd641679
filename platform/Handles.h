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
