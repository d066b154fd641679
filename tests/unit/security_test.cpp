// The protection of the engine's and the drivers' folders: the access list they are created with
// (read entry by entry from the descriptor the run hands to CreateDirectoryA), the folders that
// get it (exactly the missing ones), and the owner rule for the folders that exist. Debian's Wine
// keeps neither access lists nor owners of files (every file belongs to the user running Wine),
// so the owners of other users are given through the folder calls of platform/Security.h.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <map>

#include "TestSupport.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Log.h"
#include "platform/Security.h"

namespace {

SidBytes Sid(const char* text) {
    PSID sid = nullptr;
    EXPECT_TRUE(ConvertStringSidToSidA(text, &sid)) << text;
    if (!sid) return SidBytes();
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    SidBytes out(bytes, bytes + GetLengthSid(sid));
    LocalFree(sid);
    return out;
}

std::string SidString(PSID sid) {
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return "(bad sid)";
    std::string out = text;
    LocalFree(text);
    return out;
}

struct Entry {
    BYTE type, flags;
    DWORD mask;
    std::string sid;
    bool operator==(const Entry& o) const {
        return type == o.type && flags == o.flags && mask == o.mask && sid == o.sid;
    }
};
std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << "{type " << int(e.type) << ", flags 0x" << std::hex << int(e.flags) << ", mask 0x"
               << e.mask << std::dec << ", " << e.sid << "}";
}

// The access list of a descriptor, entry by entry; protected tells SE_DACL_PROTECTED.
std::vector<Entry> Entries(PSECURITY_DESCRIPTOR descriptor, bool* isProtected) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    EXPECT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
    *isProtected = (control & SE_DACL_PROTECTED) != 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    EXPECT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
    std::vector<Entry> out;
    if (!present || !acl) return out;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(acl, i, &ace)) break;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        out.push_back({allowed->Header.AceType, allowed->Header.AceFlags, allowed->Mask,
                       SidString(&allowed->SidStart)});
    }
    return out;
}

const BYTE kOiCi = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
const std::vector<Entry> kProgramFilesEntries = {
    {ACCESS_ALLOWED_ACE_TYPE, kOiCi, FILE_ALL_ACCESS, "S-1-5-18"},
    {ACCESS_ALLOWED_ACE_TYPE, kOiCi, FILE_ALL_ACCESS, "S-1-5-32-544"},
    {ACCESS_ALLOWED_ACE_TYPE, kOiCi, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, "S-1-5-32-545"},
};

TEST(ProgramFilesProtection, FullControlForSystemAndAdministratorsReadAndExecuteForUsers) {
    ProgramFilesProtection protection;
    SECURITY_ATTRIBUTES* attributes = protection.Attributes();
    EXPECT_EQ(attributes->nLength, sizeof(SECURITY_ATTRIBUTES));
    EXPECT_FALSE(attributes->bInheritHandle);
    ASSERT_EQ(attributes->lpSecurityDescriptor, protection.Descriptor());
    EXPECT_TRUE(IsValidSecurityDescriptor(protection.Descriptor()));
    bool isProtected = false;
    EXPECT_EQ(Entries(protection.Descriptor(), &isProtected), kProgramFilesEntries);
    EXPECT_TRUE(isProtected) << "the entries of the drive root would be inherited";
    // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE is Explorer's "Read & execute", 0x1200A9.
    EXPECT_EQ(kProgramFilesEntries[2].mask, 0x1200A9u);
}

TEST(ProgramFilesProtection, WellKnownSids) {
    EXPECT_EQ(SystemSid(), Sid("S-1-5-18"));
    EXPECT_EQ(AdministratorsSid(), Sid("S-1-5-32-544"));
    EXPECT_EQ(UsersSid(), Sid("S-1-5-32-545"));
    EXPECT_EQ(TrustedInstallerSid(),
              Sid("S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"));
    EXPECT_FALSE(RunnerSid().empty());
    EXPECT_EQ(AccountName(Sid("S-1-5-21-1-2-3-4321")), "S-1-5-21-1-2-3-4321");
}

TEST(OwnerRule, OnlyTheSystemTheAdministratorsAndTheRunner) {
    const SidBytes runner = Sid("S-1-5-21-1-2-3-1000");
    struct Case { const char* owner; bool accepted; };
    const Case cases[] = {
        {"S-1-5-18", true},                                                          // SYSTEM
        {"S-1-5-32-544", true},                                                      // Administrators
        {"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true},    // TrustedInstaller
        {"S-1-5-21-1-2-3-1000", true},                                               // the runner
        {"S-1-5-21-1-2-3-1001", false},                                              // another user
        {"S-1-5-21-9-9-9-1000", false},               // the same number in another domain
        {"S-1-5-32-545", false},                                                     // Users
        {"S-1-5-11", false},                                                         // Authenticated Users
        {"S-1-1-0", false},                                                          // Everyone
        {"S-1-5-80-1-2-3-4-5", false},                                               // another service
    };
    for (const Case& c : cases) EXPECT_EQ(MayOwnProtectedFolder(Sid(c.owner), runner), c.accepted) << c.owner;
    EXPECT_FALSE(MayOwnProtectedFolder(SidBytes(), SidBytes()));
}

// Records the calls; the folders are made for real (without the descriptor, which Wine would
// not keep anyway), and the owners are the ones a test gives, else the runner.
struct Recorder {
    std::vector<std::string> calls;                    // "create:<path>", "owner:<path>"
    std::map<std::string, std::vector<Entry>> created;  // the entries each folder was made with
    std::map<std::string, SidBytes> owners;
    std::map<std::string, DWORD> ownerErrors;
    std::string madeMeanwhile;  // a folder "someone else" makes right before the run tries to
} gRecorder;

BOOL WINAPI RecordCreate(LPCSTR path, LPSECURITY_ATTRIBUTES attributes) {
    gRecorder.calls.push_back(std::string("create:") + path);
    if (path == gRecorder.madeMeanwhile) {
        CreateDirectoryA(path, nullptr);
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    bool isProtected = false;
    std::vector<Entry> entries;
    if (attributes && attributes->lpSecurityDescriptor)
        entries = Entries(attributes->lpSecurityDescriptor, &isProtected);
    if (!isProtected) entries.push_back({0, 0, 0, "(not protected)"});
    gRecorder.created[path] = entries;
    return CreateDirectoryA(path, nullptr);
}

DWORD RecordOwner(const std::string& path, SidBytes& owner) {
    gRecorder.calls.push_back("owner:" + path);
    if (gRecorder.ownerErrors.count(path)) return gRecorder.ownerErrors[path];
    owner = gRecorder.owners.count(path) ? gRecorder.owners[path] : RunnerSid();
    return ERROR_SUCCESS;
}

const FolderCalls kRecording = {RecordCreate, RecordOwner};

// A folder of the engine made (or checked) as the run makes it; "" when held, else the problem.
std::string Protect(const std::string& path) {
    HeldFolder folder;
    return folder.Hold(path, MissingFolders::CreateProtected) ? std::string() : folder.Problem();
}

class ProtectedFolders : public ::testing::Test {
protected:
    void SetUp() override {
        gRecorder = Recorder();
        root = MakeTempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        root.pop_back();
        SetFolderCalls(&kRecording);
    }
    void TearDown() override { SetFolderCalls(nullptr); }
    std::string root;
};

TEST_F(ProtectedFolders, OnlyTheMissingFoldersAreCreatedProtectedFromTheTopDown) {
    ASSERT_TRUE(CreateDirectoryA((root + "\\Arquivos de Programas").c_str(), nullptr));
    const std::string bde = root + "\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE";
    const std::string log = root + "\\k.log";
    ASSERT_TRUE(OpenLog(log));
    EXPECT_EQ(Protect(bde + "\\"), "");
    CloseLog();

    EXPECT_TRUE(DirectoryExists(bde));
    const std::string base = root + "\\Arquivos de Programas";
    std::vector<std::string> want;
    // The folders above that exist have their owners looked at, the drive's root excepted.
    for (std::string at = ExtractFilePath(root); at.size() > 3; at = ExtractFilePath(at.substr(0, at.size() - 1)))
        want.insert(want.begin(), "owner:" + at.substr(0, at.size() - 1));
    want.insert(want.end(), {"owner:" + root, "owner:" + base, "create:" + base + "\\Arquivos Comuns",
                             "create:" + base + "\\Arquivos Comuns\\Borland Shared",
                             "create:" + bde});
    EXPECT_EQ(gRecorder.calls, want);
    ASSERT_EQ(gRecorder.created.size(), 3u);
    for (const auto& [path, entries] : gRecorder.created) EXPECT_EQ(entries, kProgramFilesEntries) << path;
    const std::string text = ReadWholeFile(log);
    EXPECT_NE(text.find("Pasta criada, protegida como Arquivos de Programas: " + bde + "\r\n"),
              std::string::npos) << text;

    // A second run creates nothing and only looks at the owners.
    gRecorder = Recorder();
    EXPECT_EQ(Protect(bde), "");
    EXPECT_TRUE(gRecorder.created.empty());
    EXPECT_EQ(gRecorder.calls.back(), "owner:" + bde);
}

// A folder of an ordinary other user on the path (made before the first run, or a link in its
// place): the run stops naming it and its owner, and creates nothing below it.
TEST_F(ProtectedFolders, AFolderOfAnotherUserStopsTheRun) {
    const std::string base = root + "\\Arquivos de Programas";
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
    gRecorder.owners[base] = Sid("S-1-5-21-1-2-3-1001");
    EXPECT_EQ(Protect(base + "\\PostgreSQL\\psqlODBC"),
              "A pasta \"" + base + "\" pertence ao usu\xE1rio S-1-5-21-1-2-3-1001, e n\xE3o ao "
              "sistema ou aos administradores: qualquer usu\xE1rio pode t\xEA-la criado antes "
              "da instala\xE7\xE3o, e o instalador n\xE3o grava nela. Remova a pasta (ou passe-a "
              "aos administradores) e execute o instalador de novo");
    EXPECT_TRUE(gRecorder.created.empty());
    EXPECT_FALSE(DirectoryExists(base + "\\PostgreSQL"));
}

TEST_F(ProtectedFolders, OwnersThatCannotBeReadAndFoldersMadeMeanwhile) {
    const std::string base = root + "\\Arquivos de Programas";
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
    // No access control on the volume (FAT): nothing to protect, the run goes on.
    gRecorder.ownerErrors[base] = ERROR_NOT_SUPPORTED;
    EXPECT_EQ(Protect(base + "\\A"), "");
    EXPECT_TRUE(DirectoryExists(base + "\\A"));
    // An owner hidden from the installer may be anyone's.
    gRecorder.ownerErrors[base] = ERROR_ACCESS_DENIED;
    EXPECT_NE(Protect(base + "\\B").find("N\xE3o foi poss\xEDvel ler o propriet\xE1rio da pasta"),
              std::string::npos);
    EXPECT_FALSE(DirectoryExists(base + "\\B"));
    // Made by another user between the look and the creation: its owner decides.
    gRecorder.ownerErrors.clear();
    gRecorder.madeMeanwhile = base + "\\C";
    gRecorder.owners[base + "\\C"] = Sid("S-1-5-21-1-2-3-1001");
    EXPECT_NE(Protect(base + "\\C\\D").find("pertence ao usu\xE1rio S-1-5-21-1-2-3-1001"),
              std::string::npos);
    EXPECT_FALSE(DirectoryExists(base + "\\C\\D"));
}

// With the system's calls on Wine: the folders are made, and the owner Wine reports for every
// file (the user running Wine, who runs the installer too) is accepted.
TEST(ProtectedFoldersOnThisSystem, CreatedAndTheirOwnerAccepted) {
    std::string root = MakeTempFolder("protected-system");
    const std::string path = root + "Arquivos de Programas\\Arquivos Comuns";
    EXPECT_EQ(Protect(path), "");
    EXPECT_TRUE(DirectoryExists(path));
    SidBytes owner;
    ASSERT_EQ(SystemFolderCalls().ReadOwner(path, owner), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(MayOwnProtectedFolder(owner, RunnerSid())) << AccountName(owner);
}

}  // namespace
