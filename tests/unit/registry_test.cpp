// TRegistry and TRegIniFile against Wine's real registry (a throwaway prefix per test).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/Errors.h"
#include "platform/Registry.h"

namespace {

const char* const kKey = "SOFTWARE\\KestrelTest";

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ERegistryException& e) {
        return e.message();
    }
    return "(no error)";
}

TEST(Registry, CreateWriteReadAndClose) {
    TRegistry reg;
    EXPECT_EQ(reg.RootKey, HKEY_CURRENT_USER);
    reg.RootKey = HKEY_LOCAL_MACHINE;
    EXPECT_FALSE(reg.KeyExists(kKey));
    EXPECT_FALSE(reg.OpenKey(kKey, false));
    EXPECT_EQ(reg.CurrentKey(), nullptr);  // a failed open changes nothing
    ASSERT_TRUE(reg.OpenKey(std::string(kKey) + "\\Sub\\Deeper", true));
    reg.WriteString("Name", "Valor com acento \xE7\xE3");
    reg.WriteString("Empty", "");
    EXPECT_TRUE(reg.ValueExists("Name"));
    EXPECT_TRUE(reg.ValueExists("Empty"));
    EXPECT_FALSE(reg.ValueExists("Other"));
    EXPECT_EQ(reg.ReadString("Name"), "Valor com acento \xE7\xE3");
    EXPECT_EQ(reg.ReadString("Empty"), "");
    EXPECT_EQ(reg.ReadString("Other"), "");
    reg.CloseKey();
    EXPECT_FALSE(reg.ValueExists("Name"));
    EXPECT_EQ(reg.ReadString("Name"), "");

    // The empty value is stored as one zero byte of REG_SZ.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KestrelTest\\Sub\\Deeper", 0,
                            KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 99;
    EXPECT_EQ(RegQueryValueExA(key, "Empty", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 1u);
    RegCloseKey(key);
}

TEST(Registry, KeyExistsLeavesTheCurrentKeyAlone) {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(reg.OpenKey(std::string(kKey) + "\\A", true));
    HKEY before = reg.CurrentKey();
    EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\KestrelTest"));
    EXPECT_FALSE(reg.KeyExists("\\SOFTWARE\\KestrelTest\\Missing"));
    EXPECT_FALSE(reg.KeyExists(kKey));  // relative: below the open key
    EXPECT_EQ(reg.CurrentKey(), before);
    // A relative path counts from the open key; a leading backslash from the root.
    ASSERT_TRUE(reg.OpenKey("B", true));
    EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\KestrelTest\\A\\B"));
    reg.CloseKey();
    EXPECT_TRUE(reg.KeyExists("SOFTWARE\\KestrelTest\\A\\B"));
}

TEST(Registry, ErrorMessages) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr), ERROR_SUCCESS);
    DWORD number = 5;
    RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), sizeof number);
    RegSetValueExA(key, "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%TEMP%\\x"), 9);
    RegSetValueExA(key, "Binary", 0, REG_BINARY, nullptr, 0);
    RegCloseKey(key);

    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    EXPECT_EQ(ErrorOf([&] { reg.WriteString("DLLPATH", "x"); }),
              "Failed to set data for 'DLLPATH'");  // no key open
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("Number"); }), "Invalid data type for 'Number'");
    EXPECT_EQ(reg.ReadString("Expand"), "%TEMP%\\x");  // not expanded
    EXPECT_EQ(reg.ReadString("Binary"), "");           // no data
}

TEST(Registry, WriteToReadOnlyKeyFails) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    reg.Access = KEY_READ;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_EQ(ErrorOf([&] { reg.WriteString("Port", "5432"); }), "Failed to set data for 'Port'");
}

TEST(Registry, IniFileSectionReads) {
    TRegistry setup;
    setup.RootKey = HKEY_CURRENT_USER;
    ASSERT_TRUE(setup.OpenKey("Software\\KestrelTest\\Explorer\\Shell Folders", true));
    setup.WriteString("Programs", "C:\\Menu\\Programas");
    setup.CloseKey();

    TRegIniFile ini("Software\\KestrelTest\\Explorer");
    EXPECT_EQ(ini.ReadString("Shell Folders", "Programs", "def"), "C:\\Menu\\Programas");
    EXPECT_EQ(ini.ReadString("Shell Folders", "Missing", "def"), "def");
    EXPECT_EQ(ini.ReadString("No Section", "Programs", ""), "");

    // A key that does not exist is created by the reader.
    {
        TRegIniFile created("Software\\KestrelTest\\Created");
        EXPECT_EQ(created.ReadString("S", "V", "d"), "d");
    }
    TRegistry check;
    EXPECT_TRUE(check.KeyExists("Software\\KestrelTest\\Created"));
}

TEST(Registry, KeyNamesOfTheCurrentKey) {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    EXPECT_TRUE(reg.GetKeyNames().empty());  // no current key
    const std::string longName(200, 'k');    // longer than MAX_PATH / 2
    for (const std::string& name : {std::string("Um"), std::string("Dois \xE7"), longName})
        ASSERT_TRUE(reg.OpenKey("\\" + std::string(kKey) + "\\Lista\\" + name + "\\Neto", true));
    ASSERT_TRUE(reg.OpenKey(std::string("\\") + kKey + "\\Lista", false));
    reg.WriteString("valor", "not a key");
    std::vector<std::string> names = reg.GetKeyNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Dois \xE7", "Um", longName}));
}

}  // namespace
