#include "platform/Log.h"

#include <cstdio>

#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/Handles.h"

namespace {

FileHandle gLog;
std::string gLogPath;

}  // namespace

namespace {

// The path made absolute (the log names its own place); the path itself when that fails.
std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH];
    char* name = nullptr;
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &name);
    return n == 0 || n >= sizeof buffer ? path : std::string(buffer, n);
}

// CREATE_NEW: fails on any name that exists, a dangling link included; a link is never followed.
DWORD CreateNewLog(const std::string& path) {
    // Windows 9x knows no reparse points (and no such flag).
    const DWORD flags =
        FILE_ATTRIBUTE_NORMAL | (HasAccessControl() ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, flags,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    gLog.Attach(h);
    gLogPath = FullPath(path);
    return ERROR_SUCCESS;
}

// The path with the long names of its folders and file, as a final path names them.
std::string LongPath(const std::string& path) {
    char buffer[MAX_PATH * 2];
    const DWORD n = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
    return n == 0 || n >= sizeof buffer ? path : std::string(buffer, n);
}

// A number nobody can tell ahead: the system's random generator (RtlGenRandom, advapi32's
// SystemFunction036, Windows XP and later, looked up), else the clock, the process and the
// performance counter mixed.
DWORD UnguessableNumber() {
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    static const auto genRandom = reinterpret_cast<GenRandomFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("advapi32.dll"), "SystemFunction036")));
    DWORD number = 0;
    if (genRandom && genRandom(&number, sizeof number)) return number;
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return GetTickCount() ^ (GetCurrentProcessId() << 16) ^ counter.LowPart ^ counter.HighPart;
}

bool Failed(DWORD code, DWORD* error) {
    if (error) *error = code;
    return false;
}

}  // namespace

bool OpenLog(const std::string& path, DWORD* error) {
    CloseLog();
    if (!HasAccessControl()) {  // Windows 9x: no links of either kind
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Failed(ERROR_ACCESS_DENIED, error);
            if (!DeleteFileA(path.c_str())) return Failed(GetLastError(), error);
        }
        const DWORD code = CreateNewLog(path);
        return code == ERROR_SUCCESS || Failed(code, error);
    }
    // The name itself, once: what is there is looked at and deleted through this one handle, so
    // that nothing can be put in its place between the look and the deletion.
    FileHandle old(CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (old.IsOpen()) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(old.Get(), &info)) return Failed(GetLastError(), error);
        if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Failed(kLogIsALink, error);
        // Where a link does not show as one (Wine's symbolic links), the handle is somewhere else.
        const std::string final = FinalPathOf(old.Get());
        if (!final.empty() && lstrcmpiA(final.c_str(), LongPath(FullPath(path)).c_str()) != 0)
            return Failed(kLogIsALink, error);
        if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Failed(ERROR_ACCESS_DENIED, error);
        if (info.nNumberOfLinks > 1) return Failed(kLogHasOtherNames, error);
        // Deleting takes the name away; the new file is made with no trace of the old one.
        if (!DeleteThroughHandle(old.Get())) return Failed(GetLastError(), error);
        old.Close();
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return Failed(GetLastError(), error);
    }
    const DWORD code = CreateNewLog(path);
    return code == ERROR_SUCCESS || Failed(code, error);
}

bool OpenNewLog(const std::string& folder, DWORD* error) {
    CloseLog();
    SYSTEMTIME now;
    GetLocalTime(&now);
    DWORD code = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = folder + NewLogName(now, UnguessableNumber());
        code = CreateNewLog(path);
        if (code == ERROR_SUCCESS) return true;
        // Taken (by a file, a link or a folder, which some systems report as access denied):
        // another number. Any other error is the folder's and ends the search.
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS &&
            GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            break;
    }
    return Failed(code, error);
}

std::string NewLogName(const SYSTEMTIME& time, DWORD number) {
    char name[80];
    std::snprintf(name, sizeof name, "InstaladorKestrel %04u-%02u-%02u %02u%02u%02u %08lX.log",
                  time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                  static_cast<unsigned long>(number));
    return name;
}

std::string LogErrorText(DWORD error) {
    if (error == kLogIsALink)
        return "o arquivo existente \xE9 um link (simb\xF3lico ou de jun\xE7\xE3o); "
               "o log n\xE3o segue links";
    if (error == kLogHasOtherNames)
        return "o arquivo existente tem outros nomes (links f\xEDsicos); "
               "o log n\xE3o grava sobre ele";
    return SysErrorMessage(error);
}

void CloseLog() {
    gLog.Close();
    gLogPath.clear();
}

bool LogIsOpen() {
    return gLog.IsOpen();
}

std::string LogPath() {
    return gLogPath;
}

std::string LogLine(const SYSTEMTIME& t, const std::string& text) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u  ", t.wYear, t.wMonth,
                  t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    std::string line = stamp;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            line += " | ";
        } else {
            line += text[i];
        }
    }
    return line + "\r\n";
}

void Log(const std::string& text) {
    if (!gLog.IsOpen()) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string line = LogLine(now, text);
    DWORD written = 0;
    WriteFile(gLog.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string DefaultLogFolder() {
    char buffer[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof buffer, buffer);
    std::string folder = n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
}
