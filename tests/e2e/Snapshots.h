// What an installation touches, read from the test's side, for scenarios that check a run
// changed nothing: the BDE and ODBC registry trees and the folders the run writes into.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "../common/RegistryProbe.h"

namespace e2e {

// Every key below path with its values.
inline void RegTree(const std::string& path, std::map<std::string, Values>& out) {
    out[path] = RegValues(path);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                      ERROR_SUCCESS;
         ++i, size = sizeof name)
        RegTree(path + "\\" + name, out);
    RegCloseKey(key);
}

inline std::map<std::string, Values> RegistrySnapshot() {
    std::map<std::string, Values> out;
    RegTree("SOFTWARE\\Borland", out);
    RegTree("SOFTWARE\\ODBC", out);
    return out;
}

// Every file and folder below dir with its size and last write time.
inline void Listing(const std::string& dir, std::vector<std::string>& out) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        out.push_back(dir + "\\" + name + " " + std::to_string(data.nFileSizeLow) + " " +
                      std::to_string(data.ftLastWriteTime.dwLowDateTime) + ":" +
                      std::to_string(data.ftLastWriteTime.dwHighDateTime));
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Listing(dir + "\\" + name, out);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

inline std::vector<std::string> DiskSnapshot() {
    std::vector<std::string> out;
    for (const char* dir : {"C:\\Kestrel", "C:\\Arquivos de Programas", "D:", "C:\\users\\Public\\Desktop",
                            "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tavrin"})
        Listing(dir, out);
    // The system directory's own files (the ten system-wide payload files lie there).
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA("C:\\windows\\system32\\*", &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            out.push_back(std::string(data.cFileName) + " " +
                          std::to_string(data.ftLastWriteTime.dwLowDateTime));
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    return out;
}

}  // namespace e2e
