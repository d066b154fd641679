#include "platform/Environment.h"

#include <windows.h>

#include <cstdio>
#include <string>

std::string ProgramVersion() {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(1), RT_VERSION);
    HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data) return std::string();
    // VS_FIXEDFILEINFO follows the block's key, DWORD-aligned; it starts with its signature.
    const DWORD size = SizeofResource(module, info);
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO fixed;
        CopyMemory(&fixed, data + at, sizeof fixed);
        if (fixed.dwSignature != 0xFEEF04BD) continue;
        char text[48];
        std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu",
                      static_cast<unsigned long>(HIWORD(fixed.dwFileVersionMS)),
                      static_cast<unsigned long>(LOWORD(fixed.dwFileVersionMS)),
                      static_cast<unsigned long>(HIWORD(fixed.dwFileVersionLS)),
                      static_cast<unsigned long>(LOWORD(fixed.dwFileVersionLS)));
        return text;
    }
    return std::string();
}

std::string WindowsVersion() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) return std::string();
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu", version.dwMajorVersion,
                  version.dwMinorVersion, version.dwBuildNumber & 0xFFFF);
    std::string out = text;
    if (version.szCSDVersion[0]) out += std::string(" ") + version.szCSDVersion;
    return out;
}

std::string UserName() {
    char buffer[257];
    DWORD size = sizeof buffer;
    return GetUserNameA(buffer, &size) ? std::string(buffer) : std::string();
}

std::string ComputerName() {
    char buffer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof buffer;
    return GetComputerNameA(buffer, &size) ? std::string(buffer, size) : std::string();
}

std::string ExpandEnvironment(const std::string& text) {
    std::string out(text.size() + MAX_PATH, '\0');
    for (;;) {
        DWORD n = ExpandEnvironmentStringsA(text.c_str(), &out[0], static_cast<DWORD>(out.size()));
        if (n == 0) return text;
        if (n <= out.size()) {
            // n counts the terminating zero, and the ANSI function may count more than it
            // wrote: the text ends at the zero.
            out.resize(std::char_traits<char>::length(out.c_str()));
            return out;
        }
        out.resize(n);
    }
}

bool HasAccessControl() {
    return (GetVersion() & 0x80000000) == 0;
}
