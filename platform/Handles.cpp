#include "platform/Handles.h"

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

namespace {

// NtSetInformationFile (ntdll, Windows NT 4 and later, looked up): the operations on an open
// file that the Win32 API of Windows XP only offers by name.
using NtSetInformationFileFn = LONG(WINAPI*)(HANDLE, void* ioStatus, void* information,
                                            ULONG length, int informationClass);
struct IoStatus {
    ULONG_PTR status;
    ULONG_PTR information;
};
constexpr int kFileBasicInformation = 4;
constexpr int kFileDispositionInformation = 13;
struct FileBasicInformation {
    LARGE_INTEGER creation, lastAccess, lastWrite, change;  // 0: unchanged
    ULONG attributes;
};

NtSetInformationFileFn NtSetInformation() {
    static const auto function = reinterpret_cast<NtSetInformationFileFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtSetInformationFile")));
    return function;
}

bool SetInformation(HANDLE file, void* information, ULONG length, int informationClass) {
    const NtSetInformationFileFn set = NtSetInformation();
    if (!set) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return false;
    }
    IoStatus status{};
    const LONG code = set(file, &status, information, length, informationClass);
    if (code < 0) {
        using ToDosErrorFn = ULONG(WINAPI*)(LONG);
        static const auto toDosError = reinterpret_cast<ToDosErrorFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlNtStatusToDosError")));
        SetLastError(toDosError ? toDosError(code) : ERROR_GEN_FAILURE);
        return false;
    }
    return true;
}

}  // namespace

bool SetAttributesThroughHandle(HANDLE file, DWORD attributes) {
    FileBasicInformation basic{};
    basic.attributes = attributes;
    return SetInformation(file, &basic, sizeof basic, kFileBasicInformation);
}

bool DeleteThroughHandle(HANDLE file) {
    BOOLEAN remove = TRUE;
    return SetInformation(file, &remove, sizeof remove, kFileDispositionInformation);
}

std::string FinalPathOf(HANDLE handle) {
    using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    static const auto finalPath = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    if (!finalPath) return std::string();
    char buffer[MAX_PATH * 2];
    const DWORD n = finalPath(handle, buffer, sizeof buffer, 0 /* normalized, DOS volume name */);
    if (n == 0 || n >= sizeof buffer) return std::string();
    std::string path(buffer, n);
    if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) path = "\\" + path.substr(7);
    else if (path.compare(0, 4, "\\\\?\\") == 0) path = path.substr(4);
    while (path.size() > 3 && path.back() == '\\') path.pop_back();
    if (path.size() == 3 && path[1] == ':') path.pop_back();  // "C:\" as "C:", the parent of "C:\x"
    return path;
}
