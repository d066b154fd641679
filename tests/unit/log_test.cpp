// The log file: created new, one CRLF line per event with the local time in front, line breaks
// inside an event flattened, nothing written while no log is open, a file that cannot be created
// reported with the system's error code, and nothing someone planted at its name ever opened.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "../common/FolderLinks.h"
#include "platform/Log.h"

namespace {

TEST(Log, LineFormat) {
    SYSTEMTIME t{};
    t.wYear = 2024; t.wMonth = 3; t.wDay = 7;
    t.wHour = 9; t.wMinute = 5; t.wSecond = 2; t.wMilliseconds = 41;
    EXPECT_EQ(LogLine(t, "Status: Registrando o sistema."),
              "2024-03-07 09:05:02.041  Status: Registrando o sistema.\r\n");
    EXPECT_EQ(LogLine(t, "um\r\ndois\ntr\xEAs\rquatro"),
              "2024-03-07 09:05:02.041  um | dois | tr\xEAs | quatro\r\n");
    EXPECT_EQ(LogLine(t, ""), "2024-03-07 09:05:02.041  \r\n");
}

TEST(Log, WritesLinesIntoAFileCreatedAnew) {
    const std::string folder = MakeTempFolder("log");
    const std::string path = folder + "Instalador.log";
    WriteTextFile(path, "an older run's log, longer than the new one will be\r\n");

    Log("before the log is open");
    ASSERT_TRUE(OpenLog(path));
    EXPECT_TRUE(LogIsOpen());
    EXPECT_EQ(LogPath(), path);
    // Readable by others while it is being written.
    EXPECT_EQ(ReadWholeFile(path), "");
    Log("primeira linha");
    Log("segunda\r\nlinha");
    const std::string meanwhile = ReadWholeFile(path);
    CloseLog();
    Log("after the log is closed");
    EXPECT_FALSE(LogIsOpen());

    const std::string text = ReadWholeFile(path);
    EXPECT_EQ(text, meanwhile);
    const std::string first = "  primeira linha\r\n", second = "  segunda | linha\r\n";
    ASSERT_EQ(text.size(), 23 + first.size() + 23 + second.size()) << text;
    EXPECT_EQ(text.substr(23, first.size()), first);
    EXPECT_EQ(text.substr(23 + first.size() + 23), second);
    // The time in front: "YYYY-MM-DD hh:mm:ss.mmm".
    for (size_t at : {size_t(0), 23 + first.size()}) {
        const std::string stamp = text.substr(at, 23);
        for (size_t i = 0; i < stamp.size(); ++i) {
            const char want = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':'
                              : i == 19 ? '.' : '0';
            if (want == '0') EXPECT_TRUE(stamp[i] >= '0' && stamp[i] <= '9') << stamp;
            else EXPECT_EQ(stamp[i], want) << stamp;
        }
    }
}

TEST(Log, AFileThatCannotBeCreatedIsRefused) {
    const std::string folder = MakeTempFolder("log-refused");
    struct Case { std::string path; DWORD code; };
    const Case cases[] = {
        {folder + "no such folder\\Instalador.log", ERROR_PATH_NOT_FOUND},
        {folder.substr(0, folder.size() - 1), ERROR_ACCESS_DENIED},   // a folder
    };
    for (const Case& c : cases) {
        DWORD error = 0;
        EXPECT_FALSE(OpenLog(c.path, &error)) << c.path;
        EXPECT_EQ(error, c.code) << c.path;
        EXPECT_FALSE(LogIsOpen());
        EXPECT_EQ(LogPath(), "");
    }
}

TEST(Log, DefaultFolderIsTheTemporaryFolder) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_EQ(DefaultLogFolder(), std::string(temp));
}

// A hard link planted at the log's name would have the log overwrite its target (a file of the
// planter's choice, written with the installer's rights): the named log refuses it, and a
// symbolic link, and writes nothing anywhere.
TEST(Log, ANamedLogRefusesLinks) {
    const std::string folder = MakeTempFolder("log-links");
    const std::string target = folder + "system file.dll", path = folder + "kestrel.log";
    WriteTextFile(target, "the target's own bytes");
    ASSERT_TRUE(CreateHardLinkA(path.c_str(), target.c_str(), nullptr));
    DWORD error = 0;
    EXPECT_FALSE(OpenLog(path, &error));
    EXPECT_EQ(error, kLogHasOtherNames);
    EXPECT_FALSE(LogIsOpen());
    EXPECT_EQ(ReadWholeFile(target), "the target's own bytes");
    EXPECT_NE(LogErrorText(error).find("links f\xEDsicos"), std::string::npos);

    // A symbolic link: Wine shows none by its attributes, but a handle opened on it names the
    // file it leads to.
    const std::string symbolic = folder + "symbolic.log";
    if (!links::MakeFileLink(symbolic, target)) {
        // On Windows only an administrator (or developer mode) may make one.
        GTEST_SKIP() << "no symbolic link could be made here (error " << GetLastError() << ")";
    }
    EXPECT_FALSE(OpenLog(symbolic, &error));
    EXPECT_EQ(error, kLogIsALink);
    EXPECT_NE(LogErrorText(error).find("link (simb\xF3lico"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(target), "the target's own bytes");
}

TEST(Log, NewLogNamesCarryTheTimeAndANumber) {
    SYSTEMTIME t{};
    t.wYear = 2024; t.wMonth = 5; t.wDay = 1; t.wHour = 14; t.wMinute = 3; t.wSecond = 22;
    EXPECT_EQ(NewLogName(t, 0x0A1B2C3D), "InstaladorKestrel 2024-05-01 140322 0A1B2C3D.log");
    EXPECT_EQ(NewLogName(t, 0), "InstaladorKestrel 2024-05-01 140322 00000000.log");
}

// The log without a name is made new at a name nobody could have taken ahead: two logs opened at
// once get two names, both of the pattern; the folder's other files are left as they are.
TEST(Log, ANewLogTakesANameOfItsOwn) {
    const std::string folder = MakeTempFolder("log-new");
    WriteTextFile(folder + "InstaladorKestrel older.log", "an older log");
    std::vector<std::string> paths;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(OpenNewLog(folder));
        paths.push_back(LogPath());
        Log("linha");
        CloseLog();
    }
    EXPECT_NE(paths[0], paths[1]);
    SYSTEMTIME today;
    GetLocalTime(&today);
    const std::string day = NewLogName(today, 0).substr(0, 28);  // "InstaladorKestrel AAAA-MM-DD"
    for (const std::string& path : paths) {
        EXPECT_EQ(path.compare(0, folder.size() + day.size(), folder + day), 0) << path;
        EXPECT_EQ(path.size(), folder.size() + NewLogName(today, 0).size()) << path;
        EXPECT_NE(ReadWholeFile(path).find("  linha\r\n"), std::string::npos) << path;
    }
    EXPECT_EQ(ReadWholeFile(folder + "InstaladorKestrel older.log"), "an older log");

    DWORD error = 0;
    EXPECT_FALSE(OpenNewLog(folder + "no such folder\\", &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(LogIsOpen());
}

}  // namespace
