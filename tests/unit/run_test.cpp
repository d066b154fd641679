// The installation run with the window fake, against Wine's registry, file system and
// directory creation in a fresh prefix per test: the real settings reader, registration, payload
// writing (from a small test module), copy and shortcut placement. What would leave the process
// is watched at the platform's edge: the regsvr32 starts by a stand-in for ShellExecuteA, the
// links by a stand-in shell-link object registered as the system's class for this process.
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <shlobj.h>
#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "TestSupport.h"
#include "app/Run.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Security.h"
#include "platform/Shell.h"
#include "tasks/PayloadTable.h"
#include "../common/ComEnvironment.h"

namespace {

using Events = std::vector<std::string>;

const char* const kDefaultBde = "C:\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE";
const char* const kDefaultOdbc = "C:\\Arquivos de programas\\PostgreSQL\\psqlODBC\\0804\\bin";
const char* const kSystemDir = "C:\\windows\\system32";
const char* const kDataSource = "SOFTWARE\\ODBC\\ODBC.INI\\Kestrel";
const char* const kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const kOldQuickLaunch =
    "C:\\WINDOWS\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch";
const char* const kStatusLinks = "status:Criando atalho. Aguarde...";
const char* const kStatusDone = "status:Instala\xE7\xE3o conclu\xED" "da!";
const char* const kDesktopLink = "link:C:\\users\\Public\\Desktop\\Kestrel.lnk";
const char* const kMenuLink =
    "link:C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tavrin\\Kestrel.lnk";
const std::string kQuickLaunchLink = std::string("link:") + kOldQuickLaunch + "\\Kestrel.lnk";
const HWND kAppWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4711));

// The fake window with an application window handle to hand on; it lets a test act while the
// payload is written (after each row the run lets the window handle its messages).
class Ui : public RecordingUi {
public:
    HWND ApplicationWindow() const override { return kAppWindow; }
    void ProcessMessages() override {
        RecordingUi::ProcessMessages();
        if (duringPayload && status.rfind("Instalando ", 0) == 0) duringPayload();
    }
    std::function<void()> duringPayload;
};

// What the run asked of the shell and of the shell-link object, in the order asked; each
// request also goes into the events of the current run as "open:<file> <parameters>" or
// "link:<link file>".
struct Start {
    HWND owner;
    std::string verb, file, parameters;
    bool noDirectory;
    int show;
};
struct SavedLink {
    std::string path, target, arguments, workingDirectory;
};
struct Watched {
    Events* events = nullptr;
    std::vector<Start> starts;
    std::vector<SavedLink> links;
} gWatched;

HINSTANCE WINAPI RecordShellExecute(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                    LPCSTR directory, INT show) {
    gWatched.starts.push_back({owner, verb ? verb : "", file, parameters ? parameters : "",
                               directory == nullptr, show});
    gWatched.events->push_back(std::string("open:") + file + " " + (parameters ? parameters : ""));
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));  // "started"
}

std::string Narrow(LPCOLESTR wide) {
    char text[MAX_PATH * 2] = "";
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

// A shell-link object that records what is saved instead of writing a file.
class RecordingShellLink : public IShellLinkA, public IPersistFile {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IShellLinkA) *out = static_cast<IShellLinkA*>(this);
        else if (iid == IID_IPersistFile || iid == IID_IPersist) *out = static_cast<IPersistFile*>(this);
        else return *out = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    // IShellLinkA: the three values the run sets; the rest is not asked for.
    HRESULT STDMETHODCALLTYPE SetPath(LPCSTR file) override { return link_.target = file, S_OK; }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR args) override { return link_.arguments = args, S_OK; }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR dir) override {
        return link_.workingDirectory = dir, S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPath(LPSTR, int, WIN32_FIND_DATAA*, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetArguments(LPSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR, int, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR, int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return E_NOTIMPL; }
    // IPersistFile: Save records.
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR file, BOOL) override {
        link_.path = Narrow(file);
        gWatched.links.push_back(link_);
        gWatched.events->push_back("link:" + link_.path);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }

private:
    virtual ~RecordingShellLink() = default;
    ULONG refs_ = 1;
    SavedLink link_;
};

class RecordingShellLinkFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return *out = nullptr, E_NOINTERFACE;
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the program
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (outer) return *out = nullptr, CLASS_E_NOAGGREGATION;
        auto* link = new RecordingShellLink;
        HRESULT hr = link->QueryInterface(iid, out);
        link->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
} gShellLinkFactory;

bool KeyExists(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::string ReadValue(const char* path, const char* name) {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    if (!reg.OpenKey(path, false)) return "(no key)";
    return reg.ValueExists(name) ? reg.ReadString(name) : "(missing)";
}

void WriteValue(const char* path, const char* name, const char* value) {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(reg.OpenKey(path, true));
    reg.WriteString(name, value);
}

// The events from the first one equal to from (inclusive) to the end.
Events From(const Events& events, const std::string& from) {
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i] == from) return Events(events.begin() + i, events.end());
    return {"(no " + from + ")"};
}

// The status texts and message processing of writing rows 1 to 82 into the default folders.
Events PayloadEvents() {
    Events events;
    for (const PayloadEntry& e : PayloadTable) {
        const char* base = e.Base == PayloadBase::BdeDir    ? kDefaultBde
                           : e.Base == PayloadBase::OdbcDir ? kDefaultOdbc
                                                            : kSystemDir;
        events.push_back(std::string("status:Instalando ") + base + e.FileName);
        events.push_back("process");
    }
    return events;
}

// The handles this process holds open (the system's handle list, which Wine keeps too).
int OpenHandles() {
    using Query = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    struct Entry {
        ULONG pid;
        BYTE type, flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> buffer(1 << 16);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = query(16 /* SystemHandleInformation */, buffer.data(),
                           static_cast<ULONG>(buffer.size()), &needed)) ==
           static_cast<NTSTATUS>(0xC0000004L) /* STATUS_INFO_LENGTH_MISMATCH */)
        buffer.resize(buffer.size() * 2);
    if (status != 0) return -1;
    const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
    const Entry* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
    return static_cast<int>(std::count_if(entries, entries + count, [](const Entry& e) {
        return e.pid == GetCurrentProcessId();
    }));
}

// A registry key that everyone may read but nobody may write to or below.
void MakeReadOnlyKey(const char* path) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr), ERROR_SUCCESS);
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, sid, &sidSize));
    EXPLICIT_ACCESSA access{};
    access.grfAccessPermissions = KEY_READ;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.ptstrName = reinterpret_cast<LPSTR>(sid);
    PACL acl = nullptr;
    ASSERT_EQ(SetEntriesInAclA(1, &access, nullptr, &acl), ERROR_SUCCESS);
    EXPECT_EQ(SetSecurityInfo(key, SE_REGISTRY_KEY,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, acl, nullptr), ERROR_SUCCESS);
    LocalFree(acl);
    RegCloseKey(key);
}

class Run : public ::testing::Test {
protected:
    void SetUp() override {
        sources.SettingsFolder = MakeTempFolder("run");
        WriteSettings("D:\\Kestrel\\Kestrel.exe");
        CreateDirectoryA("S:\\Kestrel", nullptr);
        WriteTextFile("S:\\Kestrel\\Kestrel.exe", "the application");
        sources.PayloadModule = MakeTestPayloadModule(sources.SettingsFolder + "payload.dll");
        ASSERT_NE(sources.PayloadModule, nullptr);

        // The places of the links, set here rather than taken from the prefix; the old-style
        // Quick Launch folder takes the Quick Launch link.
        WriteValue(kShellFolders, "Common Desktop", "C:\\users\\Public\\Desktop");
        WriteValue(kShellFolders, "Common Programs",
                   "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
        ForceDirectories("C:\\users\\Public\\Desktop");
        ForceDirectories(kOldQuickLaunch);

        SetShellExecuteFunction(RecordShellExecute);
        ASSERT_EQ(CoRegisterClassObject(CLSID_ShellLink, &gShellLinkFactory, CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &linkClass),
                  S_OK);
        gWatched = Watched();
    }
    void TearDown() override {
        CoRevokeClassObject(linkClass);
        SetShellExecuteFunction(nullptr);
        if (sources.PayloadModule) FreeLibrary(sources.PayloadModule);
    }

    void WriteSettings(const std::string& localApp) {
        WriteTextFile(sources.SettingsFolder + "startKestrel.INI",
                      "[Application]\r\nLocalApp=" + localApp + "\r\n"
                      "RemoteApp=S:\\Kestrel\\Kestrel.exe\r\n[Instalacao]\r\n"
                      "IPServidor=192.168.0.10\r\nPorta=5432\r\nBancoDados=kestreldb\r\n");
    }

    // Runs with a fresh window fake; its events are ui.events.
    void Perform(Ui& ui) {
        gWatched.events = &ui.events;
        PerformInstall(ui, sources);
    }

    InstallSources sources;
    DWORD linkClass = 0;
};

TEST_F(Run, FreshMachineRunsEveryStepInOrder) {
    CreateDirectoryA("C:\\Kestrel", nullptr);
    WriteTextFile("C:\\Kestrel\\Kestrel.exe", "an older copy");
    Ui ui;
    bool registeredBeforePayload = false;
    ui.duringPayload = [&] { registeredBeforePayload = registeredBeforePayload || KeyExists(kDataSource); };
    Perform(ui);

    // The payload rows name the folders the run fixed: the prefix's BDE key has no DLLPATH, so
    // the BDE goes to its default folder.
    Events want = {"cancel:off", "install:off", "status:Registrando o sistema."};
    const Events payload = PayloadEvents();
    want.insert(want.end(), payload.begin(), payload.end());
    const std::string regsvr32 = std::string("open:") + kSystemDir + "\\regsvr32.exe ";
    want.insert(want.end(), {"status:Registrando DLLs NFe", "process", regsvr32 + "capicom.dll /s",
                             regsvr32 + "msxml5.dll /s",
                             "status:Copiando execut\xE1vel. Aguarde...", "process", kStatusLinks,
                             "process", kDesktopLink, kMenuLink, kQuickLaunchLink, kStatusDone,
                             "cancel:on"});
    EXPECT_EQ(ui.events, want);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_FALSE(ui.installEnabled);
    EXPECT_TRUE(ui.cancelEnabled);
    EXPECT_TRUE(registeredBeforePayload);

    ASSERT_EQ(gWatched.starts.size(), 2u);
    for (const Start& start : gWatched.starts) {
        EXPECT_EQ(start.owner, kAppWindow);
        EXPECT_EQ(start.verb, "open");
        EXPECT_TRUE(start.noDirectory);
        EXPECT_EQ(start.show, SW_SHOWNORMAL);
    }

    EXPECT_TRUE(DirectoryExists(kDefaultBde));
    EXPECT_TRUE(DirectoryExists(kDefaultOdbc));
    EXPECT_EQ(ReadWholeFile(std::string(kDefaultBde) + "\\BDEADMIN.HLP"), TestPayloadBlob(1));
    EXPECT_EQ(ReadWholeFile(std::string(kSystemDir) + "\\capicom.dll"), TestPayloadBlob(81));
    // LocalApp rebased to the system drive, replaced by the server's copy.
    EXPECT_EQ(ReadWholeFile("C:\\Kestrel\\Kestrel.exe"), "the application");
    EXPECT_EQ(ReadValue(kDataSource, "Servername"), "192.168.0.10");
    EXPECT_EQ(ReadValue(kDataSource, "Port"), "5432");

    ASSERT_EQ(gWatched.links.size(), 3u);
    for (const SavedLink& link : gWatched.links) {
        EXPECT_EQ(link.target, "S:\\Kestrel\\StartKestrel.exe");
        EXPECT_EQ(link.arguments, "");
        EXPECT_EQ(link.workingDirectory, "C:\\Kestrel");
    }
}

TEST_F(Run, ReinstallQuestion) {
    WriteValue(kDataSource, "Servername", "10.0.0.1");

    Ui no;
    no.answers = {IDNO};
    Perform(no);
    ASSERT_EQ(no.boxes.size(), 1u);
    EXPECT_EQ(no.boxes[0].text, "Este programa j\xE1 est\xE1 instalado. Deseja reinstalar?");
    EXPECT_EQ(no.boxes[0].caption, "Aten\xE7\xE3o");
    EXPECT_EQ(no.boxes[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(no.events,
              (Events{"cancel:off", "install:off", "box:Aten\xE7\xE3o", "status:", "cancel:on"}));
    EXPECT_EQ(ReadValue(kDataSource, "Servername"), "10.0.0.1");
    EXPECT_FALSE(KeyExists("SOFTWARE\\Borland\\BLW32"));
    EXPECT_FALSE(KeyExists("SOFTWARE\\ODBC\\ODBCINST.INI"));
    EXPECT_FALSE(DirectoryExists("C:\\Kestrel"));
    EXPECT_FALSE(DirectoryExists(kDefaultOdbc));
    EXPECT_FALSE(no.installEnabled);
    EXPECT_TRUE(no.cancelEnabled);

    Ui yes;
    yes.answers = {IDYES};
    Perform(yes);
    EXPECT_EQ(From(yes.events, "box:Aten\xE7\xE3o").at(1), "status:Registrando o sistema.");
    EXPECT_EQ(yes.events.back(), "cancel:on");
    EXPECT_EQ(yes.status, "Instala\xE7\xE3o conclu\xED" "da!");
    EXPECT_EQ(ReadValue(kDataSource, "Servername"), "192.168.0.10");
}

// The folders the run creates for the engine and the drivers get the protection of a
// program-files folder, and no other folder: not one that existed before, not the application's
// own folder (LocalFolder keeps what it inherits). A folder on their paths that belongs to an
// ordinary other user stops the run before any payload file is written.
struct FolderWatch {
    std::vector<std::string> protectedFolders;
    std::map<std::string, SidBytes> owners;
} gFolders;

BOOL WINAPI RecordProtectedCreate(LPCSTR path, LPSECURITY_ATTRIBUTES attributes) {
    if (attributes && attributes->lpSecurityDescriptor) gFolders.protectedFolders.push_back(path);
    return SystemFolderCalls().CreateDirectory(path, attributes);
}

DWORD GivenOwner(const std::string& path, SidBytes& owner) {
    const auto given = gFolders.owners.find(path);
    if (given == gFolders.owners.end()) return SystemFolderCalls().ReadOwner(path, owner);
    owner = given->second;
    return ERROR_SUCCESS;
}

const FolderCalls kWatchedFolders = {RecordProtectedCreate, GivenOwner};

TEST_F(Run, OnlyTheFoldersItCreatesForTheEngineAreProtected) {
    gFolders = FolderWatch();
    SetFolderCalls(&kWatchedFolders);
    ASSERT_TRUE(CreateDirectoryA("C:\\Arquivos de Programas", nullptr));
    ASSERT_TRUE(CreateDirectoryA("C:\\Arquivos de Programas\\Arquivos Comuns", nullptr));
    std::vector<std::string> uninstallerFoldersMissing;
    std::string folder = ProgramFilesFolder("C:");
    for (const char* name : {"\\Tavrin", "\\Kestrel", "\\Desinstalar"})
        if (!DirectoryExists(folder += name)) uninstallerFoldersMissing.push_back(folder);
    Ui ui;
    Perform(ui);
    const std::string bde = "C:\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared";
    const std::string odbc = "C:\\Arquivos de programas\\PostgreSQL";
    // Besides the engine's, the uninstaller's folders below the program-files folder that did not
    // exist before the run.
    std::vector<std::string> expected = {bde, bde + "\\BDE", odbc, odbc + "\\psqlODBC",
                                         odbc + "\\psqlODBC\\0804", odbc + "\\psqlODBC\\0804\\bin"};
    expected.insert(expected.end(), uninstallerFoldersMissing.begin(), uninstallerFoldersMissing.end());
    EXPECT_EQ(gFolders.protectedFolders, expected);
    // The application's folder (LocalApp rebased to the system drive) keeps what it inherits.
    EXPECT_TRUE(DirectoryExists("C:\\Kestrel"));
    EXPECT_EQ(ui.status, "Instala\xE7\xE3o conclu\xED" "da!");

    // The same folders, one of them made beforehand by another user.
    gFolders.protectedFolders.clear();
    gFolders.owners["C:\\Arquivos de Programas\\Arquivos Comuns"] =
        MakeSid(5, {21, 1, 2, 3, 1001});
    DeleteFileA((bde + "\\BDE\\BDEADMIN.HLP").c_str());
    Ui refused;
    refused.answers = {IDYES};
    try {
        Perform(refused);
        ADD_FAILURE() << "the run went on";
    } catch (const EFolderError& e) {
        EXPECT_NE(e.message().find("A pasta \"C:\\Arquivos de Programas\\Arquivos Comuns\" "
                                   "pertence ao usu\xE1rio S-1-5-21-1-2-3-1001"),
                  std::string::npos) << e.message();
    }
    SetFolderCalls(nullptr);
    EXPECT_TRUE(gFolders.protectedFolders.empty());
    EXPECT_FALSE(FileExists(bde + "\\BDE\\BDEADMIN.HLP"));
    for (const std::string& event : refused.events)
        EXPECT_NE(event.rfind("status:Instalando ", 0), 0u) << event;
}

TEST_F(Run, MissingSettingsFileWritesNothing) {
    DeleteFileA((sources.SettingsFolder + "startKestrel.INI").c_str());
    Ui ui;
    EXPECT_THROW(Perform(ui), EAbort);
    EXPECT_EQ(ui.events, (Events{"cancel:off", "install:off", "box:Advert\xEA" "ncia", "cancel:on"}));
    EXPECT_EQ(ui.status, "");
    EXPECT_FALSE(ui.installEnabled);
    EXPECT_FALSE(KeyExists(kDataSource));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Borland\\BLW32"));
    EXPECT_FALSE(DirectoryExists("C:\\Kestrel"));
    EXPECT_FALSE(DirectoryExists(kDefaultBde));
}

TEST_F(Run, FailedCopyWarnsAndTheRunGoesOn) {
    DeleteFileA("S:\\Kestrel\\Kestrel.exe");
    Ui ui;
    Perform(ui);
    EXPECT_EQ(From(ui.events, "status:Copiando execut\xE1vel. Aguarde..."),
              (Events{"status:Copiando execut\xE1vel. Aguarde...", "process",
                      "box:Advert\xEA" "ncia", kStatusLinks, "process", kDesktopLink, kMenuLink,
                      kQuickLaunchLink, kStatusDone, "cancel:on"}));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "N\xE3o foi poss\xEDvel copiar o execut\xE1vel!");
    EXPECT_EQ(ui.boxes[0].flags, static_cast<UINT>(MB_OK));
    EXPECT_FALSE(FileExists("C:\\Kestrel\\Kestrel.exe"));
}

TEST_F(Run, CheckBoxesCountAsTheyAreAtTheShortcutStep) {
    struct Case {
        bool atClick[3];    // desktop, start menu, quick launch
        bool atLinks[3];    // changed by the user while the files were written
        Events wantLinks;
    } cases[] = {
        {{true, true, true}, {false, false, false}, {}},
        {{false, false, false}, {true, true, true}, {kDesktopLink, kMenuLink, kQuickLaunchLink}},
        {{true, true, true}, {true, false, true}, {kDesktopLink, kQuickLaunchLink}},
        {{false, false, true}, {false, true, false}, {kMenuLink}},
    };
    for (const Case& k : cases) {
        Ui ui;
        ui.answers = {IDYES};  // reinstalling after the first case
        std::copy(k.atClick, k.atClick + 3, ui.checked);
        ui.duringPayload = [&] { std::copy(k.atLinks, k.atLinks + 3, ui.checked); };
        Perform(ui);
        Events want = {kStatusLinks, "process"};
        want.insert(want.end(), k.wantLinks.begin(), k.wantLinks.end());
        want.insert(want.end(), {kStatusDone, "cancel:on"});
        EXPECT_EQ(From(ui.events, kStatusLinks), want);
    }
}

TEST_F(Run, FailureStopsTheRunWithBothButtonsDisabled) {
    // A folder that cannot be had stops the run before anything is written, before the status
    // line says anything; a registry write that fails, at "Registrando o sistema.".
    const char* const kRegistering = "Registrando o sistema.";
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::string wantMessage;
        std::string wantStatus;
    } cases[] = {
        // A system directory without a drive and LocalApp at a drive's root leave the
        // application folder empty.
        {"an empty base directory",
         [this] {
             sources.SystemDir = "\\windows\\system32";
             WriteSettings("D:\\Kestrel.exe");
         },
         "Unable to create directory", ""},
        {"a registry write is refused",
         [this] {
             sources.SystemDir = kSystemDir;
             WriteSettings("D:\\Kestrel\\Kestrel.exe");
             MakeReadOnlyKey("SOFTWARE\\Borland\\BLW32");
         },
         "Failed to set data for 'BLAPIPATH'", kRegistering},
        {"a registry read fails with the key open",
         [] {
             HKEY key;
             ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Borland\\Database Engine", 0,
                                       nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
             DWORD number = 1;
             RegSetValueExA(key, "DLLPATH", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number),
                            sizeof number);
             RegCloseKey(key);
         },
         "Invalid data type for 'DLLPATH'", ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        k.prepare();
        // Each case runs twice: the first run also makes what the process keeps for good (the
        // profile reader's key, the runtime's exception state); the second must leave no more
        // handles open than the first, so the run's registry object was released on the way out.
        int handles = 0;
        for (int pass = 0; pass < 2; ++pass) {
            Ui ui;
            ui.answers = {IDYES};
            std::string message = "(no error)";
            try {
                Perform(ui);
            } catch (const Exception& e) {
                message = e.message();
            }
            EXPECT_EQ(message, k.wantMessage);
            EXPECT_EQ(ui.status, k.wantStatus);
            EXPECT_FALSE(ui.cancelEnabled);
            EXPECT_FALSE(ui.installEnabled);
            if (!k.wantStatus.empty())  // nothing after it
                EXPECT_EQ(From(ui.events, "status:" + k.wantStatus).size(), 1u);
            if (pass == 0) handles = OpenHandles();
        }
        EXPECT_EQ(OpenHandles(), handles);
    }
}

// GetSystemDirectoryA's contract with a system directory longer than any fixed buffer.
UINT WINAPI LongSystemDirectory(LPSTR buffer, UINT size) {
    const std::string path = "C:\\" + std::string(300, 'w') + "\\system32";
    if (size <= path.size()) return static_cast<UINT>(path.size() + 1);
    memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}

TEST(SystemDirectory, TakenWholeAndItsDrive) {
    EXPECT_EQ(TakeWholeString(LongSystemDirectory), "C:\\" + std::string(300, 'w') + "\\system32");
    EXPECT_EQ(SystemDirectory(), "C:\\windows\\system32");

    const struct {
        const char* path;
        const char* drive;
    } cases[] = {
        {"C:\\windows\\system32", "C:"},
        {"d:", "d:"},
        {"\\\\server\\share\\windows\\system32", "\\\\server\\share"},
        {"\\\\server\\share", "\\\\server\\share"},
        {"\\windows\\system32", ""},
        {"windows", ""},
        {"", ""},
    };
    for (const auto& k : cases) EXPECT_EQ(ExtractFileDrive(k.path), k.drive) << k.path;
}

}  // namespace
