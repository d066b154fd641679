#include "platform/Registry.h"

#include <vector>

#include "platform/Errors.h"

namespace {
constexpr REGSAM kReadRights = STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

void RaiseRegistry(const char* fmt, const std::string& name) {
    throw ERegistryException(Format(fmt, name.c_str()));
}
}  // namespace

HKEY TRegistry::BaseKey(const std::string& path, std::string& relative) const {
    if (!path.empty() && path[0] == '\\') {
        relative = path.substr(1);
        return RootKey;
    }
    relative = path;
    return current_ ? current_ : RootKey;
}

bool TRegistry::KeyExists(const std::string& path) const {
    std::string relative;
    HKEY base = BaseKey(path, relative);
    HKEY key = nullptr;
    const REGSAM view = Access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if (RegOpenKeyExA(base, relative.c_str(), 0, kReadRights | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
    std::string relative;
    HKEY base = BaseKey(path, relative);
    HKEY key = nullptr;
    LONG rc;
    if (canCreate) {
        DWORD disposition = 0;
        rc = RegCreateKeyExA(base, relative.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, Access,
                             nullptr, &key, &disposition);
    } else {
        rc = RegOpenKeyExA(base, relative.c_str(), 0, Access, &key);
    }
    if (rc != ERROR_SUCCESS) return false;
    std::string newPath = (current_ && !(path.size() && path[0] == '\\'))
                              ? currentPath_ + "\\" + relative
                              : relative;
    CloseKey();
    current_ = key;
    currentPath_ = newPath;
    return true;
}

bool TRegistry::ValueExists(const std::string& name) const {
    if (!current_) return false;
    return RegQueryValueExA(current_, name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

std::string RegReadStringValue(HKEY key, const std::string& name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::string();  // absent
    if (size == 0) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseRegistry("Invalid data type for '%s'", name);
    std::vector<char> data(size + 1, '\0');
    DWORD got = size;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &got) != ERROR_SUCCESS)
        RaiseRegistry("Failed to get data for '%s'", name);
    return std::string(data.data());  // up to the first zero byte
}

std::string TRegistry::ReadString(const std::string& name) const {
    if (!current_) return std::string();
    return RegReadStringValue(current_, name);
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    if (!current_ ||
        RegSetValueExA(current_, name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
        RaiseRegistry("Failed to set data for '%s'", name);
}

void TRegistry::WriteInteger(const std::string& name, DWORD value) {
    if (!current_ ||
        RegSetValueExA(current_, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value) != ERROR_SUCCESS)
        RaiseRegistry("Failed to set data for '%s'", name);
}

bool TRegistry::ReadInteger(const std::string& name, DWORD& value) const {
    DWORD type = 0, data = 0, size = sizeof data;
    if (!current_ ||
        RegQueryValueExA(current_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return false;
    value = data;
    return true;
}

bool TRegistry::DeleteValue(const std::string& name) {
    if (!current_) return false;
    const LONG rc = RegDeleteValueA(current_, name.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

std::vector<std::string> TRegistry::ValueNames() const {
    std::vector<std::string> names;
    if (!current_) return names;
    std::vector<char> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD size = static_cast<DWORD>(name.size());
        if (RegEnumValueA(current_, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), size);
    }
    return names;
}

std::vector<std::string> TRegistry::GetKeyNames() const {
    std::vector<std::string> names;
    if (!current_) return names;
    for (DWORD index = 0;; ++index) {
        char name[256];  // a key name has at most 255 characters
        DWORD size = sizeof name;
        LONG rc = RegEnumKeyExA(current_, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    return names;
}

// The key's parent is opened in the registry object's view and the key deleted from it: a
// handle in the 32-bit view names its own subkeys, so no newer, view-taking call is needed.
bool TRegistry::DeleteKey(const std::string& path) {
    std::string relative;
    HKEY base = BaseKey(path, relative);
    const size_t cut = relative.rfind('\\');
    const std::string parentPath = cut == std::string::npos ? std::string() : relative.substr(0, cut);
    const std::string name = cut == std::string::npos ? relative : relative.substr(cut + 1);
    HKEY parent = nullptr;
    const REGSAM view = Access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    LONG rc = RegOpenKeyExA(base, parentPath.c_str(), 0, KEY_ALL_ACCESS | view, &parent);
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    rc = RegDeleteKeyA(parent, name.c_str());
    RegCloseKey(parent);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

void TRegistry::CloseKey() {
    if (current_) {
        RegCloseKey(current_);
        current_ = nullptr;
        currentPath_.clear();
    }
}

TRegIniFile::TRegIniFile(const std::string& path) {
    RootKey = HKEY_CURRENT_USER;
    OpenKey(path, true);
}

std::string TRegIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& def) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(CurrentKey() ? CurrentKey() : RootKey, section.c_str(), 0, Access, &key) !=
        ERROR_SUCCESS)
        return def;
    struct Closer { HKEY k; ~Closer() { RegCloseKey(k); } } closer{key};
    if (RegQueryValueExA(key, ident.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return def;
    return RegReadStringValue(key, ident);
}
