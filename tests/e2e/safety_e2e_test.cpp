// The installer run as deployment tools run it (as SYSTEM or an elevated administrator), against
// what an ordinary user of the workstation can plant beforehand: links at the log's place, a
// malformed unattended command line, leftovers of a killed run, DLLs of system names beside the
// installer. Also the manifest's effect: the log names the real Windows version.
//
// Wine differences met here: Debian's Wine keeps no access lists or owners of files (every file
// belongs to the user running Wine), so the folders' protection is shown by the unit tests
// (tests/unit/security_test.cpp, run_test.cpp); here the run over folders that exist already
// (Wine's owner: the runner) goes on. Wine 8.0's symbolic links show no reparse-point attribute
// (tests/unit/log_test.cpp): the links planted here are hard links, which Wine keeps as Windows
// does.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Driver.h"
#include "../common/RegistryProbe.h"
#include "../../platform/SystemDlls.h"

namespace {

using namespace e2e::texts;

const char kVictim[] = "C:\\windows\\system32\\drivers\\etc\\kestrel-victim.txt";
const char kVictimText[] = "a file only administrators may write";
const char kLoads[] = "C:\\lookalike-loads.txt";
const char kLogFolder[] = "C:\\Logs";
const char kLogFile[] = "C:\\Logs\\kestrel.log";

void LayOutSite() {
    e2e::LayOutInstaller();
    e2e::WriteFile(kSettingsFile, e2e::Settings("D:\\Kestrel\\Kestrel.exe", kRemoteApp));
    e2e::WriteFile(kRemoteApp, "Kestrel, the application");
    e2e::WriteFile(kVictim, kVictimText);
    CreateDirectoryA(kLogFolder, nullptr);
}

bool IsDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Installed() {
    return RegValue(kDataSourceKey, "Database") == "kestreldb";
}

std::string TempFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    return temp;
}

// The day's n-th log of the names an earlier version took without a name (a counter of the day).
std::string NewLogName(int n) {
    SYSTEMTIME today;
    GetLocalTime(&today);
    char name[64];
    wsprintfA(name, "InstaladorKestrel %04u-%02u-%02u #%03d.log", today.wYear, today.wMonth,
              today.wDay, n);
    return name;
}

bool EndsWithCode(const std::string& log, int code) {
    const std::string last = "Fim: c\xF3" "digo de sa\xED" "da " + std::to_string(code) + "\r\n";
    return log.size() >= last.size() && log.compare(log.size() - last.size(), last.size(), last) == 0;
}

// --- The log ------------------------------------------------------------------------------

// Every name the day's logs could once be told by (a counter, #001 to #999) taken beforehand, by
// files, hard links to a file of the user's choice and folders: the run logs at a name of its
// own, which nobody could tell ahead, and installs.
TEST(Safety, TheDefaultLogCannotBeTakenAhead) {
    LayOutSite();
    const std::string temp = TempFolder();
    for (int n = 1; n <= 999; ++n) {
        const std::string name = temp + NewLogName(n);
        if (n % 3 == 0) ASSERT_TRUE(CreateHardLinkA(name.c_str(), kVictim, nullptr)) << n;
        else if (n % 3 == 1) ASSERT_TRUE(CreateDirectoryA(name.c_str(), nullptr)) << n;
        else e2e::WriteFile(name, "planted");
    }

    e2e::Launched run("/VERYSILENT /LOG");
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{});
    EXPECT_EQ(e2e::ReadFile(kVictim), kVictimText);
    EXPECT_TRUE(IsDirectory(temp + NewLogName(1)));
    EXPECT_EQ(e2e::ReadFile(temp + NewLogName(2)), "planted");
    // The one new log in the folder names itself.
    WIN32_FIND_DATAA data;
    std::vector<std::string> logs;
    HANDLE find = FindFirstFileA((temp + "InstaladorKestrel * *.log").c_str(), &data);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &data))
        if (std::string(data.cFileName).find('#') == std::string::npos) logs.push_back(data.cFileName);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = e2e::ReadFile(temp + logs[0]);
    EXPECT_NE(log.find("Arquivo de log: " + temp + logs[0] + "\r\n"), std::string::npos) << log;
    EXPECT_TRUE(EndsWithCode(log, 0)) << log;
    EXPECT_TRUE(Installed());
}

// The same planted at a named log: refused with code 2, nothing written anywhere; with the
// window, a box says why and the start goes on without a log.
TEST(Safety, ANamedLogRefusesAPlantedHardLinkOrFolder) {
    LayOutSite();
    ASSERT_TRUE(CreateHardLinkA(kLogFile, kVictim, nullptr));
    const std::string logSwitch = std::string("/LOG=\"") + kLogFile + "\"";
    {
        e2e::Launched run("/VERYSILENT " + logSwitch);
        EXPECT_EQ(run.WaitForExit(), 2u);
        EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{});
    }
    EXPECT_EQ(e2e::ReadFile(kVictim), kVictimText);
    {
        e2e::Launched run(logSwitch);
        e2e::Box box = run.WaitForBox();
        EXPECT_EQ(box.caption, kTitle);
        EXPECT_EQ(box.text, std::string("N\xE3o foi poss\xEDvel criar o arquivo de log \"") +
                                kLogFile + "\": o arquivo existente tem outros nomes (links "
                                "f\xEDsicos); o log n\xE3o grava sobre ele.");
        e2e::AnswerBox(box, IDOK);
        HWND form = run.WaitForWindow("Instalador Kestrel");
        ASSERT_NE(form, nullptr);
        PostMessageA(form, WM_CLOSE, 0, 0);
        EXPECT_EQ(run.WaitForExit(), 0u);
    }
    EXPECT_EQ(e2e::ReadFile(kVictim), kVictimText);
    DeleteFileA(kLogFile);
    ASSERT_TRUE(CreateDirectoryA(kLogFile, nullptr));
    {
        e2e::Launched run("/SILENT " + logSwitch);
        EXPECT_EQ(run.WaitForExit(), 2u);
        EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{});
    }
    EXPECT_TRUE(IsDirectory(kLogFile));
    EXPECT_FALSE(Installed());
    EXPECT_FALSE(e2e::FileExists(std::string(kDefaultBde) + "\\BDEADMIN.HLP"));
}

// --- Unattended means unattended --------------------------------------------------------------

TEST(Safety, AMalformedUnattendedCommandLineShowsNothingAndWritesNothing) {
    LayOutSite();
    for (const char* arguments : {"-verysilent", "/VERYSILENT=1 /LOG=\"C:\\Logs\\kestrel.log\"",
                                  "/SILENT /BOGUS /LOG=\"C:\\Logs\\kestrel.log\""}) {
        DeleteFileA(kLogFile);
        e2e::Launched run(arguments);
        EXPECT_EQ(run.WaitForExit(), 2u) << arguments;
        EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{}) << arguments;
    }
    // The last log's problem and code.
    const std::string log = e2e::ReadFile(kLogFile);
    EXPECT_NE(log.find("Par\xE2metro desconhecido: /BOGUS"), std::string::npos) << log;
    EXPECT_TRUE(EndsWithCode(log, 2)) << log;
    EXPECT_FALSE(Installed());
    EXPECT_FALSE(IsDirectory("D:\\Kestrel"));
}

// An empty argument (a script's empty variable) is no argument.
TEST(Safety, EmptyArgumentsAreIgnored) {
    LayOutSite();
    {
        e2e::Launched run("/VERYSILENT \"\"");
        EXPECT_EQ(run.WaitForExit(), 0u);
        EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{});
    }
    EXPECT_TRUE(Installed());
    // "" alone: the start with the window, as without arguments; nothing happens until a click.
    e2e::Launched run("\"\"");
    HWND form = run.WaitForWindow("Instalador Kestrel");
    ASSERT_NE(form, nullptr);
    PostMessageA(form, WM_CLOSE, 0, 0);
    EXPECT_EQ(run.WaitForExit(), 0u);
}

// --- Leftovers and the Windows version ----------------------------------------------------

TEST(Safety, ALeftoverTemporaryFileInTheSystemFolderIsRemoved) {
    LayOutSite();
    const std::string system = "C:\\windows\\system32\\";
    e2e::WriteFile(system + "~kst0BADF00D.tmp", "left by a killed run");
    e2e::WriteFile(system + "~kst0BADF00D.old", "waits for a restart");
    e2e::Launched run(std::string("/VERYSILENT /LOG=\"") + kLogFile + "\"");
    EXPECT_EQ(run.WaitForExit(), 0u) << e2e::ReadFile(kLogFile);
    EXPECT_FALSE(e2e::FileExists(system + "~kst0BADF00D.tmp"));
    EXPECT_EQ(e2e::ReadFile(system + "~kst0BADF00D.old"), "waits for a restart");
    EXPECT_NE(e2e::ReadFile(kLogFile).find("interrompida removido: " + system + "~kst0BADF00D.tmp"),
              std::string::npos);
}

// The version the system really is (RtlGetVersion ignores manifests), against the log's start.
// Wine, like Windows 8.1 to 11, tells a program without the compatibility section that it runs on
// Windows 8 at most.
TEST(Safety, TheLogNamesTheRealWindowsVersion) {
    LayOutSite();
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    ASSERT_NE(rtlGetVersion, nullptr);
    OSVERSIONINFOW real{};
    real.dwOSVersionInfoSize = sizeof real;
    ASSERT_EQ(rtlGetVersion(&real), 0);
    char version[64];
    wsprintfA(version, "; Windows %lu.%lu.%lu", real.dwMajorVersion, real.dwMinorVersion,
              real.dwBuildNumber & 0xFFFF);
    e2e::Launched run(std::string("/VERYSILENT /LOG=\"") + kLogFile + "\"");
    EXPECT_EQ(run.WaitForExit(), 0u);
    const std::string log = e2e::ReadFile(kLogFile);
    EXPECT_NE(log.substr(0, log.find("\r\n")).find(version), std::string::npos)
        << "expected \"" << version << "\" in " << log.substr(0, log.find("\r\n"));
}

// --- DLLs of system names beside the installer ---------------------------------------------

// The look-alikes beside the installer (its folder is also the current one of the run), under
// every name of the preload list. Wine prefers its built-in DLLs to a native one of the same name
// wherever that lies, so it would never load a look-alike on its own: the run is told to take a
// native DLL first for these names (WINEDLLOVERRIDES "=n,b", as on Windows, where every DLL is
// native). What Wine then shows: that the installer's process loaded none of them in a whole run
// (ShellExecute of regsvr32, the shell-link object, COM). What it cannot show: Wine's built-in
// shell and COM resolve what they load to built-in DLLs, so under Wine these runs load no
// look-alike even with the hardening switched off (measured); which names Windows' own shell and
// COM ask for by bare name is known from the established installers' lists, not from Wine. The
// mechanism itself (each DLL of the list loaded from the system folder, and a later load by bare
// name finding it) is shown by tests/unit/systemdlls_test.cpp.
void RunWithLookAlikes() {
    LayOutSite();
    const std::string programs = e2e::BuiltInstaller().substr(
        0, e2e::BuiltInstaller().find_last_of('\\') + 1);
    const std::string lookalike = programs + "lookalike.dll";
    std::string natives;
    for (const char* name : kSystemDllsLoadedByName) {
        ASSERT_TRUE(CopyFileA(lookalike.c_str(), (std::string("F:\\Instalador\\") + name).c_str(), FALSE))
            << name;
        natives += (natives.empty() ? "" : ",") + std::string(name, strlen(name) - 4);
    }
    // The look-alike works: a copy of a name Wine has no DLL of, loaded by its path.
    const std::string probe = "F:\\Instalador\\kestrel-probe.dll";
    ASSERT_TRUE(CopyFileA(lookalike.c_str(), probe.c_str(), FALSE));
    HMODULE module = LoadLibraryA(probe.c_str());
    ASSERT_NE(module, nullptr);
    FreeLibrary(module);
    ASSERT_NE(e2e::ReadFile(kLoads).find(probe), std::string::npos);
    DeleteFileA(kLoads);

    char overrides[1024] = "";
    GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    const std::string both = std::string(overrides) + (overrides[0] ? ";" : "") + natives + "=n,b";
    SetEnvironmentVariableA("WINEDLLOVERRIDES", both.c_str());
    e2e::Launched run(std::string("/VERYSILENT /LOG=\"") + kLogFile + "\"");
    EXPECT_EQ(run.WaitForExit(), 0u);
    SetEnvironmentVariableA("WINEDLLOVERRIDES", overrides);
    EXPECT_TRUE(e2e::FileExists(kDesktopLink));
    EXPECT_EQ(e2e::ReadFile(kLoads), "") << "a look-alike was loaded";
}

TEST(Safety, LookAlikeDllsBesideTheInstallerAreNotLoaded) {
    RunWithLookAlikes();
}

// Wine set to report Windows Vista: the installer does not restrict the search to the system
// folder there (it breaks the shell-link object on Vista) and preloads the list instead.
TEST(Safety, LookAlikeDllsAreNotLoadedWhereTheSearchIsNotRestricted) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("vista"), 6);
    RegCloseKey(key);
    RunWithLookAlikes();
    EXPECT_NE(e2e::ReadFile(kLogFile).find("; Windows 6.0."), std::string::npos)
        << "Wine did not report Vista";
}

}  // namespace
