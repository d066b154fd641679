// Upgrades over programs that are running: payload files that another process has loaded or
// holds open are replaced (at once by renaming the old file aside, or at the next restart), the
// run completes, an unattended run ends with 3010 and a run with the window with a box. The
// restart itself is Wine's: `wineboot -r` applies PendingFileRenameOperations and RunOnce, as a
// restart of Windows does. The program file's copy goes beside the old copy first.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Driver.h"
#include "../common/RegistryProbe.h"

namespace {

using namespace e2e::texts;

const char kSystem[] = "C:\\windows\\system32";
const char kLogFile[] = "C:\\kestrel.log";
const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kRestartCaption[] = "Aten\xE7\xE3o";
const char kRestartText[] =
    "O Windows precisa ser reiniciado para concluir a instala\xE7\xE3o.\r\n\r\n"
    "Estes arquivos estavam em uso por programas abertos; a troca deles termina quando o "
    "Windows for reiniciado:\r\n";

std::string TestFolder() {
    std::string exe = e2e::BuiltInstaller();
    return exe.substr(0, exe.find_last_of('\\') + 1);
}

// The sample payload the installer was built with, beside it.
std::string Payload(int row) {
    return e2e::ReadFile(TestFolder() + "payload-sample\\" + std::to_string(row));
}

// The destinations of the rows these scenarios use (the sample payload's names).
std::string Destination(int row) {
    switch (row) {
    case 22: return std::string(kDefaultBde) + "\\idapi32.dll";
    case 73: return std::string(kSystem) + "\\midas.dll";
    case 80: return std::string(kSystem) + "\\msxml5.dll";
    case 81: return std::string(kSystem) + "\\capicom.dll";
    }
    ADD_FAILURE() << "no destination known for row " << row;
    return "";
}

// Every row's destination from the sample payload's manifest.
std::vector<std::string> AllDestinations() {
    std::vector<std::string> out;
    for (const std::string& name : e2e::ManifestNames(TestFolder() + "payload-sample\\manifest.txt")) {
        const size_t row = out.size() + 1;
        out.push_back((row <= 57 ? std::string(kDefaultBde) : row <= 72 ? std::string(kOdbc)
                                                                         : std::string(kSystem)) +
                      name);
    }
    return out;
}

::testing::AssertionResult HasContent(const std::string& path, const std::string& want) {
    std::string got = e2e::ReadFile(path);
    if (got == want) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " has " << got.size() << " bytes, expected "
                                         << want.size();
}

std::string MarkerValue(const char* dll) {
    const std::string value = RegValue("SOFTWARE\\Kestrel\\SamplePayload", dll);
    return value == "(missing)" ? "" : value;
}

std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const std::string text = e2e::ReadFile(kLogFile);
    for (size_t at = 0, end; at < text.size(); at = end + 2) {
        end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

// The log has a line containing each of the parts, in this order.
::testing::AssertionResult LogHas(const std::vector<std::string>& parts) {
    const std::vector<std::string> lines = LogLines();
    for (const std::string& line : lines) {
        size_t at = 0;
        bool all = true;
        for (const std::string& part : parts) {
            at = line.find(part, at);
            if (at == std::string::npos) {
                all = false;
                break;
            }
            at += part.size();
        }
        if (all) return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "no log line with \"" << parts.front() << "\"...; the log:";
    for (const std::string& line : lines) failure << "\n  " << line;
    return failure;
}

void LayOutSite(const std::string& localApp = kLocalApp) {
    e2e::LayOutInstaller();
    e2e::WriteFile(kSettingsFile, e2e::Settings(localApp, kRemoteApp));
    e2e::WriteFile(kRemoteApp, "Kestrel, the new application");
}

// A program holding a file while a scenario runs (hold_file.exe beside this test): started,
// and waited for until it says the file is held.
class Holder {
public:
    Holder(const char* how, const std::string& path) {
        static int count = 0;
        const std::string name = "KestrelHold" + std::to_string(GetCurrentProcessId()) + "_" +
                                 std::to_string(++count);
        ready_ = CreateEventA(nullptr, TRUE, FALSE, (name + ".ready").c_str());
        release_ = CreateEventA(nullptr, TRUE, FALSE, (name + ".release").c_str());
        const std::string exe = TestFolder() + "hold_file.exe";
        std::string command = "\"" + exe + "\" " + how + " \"" + path + "\" " + name;
        STARTUPINFOA si{};
        si.cb = sizeof si;
        if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                            nullptr, nullptr, &si, &pi_)) {
            ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
            return;
        }
        HANDLE either[2] = {ready_, pi_.hProcess};
        const DWORD waited =
            WaitForMultipleObjects(2, either, FALSE, e2e::Scaled(e2e::kTimeoutMs));
        DWORD code = 0;
        GetExitCodeProcess(pi_.hProcess, &code);
        EXPECT_EQ(waited, WAIT_OBJECT_0) << "hold_file " << how << " " << path
                                         << " did not hold it (exit code " << code << ")";
    }
    ~Holder() {
        Release();
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 9);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
        CloseHandle(ready_);
        CloseHandle(release_);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

    // Lets go of the file: the program ends, as at a restart.
    void Release() {
        if (!pi_.hProcess) return;
        SetEvent(release_);
        EXPECT_EQ(WaitForSingleObject(pi_.hProcess, e2e::Scaled(e2e::kTimeoutMs)), WAIT_OBJECT_0);
    }

private:
    HANDLE ready_ = nullptr;
    HANDLE release_ = nullptr;
    PROCESS_INFORMATION pi_{};
};

// The restart of Windows, as Wine does it for a prefix: `wineboot -r` moves and deletes what
// PendingFileRenameOperations names and runs the RunOnce entries (waiting for them).
void RestartWindows() {
    const std::string exe = std::string(kSystem) + "\\wineboot.exe";
    std::string command = "\"" + exe + "\" -r";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi)) << GetLastError();
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, e2e::Scaled(e2e::kTimeoutMs)), WAIT_OBJECT_0);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

void WaitForRegsvr32() {
    ASSERT_TRUE(e2e::WaitFor([] { return !e2e::ProcessRunning("regsvr32.exe"); }));
}

// --- Scenarios -----------------------------------------------------------------------------

// A BDE DLL loaded by a program (row 22) is renamed aside and replaced at once; the midas.dll
// and the COM DLL capicom.dll held open without sharing (rows 73, 81) cannot even be renamed,
// so their new files wait for the restart. Everything else of the run is done; exit code 3010.
TEST(UpgradeE2E, VerySilentOverFilesInUseEndsWith3010AndTheRestartFinishesIt) {
    LayOutSite();
    const std::string dll = Destination(22), midas = Destination(73), capicom = Destination(81);
    e2e::WriteFile(dll, Payload(80));  // a real DLL of this bed: the msxml5 marker
    e2e::WriteFile(midas, "the old midas.dll");
    e2e::WriteFile(capicom, "the old capicom.dll");
    Holder loaded("load", dll), openMidas("open", midas), openCapicom("open", capicom);

    e2e::Launched run(std::string("/VERYSILENT /LOG=\"") + kLogFile + "\"");
    EXPECT_EQ(run.WaitForExit(), 3010u);
    EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{});

    // Every other row new, and the steps after the payload done.
    const std::vector<std::string> destinations = AllDestinations();
    ASSERT_EQ(destinations.size(), 82u);
    for (int row = 1; row <= 82; ++row)
        if (row != 73 && row != 81) EXPECT_TRUE(HasContent(destinations[row - 1], Payload(row)));
    EXPECT_EQ(RegValue(kDataSourceKey, "Servername"), "192.168.0.10");
    EXPECT_EQ(e2e::ReadFile(kLocalApp), "Kestrel, the new application");
    EXPECT_TRUE(e2e::FileExists(kDesktopLink));
    EXPECT_TRUE(e2e::FileExists(kMenuLink));

    // capicom.dll is registered again after the restart, regsvr32 named by its full path; the
    // msxml5.dll of today's start needs no second registration.
    const std::string regsvr32 = std::string("\"") + kSystem + "\\regsvr32.exe\" /s \"" + capicom + "\"";
    EXPECT_EQ(RegValues(kRunOnceKey), (Values{{"Kestrel regsvr32 capicom.dll", regsvr32}}));

    EXPECT_TRUE(LogHas({"Arquivo gravado: " + dll, "o antigo, em uso (", "renomeado para " +
                        std::string(kDefaultBde) + "\\~kst", ".old e apagado quando o Windows for "
                        "reiniciado"}));
    EXPECT_TRUE(LogHas({"Arquivo aguardando reinicializa\xE7\xE3o: " + midas, "gravado em " +
                        std::string(kSystem) + "\\~kst", ".new; o antigo, em uso (",
                        "substitu\xED" "do quando o Windows for reiniciado"}));
    EXPECT_TRUE(LogHas({"Arquivo aguardando reinicializa\xE7\xE3o: " + capicom}));
    // Listed in the order written.
    EXPECT_TRUE(LogHas({std::string("Caixa \"") + kRestartCaption + "\": O Windows precisa ser "
                        "reiniciado", dll, midas, capicom}));
    EXPECT_TRUE(LogHas({"Fim: c\xF3" "digo de sa\xED" "da 3010"}));

    // The restart: the programs end, the system moves the files in and registers capicom.dll.
    WaitForRegsvr32();
    EXPECT_EQ(MarkerValue("capicom.dll"), "") << "registered before the restart";
    loaded.Release();
    openMidas.Release();
    openCapicom.Release();
    EXPECT_TRUE(HasContent(midas, "the old midas.dll"));
    EXPECT_TRUE(HasContent(capicom, "the old capicom.dll"));
    RestartWindows();
    EXPECT_TRUE(HasContent(dll, Payload(22)));
    EXPECT_TRUE(HasContent(midas, Payload(73)));
    EXPECT_TRUE(HasContent(capicom, Payload(81)));
    EXPECT_EQ(e2e::ReplacementFiles({kDefaultBde, kOdbc, kSystem}), std::vector<std::string>{});
    EXPECT_EQ(lstrcmpiA(MarkerValue("capicom.dll").c_str(), capicom.c_str()), 0)
        << "capicom.dll registered from \"" << MarkerValue("capicom.dll") << "\"";
    EXPECT_EQ(RegValues(kRunOnceKey), Values{});
}

// With the window: "Instalação concluída!", then one information box that names the file; the
// window stays as after any run. The DLL was loaded, so it is replaced at once and the old copy
// goes at the restart.
TEST(UpgradeE2E, WithTheWindowTheRunEndsWithTheRestartBox) {
    LayOutSite();
    const std::string midas = Destination(73);
    e2e::WriteFile(midas, Payload(80));
    Holder loaded("load", midas);
    {
        e2e::Installer app;
        app.Click(app.Button(kInstalar));
        e2e::Box box = app.WaitForBox();
        EXPECT_EQ(box.caption, kRestartCaption);
        EXPECT_EQ(box.text, std::string(kRestartText) + "\r\n" + midas);
        EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
        EXPECT_TRUE(box.hasIcon);
        EXPECT_EQ(app.Status(), kDone);
        app.Answer(box, IDOK);
        ASSERT_TRUE(app.WaitUntilEnabled(app.Button(kCancelar)));
        EXPECT_FALSE(app.IsEnabled(app.Button(kInstalar)));
        EXPECT_EQ(app.Boxes().size(), 1u);
        app.Click(app.Button(kCancelar));
        EXPECT_EQ(app.WaitForExit(), 0u);
    }
    EXPECT_TRUE(HasContent(midas, Payload(73)));
    const std::vector<std::string> aside = e2e::ReplacementFiles({kSystem});
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(aside[0].substr(aside[0].size() - 4), ".old");
    EXPECT_TRUE(HasContent(aside[0], Payload(80)));
    EXPECT_EQ(RegValues(kRunOnceKey), Values{});  // midas.dll is no COM DLL

    loaded.Release();
    WaitForRegsvr32();
    RestartWindows();
    EXPECT_TRUE(HasContent(midas, Payload(73)));
    EXPECT_EQ(e2e::ReplacementFiles({kSystem}), std::vector<std::string>{});
}

// The program file: a read-only old copy is replaced (renamed aside, the new copy moved in, the old
// one deleted), and nothing is left beside it.
TEST(UpgradeE2E, AReadOnlyProgramCopyIsReplaced) {
    LayOutSite();
    e2e::WriteFile(kLocalApp, "Kestrel, the old application");
    ASSERT_TRUE(SetFileAttributesA(kLocalApp, FILE_ATTRIBUTE_READONLY));
    e2e::Launched run(std::string("/VERYSILENT /LOG=\"") + kLogFile + "\"");
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_EQ(e2e::ReadFile(kLocalApp), "Kestrel, the new application");
    EXPECT_EQ(e2e::ReplacementFiles({"C:\\Kestrel"}), std::vector<std::string>{});
}

// The program file's copy fails half-way: C:\\Kestrel is a disk of 1 MB (the runner's small disk,
// KESTREL_SMALL_DISK_AT), the program file 2 MB. The old copy stays whole, nothing is left beside
// it, and the warning of a copy that failed is given (exit code 5).
TEST(UpgradeE2E, AProgramCopyFailingHalfWayKeepsTheOldCopy) {
    if (!std::getenv("KESTREL_SMALL_DISK_AT") || !std::getenv("KESTREL_SMALL_DISK")) {
        const char* why = std::getenv("KESTREL_SMALL_DISK_MISSING");
        GTEST_SKIP() << "C:\\Kestrel is no small disk: "
                     << (why ? why : "run through tests/payload/with-small-disk.sh");
    }
    LayOutSite();
    e2e::WriteLargeFile(kRemoteApp, 2);
    e2e::WriteFile(kLocalApp, "Kestrel, the old application");
    e2e::Launched run(std::string("/VERYSILENT /LOG=\"") + kLogFile + "\"");
    EXPECT_EQ(run.WaitForExit(), 5u);
    EXPECT_TRUE(HasContent(kLocalApp, "Kestrel, the old application"));
    EXPECT_EQ(e2e::ReplacementFiles({"C:\\Kestrel"}), std::vector<std::string>{});
    EXPECT_TRUE(LogHas({"Execut\xE1vel n\xE3o copiado: " + std::string(kRemoteApp) + " para " +
                        kLocalApp + ": "}));
}

}  // namespace
