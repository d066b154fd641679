// The log file: created anew, one CRLF line per event with the local time in front, line breaks
// inside an event flattened, nothing written while no log is open, and a file that cannot be
// created reported with the system's error code.
#include <gtest/gtest.h>

#include "TestSupport.h"
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

TEST(Log, DefaultPlaceIsTheTemporaryFolder) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_EQ(DefaultLogPath(), std::string(temp) + "InstaladorKestrel.log");
}

}  // namespace
