// The uninstaller's writing: the bytes of the image's own resource, into the protected folder
// below the program-files folder, recorded; an old one in use; a missing resource.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "core/InstallRecord.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Shell.h"
#include "tasks/Uninstaller.h"

namespace {

std::vector<std::string> Matching(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return out;
    do out.push_back(folder + data.cFileName); while (FindNextFileA(find, &data));
    FindClose(find);
    return out;
}

class Uninstaller : public ::testing::Test {
protected:
    void SetUp() override {
        root = MakeTempFolder("uninstaller");
        context.SystemDrive = "C:";
        folder = ProgramFilesFolder("C:") + "\\Tavrin\\Kestrel\\Desinstalar\\";
        path = folder + "DesinstalarKestrel.exe";
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }
    void MakeModule(const std::set<int>& missing = {}) {
        module = MakeTestPayloadModule(root + "image.dll", missing);
        ASSERT_NE(module, nullptr);
    }

    std::string root, folder, path;
    InstallContext context;
    HMODULE module = nullptr;
};

// The first run makes the folders and records them; a later one finds them, removes what a
// killed run left there (its own pattern only) and writes the file again. The file is the
// resource's bytes, recorded as a program, and nothing waits for a restart.
TEST_F(Uninstaller, WrittenFromTheImagesResourceAndRecorded) {
    const std::string programFiles = ProgramFilesFolder("C:");
    ASSERT_FALSE(DirectoryExists(programFiles + "\\Tavrin"));
    MakeModule();
    FileFlushList written;
    EXPECT_EQ(CreateUninstaller(context, written, module), path);
    EXPECT_EQ(ReadWholeFile(path), TestPayloadBlob(KESTREL_UNINSTALLER_RESOURCE));
    EXPECT_EQ(RecordedItems(Recorded::Program), std::vector<std::string>{path});
    std::vector<std::string> folders = RecordedItems(Recorded::Folders);
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{programFiles + "\\Tavrin",
                                                 programFiles + "\\Tavrin\\Kestrel",
                                                 programFiles + "\\Tavrin\\Kestrel\\Desinstalar"}));

    WriteTextFile(folder + "~kst0A1B2C3D.tmp", "left by a killed run");
    WriteTextFile(folder + "~kst0A1B2C3D.old", "not ours");
    WriteTextFile(path, "an older uninstaller");
    const std::string log = root + "k.log";
    ASSERT_TRUE(OpenLog(log));
    EXPECT_EQ(CreateUninstaller(context, written, module), path);
    CloseLog();
    EXPECT_EQ(ReadWholeFile(path), TestPayloadBlob(KESTREL_UNINSTALLER_RESOURCE));
    EXPECT_FALSE(FileExists(folder + "~kst0A1B2C3D.tmp"));
    EXPECT_EQ(ReadWholeFile(folder + "~kst0A1B2C3D.old"), "not ours");
    EXPECT_TRUE(context.FilesAwaitingRestart.empty());
    EXPECT_EQ(RecordedItems(Recorded::Program), std::vector<std::string>{path});
    const std::string text = ReadWholeFile(log);
    EXPECT_NE(text.find("Desinstalador gravado: " + path + " (" +
                        std::to_string(TestPayloadBlob(KESTREL_UNINSTALLER_RESOURCE).size()) +
                        " bytes)"),
              std::string::npos) << text;
    EXPECT_TRUE(written.Flush());
}

// An image without the resource: the same error as a missing payload row, before any folder is
// made or anything recorded.
TEST_F(Uninstaller, AMissingResourceRaisesBeforeAnythingIsMade) {
    MakeModule({KESTREL_UNINSTALLER_RESOURCE});
    FileFlushList written;
    try {
        CreateUninstaller(context, written, module);
        FAIL() << "no error";
    } catch (const EResNotFound& e) {
        EXPECT_STREQ(e.what(), ("Resource " + std::to_string(KESTREL_UNINSTALLER_RESOURCE) +
                                " not found").c_str());
    }
    EXPECT_FALSE(DirectoryExists(ProgramFilesFolder("C:") + "\\Tavrin"));
    EXPECT_TRUE(RecordedItems(Recorded::Program).empty());
    EXPECT_TRUE(RecordedItems(Recorded::Folders).empty());
}

// An old uninstaller still running (here: its file loaded as an image) is renamed aside, deleted
// at the restart; the new one is in place, and the run lists it as waiting for the restart.
TEST_F(Uninstaller, AnOldOneRunningIsRenamedAsideAndWaitsForTheRestart) {
    ForceDirectories(folder);
    ASSERT_TRUE(CopyFileA((BuildFolder() + "markers\\marker-msxml5.dll").c_str(), path.c_str(),
                          FALSE));
    const std::string old = ReadWholeFile(path);
    HMODULE running = LoadLibraryA(path.c_str());
    ASSERT_NE(running, nullptr) << GetLastError();
    MakeModule();

    FileFlushList written;
    EXPECT_EQ(CreateUninstaller(context, written, module), path);
    EXPECT_EQ(context.FilesAwaitingRestart, std::vector<std::string>{path});
    EXPECT_EQ(ReadWholeFile(path), TestPayloadBlob(KESTREL_UNINSTALLER_RESOURCE));
    const std::vector<std::string> aside = Matching(folder, "~kst*.old");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadWholeFile(aside[0]), old);
    FreeLibrary(running);
}

}  // namespace
