// Reading startKestrel.INI through the system's profile reader, and the paths derived from it.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "settings/Settings.h"

namespace {

const char* const kWarningCaption = "Advert\xEA" "ncia";

InstallContext Read(const std::string& folder, RecordingUi& ui) {
    InstallContext context;
    context.SystemDrive = "C:";
    ReadSettingsFrom(folder, context, ui);
    return context;
}

std::string Settings(const std::string& localApp, const std::string& remoteApp) {
    return "[Application]\r\nLocalApp=" + localApp + "\r\nRemoteApp=" + remoteApp +
           "\r\n[Instalacao]\r\nIPServidor=192.168.0.10\r\nPorta=5432\r\nBancoDados=kestreldb\r\n";
}

TEST(Settings, WorkedExample) {
    std::string folder = MakeTempFolder("example");
    WriteTextFile(folder + "startKestrel.INI",
                  Settings("D:\\Kestrel\\Kestrel.exe", "S:\\Kestrel\\Kestrel.exe"));
    RecordingUi ui;
    InstallContext c = Read(folder, ui);
    EXPECT_EQ(c.LocalApp, "C:\\Kestrel\\Kestrel.exe");
    EXPECT_EQ(c.LocalFolder, "C:\\Kestrel");
    EXPECT_EQ(c.RemoteApp, "S:\\Kestrel\\Kestrel.exe");
    EXPECT_EQ(c.RemoteFolder, "S:\\Kestrel\\");
    EXPECT_EQ(c.IPServidor, "192.168.0.10");
    EXPECT_EQ(c.Porta, "5432");
    EXPECT_EQ(c.BancoDados, "kestreldb");
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(Settings, DerivedPaths) {
    struct Case {
        const char* localApp;
        const char* remoteApp;
        const char* wantLocalApp;
        const char* wantLocalFolder;
        const char* wantRemoteFolder;
    } cases[] = {
        {"D:\\Kestrel\\Kestrel.exe", "S:\\Kestrel\\Kestrel.exe", "C:\\Kestrel\\Kestrel.exe",
         "C:\\Kestrel", "S:\\Kestrel\\"},
        {"\\Kestrel\\Kestrel.exe", "S:Kestrel.exe", "C:\\Kestrel\\Kestrel.exe", "C:\\Kestrel",
         "S:"},
        {"Programas\\Kestrel\\Kestrel.exe", "\\\\srv\\share\\Kestrel.exe",
         "C:\\Kestrel\\Kestrel.exe", "C:\\Kestrel", "\\\\srv\\share\\"},
        {"\\\\Kestrel\\Kestrel.exe", "Kestrel.exe", "C:\\\\Kestrel\\Kestrel.exe",
         "C:\\\\Kestrel", ""},
        {"C:\\Kestrel.exe", "S:\\K\\Kestrel.exe", "C:\\Kestrel.exe", "C:", "S:\\K\\"},
        {"C:\\Kestrel\\", "S:\\K\\", "C:\\Kestrel\\", "C:\\Kestrel", "S:\\K\\"},
    };
    std::string folder = MakeTempFolder("derived");
    for (const Case& k : cases) {
        SCOPED_TRACE(k.localApp);
        WriteTextFile(folder + "startKestrel.INI", Settings(k.localApp, k.remoteApp));
        RecordingUi ui;
        InstallContext c = Read(folder, ui);
        EXPECT_EQ(c.LocalApp, k.wantLocalApp);
        EXPECT_EQ(c.LocalFolder, k.wantLocalFolder);
        EXPECT_EQ(c.RemoteApp, k.remoteApp);
        EXPECT_EQ(c.RemoteFolder, k.wantRemoteFolder);
    }
}

TEST(Settings, ProfileReaderRules) {
    std::string folder = MakeTempFolder("rules");
    std::string longValue(3000, 'x');
    WriteTextFile(folder + "startKestrel.INI",
                  "[APPLICATION]\r\nlocalapp = \"D:\\Kestrel\\Kestrel.exe\"  \r\n"
                  "REMOTEAPP='S:\\Kestrel\\Kestrel.exe'\r\n"
                  "[instalacao]\r\nPorta=\r\nIPServidor=" + longValue + "\r\n");
    RecordingUi ui;
    InstallContext c = Read(folder, ui);
    EXPECT_EQ(c.LocalApp, "C:\\Kestrel\\Kestrel.exe");      // case, quotes and blanks
    EXPECT_EQ(c.RemoteApp, "S:\\Kestrel\\Kestrel.exe");     // single quotes
    EXPECT_EQ(c.Porta, "");                                 // present but empty: not the default
    EXPECT_EQ(c.IPServidor, std::string(2047, 'x'));        // cut after 2047 characters
    EXPECT_EQ(c.BancoDados, "BancoDadosERROR");             // absent: the default
}

TEST(Settings, MissingSectionGivesDefaults) {
    std::string folder = MakeTempFolder("defaults");
    WriteTextFile(folder + "startKestrel.INI", "[Application]\r\nLocalApp=D:\\K\\K.exe\r\n");
    RecordingUi ui;
    InstallContext c = Read(folder, ui);
    EXPECT_EQ(c.RemoteApp, "RemoteERROR");
    EXPECT_EQ(c.RemoteFolder, "");
    EXPECT_EQ(c.IPServidor, "IPServidorERROR");
    EXPECT_EQ(c.Porta, "PortaERROR");
    EXPECT_EQ(c.BancoDados, "BancoDadosERROR");
}

TEST(Settings, MissingFileWarnsEnablesCancelAndAbortsSilently) {
    for (bool asDirectory : {false, true}) {
        SCOPED_TRACE(asDirectory ? "directory named like the file" : "no file");
        std::string folder = MakeTempFolder(asDirectory ? "missing-dir" : "missing");
        if (asDirectory) CreateDirectoryA((folder + "startKestrel.INI").c_str(), nullptr);
        RecordingUi ui;
        ui.cancelEnabled = false;
        EXPECT_THROW(Read(folder, ui), EAbort);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text,
                  "Arquivo startKestrel.INI, necess\xE1rio para instala\xE7\xE3o, n\xE3o "
                  "localizado no diret\xF3rio " + folder + ".");
        EXPECT_EQ(ui.boxes[0].caption, kWarningCaption);
        EXPECT_EQ(ui.boxes[0].flags, static_cast<UINT>(MB_OK));
        EXPECT_TRUE(ui.cancelEnabled);
        EXPECT_EQ(ui.events.back(), "cancel:on");
        EXPECT_EQ(ui.status, "");
    }
}

TEST(Settings, LocalAppWithoutBackslashIsRefused) {
    struct Case { const char* line; const char* shown; } cases[] = {
        {"", "LocalERROR"},
        {"LocalApp=\r\n", ""},
        {"LocalApp=Kestrel.exe\r\n", "Kestrel.exe"},
        {"LocalApp=D:Kestrel.exe\r\n", "D:Kestrel.exe"},
    };
    std::string folder = MakeTempFolder("localapp");
    for (const Case& k : cases) {
        SCOPED_TRACE(k.line);
        WriteTextFile(folder + "startKestrel.INI",
                      std::string("[Application]\r\n") + k.line + "RemoteApp=S:\\K\\K.exe\r\n");
        RecordingUi ui;
        ui.cancelEnabled = false;
        EXPECT_THROW(Read(folder, ui), EAbort);
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, std::string("O valor de LocalApp (\"") + k.shown +
                                        "\") no arquivo " + folder +
                                        "startKestrel.INI n\xE3o \xE9 um caminho completo. "
                                        "Corrija o arquivo e execute o instalador novamente.");
        EXPECT_EQ(ui.boxes[0].caption, kWarningCaption);
        EXPECT_EQ(ui.boxes[0].flags, static_cast<UINT>(MB_OK));
        EXPECT_TRUE(ui.cancelEnabled);
    }
}

TEST(Settings, FileIsLeftUnchanged) {
    std::string folder = MakeTempFolder("unchanged");
    std::string text = "; site settings\r\n[Application]\r\nLocalApp=D:\\K\\K.exe\r\n";
    WriteTextFile(folder + "startKestrel.INI", text);
    RecordingUi ui;
    Read(folder, ui);
    EXPECT_EQ(ReadWholeFile(folder + "startKestrel.INI"), text);
}

TEST(Settings, FolderPartSkipsDoubleByteTrailBytes) {
    // In a double-byte code page a trail byte 0x5C is no separator; in 1252 it is.
    std::string path = "C:\\a\x83\x5C" "b.exe";
    std::string expected = IsDBCSLeadByte(0x83) ? "C:\\" : "C:\\a\x83\\";
    EXPECT_EQ(ExtractFilePath(path), expected);
    EXPECT_EQ(ExtractFilePath("S:Kestrel.exe"), "S:");
    EXPECT_EQ(ExtractFilePath("Kestrel.exe"), "");
}

TEST(Settings, InstallerFolderEndsWithBackslash) {
    std::string folder = InstallerFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(DirectoryExists(folder));
}

}  // namespace
