// TRegistry and TRegIniFile: the one object all registry work goes through.
// Paths: a leading "\" counts from RootKey; otherwise from the current key when one is open,
// else from RootKey. The program's own paths never lead with "\" and close the key after each
// group of values, so they always count from RootKey.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The registry view a 32-bit program has on 64-bit Windows (SOFTWARE below WOW6432Node), as
// REGSAM bits to add to a registry object's Access. The product is a 32-bit program and has that
// view by nature (0); the 64-bit test build asks for it, so that both use the same keys.
#ifdef _WIN64
constexpr REGSAM kView32 = KEY_WOW64_32KEY;
#else
constexpr REGSAM kView32 = 0;
#endif

class TRegistry {
public:
    TRegistry() = default;
    virtual ~TRegistry() { CloseKey(); }
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey = HKEY_CURRENT_USER;
    REGSAM Access = KEY_ALL_ACCESS;

    HKEY CurrentKey() const { return current_; }
    const std::string& CurrentPath() const { return currentPath_; }

    // Opens with read rights only and closes at once; the current key is untouched.
    bool KeyExists(const std::string& path) const;
    // RegCreateKeyExA with canCreate, else RegOpenKeyExA; both ask for Access. Success closes
    // the previous current key and makes the new one current; failure changes nothing.
    bool OpenKey(const std::string& path, bool canCreate);
    bool ValueExists(const std::string& name) const;
    // REG_SZ / REG_EXPAND_SZ up to the first zero byte, unexpanded; "" when absent or no key.
    std::string ReadString(const std::string& name) const;
    // REG_SZ with its terminating zero.
    void WriteString(const std::string& name, const std::string& value);
    // REG_DWORD. ReadInteger: false when absent, or not a REG_DWORD.
    void WriteInteger(const std::string& name, DWORD value);
    bool ReadInteger(const std::string& name, DWORD& value) const;
    // Of the current key; true when the value is gone (also when it was not there).
    bool DeleteValue(const std::string& name);
    // The names of the current key's values, and of its subkeys (RegEnumKeyExA), in the system's
    // order; none without a current key.
    std::vector<std::string> ValueNames() const;
    std::vector<std::string> GetKeyNames() const;
    // Deletes a key that has no subkeys (path as for OpenKey; the current key must not be it or
    // lie below it). True when the key is gone, also when it was not there.
    bool DeleteKey(const std::string& path);
    void CloseKey();

private:
    // The key a relative path starts from, and the path with any leading "\" removed.
    HKEY BaseKey(const std::string& path, std::string& relative) const;

    HKEY current_ = nullptr;
    std::string currentPath_;
};

// A TRegistry on HKEY_CURRENT_USER that opens (creating if missing) a key when it is made.
class TRegIniFile : public TRegistry {
public:
    explicit TRegIniFile(const std::string& path);
    // Opens section below the open key with Access; ident's string if that succeeds and the
    // value exists, else def. The section's key is closed again.
    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& def) const;
};

// Reads a string value of an already opened key: the rules of TRegistry::ReadString.
std::string RegReadStringValue(HKEY key, const std::string& name);
