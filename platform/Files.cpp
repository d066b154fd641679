#include "platform/Files.h"

#include <algorithm>

#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/Log.h"
#include "platform/Machine.h"

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

unsigned long long FileSizeOf(const std::string& path) {
    // The file's own attributes: no directory search (which costs far more, and would take a
    // wildcard in path for a pattern).
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
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

bool IsInUseError(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
           code == ERROR_USER_MAPPED_FILE;
}

std::string NativePath(const std::string& path) {
    const MachineFacts machine = Machine();
    const std::string& system = machine.SystemDir;
    if (!machine.Wow64 || machine.SystemWow64Dir.empty() || system.empty()) return path;
    if (path.size() <= system.size() || path[system.size()] != '\\') return path;
    for (size_t i = 0; i < system.size(); ++i) {
        char a = path[i], b = system[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return path;
    }
    return machine.SystemWow64Dir + path.substr(system.size());
}

bool MoveFileAtRestart(const std::string& from, const std::string& to) {
    const std::string nativeFrom = NativePath(from);
    if (to.empty())
        return MoveFileExA(nativeFrom.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    return MoveFileExA(nativeFrom.c_str(), NativePath(to).c_str(),
                       MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING) != FALSE;
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

DWORD gNameCounter = GetTickCount() ^ (GetCurrentProcessId() << 16);

const char kNamePrefix[] = "~kst";

// A name "~kst<number><extension>" in folder.
std::string NameBeside(const std::string& folder, const char* extension) {
    return folder + kNamePrefix + Format("%08lX", static_cast<unsigned long>(gNameCounter++)) +
           extension;
}

// The names of the replacement. ".tmp": a new file while it is written, gone again when the
// replacement ends, whatever way; so a ".tmp" left behind is a leftover of a run that was cut
// off, and may be removed by a later run. ".old" and ".new": files that the next restart deletes
// or moves into place (PendingFileRenameOperations names them). They must outlive any run before
// that restart, so they never take the ".tmp" extension.
const char kWritingExtension[] = ".tmp";
const char kOldExtension[] = ".old";
const char kNewExtension[] = ".new";

// Creates "~kst<number>.tmp" in folder (CREATE_NEW, share mode none); returns the last error
// when no name could be had.
DWORD CreatePendingFile(const std::string& folder, PendingFile& pending) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = NameBeside(folder, kWritingExtension);
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

// Moves from to a fresh "~kst<number><extension>" in folder (never over an existing file);
// the name taken, or "" with the last error set.
std::string MoveToNameBeside(const std::string& from, const std::string& folder,
                             const char* extension) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = NameBeside(folder, extension);
        if (MoveFileExA(from.c_str(), name.c_str(), 0)) return name;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return std::string();
    }
    SetLastError(ERROR_FILE_EXISTS);
    return std::string();
}

// The old file at path is in use. Either it is renamed aside and the new one (pending) moved
// in, or the new one waits for the restart as a ".new" file; the create error with inUseError
// when neither can be done.
ReplaceResult ReplaceInUse(const std::string& path, PendingFile& pending, DWORD inUseError) {
    const std::string folder = ExtractFilePath(path);
    ReplaceResult result;
    result.InUseError = inUseError;
    std::string aside = MoveToNameBeside(path, folder, kOldExtension);
    if (!aside.empty()) {
        if (!MoveFileExA(pending.path.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            DWORD error = GetLastError();
            MoveFileExA(aside.c_str(), path.c_str(), 0);  // the old file back where it was
            RaiseCreateError(path, error);
        }
        pending.path.clear();
        // Not registered (no rights): the old copy stays beside, which harms nothing.
        result.AsideRemovedAtRestart = MoveFileAtRestart(aside, "");
        result.How = Replacement::OldRenamedAside;
        result.AsidePath = aside;
        return result;
    }
    std::string waiting = MoveToNameBeside(pending.path, folder, kNewExtension);
    if (waiting.empty()) RaiseCreateError(path, inUseError);
    pending.path = waiting;  // removed again unless the move at the restart is registered
    if (!MoveFileAtRestart(waiting, path)) RaiseCreateError(path, inUseError);
    pending.path.clear();
    result.How = Replacement::AtRestart;
    result.AsidePath = waiting;
    return result;
}

}  // namespace

ReplaceResult WriteFileReplacing(const std::string& path, const void* data, DWORD size,
                                 bool flushNow) {
    // Refuse what CreateFileA(CREATE_ALWAYS) would refuse on the old file, rather than silently
    // moving over it.
    DWORD inUseError = 0;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY |
                              FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (attributes & refused) RaiseCreateError(path, ERROR_ACCESS_DENIED);
        // Held open by someone (a loaded DLL, another installer): replaced another way below.
        FileHandle old(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!old.IsOpen()) {
            DWORD error = GetLastError();
            if (!IsInUseError(error)) RaiseCreateError(path, error);
            inUseError = error;
        }
    }

    PendingFile pending;
    DWORD error = CreatePendingFile(ExtractFilePath(path), pending);
    if (error != ERROR_SUCCESS) RaiseCreateError(path, error);

    if (size > 0) {
        DWORD written = 0;
        if (!WriteFile(pending.file.Get(), data, size, &written, nullptr) || written != size)
            throw EWriteError("Stream write error");
    }
    if (flushNow && !FlushFileBuffers(pending.file.Get())) throw EWriteError("Stream write error");
    if (!pending.file.Close()) throw EWriteError("Stream write error");

    if (inUseError != 0) return ReplaceInUse(path, pending, inUseError);
    if (!MoveFileExA(pending.path.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = GetLastError();
        // Taken into use since the look above.
        if (IsInUseError(error)) return ReplaceInUse(path, pending, error);
        if (error != ERROR_CALL_NOT_IMPLEMENTED) RaiseCreateError(path, error);
        // Windows 9x has no MoveFileExA.
        DeleteFileA(path.c_str());
        if (!MoveFileA(pending.path.c_str(), path.c_str())) RaiseCreateError(path, GetLastError());
    }
    pending.path.clear();
    return ReplaceResult();
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
    FileHandle source(CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source.IsOpen()) return false;
    const std::string folder = ExtractFilePath(to);
    PendingFile pending;
    DWORD error = CreatePendingFile(folder, pending);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        DWORD read = 0, written = 0;
        if (!ReadFile(source.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return false;  // the last error is the read's; the new file goes with pending
        if (read == 0) break;
        if (!WriteFile(pending.file.Get(), buffer.data(), read, &written, nullptr)) return false;
        if (written != read) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
    }
    if (!FlushFileBuffers(pending.file.Get()) || !pending.file.Close()) return false;

    const DWORD attributes = GetFileAttributesA(to.c_str());
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_READONLY) &&
                          !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!readOnly) {
        if (!MoveFileExA(pending.path.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
        pending.path.clear();
        return true;
    }
    // A read-only old copy: renamed aside, the new one moved in, the old one deleted.
    const std::string aside = MoveToNameBeside(to, folder, kOldExtension);
    if (aside.empty()) return false;
    if (!MoveFileExA(pending.path.c_str(), to.c_str(), 0)) {
        error = GetLastError();
        MoveFileExA(aside.c_str(), to.c_str(), 0);  // the old copy back where it was
        SetLastError(error);
        return false;
    }
    pending.path.clear();
    if (!DeleteFileByHandle(aside))
        Log("C\xF3pia anterior n\xE3o exclu\xED" "da: " + aside + " (" + SysErrorMessage(GetLastError()) + ")");
    return true;
}

bool DeleteFileByHandle(const std::string& path) {
    if (!HasAccessControl()) {  // Windows 9x: no links, no handles to delete by
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileA(path.c_str()) || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    }
    FileHandle file(CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.IsOpen()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.Get(), &info)) return false;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        if (info.nNumberOfLinks > 1) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        DWORD attributes = info.dwFileAttributes & ~(FILE_ATTRIBUTE_READONLY |
                                                     FILE_ATTRIBUTE_DIRECTORY |
                                                     FILE_ATTRIBUTE_REPARSE_POINT);
        if (!SetAttributesThroughHandle(file.Get(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL))
            return false;
    }
    return DeleteThroughHandle(file.Get());
}

bool IsPendingFileName(const std::string& name) {
    const size_t prefix = sizeof kNamePrefix - 1, suffix = sizeof kWritingExtension - 1;
    if (name.size() != prefix + 8 + suffix || name.compare(0, prefix, kNamePrefix) != 0 ||
        name.compare(prefix + 8, suffix, kWritingExtension) != 0)
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
    for (bool found = find.First(folder + kNamePrefix + "*" + kWritingExtension, data); found; found = find.Next(data)) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsPendingFileName(data.cFileName))
            continue;
        const std::string path = folder + data.cFileName;
        // One held open (another installer writing it now) is left alone.
        if (DeleteFileA(path.c_str())) removed.push_back(path);
    }
    return removed;
}

bool FileFlushList::Flush(std::string* failedPath, DWORD* error,
                          const std::vector<std::string>* only) {
    bool ok = true;
    std::vector<std::string> kept;
    for (const std::string& path : paths_) {
        if (only && std::find(only->begin(), only->end(), path) == only->end()) {
            kept.push_back(path);
            continue;
        }
        // FlushFileBuffers needs write access to the data; every sharing mode, so that a program
        // holding the file open, or the loader of one that has loaded it, is no obstacle.
        FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD code = ERROR_SUCCESS;
        if (!file.IsOpen()) {
            code = GetLastError();
            if (IsInUseError(code)) {
                // A loaded image: Windows refuses writing access to it whatever the sharing.
                // Its bytes reach the disk with the system's own writing of its cache.
                Log("Arquivo em uso, gravado em disco pelo pr\xF3prio Windows: " + path);
                continue;
            }
        } else if (!FlushFileBuffers(file.Get())) {
            code = GetLastError();
        }
        if (code == ERROR_SUCCESS) continue;
        if (ok) {
            if (failedPath) *failedPath = path;
            if (error) *error = code;
        }
        ok = false;
    }
    paths_.swap(kept);
    return ok;
}
