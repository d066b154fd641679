// The installation run with the window fake: the real settings reader, registry (Wine's, in a
// fresh prefix per test), directory creation and file copy; the payload, the regsvr32 starts
// and the shortcuts replaced by recorders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "TestSupport.h"
#include "app/Run.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "settings/Settings.h"
#include "tasks/DatabaseAccess.h"

namespace {

using Events = std::vector<std::string>;

const char* const kDefaultBde = "C:\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE";
const char* const kDefaultOdbc = "C:\\Arquivos de programas\\PostgreSQL\\psqlODBC\\0804\\bin";
const char* const kDataSource = "SOFTWARE\\ODBC\\ODBC.INI\\Kestrel";
const char* const kStatusLinks = "status:Criando atalho. Aguarde...";
const char* const kStatusDone = "status:Instala\xE7\xE3o conclu\xED" "da!";
const HWND kAppWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4711));

// The fake window with an application window handle to hand on.
class Ui : public RecordingUi {
public:
    HWND ApplicationWindow() const override { return kAppWindow; }
};

struct Link {
    std::string target, arguments, workingDirectory, name, folder;
};

bool KeyExists(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string ReadValue(const char* path, const char* name) {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    if (!reg.OpenKey(path, false)) return "(no key)";
    return reg.ValueExists(name) ? reg.ReadString(name) : "(missing)";
}

void WriteValue(const char* path, const char* name, const char* value) {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(reg.OpenKey(path, true));
    reg.WriteString(name, value);
}

// The events from the first one equal to from (inclusive) to the end.
Events From(const Events& events, const std::string& from) {
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i] == from) return Events(events.begin() + i, events.end());
    return {"(no " + from + ")"};
}

class Run : public ::testing::Test {
protected:
    void SetUp() override {
        settingsFolder = MakeTempFolder("run");
        WriteTextFile(settingsFolder + "startKestrel.INI",
                      "[Application]\r\nLocalApp=D:\\Kestrel\\Kestrel.exe\r\n"
                      "RemoteApp=S:\\Kestrel\\Kestrel.exe\r\n[Instalacao]\r\n"
                      "IPServidor=192.168.0.10\r\nPorta=5432\r\nBancoDados=kestreldb\r\n");
        CreateDirectoryA("S:\\Kestrel", nullptr);
        WriteTextFile("S:\\Kestrel\\Kestrel.exe", "the application");

        steps.readSettings = [this](InstallContext& c, InstallerUi& ui) {
            events->push_back("settings");
            ReadSettingsFrom(settingsFolder, c, ui);
        };
        steps.registerDatabaseAccess = [this](TRegistry& r, InstallContext& c) {
            events->push_back("database");
            RegisterDatabaseAccess(r, c);
        };
        steps.buildPayloadDestinations = [this](InstallContext& c) {
            events->push_back("destinations");
            context = c;
        };
        steps.extractPayload = [this](InstallContext&, InstallerUi&) {
            events->push_back("payload");
            if (duringPayload) duringPayload();
        };
        steps.shellOpen = [this](HWND owner, const std::string& program,
                                 const std::string& parameters) {
            events->push_back("open:" + program + " " + parameters);
            owners.push_back(owner);
        };
        steps.copyFile = [this](const std::string& from, const std::string& to) {
            events->push_back("copy");
            return CopyFileReplacing(from, to);
        };
        steps.createShellLink = [this](const std::string& target, const std::string& arguments,
                                       const std::string& workingDirectory,
                                       const std::string& name, const std::string& folder,
                                       InstallerUi&) {
            events->push_back("link:" + folder);
            links.push_back({target, arguments, workingDirectory, name, folder});
        };
        steps.placeQuickLaunchLinks = [this](const InstallContext&, InstallerUi&) {
            events->push_back("quicklaunch");
        };
    }

    // Runs with a fresh window fake; its events are ui.events.
    void Perform(Ui& ui) {
        events = &ui.events;
        PerformInstall(ui, steps);
    }

    std::string settingsFolder;
    InstallSteps steps;
    Events* events = nullptr;
    InstallContext context;  // as the payload step saw it
    std::vector<HWND> owners;
    std::vector<Link> links;
    std::function<void()> duringPayload;
};

TEST_F(Run, FreshMachineRunsEveryStepInOrder) {
    CreateDirectoryA("C:\\Kestrel", nullptr);
    WriteTextFile("C:\\Kestrel\\Kestrel.exe", "an older copy");
    Ui ui;
    Perform(ui);

    const std::string regsvr32 = "open:C:\\windows\\system32\\regsvr32.exe ";
    EXPECT_EQ(ui.events, (Events{"cancel:off", "install:off", "settings",
                                 "status:Registrando o sistema.", "database", "destinations",
                                 "payload", "status:Registrando DLLs NFe", "process",
                                 regsvr32 + "capicom.dll /s", regsvr32 + "msxml5.dll /s",
                                 "status:Copiando execut\xE1vel. Aguarde...", "process", "copy",
                                 kStatusLinks, "process", "link:Common Desktop",
                                 "link:Common Programs", "quicklaunch", kStatusDone,
                                 "cancel:on"}));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(ui.installEnabled);
    EXPECT_TRUE(ui.cancelEnabled);
    EXPECT_EQ(owners, (std::vector<HWND>{kAppWindow, kAppWindow}));

    // The context the tasks work with. The prefix's BDE key has no DLLPATH: default BdeDir.
    EXPECT_EQ(context.SystemDir, "C:\\windows\\system32");
    EXPECT_EQ(context.SystemDrive, "C:");
    EXPECT_EQ(context.BdeDir, kDefaultBde);
    EXPECT_EQ(context.OdbcDir, kDefaultOdbc);
    EXPECT_EQ(context.LocalApp, "C:\\Kestrel\\Kestrel.exe");
    EXPECT_EQ(context.LocalFolder, "C:\\Kestrel");
    EXPECT_EQ(context.RemoteFolder, "S:\\Kestrel\\");
    EXPECT_EQ(context.Porta, "5432");

    EXPECT_TRUE(DirectoryExists(kDefaultBde));
    EXPECT_TRUE(DirectoryExists(kDefaultOdbc));
    EXPECT_EQ(ReadWholeFile("C:\\Kestrel\\Kestrel.exe"), "the application");  // replaced
    EXPECT_EQ(ReadValue(kDataSource, "Servername"), "192.168.0.10");

    ASSERT_EQ(links.size(), 2u);
    for (const Link& link : links) {
        EXPECT_EQ(link.target, "S:\\Kestrel\\StartKestrel.exe");
        EXPECT_EQ(link.arguments, "");
        EXPECT_EQ(link.workingDirectory, "C:\\Kestrel");
        EXPECT_EQ(link.name, "Kestrel");
    }
}

TEST_F(Run, ReinstallQuestion) {
    WriteValue(kDataSource, "Servername", "10.0.0.1");

    Ui no;
    no.answers = {IDNO};
    Perform(no);
    ASSERT_EQ(no.boxes.size(), 1u);
    EXPECT_EQ(no.boxes[0].text, "Este programa j\xE1 est\xE1 instalado. Deseja reinstalar?");
    EXPECT_EQ(no.boxes[0].caption, "Aten\xE7\xE3o");
    EXPECT_EQ(no.boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(no.events, (Events{"cancel:off", "install:off", "settings", "box:Aten\xE7\xE3o",
                                 "status:", "cancel:on"}));
    EXPECT_EQ(ReadValue(kDataSource, "Servername"), "10.0.0.1");
    EXPECT_FALSE(KeyExists("SOFTWARE\\Borland\\BLW32"));
    EXPECT_FALSE(KeyExists("SOFTWARE\\ODBC\\ODBCINST.INI"));
    EXPECT_FALSE(DirectoryExists("C:\\Kestrel"));
    EXPECT_FALSE(DirectoryExists(kDefaultOdbc));
    EXPECT_FALSE(no.installEnabled);
    EXPECT_TRUE(no.cancelEnabled);

    Ui yes;
    yes.answers = {IDYES};
    Perform(yes);
    EXPECT_EQ(From(yes.events, "box:Aten\xE7\xE3o").at(1), "status:Registrando o sistema.");
    EXPECT_EQ(yes.events.back(), "cancel:on");
    EXPECT_EQ(yes.status, "Instala\xE7\xE3o conclu\xED" "da!");
    EXPECT_EQ(ReadValue(kDataSource, "Servername"), "192.168.0.10");
}

TEST_F(Run, MissingSettingsFileWritesNothing) {
    DeleteFileA((settingsFolder + "startKestrel.INI").c_str());
    Ui ui;
    EXPECT_THROW(Perform(ui), EAbort);
    EXPECT_EQ(ui.events, (Events{"cancel:off", "install:off", "settings",
                                 "box:Advert\xEA" "ncia", "cancel:on"}));
    EXPECT_EQ(ui.status, "");
    EXPECT_FALSE(ui.installEnabled);
    EXPECT_FALSE(KeyExists(kDataSource));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Borland\\BLW32"));
    EXPECT_FALSE(DirectoryExists("C:\\Kestrel"));
    EXPECT_FALSE(DirectoryExists(kDefaultBde));
}

TEST_F(Run, FailedCopyWarnsAndTheRunGoesOn) {
    DeleteFileA("S:\\Kestrel\\Kestrel.exe");
    Ui ui;
    Perform(ui);
    EXPECT_EQ(From(ui.events, "copy"),
              (Events{"copy", "box:Advert\xEA" "ncia", kStatusLinks, "process",
                      "link:Common Desktop", "link:Common Programs", "quicklaunch", kStatusDone,
                      "cancel:on"}));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "N\xE3o foi poss\xEDvel copiar o execut\xE1vel!");
    EXPECT_EQ(ui.boxes[0].flags, static_cast<UINT>(MB_OK));
    EXPECT_FALSE(FileExists("C:\\Kestrel\\Kestrel.exe"));
}

TEST_F(Run, CheckBoxesCountAsTheyAreAtTheShortcutStep) {
    steps.registerDatabaseAccess = [](TRegistry&, InstallContext&) {};  // no reinstall question
    struct Case {
        bool atClick[3];    // desktop, start menu, quick launch
        bool atLinks[3];    // changed by the user while the files were written
        Events wantLinks;
    } cases[] = {
        {{true, true, true}, {false, false, false}, {}},
        {{false, false, false}, {true, true, true},
         {"link:Common Desktop", "link:Common Programs", "quicklaunch"}},
        {{true, true, true}, {true, false, true}, {"link:Common Desktop", "quicklaunch"}},
        {{false, false, true}, {false, true, false}, {"link:Common Programs"}},
    };
    for (const Case& k : cases) {
        Ui ui;
        std::copy(k.atClick, k.atClick + 3, ui.checked);
        duringPayload = [&] { std::copy(k.atLinks, k.atLinks + 3, ui.checked); };
        Perform(ui);
        Events want = {kStatusLinks, "process"};
        want.insert(want.end(), k.wantLinks.begin(), k.wantLinks.end());
        want.insert(want.end(), {kStatusDone, "cancel:on"});
        EXPECT_EQ(From(ui.events, kStatusLinks), want);
    }
}

TEST_F(Run, FailureStopsTheRunWithBothButtonsDisabled) {
    HKEY heldKey = nullptr;
    struct Case {
        const char* what;
        std::function<void(TRegistry&, InstallContext&)> registration;
        std::string wantMessage;
        std::string wantStatus;
        bool opensKey;
    } cases[] = {
        {"a registry write fails",
         [&](TRegistry& r, InstallContext&) {
             r.OpenKey("SOFTWARE\\Borland\\BLW32", true);
             heldKey = r.CurrentKey();
             throw ERegistryException("Failed to set data for 'BLAPIPATH'");
         },
         "Failed to set data for 'BLAPIPATH'", "Registrando o sistema.", true},
        {"an empty base directory",
         [](TRegistry&, InstallContext& c) { c.BdeDir.clear(); },
         "Unable to create directory", "Registrando o sistema.", false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        steps.registerDatabaseAccess = k.registration;
        Ui ui;
        std::string message = "(no error)";
        try {
            Perform(ui);
        } catch (const Exception& e) {
            message = e.message();
        }
        EXPECT_EQ(message, k.wantMessage);
        EXPECT_EQ(ui.status, k.wantStatus);
        EXPECT_FALSE(ui.cancelEnabled);
        EXPECT_FALSE(ui.installEnabled);
        EXPECT_EQ(From(ui.events, "status:Registrando o sistema.").size(), 1u);  // nothing after
        EXPECT_EQ(heldKey != nullptr, k.opensKey);
        if (heldKey) {
            // The run's registry object was released on the way out: its open key is closed.
            EXPECT_EQ(RegCloseKey(heldKey), ERROR_INVALID_HANDLE);
            heldKey = nullptr;
        }
    }
}

// GetSystemDirectoryA's contract with a system directory longer than any fixed buffer.
UINT WINAPI LongSystemDirectory(LPSTR buffer, UINT size) {
    const std::string path = "C:\\" + std::string(300, 'w') + "\\system32";
    if (size <= path.size()) return static_cast<UINT>(path.size() + 1);
    memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}

TEST(SystemDirectory, TakenWholeAndItsDrive) {
    EXPECT_EQ(TakeWholeString(LongSystemDirectory), "C:\\" + std::string(300, 'w') + "\\system32");
    EXPECT_EQ(SystemDirectory(), "C:\\windows\\system32");

    const struct {
        const char* path;
        const char* drive;
    } cases[] = {
        {"C:\\windows\\system32", "C:"},
        {"d:", "d:"},
        {"\\\\server\\share\\windows\\system32", "\\\\server\\share"},
        {"\\\\server\\share", "\\\\server\\share"},
        {"\\windows\\system32", ""},
        {"windows", ""},
        {"", ""},
    };
    for (const auto& k : cases) EXPECT_EQ(ExtractFileDrive(k.path), k.drive) << k.path;
}

}  // namespace
