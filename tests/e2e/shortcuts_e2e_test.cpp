// The shortcuts a real installation places, read back through Wine's shell-link object: the
// common desktop, the start-menu folder "\Tavrin" and the Quick Launch folders.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "../common/ComEnvironment.h"
#include "../common/LinkReader.h"

namespace {

using namespace e2e::texts;

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kRemoteFolder[] = "S:\\Kestrel\\";
const char kLocalFolder[] = "C:\\Kestrel";

const char kDesktop[] = "D:\\Publico\\Desktop";
const char kPrograms[] = "D:\\Menu Iniciar\\Programas";
const char kAppData[] = "D:\\Documents and Settings\\All Users\\Application Data";
const char kOldStyle[] = "C:\\WINDOWS\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch";

std::string ProfileQuickLaunch(const std::string& profile) {
    return "D:\\Documents and Settings\\" + profile +
           "\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch";
}

void MakeFolder(const std::string& folder) {
    for (size_t i = 3; i <= folder.size(); ++i)
        if (i == folder.size() || folder[i] == '\\') CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
}

void SetFolderValue(HKEY root, const std::string& name, const std::string& value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

void DeleteFolderValue(HKEY root, const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(root, kShellFolders, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
}

std::string FolderValue(HKEY root, const std::string& name) {
    char buffer[1024] = "";
    DWORD size = sizeof buffer;
    HKEY key;
    if (RegOpenKeyExA(root, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS) return "(no key)";
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buffer) : "(absent)";
}

// The machine-wide folders of this test machine, set explicitly: Wine's own values point
// elsewhere, and a test must see that nothing rewrites them during the run.
void SetMachineFolders() {
    SetFolderValue(HKEY_LOCAL_MACHINE, "Common Desktop", kDesktop);
    SetFolderValue(HKEY_LOCAL_MACHINE, "Common Programs", kPrograms);
    SetFolderValue(HKEY_LOCAL_MACHINE, "Common AppData", kAppData);
    MakeFolder(kDesktop);
    MakeFolder(kPrograms);
}

// The installer beside its settings, and the server folder with the program and the launcher.
void LayOutSite() {
    e2e::LayOutInstaller();
    e2e::WriteFile(std::string(kRemoteFolder) + "Kestrel.exe", "MZ");
    e2e::WriteFile(std::string(kRemoteFolder) + "StartKestrel.exe", "MZ");
    e2e::WriteFile("F:\\Instalador\\startKestrel.INI",
                   e2e::Settings(std::string(kLocalFolder) + "\\Kestrel.exe",
                                 std::string(kRemoteFolder) + "Kestrel.exe"));
}

void Uncheck(e2e::Installer& app, const char* caption) {
    HWND box = app.Button(caption);
    app.Click(box);
    ASSERT_TRUE(e2e::WaitFor([&] { return !app.IsChecked(box); }));
}

// Presses "&Instalar" and waits for the end of the run; any box on the way fails the test.
void InstallToTheEnd(e2e::Installer& app) {
    app.Click(app.Button("&Instalar"));
    e2e::WaitFor([&] { return app.Status() == kDone || app.CurrentBox().hwnd != nullptr; });
    e2e::Box box = app.CurrentBox();
    ASSERT_EQ(box.hwnd, nullptr) << box.caption << ": " << box.text;
    ASSERT_EQ(app.Status(), kDone);
    app.WaitUntilEnabled(app.Button("&Cancelar"));
}

void ExpectLauncherLink(const std::string& folder) {
    const std::string path = folder + "\\Kestrel.lnk";
    SCOPED_TRACE(path);
    Link link = LoadLink(path);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, std::string(kRemoteFolder) + "StartKestrel.exe");
    EXPECT_EQ(link.arguments, "");
    EXPECT_EQ(link.workingDirectory, kLocalFolder);
}

void ExpectNoLink(const std::string& folder) {
    EXPECT_FALSE(e2e::FileExists(folder + "\\Kestrel.lnk")) << folder;
}

bool FolderExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Shortcuts, AllThreeOptions) {
    LayOutSite();
    SetMachineFolders();
    // An old read-only link in the start-menu subfolder, which exists already.
    const std::string tavrin = std::string(kPrograms) + "\\Tavrin";
    e2e::WriteFile(tavrin + "\\Kestrel.lnk", "old link");
    SetFileAttributesA((tavrin + "\\Kestrel.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
    // Profiles: visible with and without Quick Launch, hidden, and the two never visited.
    for (const char* profile : {"Maria", "Jo\xE3o", "Oculto", "All Users", "Default User"})
        MakeFolder(ProfileQuickLaunch(profile));
    MakeFolder("D:\\Documents and Settings\\Pedro\\Application Data");
    ASSERT_TRUE(SetFileAttributesA("D:\\Documents and Settings\\Oculto", FILE_ATTRIBUTE_HIDDEN));

    e2e::Installer app;
    InstallToTheEnd(app);

    ExpectLauncherLink(kDesktop);
    ExpectLauncherLink(tavrin);
    ExpectLauncherLink(ProfileQuickLaunch("Maria"));
    ExpectLauncherLink(ProfileQuickLaunch("Jo\xE3o"));
    for (const char* profile : {"Oculto", "All Users", "Default User", "Pedro"})
        ExpectNoLink(ProfileQuickLaunch(profile));
    EXPECT_FALSE(FolderExists(ProfileQuickLaunch("Pedro")));
    EXPECT_FALSE(FolderExists(kOldStyle));
    EXPECT_TRUE(app.Boxes().empty());

    // The values the links went by are still the test's own.
    EXPECT_EQ(FolderValue(HKEY_LOCAL_MACHINE, "Common Desktop"), kDesktop);
    EXPECT_EQ(FolderValue(HKEY_LOCAL_MACHINE, "Common Programs"), kPrograms);
    EXPECT_EQ(FolderValue(HKEY_LOCAL_MACHINE, "Common AppData"), kAppData);
}

TEST(Shortcuts, UndeletableLinkGivesTheNoticeAndTheRunGoesOn) {
    LayOutSite();
    SetMachineFolders();
    const std::string held = std::string(kDesktop) + "\\Kestrel.lnk";
    e2e::WriteFile(held, "old link");
    // Open here without delete sharing: the installer cannot delete it.
    HANDLE h = CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    e2e::Installer app;
    app.Click(app.Button("&Instalar"));
    e2e::Box box = app.WaitForBox();
    EXPECT_EQ(box.caption, "Instalador - Kestrel");
    EXPECT_EQ(box.text, "Falha de exclus\xE3o! " + held);
    EXPECT_FALSE(box.hasIcon);
    RECT r = e2e::WindowRect(box.hwnd);  // centred on the 1024 x 768 screen
    EXPECT_NEAR((r.left + r.right) / 2, 512, 2);
    EXPECT_NEAR((r.top + r.bottom) / 2, 384, 2);
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(app.Status(), "Criando atalho. Aguarde...");
    app.Answer(box, IDOK);
    CloseHandle(h);

    EXPECT_TRUE(app.WaitForStatus(kDone));
    app.WaitUntilEnabled(app.Button("&Cancelar"));
    EXPECT_EQ(app.Boxes().size(), 1u);
    ExpectLauncherLink(std::string(kPrograms) + "\\Tavrin");
}

TEST(Shortcuts, StartMenuFallsBackToTheUsersPrograms) {
    LayOutSite();
    SetMachineFolders();
    DeleteFolderValue(HKEY_LOCAL_MACHINE, "Common Programs");
    const std::string userPrograms = "D:\\Usuario\\Menu Iniciar\\Programas";
    SetFolderValue(HKEY_CURRENT_USER, "Programs", userPrograms);

    e2e::Installer app;
    Uncheck(app, kDeskTop);
    Uncheck(app, kQuickLaunch);
    InstallToTheEnd(app);

    ExpectLauncherLink(userPrograms + "\\Tavrin");
    EXPECT_FALSE(FolderExists(std::string(kPrograms) + "\\Tavrin"));
    ExpectNoLink(kDesktop);
}

TEST(Shortcuts, OldStyleQuickLaunchFolderTakesTheOnlyLink) {
    LayOutSite();
    SetMachineFolders();
    MakeFolder(kOldStyle);
    MakeFolder(ProfileQuickLaunch("Maria"));

    e2e::Installer app;
    Uncheck(app, kDeskTop);
    Uncheck(app, kMenuIniciar);
    InstallToTheEnd(app);

    ExpectLauncherLink(kOldStyle);
    ExpectNoLink(ProfileQuickLaunch("Maria"));
    ExpectNoLink(kDesktop);
    EXPECT_FALSE(FolderExists(std::string(kPrograms) + "\\Tavrin"));
}

TEST(Shortcuts, NoOptionNoLink) {
    LayOutSite();
    SetMachineFolders();
    MakeFolder(ProfileQuickLaunch("Maria"));

    e2e::Installer app;
    for (const char* option : {kDeskTop, kMenuIniciar, kQuickLaunch}) Uncheck(app, option);
    InstallToTheEnd(app);

    ExpectNoLink(kDesktop);
    EXPECT_FALSE(FolderExists(std::string(kPrograms) + "\\Tavrin"));
    ExpectNoLink(ProfileQuickLaunch("Maria"));
}

}  // namespace
