// The benchmark's floor: the installer's unattended first installation done by straight Win32
// calls and nothing else, the limit of that job on this machine. It reads startKestrel.INI
// beside it, writes the same registry values (the installer's own tables, as benchdrv lists
// them), raises the same counts (SharedDLLs and the drivers' UsageCount, once per machine as
// the installer's record of counted files and drivers has it), writes the 82 payload files from
// the installer's image (mapped, as the installer writes them from its own), each into a new
// file in its folder that is then moved in, starts regsvr32.exe for the two COM DLLs as soon as
// their files are there, copies the application, saves the three links through the shell-link
// object, copies itself as the uninstaller, makes every file it wrote durable, waits for both
// registrations and writes the Programs and Features entry last. The engine's folders and the
// uninstaller's are created protected as a program-files folder, as the installer creates them.
// Left out, as no part of this job: the log, the window, the checks of folder owners, the
// leftovers of killed runs, the record of links, folders, keys and the program copies (what the
// uninstall removes), files in use.
//   floor.exe INSTALLER.exe TABLES ERRORS
// Exit code 0 when all was done; otherwise 1, and the step that failed appended to ERRORS. With
// KESTREL_BENCH_TRACE set, the time of each step goes to ERRORS.trace ("trace floor SECONDS STEP").
#include <windows.h>
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kBdeSubdir = "\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE";
const char* const kOdbcSubdir = "\\Arquivos de programas\\PostgreSQL\\psqlODBC\\0804\\bin";
const char* const kRecordFiles = "SOFTWARE\\Tavrin\\Kestrel\\Instalacao\\Arquivos";
const char* const kRecordDrivers = "SOFTWARE\\Tavrin\\Kestrel\\Instalacao\\Drivers ODBC";
const char* const kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char* const kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrel";
const char* const kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// Full control for SYSTEM and Administrators, read and execute for Users, inherited by what is
// inside, nothing inherited from above: the installer's program-files protection.
const char* const kProtection = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
#ifndef LOAD_LIBRARY_AS_IMAGE_RESOURCE
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020  // Windows Vista and later
#endif
#ifdef _WIN64
const REGSAM kView32 = KEY_WOW64_32KEY;
const int kProgramFiles = CSIDL_PROGRAM_FILESX86;  // what a 32-bit program gets
#else
const REGSAM kView32 = 0;
const int kProgramFiles = CSIDL_PROGRAM_FILES;
#endif

FILE* gErrors = nullptr;
FILE* gTrace = nullptr;

double Now() {
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

// The end of a step, with the time since the start.
void Step(const char* name) {
    static const double start = Now();
    if (gTrace) std::fprintf(gTrace, "trace floor %.4f %s\n", Now() - start, name);
}

[[noreturn]] void Fail(const std::string& what) {
    if (gErrors) {
        std::fprintf(gErrors, "error floor: %s (error %lu)\n", what.c_str(), GetLastError());
        std::fclose(gErrors);
    }
    ExitProcess(1);
}

struct Row {
    int number;
    std::string base, name;
    bool keep;
};
struct Value {
    std::string key, name, text;
};

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> fields;
    for (size_t at = 0;;) {
        const size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos) return fields;
        at = tab + 1;
    }
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.find_last_of('\\'));
}

bool IsDirectory(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolder(const std::string& path, SECURITY_ATTRIBUTES* protection) {
    if (path.size() < 3 || IsDirectory(path)) return;
    MakeFolder(FolderOf(path), protection);
    if (!CreateDirectoryA(path.c_str(), protection) && !IsDirectory(path)) Fail("folder " + path);
}

// One registry key below HKEY_LOCAL_MACHINE, created when missing.
struct Key {
    HKEY h = nullptr;
    Key(const std::string& path, REGSAM view) {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE | view, nullptr, &h, nullptr) != ERROR_SUCCESS)
            Fail("key " + path);
    }
    ~Key() { RegCloseKey(h); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    bool Has(const std::string& name) const {
        return RegQueryValueExA(h, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }
    DWORD Number(const std::string& name) const {
        DWORD value = 0, size = sizeof value, type = 0;
        if (RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                             &size) != ERROR_SUCCESS || type != REG_DWORD)
            return 0;
        return value;
    }
    void Set(const std::string& name, DWORD value) {
        if (RegSetValueExA(h, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                           sizeof value) != ERROR_SUCCESS)
            Fail("value " + name);
    }
    void Set(const std::string& name, const std::string& text) {
        if (RegSetValueExA(h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS)
            Fail("value " + name);
    }
    std::string Text(const std::string& name) const {
        char buffer[MAX_PATH * 2] = "";
        DWORD size = sizeof buffer - 1, type = 0;
        if (RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                             &size) != ERROR_SUCCESS || type != REG_SZ)
            return std::string();
        return buffer;
    }
};

// The files written, kept open until their bytes are on the disk.
std::vector<HANDLE> gWritten;
unsigned gCounter = 0;

// A new file beside path, which replaces path once it holds all of data. The handle stays
// open (the file may be moved while open: it shares deletion) until Durable() has flushed it.
void PutFile(const std::string& path, const void* data, DWORD size) {
    const std::string pending = FolderOf(path) + "\\~kfl" + std::to_string(++gCounter) + ".tmp";
    HANDLE h = CreateFileA(pending.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail("create " + pending);
    DWORD written = 0;
    if (size && (!WriteFile(h, data, size, &written, nullptr) || written != size)) Fail("write " + path);
    if (!MoveFileExA(pending.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) Fail("move " + path);
    gWritten.push_back(h);
}

// A copy of from, by the same way.
void PutCopy(const std::string& from, const std::string& path) {
    const std::string pending = FolderOf(path) + "\\~kfl" + std::to_string(++gCounter) + ".tmp";
    if (!CopyFileA(from.c_str(), pending.c_str(), TRUE)) Fail("copy " + from);
    if (!MoveFileExA(pending.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) Fail("move " + path);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail("open " + path);
    gWritten.push_back(h);
}

// Every file written so far on the disk, then closed.
void Durable() {
    for (HANDLE h : gWritten) {
        if (!FlushFileBuffers(h)) Fail("flush");
        CloseHandle(h);
    }
    gWritten.clear();
}

std::vector<wchar_t> Wide(const std::string& text) {
    std::vector<wchar_t> wide(text.size() + 1);
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

void SaveLink(const std::string& path, const std::string& target, const std::string& workDir) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteFileA(path.c_str());
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))) ||
        FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))))
        Fail("shell link object");
    link->SetArguments("");
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(workDir.c_str());
    if (FAILED(file->Save(Wide(path).data(), FALSE))) Fail("link " + path);
    file->Release();
    link->Release();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail("open " + path);
    gWritten.push_back(h);
}

PROCESS_INFORMATION Start(const std::string& program, const std::string& parameters) {
    std::string line = "\"" + program + "\" " + parameters;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi))
        Fail("start " + line);
    CloseHandle(pi.hThread);
    return pi;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    gErrors = std::fopen(argv[3], "a");
    if (GetEnvironmentVariableA("KESTREL_BENCH_TRACE", nullptr, 0))
        gTrace = std::fopen((std::string(argv[3]) + ".trace").c_str(), "w");
    Step("start");

    // The settings beside this program, and the places the installer derives from them.
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    const std::string ini = FolderOf(self) + "\\startKestrel.INI";
    auto setting = [&](const char* section, const char* name) {
        char buffer[MAX_PATH * 2] = "";
        GetPrivateProfileStringA(section, name, "", buffer, sizeof buffer, ini.c_str());
        return std::string(buffer);
    };
    const std::string localAppSetting = setting("Application", "LocalApp");
    const std::string remoteApp = setting("Application", "RemoteApp");
    char systemDir[MAX_PATH];
    GetSystemDirectoryA(systemDir, sizeof systemDir);
    const std::string drive = std::string(systemDir, 2);
    if (localAppSetting.find('\\') == std::string::npos) Fail("LocalApp");
    const std::string localApp = drive + localAppSetting.substr(localAppSetting.find('\\'));
    const std::string localFolder = FolderOf(localApp);
    const std::string remoteFolder = FolderOf(remoteApp) + "\\";
    std::string bdeDir = drive + kBdeSubdir;
    {
        HKEY bde = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Borland\\Database Engine", 0, KEY_READ,
                          &bde) == ERROR_SUCCESS) {
            char buffer[MAX_PATH] = "";
            DWORD size = sizeof buffer - 1, type = 0;
            if (RegQueryValueExA(bde, "DLLPATH", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                                 &size) == ERROR_SUCCESS && type == REG_SZ && buffer[0])
                bdeDir = buffer;
            RegCloseKey(bde);
        }
    }
    const std::string odbcDir = drive + kOdbcSubdir;
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"{BdeDir}", bdeDir}, {"{OdbcDir}", odbcDir}, {"{SystemDir}", systemDir},
        {"{IPServidor}", setting("Instalacao", "IPServidor")},
        {"{Porta}", setting("Instalacao", "Porta")},
        {"{BancoDados}", setting("Instalacao", "BancoDados")}};

    Step("settings");
    // The installer's tables.
    std::vector<Row> rows;
    std::vector<Value> values, counts;
    std::string version;
    {
        FILE* in = std::fopen(argv[2], "rb");
        if (!in) Fail("tables");
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, in)) {
            std::string line = buffer;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            const std::vector<std::string> f = Split(line);
            if (f.size() == 5 && f[0] == "file") {
                rows.push_back({std::atoi(f[1].c_str()), f[2], f[3], f[4] == "keep"});
            } else if (f.size() == 4 && (f[0] == "reg" || f[0] == "count")) {
                std::string text = f[3];
                for (const auto& field : fields) text = Replace(text, field.first, field.second);
                (f[0] == "reg" ? values : counts).push_back({f[1], f[2], text});
            } else if (f.size() == 2 && f[0] == "version") {
                version = f[1];
            }
        }
        std::fclose(in);
    }
    if (rows.size() != 82) Fail("tables: rows");
    auto destination = [&](const Row& row) {
        return (row.base == "BdeDir" ? bdeDir : row.base == "OdbcDir" ? odbcDir
                                                                       : std::string(systemDir)) +
               row.name;
    };
    auto isRegistrationFile = [](const Row& row) {
        return row.base == "SystemDir" && (lstrcmpiA(row.name.c_str(), "\\capicom.dll") == 0 ||
                                           lstrcmpiA(row.name.c_str(), "\\msxml5.dll") == 0 ||
                                           lstrcmpiA(row.name.c_str(), "\\msxml5r.dll") == 0);
    };

    HMODULE image = LoadLibraryExA(argv[1], nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!image) Fail("image");
    unsigned long long bytes = 0;
    auto writeRow = [&](const Row& row) {
        const std::string path = destination(row);
        if (row.keep && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
        HRSRC info = FindResourceA(image, MAKEINTRESOURCEA(row.number), RT_RCDATA);
        HGLOBAL loaded = info ? LoadResource(image, info) : nullptr;
        const void* data = loaded ? LockResource(loaded) : nullptr;
        if (!data) Fail("resource " + std::to_string(row.number));
        const DWORD size = SizeofResource(image, info);
        PutFile(path, data, size);
        bytes += size;
    };

    Step("tables, image");
    // The counts, before any file is written: a file there without a count is someone else's.
    {
        Key record(kRecordFiles, kView32), shared(kSharedDlls, kView32);
        for (const Row& row : rows) {
            const std::string path = destination(row);
            if (record.Has(path)) continue;
            const DWORD count = shared.Number(path);
            const bool foreign = count == 0 && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
            shared.Set(path, count + 1 + (foreign ? 1 : 0));
            record.Set(path, 1);
        }
    }

    Step("counts");
    // The registrations' files, on the disk, and both registrations started.
    for (const Row& row : rows)
        if (isRegistrationFile(row)) writeRow(row);
    Durable();
    const std::string regsvr32 = std::string(systemDir) + "\\regsvr32.exe";
    PROCESS_INFORMATION registrations[] = {Start(regsvr32, "capicom.dll /s"),
                                           Start(regsvr32, "msxml5.dll /s")};

    Step("registration files, regsvr32 started");
    // The registry values, key by key as the tables list them, and the drivers' counts.
    for (size_t i = 0; i < values.size();) {
        Key key(values[i].key, 0);
        const std::string& path = values[i].key;
        for (; i < values.size() && values[i].key == path; ++i) key.Set(values[i].name, values[i].text);
    }
    {
        Key record(kRecordDrivers, kView32);
        for (const Value& count : counts) {
            const std::string driver = count.key.substr(count.key.find_last_of('\\') + 1);
            if (record.Has(driver)) continue;
            Key key(count.key, 0);
            key.Set(count.name, key.Number(count.name) + 1);
            record.Set(driver, 1);
        }
    }

    Step("registry values, driver counts");
    // The folders, then the other files.
    SECURITY_ATTRIBUTES protection{sizeof protection, nullptr, FALSE};
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kProtection, SDDL_REVISION_1,
                                                              &protection.lpSecurityDescriptor, nullptr))
        Fail("security descriptor");
    MakeFolder(localFolder, nullptr);
    MakeFolder(bdeDir, &protection);
    MakeFolder(odbcDir, &protection);
    for (const Row& row : rows)
        if (!isRegistrationFile(row)) writeRow(row);

    Step("folders, other files");
    // The application's copy.
    PutCopy(remoteApp, localApp);
    WIN32_FILE_ATTRIBUTE_DATA app{};
    GetFileAttributesExA(localApp.c_str(), GetFileExInfoStandard, &app);
    bytes += app.nFileSizeLow;

    Step("application copy");
    // The links: the common desktop, the start menu's Tavrin, every profile's Quick Launch.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) Fail("COM");
    {
        const std::string target = remoteFolder + "StartKestrel.exe";
        Key shell(kShellFolders, 0);
        SaveLink(shell.Text("Common Desktop") + "\\Kestrel.lnk", target, localFolder);
        const std::string menu = shell.Text("Common Programs") + "\\Tavrin";
        MakeFolder(menu, nullptr);
        SaveLink(menu + "\\Kestrel.lnk", target, localFolder);
        const std::string oldStyle = drive + "\\WINDOWS\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch";
        if (IsDirectory(oldStyle)) {
            SaveLink(oldStyle + "\\Kestrel.lnk", target, localFolder);
        } else {
            const std::string appData = shell.Text("Common AppData");
            const size_t allUsers = appData.find("All Users");
            if (allUsers == std::string::npos || allUsers < 2) Fail("Common AppData");
            WIN32_FIND_DATAA entry;
            HANDLE search = FindFirstFileA((appData.substr(0, allUsers - 1) + "\\*.*").c_str(), &entry);
            for (bool found = search != INVALID_HANDLE_VALUE; found; found = FindNextFileA(search, &entry)) {
                const std::string name = entry.cFileName;
                if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | 8)) ||
                    name == "." || name == ".." || name == "All Users" || name == "Default User")
                    continue;
                const std::string folder = appData.substr(0, allUsers) + name +
                                           appData.substr(allUsers + 9) +
                                           "\\Microsoft\\Internet Explorer\\Quick Launch";
                if (IsDirectory(folder)) SaveLink(folder + "\\Kestrel.lnk", target, localFolder);
            }
            if (search != INVALID_HANDLE_VALUE) FindClose(search);
        }
    }
    CoUninitialize();

    Step("links");
    // The uninstaller: this program, in a protected folder below the program-files folder.
    char programFiles[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, programFiles, kProgramFiles, FALSE)) Fail("program files");
    const std::string uninstallerFolder = std::string(programFiles) + "\\Tavrin\\Kestrel\\Desinstalar";
    MakeFolder(uninstallerFolder, &protection);
    const std::string uninstaller = uninstallerFolder + "\\DesinstalarKestrel.exe";
    PutCopy(self, uninstaller);
    WIN32_FILE_ATTRIBUTE_DATA unins{};
    GetFileAttributesExA(uninstaller.c_str(), GetFileExInfoStandard, &unins);
    bytes += unins.nFileSizeLow;
    LocalFree(protection.lpSecurityDescriptor);

    Step("uninstaller");
    Durable();
    Step("flush");
    for (PROCESS_INFORMATION& pi : registrations) {
        DWORD code = 1;
        if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(pi.hProcess, &code) || code != 0)
            Fail("regsvr32 exit code " + std::to_string(code));
        CloseHandle(pi.hProcess);
    }

    Step("regsvr32 waited for");
    // The completion mark, last.
    {
        SYSTEMTIME now;
        GetLocalTime(&now);
        char date[16];
        std::snprintf(date, sizeof date, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
        const std::string quoted = "\"" + uninstaller + "\"";
        Key entry(kUninstallKey, kView32);
        entry.Set("DisplayName", std::string("Kestrel"));
        entry.Set("DisplayVersion", version);
        entry.Set("Publisher", std::string("Tavrin"));
        entry.Set("InstallDate", std::string(date));
        entry.Set("InstallLocation", localFolder);
        entry.Set("EstimatedSize", static_cast<DWORD>((bytes + 1023) / 1024));
        entry.Set("DisplayIcon", uninstaller + ",0");
        entry.Set("NoModify", 1);
        entry.Set("NoRepair", 1);
        entry.Set("UninstallString", quoted + " /UNINSTALL");
        entry.Set("QuietUninstallString", quoted + " /UNINSTALL /VERYSILENT");
    }
    Step("entry");
    if (gTrace) std::fclose(gTrace);
    if (gErrors) std::fclose(gErrors);
    return 0;
}
