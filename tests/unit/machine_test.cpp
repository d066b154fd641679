// The machine facts the log reports: 64-bit Windows (where this 32-bit program's writes really
// go) and the drive letters this process can see.
//
// Wine difference: the 64-bit log line cannot be shown by a real run here. The product is a
// 32-bit program; this project's machines cannot execute 32-bit code natively, so the i686
// product runs only in the emulated 32-bit bed, a pure win32 prefix where IsWow64Process says no.
// A 64-bit prefix would need Wine's WOW64 running i686 code, which these machines cannot do. So
// the 64-bit line is checked here with the facts of a 64-bit Windows put in place.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/Deployment.h"
#include "platform/Log.h"
#include "platform/Machine.h"
#include "platform/Shell.h"
#include "settings/Settings.h"

namespace {

MachineFacts Windows64() {
    MachineFacts facts;
    facts.Wow64 = true;
    facts.SystemDir = "C:\\Windows\\system32";
    facts.SystemWow64Dir = "C:\\Windows\\SysWOW64";
    facts.RegistryWow64Key = "HKLM\\SOFTWARE\\WOW6432Node";
    facts.Drives = 1u << ('C' - 'A');
    return facts;
}

// Puts facts in place for one test and takes them away again.
struct FactsInPlace {
    explicit FactsInPlace(const MachineFacts& facts) : facts_(facts) { OverrideMachineFacts(&facts_); }
    ~FactsInPlace() { OverrideMachineFacts(nullptr); }
    MachineFacts facts_;
};

TEST(Machine, StartLineOn64BitWindowsNamesTheRealFolders) {
    const std::string line = StartLine(Windows64());
    EXPECT_NE(line.find("; Windows de 64 bits: este programa de 32 bits grava os arquivos de "
                        "C:\\Windows\\system32 em C:\\Windows\\SysWOW64 e as chaves de "
                        "HKLM\\SOFTWARE em HKLM\\SOFTWARE\\WOW6432Node; usu\xE1rio "),
              std::string::npos)
        << line;
    EXPECT_EQ(line.rfind("In\xED" "cio: InstaladorHalden ", 0), 0u) << line;

    // What could not be found is said so, never guessed.
    MachineFacts unknown = Windows64();
    unknown.SystemWow64Dir.clear();
    unknown.RegistryWow64Key.clear();
    EXPECT_EQ(Wow64Note(unknown),
              "Windows de 64 bits: este programa de 32 bits grava os arquivos de "
              "C:\\Windows\\system32 em outra pasta (SysWOW64 n\xE3o encontrada) e as chaves de "
              "HKLM\\SOFTWARE em outra chave (WOW6432Node n\xE3o encontrada)");

    MachineFacts windows32 = Windows64();
    windows32.Wow64 = false;
    EXPECT_EQ(Wow64Note(windows32), "");
    EXPECT_EQ(StartLine(windows32).find("64 bits"), std::string::npos);
}

TEST(Machine, FactsOfThisBed) {
    // The test programs of this bed are 64-bit: never under WOW64, so no note.
    const MachineFacts facts = ReadMachineFacts();
    EXPECT_FALSE(facts.Wow64);
    EXPECT_EQ(facts.SystemWow64Dir, "");
    EXPECT_EQ(facts.RegistryWow64Key, "");
    EXPECT_EQ(facts.SystemDir, SystemDirectory());
    // C: and the test's own drives are there; a letter nobody mapped is not.
    for (const char* path : {"C:\\windows", "d:\\x", "S:\\Kestrel\\Kestrel.exe"})
        EXPECT_TRUE(DriveVisible(facts, path)) << path;
    EXPECT_FALSE(DriveVisible(facts, "Q:\\Kestrel\\Kestrel.exe"));
}

TEST(Machine, DriveVisible) {
    MachineFacts facts;
    facts.Drives = (1u << ('C' - 'A')) | (1u << ('S' - 'A'));
    const struct {
        const char* path;
        bool visible;
    } cases[] = {
        {"C:\\Kestrel\\Kestrel.exe", true},  {"s:\\Kestrel\\Kestrel.exe", true},
        {"T:\\Kestrel\\Kestrel.exe", false}, {"t:Kestrel.exe", false},
        {"\\\\servidor\\Kestrel\\Kestrel.exe", true},  // no letter to miss
        {"Kestrel.exe", true},               {"", true},
        {"1:\\x", true},
    };
    for (const auto& c : cases) EXPECT_EQ(DriveVisible(facts, c.path), c.visible) << c.path;
}

// RemoteApp or the installer's own folder on a letter this process does not see (a drive mapped
// in a person's session, seen from SYSTEM): the log says so and advises a UNC path.
TEST(Machine, UnseenDriveLettersAreLoggedWithTheAdvice) {
    const std::string folder = MakeTempFolder("unseen");  // on C:
    WriteTextFile(folder + "startKestrel.INI",
                  "[Application]\r\nLocalApp=C:\\Kestrel\\Kestrel.exe\r\n"
                  "RemoteApp=S:\\Kestrel\\Kestrel.exe\r\n");
    const std::string log = folder + "k.log";

    const struct {
        const char* name;
        DWORD drives;
        bool remoteLine, folderLine;
    } cases[] = {
        {"both seen", (1u << ('C' - 'A')) | (1u << ('S' - 'A')), false, false},
        {"server drive unseen", 1u << ('C' - 'A'), true, false},
        {"no drive seen", 0, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MachineFacts facts;
        facts.Drives = c.drives;
        FactsInPlace inPlace(facts);
        ASSERT_TRUE(OpenLog(log));
        RecordingUi ui;
        InstallContext context;
        context.SystemDrive = "C:";
        ReadSettingsFrom(folder, context, ui);
        CloseLog();
        const std::string text = ReadWholeFile(log);
        const std::string remote = "Aviso: a unidade S: de RemoteApp (S:\\Kestrel\\Kestrel.exe) "
                                   "n\xE3o existe para este processo (usu\xE1rio ";
        const std::string own = "Aviso: a unidade " + folder.substr(0, 2) +
                                " da pasta do instalador (" + folder + ") n\xE3o existe";
        EXPECT_EQ(text.find(remote) != std::string::npos, c.remoteLine) << text;
        EXPECT_EQ(text.find(own) != std::string::npos, c.folderLine) << text;
        if (c.remoteLine) {
            EXPECT_NE(text.find("use no startKestrel.INI um caminho UNC (\\\\servidor\\...)\r\n"),
                      std::string::npos)
                << text;
        }
        EXPECT_TRUE(ui.boxes.empty());  // a line in the log, never a box
    }
}

}  // namespace
