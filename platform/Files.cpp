#include "platform/Files.h"

#include "platform/Errors.h"

bool FindHandle::First(const std::string& pattern, WIN32_FIND_DATAA& data) {
    Close();
    h_ = FindFirstFileA(pattern.c_str(), &data);
    return h_ != INVALID_HANDLE_VALUE;
}

bool FindHandle::Next(WIN32_FIND_DATAA& data) {
    return h_ != INVALID_HANDLE_VALUE && FindNextFileA(h_, &data) != FALSE;
}

void FindHandle::Close() {
    if (h_ != INVALID_HANDLE_VALUE) {
        FindClose(h_);
        h_ = INVALID_HANDLE_VALUE;
    }
}

bool FileHandle::Close() {
    bool ok = true;
    if (IsOpen()) ok = CloseHandle(h_) != FALSE;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
}

bool FileExists(const std::string& path) {
    WIN32_FIND_DATAA data;
    FindHandle find;
    if (!find.First(path, data)) return false;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ExtractFilePath(const std::string& path) {
    size_t end = 0;  // one past the last separator
    const char* begin = path.c_str();
    for (const char* p = begin; *p;) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            p += 2;
            continue;
        }
        if (*p == '\\' || *p == ':') end = static_cast<size_t>(p - begin) + 1;
        ++p;
    }
    return path.substr(0, end);
}

void ForceDirectories(const std::string& path) {
    if (path.empty()) throw EInOutError("Unable to create directory");
    std::string dir = path;
    if (dir.back() == '\\') dir.pop_back();
    if (dir.size() < 3 || DirectoryExists(dir)) return;
    std::string parent = ExtractFilePath(dir);
    if (!parent.empty() && parent != dir) ForceDirectories(parent);
    CreateDirectoryA(dir.c_str(), nullptr);  // a failure shows when a file is written into it
}

std::string SysErrorMessage(DWORD code) {
    char buffer[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_ARGUMENT_ARRAY,
                             nullptr, code, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty()) {
        unsigned char c = static_cast<unsigned char>(text.back());
        if (c <= ' ' || c == '.') text.pop_back();
        else break;
    }
    return text;
}
