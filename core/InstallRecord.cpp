#include "core/InstallRecord.h"

#include <windows.h>

#include <algorithm>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Registry.h"

namespace {

const char* SubkeyOf(Recorded kind) {
    switch (kind) {
    case Recorded::Links: return "Atalhos";
    case Recorded::Folders: return "Pastas";
    case Recorded::Keys: return "Chaves";
    case Recorded::Files: return "Arquivos";
    case Recorded::OdbcDrivers: return "Drivers ODBC";
    case Recorded::Program: break;
    }
    return "Programa";
}

const Recorded kAllKinds[] = {Recorded::Links, Recorded::Folders, Recorded::Keys,
                              Recorded::Files, Recorded::OdbcDrivers, Recorded::Program};

// A registry object on HKEY_LOCAL_MACHINE in the 32-bit program's view.
struct MachineKeys : TRegistry {
    MachineKeys() {
        RootKey = HKEY_LOCAL_MACHINE;
        Access = KEY_ALL_ACCESS | kView32;
    }
};

std::string RecordPath(Recorded kind) {
    return std::string(kRecordKey) + "\\" + SubkeyOf(kind);
}

}  // namespace

void Record(Recorded kind, const std::string& item) {
    MachineKeys reg;
    if (reg.OpenKey(RecordPath(kind), true)) reg.WriteInteger(item, 1);
}

bool IsRecorded(Recorded kind, const std::string& item) {
    MachineKeys reg;
    return reg.OpenKey(RecordPath(kind), false) && reg.ValueExists(item);
}

std::vector<std::string> RecordedItems(Recorded kind) {
    MachineKeys reg;
    if (!reg.OpenKey(RecordPath(kind), false)) return {};
    return reg.ValueNames();
}

void Unrecord(Recorded kind, const std::string& item) {
    MachineKeys reg;
    if (reg.OpenKey(RecordPath(kind), false)) reg.DeleteValue(item);
}

void RemoveRecord() {
    MachineKeys reg;
    for (Recorded kind : kAllKinds) reg.DeleteKey(RecordPath(kind));
    for (const char* key : {kRecordKey, "SOFTWARE\\Tavrin\\Kestrel", "SOFTWARE\\Tavrin"}) {
        if (reg.OpenKey(key, false) &&
            (!reg.ValueNames().empty() || !reg.GetKeyNames().empty()))
            break;
        reg.CloseKey();
        reg.DeleteKey(key);
    }
}

bool HoldRecordedFolder(HeldFolder& folder, const std::string& path, FolderProtection protection) {
    if (path.empty()) throw EInOutError("Unable to create directory");
    const bool held = folder.Hold(path, protection == FolderProtection::ProgramFiles
                                            ? MissingFolders::CreateProtected
                                            : MissingFolders::Create);
    for (const std::string& made : folder.Created()) Record(Recorded::Folders, made);
    return held;
}

void RecordMissingKeys(const std::string& path) {
    TRegistry reg;  // in the view the caller writes in: the object's default
    reg.RootKey = HKEY_LOCAL_MACHINE;
    for (size_t cut = path.find('\\'); ; cut = path.find('\\', cut + 1)) {
        const std::string key = path.substr(0, cut);
        if (!reg.KeyExists(key)) Record(Recorded::Keys, key);
        if (cut == std::string::npos) break;
    }
}

namespace {
// Longest first: a child before its parent.
std::vector<std::string> DeepestFirst(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return a.size() > b.size();
    });
    return paths;
}
}  // namespace

void RemoveEmptyRecordedKeys() {
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    for (const std::string& key : DeepestFirst(RecordedItems(Recorded::Keys))) {
        if (reg.OpenKey(key, false)) {
            const bool empty = reg.ValueNames().empty() && reg.GetKeyNames().empty();
            reg.CloseKey();
            if (!empty) {
                Log("Chave mantida, n\xE3o est\xE1 vazia: HKEY_LOCAL_MACHINE\\" + key);
                continue;
            }
            if (!reg.DeleteKey(key)) continue;
            Log("Chave exclu\xED" "da: HKEY_LOCAL_MACHINE\\" + key);
        }
        Unrecord(Recorded::Keys, key);
    }
}

void RemoveRecordedFolders(const std::vector<std::string>& waiting) {
    for (const std::string& folder : DeepestFirst(RecordedItems(Recorded::Folders))) {
        if (RemoveDirectoryA(folder.c_str()) || !DirectoryExists(folder)) {
            Log("Pasta exclu\xED" "da: " + folder);
        } else {
            bool holdsWaiting = false;
            for (const std::string& file : waiting)
                holdsWaiting = holdsWaiting || file.compare(0, folder.size() + 1, folder + "\\") == 0;
            if (holdsWaiting && MoveFileAtRestart(folder, ""))
                Log("Pasta exclu\xED" "da ao reiniciar: " + folder);
            else
                Log("Pasta mantida, n\xE3o est\xE1 vazia: " + folder);
        }
        Unrecord(Recorded::Folders, folder);
    }
}

unsigned long SharedCount(const std::string& path) {
    MachineKeys reg;
    DWORD count = 0;
    if (reg.OpenKey(kSharedDllsKey, false) && reg.ReadInteger(path, count)) return count;
    return 0;
}

void CountSharedFile(const std::string& path) {
    CountSharedFiles({path});
}

void CountSharedFiles(const std::vector<std::string>& paths) {
    MachineKeys record, shared;
    record.OpenKey(RecordPath(Recorded::Files), true);  // failed opens make the writes raise
    shared.OpenKey(kSharedDllsKey, true);
    for (const std::string& path : paths) {
        if (record.CurrentKey() && record.ValueExists(path)) continue;
        DWORD count = 0;
        shared.ReadInteger(path, count);
        // A plain look at the file's attributes: the path is a full one, made by the run.
        const DWORD attributes = count == 0 ? GetFileAttributesA(path.c_str()) : INVALID_FILE_ATTRIBUTES;
        const bool foreign =
            attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        const DWORD raised = count + 1 + (foreign ? 1 : 0);
        shared.WriteInteger(path, raised);
        record.WriteInteger(path, 1);
        Log("Arquivo compartilhado contado: " + path + " (" + std::to_string(raised) +
            (foreign ? "; j\xE1 existia sem contagem)" : ")"));
    }
}

bool ReleaseSharedFile(const std::string& path) {
    if (!IsRecorded(Recorded::Files, path)) return false;
    MachineKeys reg;
    DWORD count = 0;
    bool unused = true;
    if (reg.OpenKey(kSharedDllsKey, false) && reg.ReadInteger(path, count) && count > 1) {
        reg.WriteInteger(path, count - 1);
        unused = false;
    } else if (reg.CurrentKey()) {
        reg.DeleteValue(path);
    }
    Unrecord(Recorded::Files, path);
    Log("Arquivo compartilhado: " + path +
        (unused ? " sem outro uso" : " ainda usado (" + std::to_string(count - 1) + ")"));
    return unused;
}

void WriteUninstallEntry(const UninstallEntry& entry) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string date = Format("%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    const std::string quoted = "\"" + entry.Uninstaller + "\"";
    MachineKeys reg;
    reg.OpenKey(kUninstallKey, true);  // a failed open makes the first write raise
    reg.WriteString("DisplayName", "Kestrel");
    reg.WriteString("DisplayVersion", entry.DisplayVersion);
    reg.WriteString("Publisher", "Tavrin");
    reg.WriteString("InstallDate", date);
    reg.WriteString("InstallLocation", entry.InstallLocation);
    reg.WriteInteger("EstimatedSize", entry.EstimatedSizeKb);
    reg.WriteString("DisplayIcon", entry.Uninstaller + ",0");
    reg.WriteInteger("NoModify", 1);
    reg.WriteInteger("NoRepair", 1);
    reg.WriteString("UninstallString", quoted + " /UNINSTALL");
    reg.WriteString("QuietUninstallString", quoted + " /UNINSTALL /VERYSILENT");
    reg.CloseKey();
    Log("Entrada de Programas e Recursos gravada: HKEY_LOCAL_MACHINE\\" +
        std::string(kUninstallKey) + " (vers\xE3o " + entry.DisplayVersion + ")");
}

bool UninstallEntryExists() {
    MachineKeys reg;
    return reg.KeyExists(kUninstallKey);
}

std::string InstalledVersion() {
    MachineKeys reg;
    if (!reg.OpenKey(kUninstallKey, false)) return std::string();
    return reg.ReadString("DisplayVersion");
}

void RemoveUninstallEntry() {
    MachineKeys reg;
    if (!reg.DeleteKey(kUninstallKey)) {
        // Left in place, the entry would keep saying "installed".
        throw ERegistryException("Failed to delete key '" + std::string(kUninstallKey) + "'");
    }
    Log("Registro exclu\xED" "do: HKEY_LOCAL_MACHINE\\" + std::string(kUninstallKey));
}
