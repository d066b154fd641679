#include "platform/Machine.h"

#include "platform/Shell.h"

namespace {

// Not in the headers for Windows XP's level; the 64-bit view of the registry, which a 32-bit
// program on 64-bit Windows asks for to see the keys the redirection hides.
constexpr REGSAM kWow64View64 = 0x0100;  // KEY_WOW64_64KEY
const char* const kRegistryWow64Key = "SOFTWARE\\WOW6432Node";

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using GetSystemWow64DirectoryFn = UINT(WINAPI*)(LPSTR, UINT);

const MachineFacts* overridden = nullptr;

bool RunsUnderWow64() {
    auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

std::string SystemWow64Directory() {
    auto query = reinterpret_cast<GetSystemWow64DirectoryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemWow64DirectoryA")));
    if (!query) return std::string();
    char buffer[MAX_PATH + 1];
    UINT n = query(buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

bool RegistryWow64KeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistryWow64Key, 0, KEY_READ | kWow64View64, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

}  // namespace

MachineFacts ReadMachineFacts() {
    MachineFacts facts;
    facts.Wow64 = RunsUnderWow64();
    facts.SystemDir = SystemDirectory();
    if (facts.Wow64) {
        facts.SystemWow64Dir = SystemWow64Directory();
        if (RegistryWow64KeyExists())
            facts.RegistryWow64Key = std::string("HKLM\\") + kRegistryWow64Key;
    }
    facts.Drives = GetLogicalDrives();
    return facts;
}

MachineFacts Machine() {
    return overridden ? *overridden : ReadMachineFacts();
}

void OverrideMachineFacts(const MachineFacts* facts) {
    overridden = facts;
}

std::string Wow64Note(const MachineFacts& facts) {
    if (!facts.Wow64) return std::string();
    std::string note = "Windows de 64 bits: este programa de 32 bits grava os arquivos de " +
                       facts.SystemDir + " em ";
    note += facts.SystemWow64Dir.empty() ? std::string("outra pasta (SysWOW64 n\xE3o encontrada)")
                                         : facts.SystemWow64Dir;
    note += " e as chaves de HKLM\\SOFTWARE em ";
    note += facts.RegistryWow64Key.empty()
                ? std::string("outra chave (WOW6432Node n\xE3o encontrada)")
                : facts.RegistryWow64Key;
    return note;
}

bool DriveVisible(const MachineFacts& facts, const std::string& path) {
    if (path.size() < 2 || path[1] != ':') return true;
    const char letter = static_cast<char>(path[0] & ~0x20);  // upper case
    if (letter < 'A' || letter > 'Z') return true;
    return (facts.Drives >> (letter - 'A')) & 1;
}
