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

bool Failed(DWORD code, DWORD* error) {
    if (error) *error = code;
    return false;
}

}  // namespace

bool OpenLog(const std::string& path, DWORD* error) {
    CloseLog();
    // GetFileAttributesA reads the name itself, not what a link points to.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Failed(kLogIsALink, error);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Failed(ERROR_ACCESS_DENIED, error);
        if (!HasAccessControl()) {
            // Windows 9x: no links of either kind.
            if (!DeleteFileA(path.c_str())) return Failed(GetLastError(), error);
            const DWORD code = CreateNewLog(path);
            return code == ERROR_SUCCESS || Failed(code, error);
        }
        FileHandle old(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!old.IsOpen() || !GetFileInformationByHandle(old.Get(), &info))
            return Failed(GetLastError(), error);
        if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return Failed(kLogIsALink, error);
        if (info.nNumberOfLinks > 1) return Failed(kLogHasOtherNames, error);
        old.Close();
        // Deleting takes the name away; the new file is made with no trace of the old one.
        if (!DeleteFileA(path.c_str())) return Failed(GetLastError(), error);
    }
    const DWORD code = CreateNewLog(path);
    return code == ERROR_SUCCESS || Failed(code, error);
}

bool OpenNewLog(const std::string& folder, DWORD* error) {
    CloseLog();
    SYSTEMTIME today;
    GetLocalTime(&today);
    DWORD code = ERROR_FILE_EXISTS;
    for (int counter = 1; counter <= 999; ++counter) {
        const std::string path = folder + NewLogName(today, counter);
        code = CreateNewLog(path);
        if (code == ERROR_SUCCESS) return true;
        // Taken (by a file, a link or a folder, which some systems report as access denied):
        // the next number. Any other error is the folder's and ends the search.
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS &&
            GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            break;
    }
    return Failed(code, error);
}

std::string NewLogName(const SYSTEMTIME& date, int counter) {
    char name[64];
    std::snprintf(name, sizeof name, "InstaladorKestrel %04u-%02u-%02u #%03d.log", date.wYear,
                  date.wMonth, date.wDay, counter);
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
