// The installer on the machines of today, as Wine lays a prefix out (the layout of Windows Vista
// to 11): Quick Launch links through the profile list, a common folder missing from the registry,
// and the log's lines about the machine.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "../common/ComEnvironment.h"
#include "../common/LinkReader.h"

namespace {

using namespace e2e::texts;

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char kRoamingQuickLaunch[] =
    "\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch";
const char kLog[] = "C:\\kestrel.log";

std::string Expanded(const std::string& text) {
    char out[MAX_PATH * 2];
    DWORD n = ExpandEnvironmentStringsA(text.c_str(), out, sizeof out);
    return n > 0 && n <= sizeof out ? std::string(out) : text;
}

std::string RegString(HKEY root, const std::string& key, const char* name) {
    char buffer[1024] = "";
    DWORD size = sizeof buffer;
    HKEY h;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "";
    LONG rc = RegQueryValueExA(h, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS ? std::string(buffer) : "";
}

void SetRegString(const std::string& key, const char* name, const std::string& value, DWORD type) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &h, nullptr), ERROR_SUCCESS);
    RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(h);
}

// The ordinary users' profiles Wine lists, expanded (Wine writes one: the prefix's user).
std::vector<std::string> ListedUserProfiles() {
    std::vector<std::string> profiles;
    HKEY list;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ, &list) != ERROR_SUCCESS)
        return profiles;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(list, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        if (std::string(name).rfind("S-1-5-21-", 0) != 0) continue;
        profiles.push_back(Expanded(
            RegString(HKEY_LOCAL_MACHINE, std::string(kProfileList) + "\\" + name, "ProfileImagePath")));
    }
    RegCloseKey(list);
    return profiles;
}

void MakeFolder(const std::string& folder) {
    for (size_t i = 3; i <= folder.size(); ++i)
        if (i == folder.size() || folder[i] == '\\')
            CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
}

void LayOutSite(const std::string& remoteApp = kRemoteApp) {
    e2e::LayOutInstaller();
    e2e::WriteFile(kSettingsFile, e2e::Settings(kLocalApp, remoteApp));
    e2e::WriteFile("S:\\Kestrel\\Kestrel.exe", "Kestrel, the application");
}

void ExpectLauncherLink(const std::string& path) {
    SCOPED_TRACE(path);
    Link link = LoadLink(path);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, "S:\\Kestrel\\StartKestrel.exe");
    EXPECT_EQ(link.workingDirectory, "C:\\Kestrel");
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Wine's own layout: "Common AppData" is C:\ProgramData, the profiles are under C:\users and the
// profile list names them. A second user is added to the list, with a profile but without a
// Quick Launch folder; the prefix's user gets that folder. Exactly that one gets the link.
TEST(Machine, QuickLaunchOnTheVistaLayoutGoesThroughTheProfileList) {
    ASSERT_EQ(RegString(HKEY_LOCAL_MACHINE, kShellFolders, "Common AppData"), "C:\\ProgramData");
    const std::vector<std::string> listed = ListedUserProfiles();
    ASSERT_EQ(listed.size(), 1u) << "Wine lists the prefix's user only";
    const std::string user = listed[0];
    ASSERT_EQ(user.rfind("C:\\users\\", 0), 0u) << user;
    const std::string other = "C:\\users\\segunda";
    SetRegString(std::string(kProfileList) + "\\S-1-5-21-11-22-33-1077", "ProfileImagePath",
                 "%SystemDrive%\\users\\segunda", REG_EXPAND_SZ);
    MakeFolder(other + "\\AppData\\Roaming");
    MakeFolder(user + kRoamingQuickLaunch);
    LayOutSite();

    e2e::Launched run(std::string("/VERYSILENT /TASKS=quicklaunch /LOG=\"") + kLog + "\"");
    EXPECT_EQ(run.WaitForExit(), 0u);

    ExpectLauncherLink(user + kRoamingQuickLaunch + "\\Kestrel.lnk");
    EXPECT_FALSE(e2e::FileExists(other + kRoamingQuickLaunch + "\\Kestrel.lnk"));
    const std::string log = e2e::ReadFile(kLog);
    EXPECT_TRUE(Has(log, "Perfil " + user + ": atalho na Inicializa\xE7\xE3o R\xE1pida\r\n")) << log;
    EXPECT_TRUE(Has(log, "Atalho criado: " + user + kRoamingQuickLaunch + "\\Kestrel.lnk")) << log;
    EXPECT_TRUE(Has(log, "Perfil " + other + ": sem pasta de Inicializa\xE7\xE3o R\xE1pida (" + other +
                             kRoamingQuickLaunch + "), nenhum atalho\r\n")) << log;
}

// "Shell Folders" without "Common Desktop" (Windows fills that copy only when asked): the link
// goes where SHGetFolderPathA says, and the log tells where the folder came from.
TEST(Machine, DesktopLinkWithoutTheRegistryValueGoesWhereTheShellSays) {
    LayOutSite();
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kShellFolders, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "Common Desktop");
    RegCloseKey(key);

    e2e::Launched run(std::string("/VERYSILENT /TASKS=desktop /LOG=\"") + kLog + "\"");
    EXPECT_EQ(run.WaitForExit(), 0u);

    // Asked only now: the shell writes the folder it is asked for back into "Shell Folders".
    char desktop[MAX_PATH] = "";
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, desktop), S_OK);

    ExpectLauncherLink(std::string(desktop) + "\\Kestrel.lnk");
    const std::string log = e2e::ReadFile(kLog);
    EXPECT_TRUE(Has(log, std::string("Pasta Common Desktop ausente do registro; a do Windows "
                                     "(SHGetFolderPath): ") + desktop + "\r\n")) << log;
}

// RemoteApp on a letter this process does not see (as a drive mapped in a person's session is
// missing for SYSTEM): the plain warning and the advice, and the copy fails as before (code 5).
// The start line: neither bed runs the product under WOW64 (the 32-bit bed is a 32-bit prefix,
// the 64-bit bed runs 64-bit builds), so it carries no 64-bit note here; the note itself is
// checked with the facts of a 64-bit Windows in tests/unit/machine_test.cpp.
TEST(Machine, UnseenServerDriveIsExplainedInTheLog) {
    LayOutSite("Q:\\Kestrel\\Kestrel.exe");
    e2e::Launched run(std::string("/VERYSILENT /TASKS= /LOG=\"") + kLog + "\"");
    EXPECT_EQ(run.WaitForExit(), 5u);

    const std::string log = e2e::ReadFile(kLog);
    EXPECT_TRUE(Has(log, "Aviso: a unidade Q: de RemoteApp (Q:\\Kestrel\\Kestrel.exe) n\xE3o existe "
                         "para este processo (usu\xE1rio ")) << log;
    EXPECT_TRUE(Has(log, "use no startKestrel.INI um caminho UNC (\\\\servidor\\...)\r\n")) << log;
    EXPECT_FALSE(Has(log, "a pasta do instalador")) << log;  // F: is there
    EXPECT_FALSE(Has(log, "64 bits")) << log;
    EXPECT_FALSE(Has(log, "WOW6432Node")) << log;
}

}  // namespace
