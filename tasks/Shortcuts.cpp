#include "tasks/Shortcuts.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "core/InstallRecord.h"
#include "core/InstallerUi.h"
#include "platform/Com.h"
#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

namespace {

const char* const kShellFoldersKey =
    "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const kUserExplorerKey = "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer";
const char* const kCommonDesktop = "Common Desktop";
const char* const kCommonPrograms = "Common Programs";
const char* const kStartMenuSubfolder = "\\Tavrin";
const char* const kOldQuickLaunch =
    "\\WINDOWS\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch";
const char* const kProfileQuickLaunch = "\\Microsoft\\Internet Explorer\\Quick Launch";
const char* const kLauncher = "StartKestrel.exe";
// Windows Vista and later: the profiles Windows keeps, one subkey per account's SID.
const char* const kProfileListKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char* const kUserAccountSid = "S-1-5-21-";  // local and domain user accounts
const char* const kRoamingQuickLaunch =
    "\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch";

SpecialFolderFunction specialFolder = SpecialFolderPath;

// A directory search for directories still returns plain files; it passes over what is hidden,
// system or a volume label.
constexpr DWORD kFaVolumeId = 0x00000008;
constexpr DWORD kSearchSkips = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | kFaVolumeId;

// The directory recorded in the registry for a folder key ("" when none): the machine-wide
// value, for the start menu else the current user's "Programs".
std::string RecordedShellFolder(const std::string& folder) {
    std::string directory;
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    if (!reg.KeyExists(kShellFoldersKey)) return directory;
    reg.OpenKey(kShellFoldersKey, false);  // a failed open leaves every value absent
    if (reg.ValueExists(folder)) {
        directory = reg.ReadString(folder);
    } else if (folder == kCommonPrograms) {
        TRegIniFile user(kUserExplorerKey);
        directory = user.ReadString("Shell Folders", "Programs", "");
    }
    reg.CloseKey();
    return directory;
}

// The directory of a folder key: the registry's value; when it has none, the shell's common
// folder (the "Shell Folders" values are a copy Windows fills only when something asks for them).
// The start menu's gets its subfolder, created. "" when neither gives one: no link then.
std::string ShellFolderDirectory(const std::string& folder) {
    std::string directory = RecordedShellFolder(folder);
    if (directory.empty()) {
        directory = specialFolder(folder == kCommonDesktop ? CSIDL_COMMON_DESKTOPDIRECTORY
                                                          : CSIDL_COMMON_PROGRAMS);
        if (!directory.empty())
            Log("Pasta " + folder + " ausente do registro; a do Windows (SHGetFolderPath): " +
                directory);
    }
    if (folder == kCommonPrograms && !directory.empty()) {
        directory += kStartMenuSubfolder;
        HeldFolder folder;
        if (!HoldRecordedFolder(folder, directory)) {
            Log("Pasta do menu Iniciar recusada: " + folder.Problem());
            return std::string();
        }
    }
    return directory;
}

// UTF-16 from the ANSI code page, zero-terminated.
std::vector<wchar_t> AnsiToWide(const std::string& text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::vector<wchar_t> wide(n > 0 ? n : 1, L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
    return wide;
}

// Writes the link file through the shell-link object. The creation of the object and its
// interfaces raises; a link that cannot be written stays unwritten and is a warning.
void SaveShellLink(const std::string& linkPath, const std::string& target,
                   const std::string& arguments, const std::string& workingDirectory,
                   InstallerUi& ui) {
    ComPtr<IUnknown> object = CreateComObject(CLSID_ShellLink);
    ComPtr<IShellLinkA> link = QueryInterfaceOf<IShellLinkA>(object.Get(), IID_IShellLinkA);
    ComPtr<IPersistFile> file = QueryInterfaceOf<IPersistFile>(object.Get(), IID_IPersistFile);
    link->SetArguments(arguments.c_str());
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(workingDirectory.c_str());
    const HRESULT saved = file->Save(AnsiToWide(linkPath).data(), FALSE);
    if (SUCCEEDED(saved)) {
        Record(Recorded::Links, linkPath);
        Log("Atalho criado: " + linkPath + " para " + target);
    } else {
        const std::string problem = "Atalho n\xE3o gravado: " + linkPath +
            Format(" (erro 0x%08lX)", static_cast<unsigned long>(saved));
        Log(problem);
        ui.NoteWarning(problem);
    }
}

std::string UpperAnsi(std::string text) {
    if (!text.empty()) CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

}  // namespace

void CreateShellLink(const std::string& target, const std::string& arguments,
                     const std::string& workingDirectory, const std::string& linkName,
                     const std::string& folder, InstallerUi& ui) {
    std::string directory = (folder == kCommonDesktop || folder == kCommonPrograms)
                                ? ShellFolderDirectory(folder)
                                : folder;
    if (directory.empty()) {  // never a link at the root of the current drive
        Log("Atalho n\xE3o criado: nem o registro nem o Windows d\xE3o a pasta " + folder);
        return;
    }

    std::string linkPath = directory + "\\" + linkName + ".lnk";
    if (FileExists(linkPath)) {
        SetFileAttributesA(linkPath.c_str(), 0);
        if (!DeleteFileA(linkPath.c_str())) ui.ShowMessage("Falha de exclus\xE3o! " + linkPath);
    }
    SaveShellLink(linkPath, target, arguments, workingDirectory, ui);
}

void RemoveShellLinks() {
    for (const std::string& link : RecordedItems(Recorded::Links)) {
        SetFileAttributesA(link.c_str(), FILE_ATTRIBUTE_NORMAL);
        const bool deleted = DeleteFileA(link.c_str()) != FALSE;
        const DWORD error = GetLastError();
        if (deleted || !FileExists(link))
            Log("Atalho exclu\xED" "do: " + link);
        else
            Log("Atalho n\xE3o exclu\xED" "do: " + link + " (" + SysErrorMessage(error) + ")");
        Unrecord(Recorded::Links, link);
    }
}

std::string ProfilesFolderOf(const std::string& commonAppData) {
    size_t at = commonAppData.find("All Users");
    if (at == std::string::npos || at < 2) return std::string();
    return commonAppData.substr(0, at - 1);
}

std::string QuickLaunchCandidate(const std::string& commonAppData, const std::string& profile) {
    std::string candidate = commonAppData;
    size_t at = UpperAnsi(commonAppData).find("ALL USERS");
    if (at != std::string::npos) candidate.replace(at, 9, profile);
    return candidate + kProfileQuickLaunch;
}

void PlaceQuickLaunchLinks(const InstallContext& context, InstallerUi& ui) {
    std::string oldStyle = context.SystemDrive + kOldQuickLaunch;
    if (DirectoryExists(oldStyle)) {
        PlaceQuickLaunchLink(context, oldStyle, ui);
        return;
    }

    std::string appData;
    {
        TRegistry reg;
        reg.RootKey = HKEY_LOCAL_MACHINE;
        if (reg.OpenKey(kShellFoldersKey, false)) {
            if (reg.ValueExists("Common AppData")) appData = reg.ReadString("Common AppData");
            reg.CloseKey();
        }
    }

    std::string profiles = ProfilesFolderOf(appData);
    if (profiles.empty()) {  // never a walk over the root of the current drive
        // Windows Vista and later: "Common AppData" is C:\ProgramData, and the profiles
        // folder (C:\Users) holds no "All Users"; Windows lists the profiles itself.
        Log("Atalhos de Inicializa\xE7\xE3o R\xE1pida: Common AppData (\"" + appData +
            "\") n\xE3o indica a pasta dos perfis; pelos perfis que o Windows lista (ProfileList)");
        PlaceProfileListQuickLaunchLinks(context, ui);
        return;
    }

    WIN32_FIND_DATAA entry;
    FindHandle search;
    for (bool found = search.First(profiles + "\\*.*", entry); found; found = search.Next(entry)) {
        if (entry.dwFileAttributes & kSearchSkips) continue;
        std::string name = entry.cFileName;
        if (name == "." || name == ".." || name == "All Users" || name == "Default User") continue;
        PlaceQuickLaunchLink(context, QuickLaunchCandidate(appData, name), ui);
    }
}

void PlaceQuickLaunchLink(const InstallContext& context, const std::string& directory,
                          InstallerUi& ui) {
    if (!DirectoryExists(directory)) {
        Log("Atalho de Inicializa\xE7\xE3o R\xE1pida: n\xE3o criado, a pasta n\xE3o existe: " +
            directory);
        return;
    }
    CreateShellLink(context.RemoteFolder + kLauncher, "", context.LocalFolder, "Kestrel", directory,
                    ui);
}

bool IsUserAccountSid(const std::string& sid) {
    const size_t prefix = std::char_traits<char>::length(kUserAccountSid);
    if (sid.compare(0, prefix, kUserAccountSid) != 0 || sid.size() == prefix) return false;
    // A copy Windows keeps of a damaged profile's key ends in ".bak": not an account of its own.
    return sid.find_first_not_of("0123456789-", prefix) == std::string::npos;
}

std::vector<std::string> UserProfiles() {
    std::vector<std::string> profiles;
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    reg.Access = KEY_READ;
    if (!reg.OpenKey(kProfileListKey, false)) return profiles;
    for (const std::string& sid : reg.GetKeyNames()) {
        if (!IsUserAccountSid(sid)) continue;
        TRegistry profile;
        profile.RootKey = HKEY_LOCAL_MACHINE;
        profile.Access = KEY_READ;
        if (!profile.OpenKey(std::string(kProfileListKey) + "\\" + sid, false)) continue;
        const std::string path = ExpandEnvironment(profile.ReadString("ProfileImagePath"));
        if (!path.empty()) profiles.push_back(path);
    }
    return profiles;
}

void PlaceProfileListQuickLaunchLinks(const InstallContext& context, InstallerUi& ui) {
    const std::vector<std::string> profiles = UserProfiles();
    if (profiles.empty()) {
        Log("Atalhos de Inicializa\xE7\xE3o R\xE1pida: n\xE3o criados, nenhum perfil de usu\xE1rio em "
            "ProfileList");
        return;
    }
    for (const std::string& profile : profiles) {
        const std::string folder = profile + kRoamingQuickLaunch;
        if (DirectoryExists(folder)) {
            Log("Perfil " + profile + ": atalho na Inicializa\xE7\xE3o R\xE1pida");
            CreateShellLink(context.RemoteFolder + kLauncher, "", context.LocalFolder, "Kestrel",
                            folder, ui);
        } else {
            Log("Perfil " + profile + ": sem pasta de Inicializa\xE7\xE3o R\xE1pida (" + folder +
                "), nenhum atalho");
        }
    }
}

void SetSpecialFolderFunction(SpecialFolderFunction function) {
    specialFolder = function ? function : SpecialFolderPath;
}
