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

std::string ExpandFileName(const std::string& path) {
    char buffer[MAX_PATH];
    char* name = nullptr;
    DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &name);
    if (n == 0 || n >= sizeof buffer) return path;
    return std::string(buffer, n);
}

void RaiseCreateError(const std::string& path, DWORD code) {
    throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(path).c_str(),
                               SysErrorMessage(code).c_str()));
}

namespace {

// A file being made beside its destination; deleted unless it was moved into place.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile() {
        file.Close();
        if (!path.empty()) DeleteFileA(path.c_str());
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    std::string path;  // emptied once the file is in place
    FileHandle file;
};

const char kPendingPrefix[] = "~kst";
const char kPendingSuffix[] = ".tmp";

// Creates "~kst<number>.tmp" in folder (CREATE_NEW, share mode none); returns the last error
// when no name could be had.
DWORD CreatePendingFile(const std::string& folder, PendingFile& pending) {
    static DWORD counter = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + kPendingPrefix +
                           Format("%08lX", static_cast<unsigned long>(counter++)) + kPendingSuffix;
        HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            pending.file.Attach(h);
            pending.path = name;
            return ERROR_SUCCESS;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return error;
    }
    return ERROR_FILE_EXISTS;
}

}  // namespace

void WriteFileReplacing(const std::string& path, const void* data, DWORD size) {
    // Refuse what CreateFileA(CREATE_ALWAYS) would refuse on the old file, rather than silently
    // moving over it.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY |
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (attributes & refused) RaiseCreateError(path, ERROR_ACCESS_DENIED);
        // Held open by someone (a loaded DLL, another installer): a sharing violation.
        FileHandle old(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!old.IsOpen()) RaiseCreateError(path, GetLastError());
    }

    PendingFile pending;
    DWORD error = CreatePendingFile(ExtractFilePath(path), pending);
    if (error != ERROR_SUCCESS) RaiseCreateError(path, error);

    if (size > 0) {
        DWORD written = 0;
        if (!WriteFile(pending.file.Get(), data, size, &written, nullptr) || written != size)
            throw EWriteError("Stream write error");
    }
    if (!pending.file.Close()) throw EWriteError("Stream write error");

    if (!MoveFileExA(pending.path.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = GetLastError();
        if (error != ERROR_CALL_NOT_IMPLEMENTED) RaiseCreateError(path, error);
        // Windows 9x has no MoveFileExA.
        DeleteFileA(path.c_str());
        if (!MoveFileA(pending.path.c_str(), path.c_str())) RaiseCreateError(path, GetLastError());
    }
    pending.path.clear();
}

bool IsPendingFileName(const std::string& name) {
    const size_t prefix = sizeof kPendingPrefix - 1, suffix = sizeof kPendingSuffix - 1;
    if (name.size() != prefix + 8 + suffix || name.compare(0, prefix, kPendingPrefix) != 0 ||
        name.compare(prefix + 8, suffix, kPendingSuffix) != 0)
        return false;
    for (size_t i = prefix; i < prefix + 8; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

std::vector<std::string> RemoveLeftoverPendingFiles(const std::string& folder) {
    std::vector<std::string> removed;
    WIN32_FIND_DATAA data;
    FindHandle find;
    // The search also matches short (8.3) names: every long name is checked again.
    for (bool found = find.First(folder + "~kst*.tmp", data); found; found = find.Next(data)) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsPendingFileName(data.cFileName))
            continue;
        const std::string path = folder + data.cFileName;
        // One held open (another installer writing it now) is left alone.
        if (DeleteFileA(path.c_str())) removed.push_back(path);
    }
    return removed;
}

bool FileFlushList::Flush() {
    bool ok = true;
    for (const std::string& path : paths_) {
        FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsOpen() || !FlushFileBuffers(file.Get())) ok = false;
    }
    paths_.clear();
    return ok;
}
