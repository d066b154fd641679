// Shortcut placement against Wine's real registry, file system and shell-link object.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "platform/Com.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Registry.h"
#include "tasks/Shortcuts.h"
#include "../common/ComEnvironment.h"
#include "../common/LinkReader.h"

namespace {

const char* const kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";


void ExpectLauncherLink(const std::string& path, const InstallContext& context) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(FileExists(path));
    Link link = LoadLink(path);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(link.target, context.RemoteFolder + "StartKestrel.exe");
    EXPECT_EQ(link.arguments, "");
    EXPECT_EQ(link.workingDirectory, context.LocalFolder);
}

InstallContext SampleContext() {
    InstallContext context;
    context.SystemDrive = "D:";
    context.RemoteFolder = "S:\\Kestrel\\";
    context.LocalFolder = "F:\\Kestrel";
    CreateDirectoryA("S:\\Kestrel", nullptr);
    WriteTextFile("S:\\Kestrel\\StartKestrel.exe", "MZ");
    CreateDirectoryA("F:\\Kestrel", nullptr);
    return context;
}

void CreateLink(const InstallContext& context, const std::string& folder, RecordingUi& ui) {
    CreateShellLink(context.RemoteFolder + "StartKestrel.exe", "", context.LocalFolder, "Kestrel",
                    folder, ui);
}

void SetMachineFolder(const std::string& name, const std::string& value) {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(reg.OpenKey(kShellFolders, true));
    reg.WriteString(name, value);
}

void DeleteMachineFolder(const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kShellFolders, 0, KEY_ALL_ACCESS, &key) == 0) {
        RegDeleteValueA(key, name.c_str());
        RegCloseKey(key);
    }
}

void SetUserPrograms(const std::string& value) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kShellFolders, true));
    reg.WriteString("Programs", value);
}

void MakeDirs(const std::vector<std::string>& dirs) {
    for (const auto& dir : dirs) ForceDirectories(dir);
}

TEST(Shortcuts, ProfilesFolderAndCandidates) {
    struct Case {
        const char* appData;
        const char* profiles;
        const char* candidateForMaria;
    };
    const Case cases[] = {
        {"C:\\Documents and Settings\\All Users\\Application Data", "C:\\Documents and Settings",
         "C:\\Documents and Settings\\Maria\\Application Data"},
        // The marker is case-sensitive, the replacement is not: the first ALL USERS in any case
        // gives way to the name, the rest keeps its letters.
        {"C:\\all users\\Perfis\\All Users\\Dados", "C:\\all users\\Perfis",
         "C:\\Maria\\Perfis\\All Users\\Dados"},
        {"C:\\Perfis\\aLL uSERS\\Dados", "", "C:\\Perfis\\Maria\\Dados"},
        {"C:\\ProgramData", "", "C:\\ProgramData"},
        {"", "", ""},
        // The folder is everything up to the character before the marker, when there is any.
        {"\\All Users\\Dados", "", "\\Maria\\Dados"},
        {"C:\\All Users\\Dados", "C:", "C:\\Maria\\Dados"},
        // ANSI upper-casing: accented letters match their capitals.
        {"D:\\Usu\xE1rios\\All Users\\Dados da aplica\xE7\xE3o", "D:\\Usu\xE1rios",
         "D:\\Usu\xE1rios\\Maria\\Dados da aplica\xE7\xE3o"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.appData);
        EXPECT_EQ(ProfilesFolderOf(c.appData), c.profiles);
        EXPECT_EQ(QuickLaunchCandidate(c.appData, "Maria"),
                  std::string(c.candidateForMaria) + "\\Microsoft\\Internet Explorer\\Quick Launch");
    }
    EXPECT_EQ(QuickLaunchCandidate("D:\\Perfis\\ALL USERS\\\xC1rea", "Jo\xE3o"),
              "D:\\Perfis\\Jo\xE3o\\\xC1rea\\Microsoft\\Internet Explorer\\Quick Launch");
    EXPECT_EQ(QuickLaunchCandidate("D:\\Perfis\\all users\\x", "Jo\xE3o"),
              "D:\\Perfis\\Jo\xE3o\\x\\Microsoft\\Internet Explorer\\Quick Launch");
}

TEST(Shortcuts, LinkInADirectoryReplacesTheOldOne) {
    InstallContext context = SampleContext();
    RecordingUi ui;
    MakeDirs({"D:\\Links"});

    CreateLink(context, "D:\\Links", ui);
    ExpectLauncherLink("D:\\Links\\Kestrel.lnk", context);

    // A read-only (and hidden) old link is cleared and replaced without a word.
    WriteTextFile("D:\\Links\\Kestrel.lnk", "old");
    SetFileAttributesA("D:\\Links\\Kestrel.lnk", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    CreateLink(context, "D:\\Links", ui);
    ExpectLauncherLink("D:\\Links\\Kestrel.lnk", context);
    EXPECT_TRUE(ui.boxes.empty());

    // A directory that ends in a backslash is joined as it is. Without a server folder the
    // target is the bare name, which the shell-link object resolves against the current folder.
    MakeDirs({"D:\\Barra"});
    SetCurrentDirectoryA("D:\\Barra");
    InstallContext bare = context;
    bare.RemoteFolder = "";
    CreateLink(bare, "D:\\Barra\\", ui);
    Link link = LoadLink("D:\\Barra\\Kestrel.lnk");
    EXPECT_TRUE(link.loaded);
    EXPECT_EQ(link.target, "D:\\Barra\\StartKestrel.exe");

    // A directory that does not exist: no link, no message, no error.
    CreateLink(context, "D:\\Missing", ui);
    EXPECT_FALSE(DirectoryExists("D:\\Missing"));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(Shortcuts, LinkThatCannotBeDeletedGivesTheNotice) {
    InstallContext context = SampleContext();
    RecordingUi ui;
    MakeDirs({"D:\\Links"});
    const std::string path = "D:\\Links\\\\Kestrel.lnk";  // from a directory ending in "\"
    WriteTextFile(path, "old");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    CreateLink(context, "D:\\Links\\", ui);
    CloseHandle(held);

    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.events, std::vector<std::string>{"message"});
    EXPECT_EQ(ui.boxes[0].text, "Falha de exclus\xE3o! D:\\Links\\\\Kestrel.lnk");
    EXPECT_TRUE(FileExists(path));
}

TEST(Shortcuts, FolderKeysFromTheRegistry) {
    InstallContext context = SampleContext();
    RecordingUi ui;
    MakeDirs({"D:\\Publico\\Desktop", "D:\\Menu\\Programas", "D:\\Usuario\\Programas"});
    SetMachineFolder("Common Desktop", "D:\\Publico\\Desktop\\");
    SetMachineFolder("Common Programs", "D:\\Menu\\Programas");
    SetUserPrograms("D:\\Usuario\\Programas");

    CreateLink(context, "Common Desktop", ui);
    ExpectLauncherLink("D:\\Publico\\Desktop\\Kestrel.lnk", context);
    CreateLink(context, "Common Programs", ui);
    ExpectLauncherLink("D:\\Menu\\Programas\\Tavrin\\Kestrel.lnk", context);
    EXPECT_FALSE(DirectoryExists("D:\\Usuario\\Programas\\Tavrin"));

    // The subfolder exists already: left alone, the link in it replaced.
    CreateLink(context, "Common Programs", ui);
    ExpectLauncherLink("D:\\Menu\\Programas\\Tavrin\\Kestrel.lnk", context);

    // Without the machine-wide value the user's programs folder gets the subfolder, created
    // with its missing parents.
    DeleteMachineFolder("Common Programs");
    SetUserPrograms("D:\\Usuario\\Novo\\Programas");
    CreateLink(context, "Common Programs", ui);
    ExpectLauncherLink("D:\\Usuario\\Novo\\Programas\\Tavrin\\Kestrel.lnk", context);

    // The keys are compared exactly: other letter cases name a directory.
    SetCurrentDirectoryA("D:\\");
    MakeDirs({"D:\\common desktop"});
    CreateLink(context, "common desktop", ui);
    ExpectLauncherLink("D:\\common desktop\\Kestrel.lnk", context);
    EXPECT_TRUE(ui.boxes.empty());
}

// A common folder the registry does not hold: the shell's (SHGetFolderPathA) takes the link.
TEST(Shortcuts, FolderKeyMissingFromTheRegistryGoesToTheShellsFolder) {
    InstallContext context = SampleContext();
    RecordingUi ui;
    // Asked first: Wine's shell, like Windows, writes a folder it is asked for into "Shell
    // Folders".
    char desktop[MAX_PATH] = "", programs[MAX_PATH] = "";
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, 0, desktop), S_OK);
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, programs), S_OK);
    ForceDirectories(desktop);
    MakeDirs({"D:\\Menu\\Programas"});
    SetMachineFolder("Common Programs", "D:\\Menu\\Programas");
    DeleteMachineFolder("Common Desktop");

    CreateLink(context, "Common Desktop", ui);
    ExpectLauncherLink(std::string(desktop) + "\\Kestrel.lnk", context);
    // The registry's value still comes first.
    CreateLink(context, "Common Programs", ui);
    ExpectLauncherLink("D:\\Menu\\Programas\\Tavrin\\Kestrel.lnk", context);
    EXPECT_FALSE(FileExists(std::string(programs) + "\\Tavrin\\Kestrel.lnk"));

    // Neither "Common Programs" nor the user's "Programs"; then no key at all: the shell's
    // folders for both.
    SetUserPrograms("");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        if (round == 0) {
            DeleteMachineFolder("Common Desktop");
            DeleteMachineFolder("Common Programs");
        } else {
            ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kShellFolders), ERROR_SUCCESS);
        }
        DeleteFileA((std::string(desktop) + "\\Kestrel.lnk").c_str());
        DeleteFileA((std::string(programs) + "\\Tavrin\\Kestrel.lnk").c_str());
        CreateLink(context, "Common Desktop", ui);
        CreateLink(context, "Common Programs", ui);
        ExpectLauncherLink(std::string(desktop) + "\\Kestrel.lnk", context);
        ExpectLauncherLink(std::string(programs) + "\\Tavrin\\Kestrel.lnk", context);
    }
    EXPECT_TRUE(ui.boxes.empty());
}

// Neither the registry nor the shell gives a folder: no link anywhere, the root of the current
// drive included. (Wine's shell always has the common folders; the lookup is replaced.)
TEST(Shortcuts, FolderKeyWithoutDirectoryPlacesNoLink) {
    InstallContext context = SampleContext();
    RecordingUi ui;
    SetSpecialFolderFunction([](int) { return std::string(); });
    struct Restore { ~Restore() { SetSpecialFolderFunction(nullptr); } } restore;
    SetCurrentDirectoryA("D:\\");
    {
        TRegistry user;
        ASSERT_TRUE(user.OpenKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", true));
        user.CloseKey();
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_ALL_ACCESS, &key) == 0) {
            RegDeleteValueA(key, "Programs");
            RegCloseKey(key);
        }
    }
    // The key holds neither value, then the key is gone altogether.
    DeleteMachineFolder("Common Desktop");
    DeleteMachineFolder("Common Programs");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        CreateLink(context, "Common Desktop", ui);
        CreateLink(context, "Common Programs", ui);
        EXPECT_FALSE(FileExists("D:\\Kestrel.lnk"));
        EXPECT_FALSE(DirectoryExists("D:\\Tavrin"));
        EXPECT_TRUE(ui.boxes.empty());
        if (round == 0) {
            ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kShellFolders), ERROR_SUCCESS);
            SetUserPrograms("");
        }
    }
}

TEST(Shortcuts, ComFailures) {
    // The system's text, trimmed; a code without text is shown as eight hex digits.
    std::string text = SysErrorMessage(static_cast<DWORD>(E_OUTOFMEMORY));
    if (!text.empty()) {
        EXPECT_EQ(OleErrorMessage(E_OUTOFMEMORY), text);
        EXPECT_NE(text.back(), '.');
        EXPECT_EQ(text.find('\n'), std::string::npos);
    }
    EXPECT_EQ(OleErrorMessage(static_cast<HRESULT>(0x8004ABCDu)), "OLE error 8004abcd");

    // A shell-link object that cannot be made (COM not initialised on this thread): the error
    // leaves after the old link was deleted, and nothing new is written.
    InstallContext context = SampleContext();
    MakeDirs({"D:\\Links"});
    WriteTextFile("D:\\Links\\Kestrel.lnk", "old");
    std::string message = "(no error)";
    long code = 0;
    std::thread([&] {
        RecordingUi ui;
        try {
            CreateLink(context, "D:\\Links", ui);
        } catch (const EOleSysError& e) {
            message = e.message();
            code = e.code();
        }
    }).join();
    EXPECT_EQ(code, CO_E_NOTINITIALIZED);
    EXPECT_EQ(message, OleErrorMessage(CO_E_NOTINITIALIZED));
    EXPECT_FALSE(FileExists("D:\\Links\\Kestrel.lnk"));

    // An object without the interface asked for, released all the same.
    struct Bare : IUnknown {
        ULONG refs = 1;
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
        ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    } bare;
    message = "(no error)";
    try {
        ComPtr<IUnknown> object(&bare);
        ComPtr<IShellLinkA> link = QueryInterfaceOf<IShellLinkA>(object.Get(), IID_IShellLinkA);
    } catch (const EIntfCastError& e) {
        message = e.message();
    }
    EXPECT_EQ(message, "Interface not supported");
    EXPECT_EQ(bare.refs, 0u);
}

const char* const kOldStyle =
    "D:\\WINDOWS\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch";

TEST(Shortcuts, QuickLaunchOldStyleFolderComesFirst) {
    InstallContext context = SampleContext();
    RecordingUi ui;
    SetMachineFolder("Common AppData", "D:\\Perfis\\All Users\\Dados");
    const std::string maria = "D:\\Perfis\\Maria\\Dados\\Microsoft\\Internet Explorer\\Quick Launch";
    MakeDirs({kOldStyle, maria});

    PlaceQuickLaunchLinks(context, ui);
    ExpectLauncherLink(std::string(kOldStyle) + "\\Kestrel.lnk", context);
    EXPECT_FALSE(FileExists(maria + "\\Kestrel.lnk"));
}

TEST(Shortcuts, QuickLaunchProfileWalk) {
    InstallContext context = SampleContext();
    RecordingUi ui;
    const std::string appData = "D:\\Documents and Settings\\All Users\\Application Data";
    SetMachineFolder("Common AppData", appData);
    auto quickLaunch = [](const std::string& profile) {
        return "D:\\Documents and Settings\\" + profile +
               "\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch";
    };
    const char* withQuickLaunch[] = {"Maria", "Jo\xE3o", "Oculto", "All Users", "Default User"};
    for (const char* profile : withQuickLaunch) MakeDirs({quickLaunch(profile)});
    MakeDirs({"D:\\Documents and Settings\\Sem Barra\\Application Data"});
    WriteTextFile("D:\\Documents and Settings\\arquivo.txt", "x");
    ASSERT_TRUE(SetFileAttributesA("D:\\Documents and Settings\\Oculto", FILE_ATTRIBUTE_HIDDEN));

    PlaceQuickLaunchLinks(context, ui);

    struct Expect {
        const char* profile;
        bool link;
    };
    const Expect expected[] = {
        {"Maria", true},       {"Jo\xE3o", true},         {"Oculto", false},
        {"All Users", false},  {"Default User", false},  {"Sem Barra", false},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.profile);
        if (e.link) ExpectLauncherLink(quickLaunch(e.profile) + "\\Kestrel.lnk", context);
        else EXPECT_FALSE(FileExists(quickLaunch(e.profile) + "\\Kestrel.lnk"));
    }
    EXPECT_FALSE(DirectoryExists(std::string(kOldStyle)));
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(Shortcuts, UserAccountSids) {
    const struct {
        const char* sid;
        bool user;
    } cases[] = {
        {"S-1-5-21-1004336348-1177238915-682003330-1001", true},
        {"S-1-5-21-0-0-0-1000", true},
        {"S-1-5-18", false},  {"S-1-5-19", false},  {"S-1-5-20", false},
        {"S-1-5-21-1004336348-1177238915-682003330-1001.bak", false},
        {"S-1-5-21-", false}, {"s-1-5-21-0-0-0-1000", false}, {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsUserAccountSid(c.sid), c.user) << c.sid;
}

// Windows Vista to 11: "Common AppData" is C:\ProgramData, so the profiles come from the list
// Windows keeps; only ordinary users' profiles, each one's path expanded, and only where the
// Quick Launch folder exists.
TEST(Shortcuts, QuickLaunchThroughTheProfileList) {
    InstallContext context = SampleContext();
    RecordingUi ui;
    SetMachineFolder("Common AppData", "C:\\ProgramData");
    ASSERT_TRUE(SetEnvironmentVariableA("KESTREL_PERFIS", "D:\\Usuarios"));
    const char* const list = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    const struct {
        const char* sid;
        const char* path;
        bool quickLaunch;  // the profile has the folder
        bool link;
    } profiles[] = {
        {"S-1-5-21-11-22-33-1001", "%KESTREL_PERFIS%\\maria", true, true},
        {"S-1-5-21-11-22-33-1002", "D:\\Usuarios\\jo\xE3o", true, true},
        {"S-1-5-21-11-22-33-1003", "D:\\Usuarios\\pedro", false, false},
        {"S-1-5-18", "D:\\Usuarios\\systemprofile", true, false},
        {"S-1-5-21-11-22-33-1004.bak", "D:\\Usuarios\\velho", true, false},
    };
    auto Expanded = [](const std::string& path) {  // %KESTREL_PERFIS% is 16 characters
        return path[0] == '%' ? std::string(path).replace(0, 16, "D:\\Usuarios") : path;
    };
    auto folder = [](const std::string& profile) {
        return profile + "\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch";
    };
    for (const auto& p : profiles) {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.OpenKey(std::string(list) + "\\" + p.sid, true));
        reg.WriteString("ProfileImagePath", p.path);
        const std::string expanded = Expanded(p.path);
        if (p.quickLaunch) MakeDirs({folder(expanded)});
        else MakeDirs({expanded + "\\AppData\\Roaming"});
    }
    const std::string log = MakeTempFolder("profile-list") + "k.log";
    ASSERT_TRUE(OpenLog(log));
    PlaceQuickLaunchLinks(context, ui);
    CloseLog();

    const std::string text = ReadWholeFile(log);
    for (const auto& p : profiles) {
        SCOPED_TRACE(p.sid);
        const std::string expanded = Expanded(p.path);
        if (p.link) {
            ExpectLauncherLink(folder(expanded) + "\\Kestrel.lnk", context);
            EXPECT_NE(text.find("Perfil " + expanded + ": atalho na Inicializa\xE7\xE3o R\xE1pida\r\n"),
                      std::string::npos) << text;
        } else {
            EXPECT_FALSE(FileExists(folder(expanded) + "\\Kestrel.lnk"));
        }
    }
    EXPECT_NE(text.find("Perfil D:\\Usuarios\\pedro: sem pasta de Inicializa\xE7\xE3o R\xE1pida (" +
                        folder("D:\\Usuarios\\pedro") + "), nenhum atalho\r\n"),
              std::string::npos) << text;
    EXPECT_EQ(text.find("systemprofile"), std::string::npos) << text;
    EXPECT_EQ(text.find("velho"), std::string::npos) << text;
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(Shortcuts, QuickLaunchWithoutProfilesFolderWalksNothing) {
    InstallContext context = SampleContext();
    RecordingUi ui;
    // Without "All Users" every entry of the current drive's root would name this same folder.
    SetCurrentDirectoryA("D:\\");
    const std::string folder = "D:\\Dados\\Microsoft\\Internet Explorer\\Quick Launch";
    MakeDirs({folder, "D:\\Maria"});
    for (const char* appData : {"D:\\Dados", ""}) {
        SCOPED_TRACE(appData);
        SetMachineFolder("Common AppData", appData);
        PlaceQuickLaunchLinks(context, ui);
        EXPECT_FALSE(FileExists(folder + "\\Kestrel.lnk"));
    }
    // No Shell Folders key at all.
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kShellFolders), ERROR_SUCCESS);
    PlaceQuickLaunchLinks(context, ui);
    EXPECT_FALSE(FileExists(folder + "\\Kestrel.lnk"));
    EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
