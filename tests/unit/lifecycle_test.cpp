// The pieces below the uninstall: the shared-file counts, the record, and the started programs
// an unattended run waits for.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "app/Deployment.h"
#include "core/InstallRecord.h"
#include "platform/Files.h"
#include "platform/Shell.h"

namespace {

// A file counted once per machine; one that was there before without a count is someone
// else's too; counts of others are raised and lowered by exactly Kestrel's one.
TEST(SharedCounts, RaisedOnceAndGivenBackExactly) {
    const std::string folder = MakeTempFolder("shared");
    struct Case {
        const char* name;
        bool presentBefore;
        unsigned long countBefore;
        unsigned long counted;
        bool unusedAfterRelease;
    };
    const Case cases[] = {
        {"new.dll", false, 0, 1, true},
        {"foreign.dll", true, 0, 2, false},    // there before, counted by nobody
        {"others.dll", true, 3, 4, false},     // counted by three others
    };
    for (const Case& c : cases) {
        const std::string path = folder + c.name;
        if (c.presentBefore) WriteTextFile(path, "before");
        if (c.countBefore) {
            HKEY key;
            ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, nullptr, 0,
                                      KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            DWORD count = c.countBefore;
            RegSetValueExA(key, path.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&count),
                           sizeof count);
            RegCloseKey(key);
        }
        CountSharedFile(path);
        CountSharedFile(path);  // a second installation counts nothing more
        EXPECT_EQ(SharedCount(path), c.counted) << c.name;
        EXPECT_TRUE(IsRecorded(Recorded::Files, path)) << c.name;
        EXPECT_EQ(ReleaseSharedFile(path), c.unusedAfterRelease) << c.name;
        EXPECT_EQ(SharedCount(path), c.counted - 1) << c.name;
        EXPECT_FALSE(IsRecorded(Recorded::Files, path)) << c.name;
        EXPECT_FALSE(ReleaseSharedFile(path)) << c.name << ": released twice";
    }
}

// The record keeps what it was given, per kind, and goes away whole.
TEST(Record, KeepsItemsPerKindAndIsRemovedWhole) {
    Record(Recorded::Links, "C:\\a\\Kestrel.lnk");
    Record(Recorded::Folders, "C:\\a");
    EXPECT_EQ(RecordedItems(Recorded::Links), std::vector<std::string>{"C:\\a\\Kestrel.lnk"});
    EXPECT_TRUE(IsRecorded(Recorded::Folders, "C:\\A"));  // as Windows compares names
    EXPECT_FALSE(IsRecorded(Recorded::Links, "C:\\a"));
    RemoveRecord();
    EXPECT_TRUE(RecordedItems(Recorded::Links).empty());
    HKEY key;
    EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tavrin", 0,
                            KEY_READ | KEY_WOW64_32KEY, &key),
              ERROR_SUCCESS);
}

// A started program's end and exit code are seen; one that cannot be started is told.
TEST(StartedPrograms, ExitCodeAndFailedStart) {
    const std::string cmd = SystemDirectory() + "\\cmd.exe";
    StartedProgram program;
    ASSERT_TRUE(StartProgram(cmd, "/c exit 3", program));
    DWORD code = 0;
    EXPECT_EQ(WaitForProgram(program, 60000, &code), ProgramEnd::Exited);
    EXPECT_EQ(code, 3u);

    StartedProgram missing;
    DWORD error = 0;
    EXPECT_FALSE(StartProgram(SystemDirectory() + "\\no-such-program.exe", "", missing,
                            &error));
    EXPECT_NE(error, 0u);
    EXPECT_EQ(WaitForProgram(missing, 0, &code), ProgramEnd::NotWaitable);
}

// A warning without a box counts for the exit code as a box warning does.
TEST(StartedPrograms, NoteWarningMakesTheUnattendedExitCode5) {
    RecordingUi inner;
    LoggedUi ui(inner, true);
    EXPECT_TRUE(ui.Unattended());
    ui.NoteWarning("regsvr32.exe capicom.dll /s falhou");
    EXPECT_EQ(ExitCodeOf(RunEnd::Installed, ui.Warnings()), kExitWarnings);
    EXPECT_FALSE(LoggedUi(inner).Unattended());
}

}  // namespace
