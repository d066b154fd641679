// The installation run of the real installer, seen from outside: the window, the boxes, Wine's
// registry and the disk of the prefix (drives D:, F: and S: are folders of their own).
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "Driver.h"
#include "Snapshots.h"
#include "../common/RegistryProbe.h"

namespace {

using namespace e2e::texts;

const char kSettingsFile[] = "F:\\Instalador\\startKestrel.INI";
const char kRemoteApp[] = "S:\\Kestrel\\Kestrel.exe";
const char kLocalApp[] = "C:\\Kestrel\\Kestrel.exe";
const char kDesktopLink[] = "C:\\users\\Public\\Desktop\\Kestrel.lnk";
const char kMenuLink[] =
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tavrin\\Kestrel.lnk";

const char kDataSourceKey[] = "SOFTWARE\\ODBC\\ODBC.INI\\Kestrel";

bool DirectoryExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Every value the registration writes, for a data source of server:port/database and a BDE in
// bdeDir.
void ExpectRegistration(const std::string& server, const std::string& port,
                        const std::string& database, const std::string& bdeDir) {
    EXPECT_EQ(RegValue("SOFTWARE\\Borland\\BLW32", "BLAPIPATH"), bdeDir);
    EXPECT_EQ(RegValue(kBdeKey, "DLLPATH"), bdeDir);
    EXPECT_EQ(RegValue(kBdeKey, "CONFIGFILE01"), bdeDir + "\\IDAPI32.CFG");
    EXPECT_EQ(RegValues("SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC DRIVERS"),
              (Values{{"PostgreSQL ODBC Driver(ANSI)", "Installed"},
                      {"PostgreSQL ODBC Driver(UNICODE)", "Installed"}}));
    for (const char* variant : {"ANSI:psqlodbc30a.dll", "UNICODE:psqlodbc35w.dll"}) {
        const std::string v = variant, name = v.substr(0, v.find(':'));
        const std::string dll = std::string(kOdbc) + "\\" + v.substr(v.find(':') + 1);
        EXPECT_EQ(RegValues("SOFTWARE\\ODBC\\ODBCINST.INI\\PostgreSQL ODBC Driver(" + name + ")"),
                  (Values{{"APILevel", "1"}, {"ConnectFunctions", "YYN"}, {"Driver", dll},
                          {"DriverODBCVer", "08.04.0100"}, {"FileUsage", "0"}, {"Setup", dll},
                          {"SQLLevel", "1"}, {"UsageCount", "(type 4, 4 bytes)"}}));
    }
    EXPECT_EQ(RegValues("SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources"),
              (Values{{"Kestrel", "PostgreSQL ODBC Driver(ANSI)"}}));
    EXPECT_EQ(RegValues(kDataSourceKey),
              (Values{{"AB", "0"}, {"BI", "0"}, {"BoolsAsChar", "1"},
                      {"ByteaAsLongVarBinary", "0"}, {"CancelAsFreeStmt", "0"}, {"CommLog", "0"},
                      {"ConnSettings", ""}, {"Database", database}, {"Debug", "0"},
                      {"Description", "Kestrel"}, {"DisallowPremature", "0"},
                      {"Driver", std::string(kOdbc) + "\\psqlodbc30a.dll"},
                      {"ExtraSysTablePrefixes", "dd_;"}, {"FakeOidIndex", "0"}, {"Fetch", "100"},
                      {"Ksqo", "1"}, {"LFConversion", "1"}, {"LowerCaseIdentifier", "0"},
                      {"MaxLongVarcharSize", "8190"}, {"MaxVarcharSize", "255"},
                      {"Optimizer", "0"}, {"Parse", "0"}, {"Password", ""}, {"Port", port},
                      {"Protocol", "7.4"}, {"ReadOnly", "0"}, {"RowVersioning", "0"},
                      {"Servername", server}, {"ShowOidColumn", "0"}, {"ShowSystemTables", "0"},
                      {"SSLmode", "disable"}, {"TextAsLongVarchar", "1"}, {"TrueIsMinus1", "0"},
                      {"UID", "kestrel"}, {"UniqueIndex", "1"}, {"UnknownsAsLongVarchar", "0"},
                      {"UnknownSizes", "0"}, {"UpdatableCursors", "1"}, {"UseDeclareFetch", "0"},
                      {"Username", "kestrel"}, {"UseServerSidePrepare", "0"}, {"XaOpt", "1"}}));
}

// --- Scenarios -----------------------------------------------------------------------------

// The site of the worked example: the installer and its settings on F:, the application on the
// server share S:, LocalApp naming drive D: (rebased to the system drive C:).
void LayOutSite() {
    e2e::LayOutInstaller();
    e2e::WriteFile(kSettingsFile, e2e::Settings("D:\\Kestrel\\Kestrel.exe", kRemoteApp));
    e2e::WriteFile(kRemoteApp, "Kestrel, the application");
}

// Clicks "&Instalar" and waits for the end of a run that shows no box.
void InstallWithoutBoxes(e2e::Installer& app) {
    app.Click(app.Button(kInstalar));
    ASSERT_TRUE(app.WaitUntilEnabled(app.Button(kCancelar)));
    EXPECT_EQ(app.Status(), kDone);
    EXPECT_TRUE(app.Boxes().empty() && !app.CurrentBox().hwnd);
}

void CloseWithCancel(e2e::Installer& app) {
    EXPECT_FALSE(app.IsEnabled(app.Button(kInstalar)));
    app.Click(app.Button(kCancelar));
    EXPECT_EQ(app.WaitForExit(), 0u);
}

// A fresh prefix: its "Database Engine" key exists without "DLLPATH", which counts as no BDE,
// so the BDE goes to the default directory.
TEST(Run, WorkedExampleOnAFreshMachine) {
    LayOutSite();
    ASSERT_EQ(RegValue(kBdeKey, "DLLPATH"), "(missing)");
    e2e::Installer app;
    InstallWithoutBoxes(app);

    ExpectRegistration("192.168.0.10", "5432", "kestreldb", kDefaultBde);
    EXPECT_TRUE(e2e::FileExists(std::string(kDefaultBde) + "\\BDEADMIN.HLP"));
    EXPECT_TRUE(DirectoryExists(kOdbc));
    EXPECT_EQ(e2e::ReadFile(kLocalApp), "Kestrel, the application");
    EXPECT_TRUE(e2e::FileExists(kDesktopLink));
    EXPECT_TRUE(e2e::FileExists(kMenuLink));
    EXPECT_FALSE(e2e::FileExists("D:\\Kestrel\\Kestrel.exe"));
    CloseWithCancel(app);
}

TEST(Run, SecondRunAsksAndNoChangesNothing) {
    LayOutSite();
    {
        e2e::Installer first;
        InstallWithoutBoxes(first);
        CloseWithCancel(first);
    }
    // What a second run would change if it went ahead.
    e2e::WriteFile(kRemoteApp, "Kestrel, a newer build");
    DeleteFileA(kDesktopLink);
    ASSERT_TRUE(e2e::WaitFor([] { return !e2e::ProcessRunning("regsvr32.exe"); }));
    const auto registry = e2e::RegistrySnapshot();
    const auto disk = e2e::DiskSnapshot();

    e2e::Installer second;
    second.Click(second.Button(kInstalar));
    e2e::Box box = second.WaitForBox();
    EXPECT_EQ(box.caption, "Aten\xE7\xE3o");
    EXPECT_EQ(box.text, "Este programa j\xE1 est\xE1 instalado. Deseja reinstalar?");
    EXPECT_EQ(box.buttons.size(), 2u);
    EXPECT_TRUE(box.hasIcon);
    second.Answer(box, IDNO);
    ASSERT_TRUE(second.WaitUntilEnabled(second.Button(kCancelar)));
    EXPECT_EQ(second.Status(), "");
    EXPECT_EQ(e2e::RegistrySnapshot(), registry);
    EXPECT_EQ(e2e::DiskSnapshot(), disk);
    EXPECT_EQ(e2e::ReadFile(kLocalApp), "Kestrel, the application");
    CloseWithCancel(second);
}

TEST(Run, MissingSettingsFileWarnsAndWritesNothing) {
    e2e::LayOutInstaller();
    e2e::Installer app;
    app.Click(app.Button(kInstalar));
    e2e::Box box = app.WaitForBox();
    EXPECT_EQ(box.caption, kWarning);
    EXPECT_EQ(box.text, "Arquivo startKestrel.INI, necess\xE1rio para instala\xE7\xE3o, n\xE3o "
                        "localizado no diret\xF3rio F:\\Instalador\\.");
    app.Answer(box, IDOK);
    ASSERT_TRUE(app.WaitUntilEnabled(app.Button(kCancelar)));
    EXPECT_FALSE(app.IsEnabled(app.Button(kInstalar)));
    EXPECT_EQ(app.Status(), "");
    EXPECT_FALSE(app.CurrentBox().hwnd);  // the abort itself shows nothing
    EXPECT_EQ(RegValues(kDataSourceKey), (Values{{"(no key)", kDataSourceKey}}));
    EXPECT_EQ(RegValue("SOFTWARE\\Borland\\BLW32", "BLAPIPATH"), "(missing)");
    EXPECT_FALSE(DirectoryExists("C:\\Kestrel"));
    EXPECT_FALSE(DirectoryExists(kDefaultBde));
    CloseWithCancel(app);
}

TEST(Run, SettingsWithoutInstalacaoGiveTheErrorDefaults) {
    e2e::LayOutInstaller();
    e2e::WriteFile(kSettingsFile, "[Application]\r\nLocalApp=D:\\Kestrel\\Kestrel.exe\r\n"
                                  "RemoteApp=S:\\Kestrel\\Kestrel.exe\r\n");
    e2e::WriteFile(kRemoteApp, "Kestrel, the application");
    e2e::Installer app;
    InstallWithoutBoxes(app);
    ExpectRegistration("IPServidorERROR", "PortaERROR", "BancoDadosERROR", kDefaultBde);
    CloseWithCancel(app);
}

TEST(Run, RegisteredBdeKeepsItsDirectory) {
    LayOutSite();
    ASSERT_TRUE(SetRegValue(kBdeKey, "DLLPATH", "D:\\BDE"));
    e2e::Installer app;
    InstallWithoutBoxes(app);
    ExpectRegistration("192.168.0.10", "5432", "kestreldb", "D:\\BDE");
    // The BDE's files follow the registered directory.
    EXPECT_TRUE(e2e::FileExists("D:\\BDE\\BDEADMIN.HLP"));
    EXPECT_FALSE(DirectoryExists(kDefaultBde));
    CloseWithCancel(app);
}

TEST(Run, MissingRemoteAppWarnsThenFinishes) {
    e2e::LayOutInstaller();
    e2e::WriteFile(kSettingsFile, e2e::Settings("D:\\Kestrel\\Kestrel.exe", kRemoteApp));
    e2e::Installer app;
    app.Click(app.Button(kInstalar));
    e2e::Box box = app.WaitForBox();
    EXPECT_EQ(box.caption, kWarning);
    EXPECT_EQ(box.text, "N\xE3o foi poss\xEDvel copiar o execut\xE1vel!");
    EXPECT_EQ(box.buttons, (std::vector<std::string>{"OK"}));
    EXPECT_FALSE(box.hasIcon);
    app.Answer(box, IDOK);
    ASSERT_TRUE(app.WaitUntilEnabled(app.Button(kCancelar)));
    EXPECT_EQ(app.Status(), kDone);
    EXPECT_FALSE(e2e::FileExists(kLocalApp));
    EXPECT_TRUE(e2e::FileExists(kDesktopLink));
    EXPECT_TRUE(e2e::FileExists(kMenuLink));
    EXPECT_EQ(app.Boxes().size(), 1u);
    CloseWithCancel(app);
}

TEST(Run, AllOptionsClearedPlacesNoLinks) {
    LayOutSite();
    e2e::Installer app;
    for (const char* option : {kMenuIniciar, kDeskTop, kQuickLaunch}) {
        HWND box = app.Button(option);
        app.Click(box);
        ASSERT_TRUE(e2e::WaitFor([&] { return !app.IsChecked(box); }, 10000)) << option;
    }
    InstallWithoutBoxes(app);
    EXPECT_FALSE(e2e::FileExists(kDesktopLink));
    EXPECT_FALSE(DirectoryExists(
        "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tavrin"));
    EXPECT_EQ(e2e::ReadFile(kLocalApp), "Kestrel, the application");
    CloseWithCancel(app);
}

// A large application file keeps the run busy in its copy long enough to press Alt+F4 while
// it works: the copy does not process messages, so the key and the click wait in the queue for
// the run's next message processing, before the links.
TEST(Run, AltF4DuringTheRunLetsItFinishThenEnds) {
    e2e::LayOutInstaller();
    e2e::WriteFile(kSettingsFile, e2e::Settings("D:\\Kestrel\\Kestrel.exe", kRemoteApp));
    e2e::WriteLargeFile(kRemoteApp, 512);
    e2e::Installer app;
    HWND deskTop = app.Button(kDeskTop);
    // In front before the run: during the copy the installer's thread answers nothing, so
    // nothing below may wait for it (bringing the window to the front would).
    app.BringToFront();
    app.Click(app.Button(kInstalar));
    // Only the file system is watched here: asking the window would wait for the copy's end. The
    // copy is under way once its new file beside the old copy's place exists.
    ASSERT_TRUE(e2e::WaitFor([] {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA("C:\\Kestrel\\~kst*.tmp", &data);
        if (find == INVALID_HANDLE_VALUE) return false;
        FindClose(find);
        return true;
    }));
    app.Key(VK_F4, VK_MENU);
    // The close request is handled by the run's own message processing; the desktop box,
    // cleared after it, still counts when the links are placed. The click is posted, not made
    // through Click(), which asks the box its state (an answer only after the copy); its effect
    // is the missing desktop link below.
    PostMessageA(deskTop, BM_CLICK, 0, 0);
    EXPECT_NE(app.Status(), kDone) << "the run had ended before Alt+F4";
    EXPECT_EQ(app.WaitForExit(), 0u);

    EXPECT_TRUE(app.Boxes().empty());
    EXPECT_EQ(RegValue(kDataSourceKey, "Servername"), "192.168.0.10");
    WIN32_FILE_ATTRIBUTE_DATA copy{};
    ASSERT_TRUE(GetFileAttributesExA(kLocalApp, GetFileExInfoStandard, &copy));
    EXPECT_EQ(copy.nFileSizeLow, 512u << 20);
    EXPECT_TRUE(e2e::FileExists(kMenuLink));
    EXPECT_FALSE(e2e::FileExists(kDesktopLink));
}

}  // namespace
