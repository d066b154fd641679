// Folders checked and held: every folder of the path the real one it names, a link anywhere on
// it refused (Windows' own compatibility junctions aside, given here through the check's seam),
// missing ones made as asked; and the handle operations that never write through a name
// someone else chose. Links are Unix symbolic links on Wine (tests/common/FolderLinks.h).
#include <gtest/gtest.h>

#include <windows.h>

#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "../common/FolderLinks.h"

namespace {

std::string Temp(const char* name) {
    std::string folder = MakeTempFolder(name);
    folder.pop_back();
    return folder;
}

TEST(HeldFolder, MissingFoldersRefusedOrMadeFromTheTop) {
    const std::string root = Temp("held-missing");
    HeldFolder folder;
    EXPECT_FALSE(folder.Hold(root + "\\a\\b"));
    EXPECT_EQ(folder.Problem(), "A pasta \"" + root + "\\a\" n\xE3o existe");
    EXPECT_FALSE(folder.IsHeld());
    EXPECT_FALSE(DirectoryExists(root + "\\a"));

    ASSERT_TRUE(folder.Hold(root + "\\a\\\\b\\", MissingFolders::Create)) << folder.Problem();
    EXPECT_TRUE(folder.IsHeld());
    EXPECT_EQ(folder.Path(), root + "\\a\\\\b");
    EXPECT_EQ(folder.Inside("x.txt"), root + "\\a\\\\b\\x.txt");
    EXPECT_EQ(folder.Created(), (std::vector<std::string>{root + "\\a", root + "\\a\\b"}));
    EXPECT_TRUE(DirectoryExists(root + "\\a\\b"));

    // Held again: nothing to make.
    HeldFolder again;
    ASSERT_TRUE(again.Hold(root + "\\a\\b", MissingFolders::Create)) << again.Problem();
    EXPECT_TRUE(again.Created().empty());
}

TEST(HeldFolder, WhatIsNoFolderOrNoFullPath) {
    const std::string root = Temp("held-odd");
    WriteTextFile(root + "\\file", "a file where a folder should be");
    struct Case {
        std::string path;
        std::string problem;
    } cases[] = {
        {root + "\\file\\sub", "\"" + root + "\\file\" \xE9 um arquivo, n\xE3o uma pasta"},
        {"Kestrel\\sub", "\"Kestrel\\sub\" n\xE3o \xE9 um caminho completo"},
        {"", "\"\" n\xE3o \xE9 um caminho completo"},
        {"\\\\?\\C:\\x", "\"\\\\?\\C:\\x\" n\xE3o \xE9 um caminho completo"},
    };
    for (const Case& c : cases) {
        HeldFolder folder;
        EXPECT_FALSE(folder.Hold(c.path, MissingFolders::Create)) << c.path;
        EXPECT_EQ(folder.Problem(), c.problem);
    }
    EXPECT_FALSE(DirectoryExists(root + "\\file\\sub"));
    // A drive's root is held as it is.
    for (const char* path : {"C:", "C:\\"}) {
        HeldFolder folder;
        EXPECT_TRUE(folder.Hold(path)) << path << ": " << folder.Problem();
    }
}

// A link anywhere on the path, planted before the run (C:\Kestrel turned into a link, a profile's
// "Internet Explorer" folder): refused, naming the folder and where it leads, whatever may be
// created; nothing is made through it.
TEST(HeldFolder, ALinkOnThePathIsRefused) {
    const std::string root = Temp("held-link");
    ASSERT_TRUE(CreateDirectoryA((root + "\\elsewhere").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((root + "\\real").c_str(), nullptr));
    ASSERT_TRUE(links::MakeFolderLink(root + "\\real\\link", root + "\\elsewhere"));
    for (MissingFolders missing : {MissingFolders::Refuse, MissingFolders::Create,
                                   MissingFolders::CreateProtected}) {
        for (const std::string& path : {root + "\\real\\link", root + "\\real\\link\\below"}) {
            HeldFolder folder;
            EXPECT_FALSE(folder.Hold(path, missing)) << path;
            EXPECT_EQ(folder.Problem().find("A pasta \"" + root + "\\real\\link\" \xE9 um link"), 0u)
                << folder.Problem();
            EXPECT_NE(folder.Problem().find("elsewhere\""), std::string::npos) << folder.Problem();
        }
    }
    EXPECT_FALSE(DirectoryExists(root + "\\elsewhere\\below"));
    // The folder above it is fine.
    HeldFolder above;
    EXPECT_TRUE(above.Hold(root + "\\real")) << above.Problem();
}

// Windows' own compatibility junction (C:\Documents and Settings; on a Portuguese Windows
// C:\Arquivos de Programas): the check of platform/Folders.h decides by the junction's owner, its
// access list and its target, which Wine does not keep; given here through the seam. The path
// then goes on in the folder the junction leads to.
TEST(HeldFolder, WindowsOwnJunctionsAreFollowed) {
    const std::string root = Temp("held-junction");
    ASSERT_TRUE(CreateDirectoryA((root + "\\Program Files").c_str(), nullptr));
    ASSERT_TRUE(links::MakeFolderLink(root + "\\Arquivos de Programas", root + "\\Program Files"));
    static std::string accepted;
    accepted.clear();
    SetSystemJunctionCheck([](HANDLE, const std::string& path, const std::string& target) {
        accepted = path + " -> " + target;
        return true;
    });
    HeldFolder folder;
    const bool held = folder.Hold(root + "\\Arquivos de Programas\\Arquivos Comuns",
                                  MissingFolders::Create);
    SetSystemJunctionCheck(nullptr);
    ASSERT_TRUE(held) << folder.Problem();
    EXPECT_TRUE(DirectoryExists(root + "\\Program Files\\Arquivos Comuns"));
    EXPECT_EQ(accepted.substr(0, accepted.find(" -> ")), root + "\\Arquivos de Programas");
    EXPECT_NE(accepted.find("Program Files"), std::string::npos) << accepted;

    // Without the seam the same link is one that nobody but its planter vouches for.
    HeldFolder refused;
    EXPECT_FALSE(refused.Hold(root + "\\Arquivos de Programas\\Arquivos Comuns"));
}

// While held, a folder of the path can be neither renamed nor deleted. Wine difference: Wine does
// not apply the sharing rules to renaming or deleting a folder that is open, so there the folder
// can be moved away; only Windows shows the hold.
TEST(HeldFolder, HeldFoldersCannotBeMovedAway) {
    const std::string root = Temp("held-hold");
    HeldFolder folder;
    ASSERT_TRUE(folder.Hold(root + "\\a\\b", MissingFolders::Create)) << folder.Problem();
    if (links::IsWine()) GTEST_SKIP() << "Wine lets an open folder be renamed";
    EXPECT_FALSE(MoveFileA((root + "\\a").c_str(), (root + "\\moved").c_str()));
    EXPECT_FALSE(MoveFileA((root + "\\a\\b").c_str(), (root + "\\a\\moved").c_str()));
    folder.Release();
    EXPECT_TRUE(MoveFileA((root + "\\a").c_str(), (root + "\\moved").c_str()));
}

// The copy of the program file into a folder users control writes only through its own handles:
// a read-only old copy that is a hard link to another file is replaced by name, and the other
// file keeps its bytes and its attribute.
TEST(SafeFileOperations, CopyOverAReadOnlyHardLinkLeavesTheOtherFile) {
    const std::string root = Temp("copy-link");
    const std::string other = root + "\\system.dll", to = root + "\\Kestrel.exe";
    const std::string from = root + "\\server.exe";
    WriteTextFile(other, "someone else's file");
    WriteTextFile(from, "the application");
    ASSERT_TRUE(SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateHardLinkA(to.c_str(), other.c_str(), nullptr));

    ASSERT_TRUE(CopyFileReplacing(from, to)) << GetLastError();
    EXPECT_EQ(ReadWholeFile(to), "the application");
    EXPECT_EQ(ReadWholeFile(other), "someone else's file");
    EXPECT_TRUE(GetFileAttributesA(other.c_str()) & FILE_ATTRIBUTE_READONLY);
    // The old name went aside and stays there (it is another file's second name).
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((root + "\\~kst*.old").c_str(), &data);
    EXPECT_NE(find, INVALID_HANDLE_VALUE);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);

    // A plain read-only old copy is replaced and leaves nothing behind.
    const std::string plain = root + "\\plain\\Kestrel.exe";
    ASSERT_TRUE(CreateDirectoryA((root + "\\plain").c_str(), nullptr));
    WriteTextFile(plain, "old copy");
    ASSERT_TRUE(SetFileAttributesA(plain.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CopyFileReplacing(from, plain)) << GetLastError();
    EXPECT_EQ(ReadWholeFile(plain), "the application");
    find = FindFirstFileA((root + "\\plain\\~kst*").c_str(), &data);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << data.cFileName;
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    // A source that is not there: false, the old copy as it was.
    EXPECT_FALSE(CopyFileReplacing(root + "\\missing.exe", plain));
    EXPECT_EQ(ReadWholeFile(plain), "the application");
}

TEST(SafeFileOperations, DeleteByHandleTakesOnlyTheName) {
    const std::string root = Temp("delete-handle");
    const std::string target = root + "\\target.dll";
    WriteTextFile(target, "keep me");

    // A read-only file of its own: its attribute cleared through the handle, then deleted.
    const std::string alone = root + "\\alone.exe";
    WriteTextFile(alone, "x");
    ASSERT_TRUE(SetFileAttributesA(alone.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(DeleteFileByHandle(alone));
    EXPECT_EQ(GetFileAttributesA(alone.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(DeleteFileByHandle(alone));  // gone already

    // A hard link to another file: the name goes, the file stays.
    const std::string hard = root + "\\hard.exe";
    ASSERT_TRUE(CreateHardLinkA(hard.c_str(), target.c_str(), nullptr));
    EXPECT_TRUE(DeleteFileByHandle(hard));
    EXPECT_EQ(ReadWholeFile(target), "keep me");
    // ...but one that is read-only keeps the other file's attribute: left, not deleted.
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CreateHardLinkA(hard.c_str(), target.c_str(), nullptr));
    EXPECT_FALSE(DeleteFileByHandle(hard));
    EXPECT_TRUE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ReadWholeFile(hard), "keep me");

    // A link to a folder: the link goes, never what it leads to. Wine difference: a handle
    // opened on a Unix symbolic link is the folder it leads to (FILE_FLAG_OPEN_REPARSE_POINT does
    // not apply), so there it is taken for that folder and left.
    ASSERT_TRUE(CreateDirectoryA((root + "\\folder").c_str(), nullptr));
    WriteTextFile(root + "\\folder\\inside.txt", "inside");
    ASSERT_TRUE(links::MakeFolderLink(root + "\\link", root + "\\folder"));
    EXPECT_EQ(DeleteFileByHandle(root + "\\link"), !links::IsWine());
    EXPECT_EQ(GetFileAttributesA((root + "\\link").c_str()) == INVALID_FILE_ATTRIBUTES,
              !links::IsWine());
    EXPECT_EQ(ReadWholeFile(root + "\\folder\\inside.txt"), "inside");
    // A real folder is no file.
    EXPECT_FALSE(DeleteFileByHandle(root + "\\folder"));
    EXPECT_TRUE(DirectoryExists(root + "\\folder"));
}

}  // namespace
