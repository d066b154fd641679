// The folders the run writes into, against what an ordinary user can make of them on Windows
// Vista to 11: a folder she may modify (C:\Kestrel, created at the drive's root) emptied and
// turned into a junction, before the installation or after it. The run and the uninstall never
// write or delete through it; an engine folder that is such a link stops the run before anything
// is written.
//
// Wine difference: the links are Unix symbolic links (tests/common/FolderLinks.h), which Wine
// shows as folders with FILE_ATTRIBUTE_REPARSE_POINT by name and whose handles name the real
// place, as a junction's do on Windows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "Snapshots.h"
#include "../common/FolderLinks.h"
#include "../common/RegistryProbe.h"

namespace {

using namespace e2e::texts;

const char kElsewhere[] = "C:\\Elsewhere";
const char kTheirs[] = "C:\\Elsewhere\\Kestrel.exe";
const char kTheirText[] = "a file the installer must not touch";
const char kLogFile[] = "C:\\kestrel.log";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrel";

void LayOutSite() {
    e2e::LayOutInstaller();
    e2e::WriteFile(kSettingsFile, e2e::Settings("D:\\Kestrel\\Kestrel.exe", kRemoteApp));
    e2e::WriteFile(kRemoteApp, "Kestrel, the application");
    e2e::WriteFile(kTheirs, kTheirText);
}

DWORD RunInstaller(const std::string& arguments) {
    e2e::Launched run(arguments + " /LOG=\"" + kLogFile + "\"");
    const DWORD code = run.WaitForExit(e2e::kTimeoutMs * 3);
    EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{}) << arguments;
    EXPECT_TRUE(e2e::WaitFor([] { return !e2e::ProcessRunning("regsvr32.exe"); }));
    return code;
}

bool LogHas(const std::string& text) {
    return e2e::ReadFile(kLogFile).find(text) != std::string::npos;
}

bool EntryExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

const std::string kLinkFound = std::string("A pasta \"C:\\Kestrel\" \xE9 um link");

// C:\Kestrel a link to another folder before the first installation: the program file is not
// copied there (a warning, exit code 5), the other folder's file is as it was; the rest is
// installed.
TEST(FoldersE2E, TheApplicationFolderALinkBeforeTheInstallation) {
    LayOutSite();
    ASSERT_TRUE(links::MakeFolderLink("C:\\Kestrel", kElsewhere));
    EXPECT_EQ(RunInstaller("/VERYSILENT"), 5u) << e2e::ReadFile(kLogFile);
    EXPECT_EQ(e2e::ReadFile(kTheirs), kTheirText);
    EXPECT_TRUE(LogHas(kLinkFound)) << e2e::ReadFile(kLogFile);
    EXPECT_TRUE(LogHas("o execut\xE1vel n\xE3o \xE9 copiado"));
    EXPECT_EQ(e2e::ReplacementFiles({kElsewhere}), std::vector<std::string>{});
    EXPECT_TRUE(e2e::FileExists(kDesktopLink));
    EXPECT_TRUE(EntryExists());
}

// The same link made after an installation (the folder emptied, a link put in its place): the
// uninstall deletes nothing through it (a warning, exit code 5) and removes the rest.
TEST(FoldersE2E, TheApplicationFolderALinkAfterTheInstallation) {
    LayOutSite();
    ASSERT_EQ(RunInstaller("/VERYSILENT"), 0u) << e2e::ReadFile(kLogFile);
    ASSERT_TRUE(MoveFileA("C:\\Kestrel", "C:\\Kestrel.moved"));
    ASSERT_TRUE(links::MakeFolderLink("C:\\Kestrel", kElsewhere));

    EXPECT_EQ(RunInstaller("/UNINSTALL /VERYSILENT"), 5u) << e2e::ReadFile(kLogFile);
    EXPECT_EQ(e2e::ReadFile(kTheirs), kTheirText);
    EXPECT_TRUE(LogHas(kLinkFound)) << e2e::ReadFile(kLogFile);
    EXPECT_FALSE(EntryExists());
    EXPECT_FALSE(e2e::FileExists(kDesktopLink));
}

// An engine folder that exists already and is a link (made by an ordinary user, or an engine
// folder of an earlier version emptied and turned into one): the run stops before anything is
// written, exit code 4, and the link's target gets nothing.
TEST(FoldersE2E, AnEngineFolderThatIsALinkStopsTheRunBeforeAnyWrite) {
    LayOutSite();
    ASSERT_TRUE(links::MakeFolderLink("C:\\Arquivos de Programas", kElsewhere));
    const auto registry = e2e::RegistrySnapshot();
    EXPECT_EQ(RunInstaller("/VERYSILENT"), 4u) << e2e::ReadFile(kLogFile);
    EXPECT_TRUE(LogHas("A pasta \"C:\\Arquivos de Programas\" \xE9 um link")) << e2e::ReadFile(kLogFile);
    EXPECT_EQ(e2e::RegistrySnapshot(), registry);
    std::vector<std::string> inside;
    e2e::Listing(kElsewhere, inside);
    ASSERT_EQ(inside.size(), 1u);  // its own file only
    EXPECT_EQ(inside[0].find(std::string(kElsewhere) + "\\Kestrel.exe "), 0u) << inside[0];
    EXPECT_FALSE(e2e::FileExists("C:\\windows\\system32\\midas.dll"));
    EXPECT_FALSE(EntryExists());
}

}  // namespace
