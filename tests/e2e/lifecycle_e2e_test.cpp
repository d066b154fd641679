// The life of an installation: the completion mark (the Programs and Features entry), the
// uninstaller and /UNINSTALL, the shared files' counts, and exit codes that never call a failure
// a success.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "Driver.h"
#include "Snapshots.h"
#include "../common/RegistryProbe.h"

namespace {

using namespace e2e::texts;

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrel";
const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kRecordKey[] = "SOFTWARE\\Tavrin";
const char kRecordedPrograms[] = "SOFTWARE\\Tavrin\\Kestrel\\Instalacao\\Programa";
const char kAnsiDriverKey[] = "SOFTWARE\\ODBC\\ODBCINST.INI\\PostgreSQL ODBC Driver(ANSI)";
const char kMidas[] = "C:\\windows\\system32\\midas.dll";
const char kLogFile[] = "C:\\kestrel.log";

// The installer is a 32-bit program: on 64-bit Windows its entry, counts and record lie in the
// 32-bit view (WOW6432Node). The flag is ignored on 32-bit Windows.
HKEY Open32(const std::string& path, REGSAM access = KEY_READ) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Every value of a key of the 32-bit view, REG_SZ as text and REG_DWORD as a number.
std::map<std::string, std::string> Values32(const std::string& path) {
    std::map<std::string, std::string> out;
    HKEY key = Open32(path);
    if (!key) return out;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        BYTE data[4096];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS)
            break;
        if (type == REG_DWORD)
            out[name] = std::to_string(*reinterpret_cast<DWORD*>(data));
        else if (type == REG_SZ && dataSize > 0)
            out[name] = std::string(reinterpret_cast<char*>(data), dataSize - 1);
        else
            out[name] = "(type " + std::to_string(type) + ")";
    }
    RegCloseKey(key);
    return out;
}

bool KeyExists32(const std::string& path) {
    HKEY key = Open32(path);
    if (key) RegCloseKey(key);
    return key != nullptr;
}

void SetDword32(const std::string& path, const std::string& name, DWORD value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value);
    RegCloseKey(key);
}

// A REG_DWORD of the installer's own view of ODBC (the view the program writes it in).
std::string Dword(const std::string& path, const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(no key)";
    DWORD value = 0, size = sizeof value, type = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_DWORD ? std::to_string(value) : "(missing)";
}

void LayOutSite() {
    e2e::LayOutInstaller();
    e2e::WriteFile(kSettingsFile, e2e::Settings("D:\\Kestrel\\Kestrel.exe", kRemoteApp));
    e2e::WriteFile(kRemoteApp, "Kestrel, the application");
}

DWORD RunInstaller(const std::string& arguments) {
    e2e::Launched run(arguments);
    const DWORD code = run.WaitForExit(e2e::kTimeoutMs * 3);
    EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{}) << arguments;
    // A registration program may still end after the installer; let it finish.
    EXPECT_TRUE(e2e::WaitFor([] { return !e2e::ProcessRunning("regsvr32.exe"); }));
    return code;
}

// The uninstaller the entry names, started as a deployment tool starts QuietUninstallString.
DWORD RunQuietUninstall() {
    const std::string quiet = Values32(kUninstallKey)["QuietUninstallString"];
    EXPECT_EQ(quiet.compare(0, 1, "\""), 0) << quiet;
    const size_t close = quiet.find('"', 1);
    if (close == std::string::npos) return STILL_ACTIVE;
    e2e::Launched run(quiet.substr(close + 2) + " /LOG=\"C:\\uninstall.log\"",
                      quiet.substr(1, close - 1));
    const DWORD code = run.WaitForExit(e2e::kTimeoutMs * 3);
    EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{});
    EXPECT_TRUE(e2e::WaitFor([] { return !e2e::ProcessRunning("regsvr32.exe"); }));
    return code;
}

// The uninstaller an installation wrote (the one the entry names, which the record lists) is,
// byte for byte, the program the build made without the payload.
void ExpectTheBuiltUninstaller(const std::string& uninstaller) {
    EXPECT_EQ(Values32(kRecordedPrograms).count(uninstaller), 1u) << uninstaller;
    const std::string built = e2e::ReadFile(e2e::BuiltUninstaller());
    ASSERT_GT(built.size(), 100u * 1024) << e2e::BuiltUninstaller();
    const std::string written = e2e::ReadFile(uninstaller);
    EXPECT_TRUE(written == built) << uninstaller << " (" << written.size()
                                  << " bytes) is not the built uninstaller (" << built.size()
                                  << " bytes)";
}

std::string EntrysUninstaller() {
    const std::string icon = Values32(kUninstallKey)["DisplayIcon"];  // "path,0"
    return icon.size() > 2 ? icon.substr(0, icon.size() - 2) : icon;
}

std::string PendingRenames() {
    HKEY key;
    std::string out;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    std::vector<char> data(65536);
    DWORD size = static_cast<DWORD>(data.size()), type = 0;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
        out.assign(data.data(), size);
        std::replace(out.begin(), out.end(), '\0', '|');
    }
    RegCloseKey(key);
    return out;
}

// What an installation touches in the registry, in both views.
std::map<std::string, Values> RegistryState() {
    std::map<std::string, Values> out = e2e::RegistrySnapshot();
    for (const char* key : {kSharedDlls, kRecordKey, kUninstallKey}) {
        Values values;
        for (const auto& v : Values32(key)) values.emplace_back(v.first, v.second);
        out[std::string("32:") + key] = values;
        // Windows always has SharedDLLs; a fresh Wine prefix has not, and once made it stays
        // (any product may count in it): its values are compared, not whether it exists.
        if (key != kSharedDlls)
            out[std::string("32:") + key + " exists"] = {{"", KeyExists32(key) ? "yes" : "no"}};
    }
    return out;
}

// The folders an installation writes into, without the system directory's own entry: its time
// changes with every file put in or taken out.
std::vector<std::string> DiskState() {
    std::vector<std::string> out;
    for (const std::string& entry : e2e::DiskSnapshot())
        if (entry.compare(0, 2, ". ") != 0 && entry.compare(0, 3, ".. ") != 0) out.push_back(entry);
    return out;
}

// The entries of one listing that the other lacks, for a readable failure.
std::string Difference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::string out;
    for (const std::string& entry : a)
        if (std::find(b.begin(), b.end(), entry) == b.end()) out += "\n  " + entry;
    return out;
}

// --- Scenarios -----------------------------------------------------------------------------

TEST(Lifecycle, InstallThenUninstallLeavesTheMachineAsBefore) {
    LayOutSite();
    const auto registry = RegistryState();
    const auto disk = DiskState();

    ASSERT_EQ(RunInstaller("/VERYSILENT"), 0u);
    // The entry Programs and Features, inventories and deployment tools read.
    auto entry = Values32(kUninstallKey);
    const std::string uninstaller = entry["DisplayIcon"].substr(0, entry["DisplayIcon"].size() - 2);
    EXPECT_EQ(entry["DisplayName"], "Kestrel");
    EXPECT_EQ(entry["DisplayVersion"], "3.0.0.0");
    EXPECT_EQ(entry["Publisher"], "Tavrin");
    EXPECT_EQ(entry["InstallDate"].size(), 8u) << entry["InstallDate"];
    EXPECT_EQ(entry["InstallLocation"], "C:\\Kestrel");
    EXPECT_GT(std::stoul(entry["EstimatedSize"]), 30000ul);  // the 32 MB payload, in KB
    EXPECT_EQ(entry["NoModify"], "1");
    EXPECT_EQ(entry["NoRepair"], "1");
    EXPECT_EQ(entry["DisplayIcon"].substr(entry["DisplayIcon"].size() - 2), ",0");
    EXPECT_NE(uninstaller.find("\\Tavrin\\Kestrel\\Desinstalar\\DesinstalarKestrel.exe"),
              std::string::npos) << uninstaller;
    EXPECT_EQ(entry["UninstallString"], "\"" + uninstaller + "\" /UNINSTALL");
    EXPECT_EQ(entry["QuietUninstallString"], "\"" + uninstaller + "\" /UNINSTALL /VERYSILENT");
    ExpectTheBuiltUninstaller(uninstaller);
    EXPECT_EQ(Values32(kSharedDlls)[kMidas], "1");
    EXPECT_EQ(Dword(kAnsiDriverKey, "UsageCount"), "1");

    ASSERT_EQ(RunQuietUninstall(), 0u);
    EXPECT_FALSE(KeyExists32(kUninstallKey));
    EXPECT_EQ(RegistryState(), registry);
    // The one difference on the disk: the running uninstaller cannot delete itself; it and its
    // folders go at the next restart, as with every uninstaller.
    const auto after = DiskState();
    EXPECT_EQ(after, disk) << "new:" << Difference(after, disk) << "\ngone:" << Difference(disk, after);
    EXPECT_TRUE(e2e::FileExists(uninstaller));
    EXPECT_NE(PendingRenames().find(uninstaller.substr(2)), std::string::npos) << PendingRenames();
    EXPECT_FALSE(e2e::FileExists(kDesktopLink));
    EXPECT_FALSE(e2e::FileExists(kMenuLink));
    EXPECT_FALSE(e2e::FileExists(kLocalApp));
    EXPECT_EQ(RegValue("SOFTWARE\\Kestrel\\SamplePayload", "capicom.dll"), "(missing)")
        << "regsvr32 /u was not run for capicom.dll";
}

// Another product's engine and driver were there first, with their counts: they stay, and the
// counts go back to where they were.
TEST(Lifecycle, AnotherProductsEngineStaysIntact) {
    LayOutSite();
    const std::string idapi = std::string(kDefaultBde) + "\\idapi32.dll";
    e2e::WriteFile(idapi, "another product's BDE");
    ASSERT_TRUE(SetRegValue(kBdeKey, "DLLPATH", kDefaultBde));
    SetDword32(kSharedDlls, idapi, 1);
    SetDword32(kSharedDlls, "C:\\Outro\\outro.dll", 3);
    ASSERT_TRUE(SetRegValue(kAnsiDriverKey, "Driver", "C:\\Outro\\psqlodbc30a.dll"));

    ASSERT_EQ(RunInstaller("/VERYSILENT"), 0u);
    EXPECT_EQ(Values32(kSharedDlls)[idapi], "2");
    // A driver registered before without a count is counted as used by its owner too.
    EXPECT_EQ(Dword(kAnsiDriverKey, "UsageCount"), "2");
    ASSERT_EQ(RunInstaller("/UNINSTALL /VERYSILENT"), 0u);

    EXPECT_EQ(Values32(kSharedDlls)[idapi], "1");
    EXPECT_EQ(Values32(kSharedDlls)["C:\\Outro\\outro.dll"], "3");
    EXPECT_TRUE(e2e::FileExists(idapi));
    EXPECT_EQ(RegValue(kBdeKey, "DLLPATH"), kDefaultBde);
    EXPECT_EQ(Dword(kAnsiDriverKey, "UsageCount"), "1");
    EXPECT_NE(RegValue(kAnsiDriverKey, "Driver"), "(missing)");
    // Kestrel's own things are gone all the same.
    EXPECT_EQ(RegValues(kDataSourceKey), (Values{{"(no key)", kDataSourceKey}}));
    EXPECT_FALSE(e2e::FileExists(std::string(kDefaultBde) + "\\BDEADMIN.HLP"));
    EXPECT_FALSE(e2e::FileExists(kMidas));
}

// However often it runs, the installer counts its files once: one uninstall removes them all.
TEST(Lifecycle, TwoInstallationsThenOneUninstallRemoveEverything) {
    LayOutSite();
    SetDword32(kSharedDlls, "C:\\Outro\\outro.dll", 3);
    ASSERT_EQ(RunInstaller("/VERYSILENT"), 0u);
    ASSERT_EQ(RunInstaller("/VERYSILENT"), 0u);
    EXPECT_EQ(Values32(kSharedDlls)[kMidas], "1");
    EXPECT_EQ(Dword(kAnsiDriverKey, "UsageCount"), "1");

    ASSERT_EQ(RunInstaller("/UNINSTALL /VERYSILENT"), 0u);
    const auto counts = Values32(kSharedDlls);
    EXPECT_EQ(counts, (std::map<std::string, std::string>{{"C:\\Outro\\outro.dll", "3"}}));
    EXPECT_FALSE(e2e::FileExists(kMidas));
    EXPECT_EQ(RegValues(kAnsiDriverKey), (Values{{"(no key)", kAnsiDriverKey}}));
    EXPECT_FALSE(KeyExists32(kRecordKey));
    // Run from elsewhere than its copy, the uninstall deletes the copy at once.
    EXPECT_FALSE(KeyExists32(kUninstallKey));
    EXPECT_EQ(RunInstaller("/UNINSTALL /VERYSILENT"), 6u);
}

// A first run stopped by an error leaves a data source but no completion mark: /NOREINSTALL then
// completes the installation instead of reporting "already installed".
TEST(Lifecycle, NoReinstallCompletesAStoppedFirstRun) {
    LayOutSite();
    ASSERT_TRUE(CreateDirectoryA(kMidas, nullptr));
    EXPECT_EQ(RunInstaller("/VERYSILENT"), 4u);
    EXPECT_NE(RegValue(kDataSourceKey, "Servername"), "(missing)");
    EXPECT_FALSE(KeyExists32(kUninstallKey));
    RemoveDirectoryA(kMidas);

    EXPECT_EQ(RunInstaller("/VERYSILENT /NOREINSTALL /LOG=\"C:\\kestrel.log\""), 0u);
    EXPECT_TRUE(e2e::FileExists(kMidas));
    EXPECT_TRUE(e2e::FileExists(std::string(kOdbc) + "\\ssleay32.dll"));
    EXPECT_EQ(Values32(kUninstallKey)["DisplayVersion"], "3.0.0.0");
    // Now it is installed: /NOREINSTALL says so.
    EXPECT_EQ(RunInstaller("/VERYSILENT /NOREINSTALL"), 3u);
}

// A registration program that cannot be started and a link that cannot be saved are warnings:
// exit code 5 unattended, each in the log; the window run ends as before.
TEST(Lifecycle, FailedRegistrationAndUnsavedLinkEndWithCode5) {
    LayOutSite();
    ASSERT_TRUE(MoveFileA("C:\\windows\\system32\\regsvr32.exe",
                          "C:\\windows\\system32\\regsvr32.saved"));
    ASSERT_TRUE(CreateDirectoryA(kDesktopLink, nullptr));  // no link can be saved there
    EXPECT_EQ(RunInstaller(std::string("/VERYSILENT /LOG=\"") + kLogFile + "\""), 5u);
    const std::string log = e2e::ReadFile(kLogFile);
    EXPECT_NE(log.find("Aviso: regsvr32.exe capicom.dll /s n\xE3o foi iniciado"),
              std::string::npos) << log;
    EXPECT_NE(log.find(std::string("Aviso: Atalho n\xE3o gravado: ") + kDesktopLink),
              std::string::npos) << log;
    // The installation is complete all the same.
    EXPECT_TRUE(KeyExists32(kUninstallKey));

    e2e::Installer app;
    app.Click(app.Button(kInstalar));
    app.Answer(app.WaitForBox(), IDYES);  // the reinstall question
    app.WaitUntilEnabled(app.Button(kCancelar));
    EXPECT_EQ(app.Status(), kDone);
    EXPECT_EQ(app.Boxes().size(), 1u);
    app.Click(app.Button(kCancelar));
    EXPECT_EQ(app.WaitForExit(), 0u);
    MoveFileA("C:\\windows\\system32\\regsvr32.saved", "C:\\windows\\system32\\regsvr32.exe");
}

// A payload file in use cannot be deleted now: it goes at the next restart, and the exit code
// says a restart is pending.
TEST(Lifecycle, AFileInUseGoesAtTheRestartWithCode3010) {
    LayOutSite();
    ASSERT_EQ(RunInstaller("/VERYSILENT"), 0u);
    HANDLE held = CreateFileA(kMidas, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RunInstaller("/UNINSTALL /VERYSILENT"), 3010u);
    CloseHandle(held);
    EXPECT_TRUE(e2e::FileExists(kMidas));
    EXPECT_NE(PendingRenames().find("midas.dll"), std::string::npos) << PendingRenames();
    EXPECT_FALSE(KeyExists32(kUninstallKey));
    EXPECT_FALSE(e2e::FileExists(std::string(kOdbc) + "\\ssleay32.dll"));
}

// The uninstaller comes from the image the installer was started from, never from its file read
// by name: whoever can write the installer's folder (a share, a download folder) could put another
// program there while it runs, which would become the uninstaller that SYSTEM runs later. Here,
// while the reinstall question is open, the installer's file is moved aside and another program
// copied to its name. On both beds, as on Windows, a running program's file can be renamed but not
// written over or deleted (checked first).
TEST(Lifecycle, TheUninstallerIsTheBuiltOneThoughTheInstallersFileIsReplacedDuringTheRun) {
    LayOutSite();
    ASSERT_TRUE(SetRegValue(kDataSourceKey, "Database", "kestreldb"));  // so the run asks first
    const std::string file = "F:\\Instalador\\InstaladorHalden.exe";
    const std::string built = e2e::BuiltInstaller();
    const std::string other = built.substr(0, built.rfind('\\') + 1) + "hold_file.exe";
    e2e::Installer app;
    app.Click(app.Button(kInstalar));
    e2e::Box box = app.WaitForBox();
    ASSERT_EQ(box.text, "Este programa j\xE1 est\xE1 instalado. Deseja reinstalar?");

    EXPECT_FALSE(CopyFileA(other.c_str(), file.c_str(), FALSE)) << "written over while running";
    EXPECT_FALSE(DeleteFileA(file.c_str())) << "deleted while running";
    ASSERT_TRUE(MoveFileA(file.c_str(), "F:\\Instalador\\InstaladorHalden.old"))
        << "the running installer's file cannot be renamed: error " << GetLastError();
    ASSERT_TRUE(CopyFileA(other.c_str(), file.c_str(), FALSE)) << GetLastError();
    ASSERT_TRUE(e2e::ReadFile(file) == e2e::ReadFile(other));

    app.Answer(box, IDYES);
    ASSERT_TRUE(app.WaitUntilEnabled(app.Button(kCancelar))) << "box: " << app.CurrentBox().text;
    EXPECT_EQ(app.Status(), kDone);
    ExpectTheBuiltUninstaller(EntrysUninstaller());
    app.Click(app.Button(kCancelar));
    EXPECT_EQ(app.WaitForExit(), 0u);
}

// With the window (UninstallString, as Programs and Features starts it, or the uninstaller
// started without arguments), the uninstall asks first; No leaves everything in place.
TEST(Lifecycle, UninstallWithTheWindowAsksFirst) {
    LayOutSite();
    ASSERT_EQ(RunInstaller("/VERYSILENT"), 0u);
    const std::string command = Values32(kUninstallKey)["UninstallString"];
    const size_t close = command.find('"', 1);
    ASSERT_NE(close, std::string::npos) << command;
    for (const std::string& arguments : {command.substr(close + 2), std::string()}) {
        e2e::Launched run(arguments, command.substr(1, close - 1));
        e2e::Box box = run.WaitForBox();
        EXPECT_EQ(box.caption, "Desinstalar - Kestrel") << arguments;
        EXPECT_EQ(box.text.compare(0, 40, "Deseja remover o Kestrel deste computado"), 0) << box.text;
        // Yes and No (Windows labels them in its own language; Wine in English, "&Yes", "&No").
        EXPECT_EQ(box.buttons.size(), 2u);
        e2e::AnswerBox(box, IDNO);
        HWND form = run.WaitForWindow("Instalador Kestrel");
        ASSERT_NE(form, nullptr);
        // The copy without the payload still has its window with every control.
        EXPECT_EQ(e2e::Text(FindWindowExA(form, nullptr, nullptr, "www.tavrin.com.br")),
                  "www.tavrin.com.br");
        EXPECT_TRUE(KeyExists32(kUninstallKey));
        EXPECT_TRUE(e2e::FileExists(kMidas));
        PostMessageA(form, WM_CLOSE, 0, 0);
        EXPECT_EQ(run.WaitForExit(), 0u) << arguments;
    }
}

}  // namespace
