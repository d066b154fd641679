#include "platform/Folders.h"

#include <aclapi.h>
#include <shlobj.h>

#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/Log.h"
#include "platform/Security.h"
#include "platform/Shell.h"

namespace {

bool SamePath(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// "C:" of "C:\...", "\\server\share" of "\\server\share\..."; "" for anything else (a relative
// path, a device path).
std::string RootOf(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':' && (path.size() == 2 || path[2] == '\\'))
        return path.substr(0, 2);
    if (path.size() > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '?' && path[2] != '.') {
        const size_t server = path.find('\\', 2);
        if (server == std::string::npos || server == 2) return std::string();
        const size_t share = path.find('\\', server + 1);
        if (share == server + 1) return std::string();
        return path.substr(0, share);  // npos: all of it
    }
    return std::string();
}

// The folder itself, not what a link in its place leads to; read access to its attributes and
// owner only. Without FILE_SHARE_WRITE and FILE_SHARE_DELETE: while the handle is open nobody can
// rename or delete the folder, nor open it for writing to make it a link.
HANDLE OpenToHold(const std::string& path) {
    return CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                       FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// What a link leads to: the folder opened through it (for its final path), held the same way.
HANDLE OpenThrough(const std::string& path) {
    return CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::string Leaf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The long name the folder's own directory gives the entry (a short 8.3 name in the path is the
// same folder).
std::string LongNameOf(const std::string& path) {
    WIN32_FIND_DATAA data;
    FindHandle find;
    return find.First(path, data) ? std::string(data.cFileName) : std::string();
}

// The final path handle's folder has, compared with where the name says it is: inside
// parentFinal, under the name asked for, its long name, or (the system folder of a 32-bit
// program on 64-bit Windows) the folder the system redirects it to.
bool IsWhereNamed(const std::string& final, const std::string& parentFinal, const std::string& name) {
    if (!SamePath(ParentOf(final), parentFinal)) return false;
    const std::string leaf = Leaf(final);
    return SamePath(leaf, Leaf(name)) || SamePath(leaf, LongNameOf(name)) ||
           SamePath(leaf, Leaf(NativePath(name)));
}

// Rights that change a folder or what its name leads to.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool IsAdministrative(PSID sid) {
    const SidBytes bytes(static_cast<const BYTE*>(sid),
                         static_cast<const BYTE*>(sid) + GetLengthSid(sid));
    return bytes == SystemSid() || bytes == AdministratorsSid() || bytes == TrustedInstallerSid();
}

// The shell's folders a compatibility junction of Windows leads to.
bool IsShellFolder(const std::string& target) {
    static const int kFolders[] = {
        CSIDL_PROGRAM_FILES, 0x002A /* CSIDL_PROGRAM_FILESX86 */, CSIDL_PROGRAM_FILES_COMMON,
        0x002C /* CSIDL_PROGRAM_FILES_COMMONX86 */, CSIDL_WINDOWS, CSIDL_COMMON_APPDATA,
        CSIDL_COMMON_DOCUMENTS, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_STARTMENU,
        CSIDL_COMMON_PROGRAMS, CSIDL_PROFILE, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA};
    for (int csidl : kFolders) {
        const std::string folder = SpecialFolderPath(csidl);
        if (folder.empty()) continue;
        FileHandle handle(OpenThrough(folder));
        const std::string final = handle.IsOpen() ? FinalPathOf(handle.Get()) : std::string();
        if (!final.empty() && SamePath(final, target)) return true;
        // The profiles folder holds the profiles: C:\Documents and Settings leads there.
        if (csidl == CSIDL_PROFILE && !final.empty() && SamePath(ParentOf(final), target))
            return true;
    }
    return false;
}

// Windows' own compatibility junction: owned by the system or the administrators, changeable by
// nobody else, leading to one of the shell's folders.
bool IsWindowsJunction(HANDLE junction, const std::string&, const std::string& target) {
    if (target.empty()) return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(junction, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    bool trusted = owner && IsAdministrative(owner) && dacl;
    for (DWORD i = 0; trusted && i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(dacl, i, &entry)) {
            trusted = false;
            break;
        }
        const ACE_HEADER* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kChangeRights) &&
            !IsAdministrative(const_cast<DWORD*>(&allowed->SidStart)))
            trusted = false;
    }
    LocalFree(descriptor);
    return trusted && IsShellFolder(target);
}

SystemJunctionCheck gJunctionCheck = IsWindowsJunction;

}  // namespace

void SetSystemJunctionCheck(SystemJunctionCheck check) {
    gJunctionCheck = check ? check : IsWindowsJunction;
}

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        Release();
        handles_.swap(other.handles_);
        created_.swap(other.created_);
        path_.swap(other.path_);
        problem_.swap(other.problem_);
        held_ = other.held_;
        other.held_ = false;
    }
    return *this;
}

void HeldFolder::Release() {
    for (HANDLE h : handles_) CloseHandle(h);
    handles_.clear();
    held_ = false;
}

bool HeldFolder::Hold(const std::string& path, MissingFolders missing) {
    Release();
    created_.clear();
    problem_.clear();
    path_ = path;
    if (path_.size() > 3 && path_.back() == '\\') path_.pop_back();
    const auto refuse = [this](const std::string& problem) {
        Release();
        problem_ = problem;
        return false;
    };

    const std::string root = RootOf(path_);
    if (root.empty()) return refuse("\"" + path_ + "\" n\xE3o \xE9 um caminho completo");
    const FolderCalls& calls = CurrentFolderCalls();
    const bool nt = HasAccessControl();
    ProgramFilesProtection protection;
    const SidBytes runner = missing == MissingFolders::CreateProtected && nt ? RunnerSid() : SidBytes();

    // The root: its final path and volume, for the folders directly in it.
    std::string parentFinal = root;
    DWORD parentVolume = 0;
    if (nt) {
        FileHandle top(CreateFileA((root + "\\").c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (top.IsOpen() && GetFileInformationByHandle(top.Get(), &info)) {
            parentVolume = info.dwVolumeSerialNumber;
            const std::string final = FinalPathOf(top.Get());
            if (!final.empty()) parentFinal = final;
        }
    }

    std::string name = root;
    size_t at = root.size();
    while (at < path_.size()) {
        const size_t next = path_.find('\\', at + 1);
        const std::string part = path_.substr(at + 1, next == std::string::npos ? std::string::npos
                                                                                : next - at - 1);
        at = next == std::string::npos ? path_.size() : next;
        if (part.empty()) continue;  // a doubled backslash names the same folder
        name += "\\" + part;

        if (!nt) {  // Windows 9x: no links, no owners, no handles on folders
            if (!DirectoryExists(name)) {
                if (missing == MissingFolders::Refuse)
                    return refuse("A pasta \"" + name + "\" n\xE3o existe");
                if (!CreateDirectoryA(name.c_str(), nullptr) && !DirectoryExists(name))
                    return refuse("N\xE3o foi poss\xEDvel criar a pasta \"" + name + "\" (" +
                                  SysErrorMessage(GetLastError()) + ")");
                created_.push_back(name);
            }
            continue;
        }

        HANDLE handle = OpenToHold(name);
        bool existed = true;
        if (handle == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            if ((error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
                missing != MissingFolders::Refuse) {
                const bool isProtected = missing == MissingFolders::CreateProtected;
                if (calls.CreateDirectory(name.c_str(), isProtected ? protection.Attributes() : nullptr)) {
                    existed = false;
                    created_.push_back(name);
                    Log(isProtected ? "Pasta criada, protegida como Arquivos de Programas: " + name
                                    : "Pasta criada: " + name);
                } else if ((error = GetLastError()) != ERROR_ALREADY_EXISTS) {
                    return refuse("N\xE3o foi poss\xEDvel criar a pasta \"" + name + "\" (" +
                                  SysErrorMessage(error) + ")");
                }
                handle = OpenToHold(name);  // made now, or by someone else meanwhile
                error = GetLastError();
            }
            if (handle == INVALID_HANDLE_VALUE) {
                if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
                    return refuse("A pasta \"" + name + "\" n\xE3o existe");
                if (error == ERROR_SHARING_VIOLATION)
                    return refuse("A pasta \"" + name + "\" est\xE1 aberta por outro programa para "
                                  "ser alterada; o instalador n\xE3o grava nela enquanto isso");
                return refuse("N\xE3o foi poss\xEDvel abrir a pasta \"" + name + "\" (" +
                              SysErrorMessage(error) + ")");
            }
        }
        handles_.push_back(handle);

        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(handle, &info))
            return refuse("N\xE3o foi poss\xEDvel ler a pasta \"" + name + "\" (" +
                          SysErrorMessage(GetLastError()) + ")");
        if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return refuse("\"" + name + "\" \xE9 um arquivo, n\xE3o uma pasta");
        const std::string final = FinalPathOf(handle);
        const bool redirected =
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
            (final.empty() ? parentVolume != 0 && info.dwVolumeSerialNumber != parentVolume
                           : !IsWhereNamed(final, parentFinal, name));
        if (redirected) {
            HANDLE through = OpenThrough(name);
            const std::string target = through != INVALID_HANDLE_VALUE ? FinalPathOf(through)
                                                                       : std::string();
            if (through != INVALID_HANDLE_VALUE) handles_.push_back(through);
            if (!gJunctionCheck(handle, name, target))
                return refuse("A pasta \"" + name + "\" \xE9 um link (jun\xE7\xE3o, ponto de "
                              "montagem ou link simb\xF3lico)" +
                              (target.empty() ? std::string() : " para \"" + target + "\"") +
                              ": o instalador n\xE3o grava atrav\xE9s de links");
            Log("Pasta \"" + name + "\": jun\xE7\xE3o de compatibilidade do Windows para " + target);
            parentFinal = target;
            continue;
        }
        if (missing == MissingFolders::CreateProtected && existed) {
            const std::string problem = OwnerProblem(name, runner);
            if (!problem.empty()) return refuse(problem);
        }
        parentFinal = final.empty() ? name : final;
        parentVolume = info.dwVolumeSerialNumber;
    }
    held_ = true;
    return true;
}
