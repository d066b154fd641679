// The payload catalogue, the resources the build embeds, and the writing of the payload rows
// into real folders of a throwaway Wine prefix. The writing tests use a small module made here
// with UpdateResource, so that blobs can be short or missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "TestSupport.h"
#include "core/InstallContext.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "tasks/Payload.h"
#include "tasks/PayloadTable.h"

namespace {

const WORD kPortugueseBrazil = MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN);

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    FindHandle find;
    for (bool ok = find.First(folder + "*", data); ok; ok = find.Next(data))
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    return names;
}

TEST(PayloadTable, MatchesTheCatalogue) {
    unsigned long long bytes[3] = {0, 0, 0};
    std::vector<int> kept;
    for (size_t i = 0; i < PayloadTable.size(); ++i) {
        const PayloadEntry& e = PayloadTable[i];
        EXPECT_EQ(e.Row, static_cast<int>(i) + 1);
        PayloadBase want = e.Row <= 57 ? PayloadBase::BdeDir
                         : e.Row <= 72 ? PayloadBase::OdbcDir : PayloadBase::SystemDir;
        EXPECT_EQ(e.Base, want) << "row " << e.Row;
        EXPECT_EQ(e.FileName[0], '\\') << "row " << e.Row;
        bytes[static_cast<int>(e.Base)] += e.Bytes;
        if (e.KeepIfPresent) kept.push_back(e.Row);
    }
    EXPECT_EQ(kept, (std::vector<int>{21, 74}));
    EXPECT_EQ(bytes[0], 17098723u);
    EXPECT_EQ(bytes[1], 4918904u);
    EXPECT_EQ(bytes[2], 10488625u);
    EXPECT_EQ(bytes[0] + bytes[1] + bytes[2], 32506252u);

    const std::map<int, std::string> spelling = {
        {1, "\\BDEADMIN.HLP"},  {8, "\\SQLLNK32.TOC"},    {10, "\\bdeadmin.cnt"},
        {21, "\\idapi32.cfg"},  {57, "\\usa.btl"},        {58, "\\comerr32.dll"},
        {63, "\\libiconv-2.dll"}, {70, "\\psqlodbc30a.dll"}, {71, "\\psqlodbc35w.dll"},
        {74, "\\qtintf70.dll"}, {75, "\\DllInscE32.dll"}, {78, "\\BemaMFD.dll"},
        {79, "\\BemaFI32.ini"}, {80, "\\msxml5.dll"},     {81, "\\capicom.dll"},
        {82, "\\msxml5r.dll"}};
    for (const auto& [row, name] : spelling) EXPECT_EQ(PayloadTable[row - 1].FileName, name);
}

// The executable the build made carries files 1 to 82 of the sample payload, in Portuguese
// (Brazil), each of its catalogue size.
TEST(PayloadResources, TheExecutableCarriesTheSamplePayload) {
    std::string folder = BuildFolder();
    HMODULE exe = LoadLibraryExA((folder + "InstaladorHalden.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr) << GetLastError();
    for (const PayloadEntry& e : PayloadTable) {
        HRSRC info = FindResourceExA(exe, RT_RCDATA, MAKEINTRESOURCEA(e.Row), kPortugueseBrazil);
        ASSERT_NE(info, nullptr) << "row " << e.Row;
        DWORD size = SizeofResource(exe, info);
        EXPECT_EQ(size, e.Bytes) << "row " << e.Row;
        const char* data = static_cast<const char*>(LockResource(LoadResource(exe, info)));
        std::string file = ReadWholeFile(folder + "payload-sample\\" + std::to_string(e.Row));
        EXPECT_TRUE(file == std::string(data, size)) << "row " << e.Row << " differs from its file";
    }
    EXPECT_EQ(FindResourceA(exe, MAKEINTRESOURCEA(83), RT_RCDATA), nullptr);
    FreeLibrary(exe);
}

// Rows 80 and 81 are DLLs whose registration leaves the path they were registered from.
TEST(PayloadResources, MarkerDllsRecordTheirRegistration) {
    std::string temp = MakeTempFolder("markers");
    for (int row : {80, 81}) {
        std::string name = PayloadTable[row - 1].FileName + 1;
        std::string path = temp + name;
        ASSERT_TRUE(CopyFileA((BuildFolder() + "payload-sample\\" + std::to_string(row)).c_str(),
                              path.c_str(), FALSE));
        HMODULE dll = LoadLibraryA(path.c_str());
        ASSERT_NE(dll, nullptr) << name << " " << GetLastError();
        auto reg = reinterpret_cast<HRESULT(WINAPI*)()>(
            reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
        ASSERT_NE(reg, nullptr) << name;
        EXPECT_EQ(reg(), S_OK) << name;
        FreeLibrary(dll);

        char value[MAX_PATH] = "";
        DWORD size = sizeof value;
        EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrel\\SamplePayload", name.c_str(),
                               RRF_RT_REG_SZ, nullptr, value, &size), ERROR_SUCCESS) << name;
        EXPECT_STRCASEEQ(value, path.c_str());
    }
}

TEST(BuildPayloadDestinations, JoinsTheBasesAsTheyAre) {
    struct Case {
        std::string bde;
        std::map<int, std::string> want;
    };
    const std::string sys = "C:\\windows\\system32";
    const std::string odbc = "C:\\Arquivos de programas\\PostgreSQL\\psqlODBC\\0804\\bin";
    const Case cases[] = {
        {"C:\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE",
         {{1, "C:\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE\\BDEADMIN.HLP"},
          {58, odbc + "\\comerr32.dll"}, {72, odbc + "\\ssleay32.dll"},
          {73, sys + "\\midas.dll"}, {82, sys + "\\msxml5r.dll"}}},
        {"D:\\BDE", {{22, "D:\\BDE\\idapi32.dll"}, {57, "D:\\BDE\\usa.btl"},
                     {58, odbc + "\\comerr32.dll"}, {75, sys + "\\DllInscE32.dll"}}},
        {"D:\\BDE\\", {{21, "D:\\BDE\\\\idapi32.cfg"}, {1, "D:\\BDE\\\\BDEADMIN.HLP"}}},
    };
    for (const Case& c : cases) {
        InstallContext context;
        context.SystemDir = sys;
        context.OdbcDir = odbc;
        context.BdeDir = c.bde;
        BuildPayloadDestinations(context);
        for (const auto& [row, path] : c.want)
            EXPECT_EQ(context.Destinations[row - 1], path) << "BdeDir " << c.bde << ", row " << row;
    }
}

// The rows written from a test payload module (TestSupport.h), whose blobs are short texts.
class PayloadFixture : public ::testing::Test {
protected:
    std::string root;
    InstallContext context;
    RecordingUi ui;
    HMODULE module = nullptr;
    int made = 0;

    void SetUp() override {
        root = MakeTempFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        for (const char* dir : {"bde", "odbc", "sys"}) CreateDirectoryA((root + dir).c_str(), nullptr);
        context.BdeDir = root + "bde";
        context.OdbcDir = root + "odbc";
        context.SystemDir = root + "sys";
        BuildPayloadDestinations(context);
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }

    void MakeModule(std::set<int> missing = {}) {
        if (module) FreeLibrary(module);
        module = MakeTestPayloadModule(root + "blobs" + std::to_string(++made) + ".dll", missing);
        ASSERT_NE(module, nullptr);
    }

    std::string Dest(int row) const { return context.Destinations[row - 1]; }

    // Every file in the three folders that is not a destination of rows 1..last.
    std::vector<std::string> Strays(int last) const {
        std::set<std::string> expected;
        for (int row = 1; row <= last; ++row) expected.insert(PayloadTable[row - 1].FileName + 1);
        std::vector<std::string> strays;
        for (const char* dir : {"bde\\", "odbc\\", "sys\\"})
            for (const std::string& name : FilesIn(root + dir))
                if (!expected.count(name)) strays.push_back(dir + name);
        return strays;
    }
};

TEST_F(PayloadFixture, WritesEveryRowInOrderAndKeepsAPresentKeepIfPresentFile) {
    WriteTextFile(Dest(21), "[user's own configuration]");      // kept; its blob is missing too
    WriteTextFile(Dest(2), std::string(5000, 'x'));             // replaced by a shorter one
    MakeModule({21});

    ExtractPayload(context, ui, module);

    std::vector<std::string> expected;
    for (int row = 1; row <= kPayloadRows; ++row) {
        if (row != 21) expected.push_back("status:Instalando " + Dest(row));
        expected.push_back("process");
    }
    EXPECT_EQ(ui.events, expected);
    for (int row = 1; row <= kPayloadRows; ++row) {
        std::string want = row == 21 ? "[user's own configuration]" : TestPayloadBlob(row);
        EXPECT_EQ(ReadWholeFile(Dest(row)), want) << "row " << row;
    }
    EXPECT_EQ(Strays(kPayloadRows), std::vector<std::string>{});
}

// A killed run leaves its new files ("~kst" + 8 hex digits + ".tmp") beside the destinations:
// the next run deletes exactly those, in every folder it writes, and nothing of another pattern
// (the files that wait for a restart end in .old and .new).
TEST_F(PayloadFixture, LeftoversOfAKilledRunAreRemovedAndNothingElse) {
    const char* const removed[] = {"bde\\~kst0A1B2C3D.tmp", "odbc\\~kst00000000.tmp",
                                   "sys\\~kstFFFFFFFF.tmp"};
    const char* const kept[] = {"sys\\~kst0A1B2C3D.old", "sys\\~kst0A1B2C3D.new",
                                "sys\\~kst0a1b2c3d.tmp", "sys\\~kst1234.tmp",
                                "sys\\~kst0A1B2C3D4.tmp", "sys\\x~kst0A1B2C3D.tmp",
                                "sys\\~kst0A1B2C3G.tmp", "sys\\~kst0A1B2C3D.tmp.txt"};
    for (const char* name : removed) WriteTextFile(root + name, "left by a killed run");
    for (const char* name : kept) WriteTextFile(root + name, "not ours");
    ASSERT_TRUE(CreateDirectoryA((root + "bde\\~kst11111111.tmp").c_str(), nullptr));
    const std::string log = root + "k.log";
    ASSERT_TRUE(OpenLog(log));
    MakeModule();

    ExtractPayload(context, ui, module);
    CloseLog();

    for (const char* name : removed)
        EXPECT_EQ(GetFileAttributesA((root + name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    for (const char* name : kept) EXPECT_EQ(ReadWholeFile(root + name), "not ours") << name;
    EXPECT_TRUE(GetFileAttributesA((root + "bde\\~kst11111111.tmp").c_str()) &
                FILE_ATTRIBUTE_DIRECTORY);
    const std::string text = ReadWholeFile(log);
    for (const char* name : removed)
        EXPECT_NE(text.find("Arquivo tempor\xE1rio de uma execu\xE7\xE3o interrompida removido: " +
                            root + name), std::string::npos) << text;
}

TEST(PendingFileName, OnlyTheInstallersOwnPattern) {
    for (const char* name : {"~kst0A1B2C3D.tmp", "~kst00000000.tmp", "~kstABCDEF12.tmp"})
        EXPECT_TRUE(IsPendingFileName(name)) << name;
    for (const char* name : {"~kst0A1B2C3D.old", "~kst0A1B2C3D.new", "~kst0a1b2c3d.tmp",
                             "~KST0A1B2C3D.tmp", "~kst0A1B2C3.tmp", "~kst0A1B2C3D0.tmp",
                             "~kst0A1B2C3G.tmp", "~kst0A1B2C3D.TMP", "kst0A1B2C3D.tmp", ""})
        EXPECT_FALSE(IsPendingFileName(name)) << name;
}

TEST_F(PayloadFixture, AMissingBlobStopsBeforeItsRowIsAnnounced) {
    ui.status = "Registrando o sistema.";
    MakeModule({3, 21});
    try {
        ExtractPayload(context, ui, module);
        FAIL() << "no error";
    } catch (const EResNotFound& e) {
        EXPECT_EQ(e.message(), "Resource 3 not found");
    }
    EXPECT_EQ(ui.status, "Instalando " + Dest(2));
    EXPECT_EQ(ui.processCount, 2);
    EXPECT_EQ(GetFileAttributesA(Dest(3).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Strays(2), std::vector<std::string>{});

    // Row 21 without a file of its name needs its blob.
    RecordingUi second;
    MakeModule({21});
    try {
        ExtractPayload(context, second, module);
        FAIL() << "no error";
    } catch (const EResNotFound& e) {
        EXPECT_EQ(e.message(), "Resource 21 not found");
    }
}

// What CreateFileA(CREATE_ALWAYS) would refuse at a destination is refused with the create
// error naming it, and the old file (or folder) is left exactly as it was.
TEST_F(PayloadFixture, RefusedDestinationsRaiseTheCreateError) {
    struct Case {
        const char* what;
        int row;
        std::function<void(const std::string& dest)> prepare;
        DWORD code;
    };
    HANDLE held = INVALID_HANDLE_VALUE;
    // In the order of the rows, so that each case finds only earlier rows written.
    const Case cases[] = {
        {"folder", 1, [](const std::string& d) { CreateDirectoryA(d.c_str(), nullptr); },
         ERROR_ACCESS_DENIED},
        {"folder at a KeepIfPresent row", 21,
         [](const std::string& d) { CreateDirectoryA(d.c_str(), nullptr); }, ERROR_ACCESS_DENIED},
        {"hidden file", 58, [](const std::string& d) {
             WriteTextFile(d, "old");
             SetFileAttributesA(d.c_str(), FILE_ATTRIBUTE_HIDDEN);
         }, ERROR_ACCESS_DENIED},
        {"read-only file", 73, [](const std::string& d) {
             WriteTextFile(d, "old");
             SetFileAttributesA(d.c_str(), FILE_ATTRIBUTE_READONLY);
         }, ERROR_ACCESS_DENIED},
        {"system file", 80, [](const std::string& d) {
             WriteTextFile(d, "old");
             SetFileAttributesA(d.c_str(), FILE_ATTRIBUTE_SYSTEM);
         }, ERROR_ACCESS_DENIED},
        // In use and read-only: the attribute refuses it before its use is looked at.
        {"read-only file in use", 82, [&held](const std::string& d) {
             WriteTextFile(d, "old");
             held = CreateFileA(d.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
             SetFileAttributesA(d.c_str(), FILE_ATTRIBUTE_READONLY);
         }, ERROR_ACCESS_DENIED},
    };
    MakeModule();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string dest = Dest(c.row);
        c.prepare(dest);
        DWORD attributes = GetFileAttributesA(dest.c_str());
        bool isFile = !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        RecordingUi run;
        try {
            ExtractPayload(context, run, module);
            ADD_FAILURE() << "no error";
        } catch (const EFCreateError& e) {
            EXPECT_EQ(e.message(), "Cannot create file \"" + dest + "\". " + SysErrorMessage(c.code));
        }
        EXPECT_EQ(run.status, "Instalando " + dest);
        EXPECT_EQ(run.processCount, c.row - 1);
        EXPECT_EQ(GetFileAttributesA(dest.c_str()), attributes);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held), held = INVALID_HANDLE_VALUE;
        if (isFile) {
            EXPECT_EQ(ReadWholeFile(dest), "old");
        }
        EXPECT_EQ(Strays(c.row - 1), (isFile ? std::vector<std::string>{dest.substr(root.size())}
                                             : std::vector<std::string>{}));
        // Clear the way for the next case.
        SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (isFile) DeleteFileA(dest.c_str());
        else RemoveDirectoryA(dest.c_str());
    }
}

// The moves the system does at the next start (PendingFileRenameOperations: pairs of a source and
// a target, "" to delete, "!" before a target that is replaced), lower-cased, "\??\" dropped.
std::vector<std::pair<std::string, std::string>> PendingRenames() {
    std::vector<std::pair<std::string, std::string>> pairs;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return pairs;
    std::vector<char> data(64 * 1024);
    DWORD size = static_cast<DWORD>(data.size());
    LONG rc = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return pairs;
    std::vector<std::string> strings;
    for (size_t at = 0; at < size;) {
        std::string one(data.data() + at);
        at += one.size() + 1;
        if (one.empty() && strings.size() % 2 == 0) break;  // the list's end
        for (char& c : one) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        size_t prefix = one.find("\\??\\");
        if (prefix != std::string::npos) one.erase(prefix, 4);
        strings.push_back(one);
    }
    for (size_t i = 0; i + 1 < strings.size(); i += 2) pairs.emplace_back(strings[i], strings[i + 1]);
    return pairs;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// Files in folder whose names match pattern ("~kst*.old").
std::vector<std::string> Matching(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    FindHandle find;
    for (bool ok = find.First(folder + pattern, data); ok; ok = find.Next(data))
        names.push_back(folder + data.cFileName);
    return names;
}

// An old file in use does not stop the rows. A loaded DLL (row 22) is renamed aside, the new one
// put in its place and the old one deleted at the restart; a file held open without sharing
// (row 80), which cannot be renamed either, stays and the new one waits beside it for the
// restart to move it over. The run goes on to row 82 and lists both as awaiting the restart.
TEST_F(PayloadFixture, FilesInUseAreRenamedAsideOrReplacedAtTheRestart) {
    const std::string dll = Dest(22), held = Dest(80);
    ASSERT_TRUE(CopyFileA((BuildFolder() + "markers\\marker-msxml5.dll").c_str(), dll.c_str(),
                          FALSE));
    const std::string oldDll = ReadWholeFile(dll);
    HMODULE loaded = LoadLibraryA(dll.c_str());
    ASSERT_NE(loaded, nullptr) << GetLastError();
    WriteTextFile(held, "old msxml5.dll");
    HANDLE handle = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    MakeModule();

    ExtractPayload(context, ui, module);
    CloseHandle(handle);

    EXPECT_EQ(ui.processCount, kPayloadRows);
    EXPECT_EQ(context.FilesAwaitingRestart, (std::vector<std::string>{dll, held}));
    EXPECT_EQ(ReadWholeFile(dll), TestPayloadBlob(22));
    const std::vector<std::string> aside = Matching(root + "bde\\", "~kst*.old");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadWholeFile(aside[0]), oldDll);
    EXPECT_EQ(ReadWholeFile(held), "old msxml5.dll");
    const std::vector<std::string> waiting = Matching(root + "sys\\", "~kst*.new");
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(ReadWholeFile(waiting[0]), TestPayloadBlob(80));
    EXPECT_EQ(ReadWholeFile(Dest(82)), TestPayloadBlob(82));
    EXPECT_EQ(Matching(root + "bde\\", "~kst*.tmp"), std::vector<std::string>{});
    EXPECT_EQ(Matching(root + "sys\\", "~kst*.tmp"), std::vector<std::string>{});

    const auto pending = PendingRenames();
    const std::pair<std::string, std::string> removeOld{Lower(aside[0]), ""};
    const std::pair<std::string, std::string> moveNew{Lower(waiting[0]), "!" + Lower(held)};
    EXPECT_NE(std::find(pending.begin(), pending.end(), removeOld), pending.end());
    EXPECT_NE(std::find(pending.begin(), pending.end(), moveNew), pending.end());
    FreeLibrary(loaded);
}

// A relative base that does not exist: the message names the absolute path and the system's
// text for a missing path.
TEST_F(PayloadFixture, AMissingBaseFolderRaisesTheCreateErrorWithTheAbsolutePath) {
    MakeModule();
    SetCurrentDirectoryA(root.c_str());
    context.BdeDir = "nao-criada";
    BuildPayloadDestinations(context);
    try {
        ExtractPayload(context, ui, module);
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.message(), "Cannot create file \"" + root + "nao-criada\\BDEADMIN.HLP\". " +
                                   SysErrorMessage(ERROR_PATH_NOT_FOUND));
    }
    EXPECT_EQ(ui.status, "Instalando nao-criada\\BDEADMIN.HLP");
}

// The payload's flush point: every listed file is flushed, a file that cannot be opened makes
// the result false without stopping the others and is named, and a flushed list is empty. A file
// another program holds open (with the sharing a reader gives) or has loaded fails nothing.
TEST(FileFlushList, FlushesEveryFileAndReportsOneItCannotOpen) {
    std::string root = MakeTempFolder("FileFlushList");
    WriteTextFile(root + "a", "a");
    WriteTextFile(root + "b", "b");
    FileFlushList files;
    files.Add(root + "a");
    files.Add(root + "b");
    EXPECT_TRUE(files.Flush());
    EXPECT_TRUE(files.Flush());  // nothing left

    files.Add(root + "gone");
    files.Add(root + "a");
    std::string failed;
    DWORD error = 0;
    EXPECT_FALSE(files.Flush(&failed, &error));
    EXPECT_EQ(failed, root + "gone");
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(ReadWholeFile(root + "a"), "a");
    EXPECT_TRUE(files.Flush());

    HANDLE reader = CreateFileA((root + "b").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    files.Add(root + "b");
    EXPECT_TRUE(files.Flush());
    CloseHandle(reader);

    // A DLL written and since loaded: Windows refuses writing access to a loaded image whatever
    // the sharing, and that is no failure of the flush.
    ASSERT_TRUE(CopyFileA((BuildFolder() + "markers\\marker-msxml5.dll").c_str(),
                          (root + "m.dll").c_str(), FALSE));
    HMODULE loaded = LoadLibraryA((root + "m.dll").c_str());
    ASSERT_NE(loaded, nullptr);
    files.Add(root + "m.dll");
    EXPECT_TRUE(files.Flush());
    FreeLibrary(loaded);
}

// A part of the list flushed ahead (the DLLs a registration is about to load): only the files
// named, which are then forgotten; the others stay for the later flush. A missing file outside
// the part fails nothing now and is reported then.
TEST(FileFlushList, APartFlushedAheadLeavesTheOthersListed) {
    std::string root = MakeTempFolder("FileFlushPart");
    WriteTextFile(root + "a.dll", "a");
    FileFlushList files;
    files.Add(root + "gone");
    files.Add(root + "a.dll");
    const std::vector<std::string> part = {root + "a.dll"};
    EXPECT_TRUE(files.Flush(nullptr, nullptr, &part));
    std::string failed;
    EXPECT_FALSE(files.Flush(&failed));
    EXPECT_EQ(failed, root + "gone");
    EXPECT_TRUE(files.Flush());
}

}  // namespace
