#include "platform/Errors.h"

#include <cstdarg>
#include <cstdio>

std::string Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(&out[0], out.size() + 1, fmt, args);
    va_end(args);
    return out;
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
