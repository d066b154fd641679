#include "platform/Log.h"

#include <cstdio>

#include "platform/Files.h"

namespace {

FileHandle gLog;
std::string gLogPath;

}  // namespace

bool OpenLog(const std::string& path, DWORD* error) {
    CloseLog();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return false;
    }
    gLog.Attach(h);
    gLogPath = ExpandFileName(path);
    return true;
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

std::string DefaultLogPath() {
    char buffer[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof buffer, buffer);
    std::string folder = n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder + "InstaladorKestrel.log";
}
