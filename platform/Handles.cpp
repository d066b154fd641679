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
