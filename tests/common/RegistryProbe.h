// Reads and sets HKEY_LOCAL_MACHINE values from the tests' side, bypassing the installer's own
// registry object.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

using Values = std::vector<std::pair<std::string, std::string>>;

// Every value of a key in the order the registry enumerates them (creation order), as
// name and data; a value that is not REG_SZ shows its type and size instead of its data.
inline Values RegValues(const std::string& path) {
    Values out;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {{"(no key)", path}};
    for (DWORD i = 0;; ++i) {
        char name[256], data[2048];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type,
                          reinterpret_cast<BYTE*>(data), &dataSize) != ERROR_SUCCESS)
            break;
        if (type == REG_SZ && dataSize > 0 && data[dataSize - 1] == '\0')
            out.emplace_back(name, std::string(data, dataSize - 1));
        else
            out.emplace_back(name, "(type " + std::to_string(type) + ", " +
                                       std::to_string(dataSize) + " bytes)");
    }
    RegCloseKey(key);
    return out;
}

// One value's data, "(missing)" when the key or the value is not there.
inline std::string RegValue(const std::string& path, const std::string& name) {
    for (const auto& v : RegValues(path))
        if (v.first == name) return v.second;
    return "(missing)";
}

// Creates the key when needed and sets a REG_SZ value; false when that failed.
inline bool SetRegValue(const std::string& path, const std::string& name, const std::string& data) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(key, name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>(data.size() + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}
