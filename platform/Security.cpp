#include "platform/Security.h"

#include <cstdio>

#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Log.h"

namespace {

const DWORD kFullControl = FILE_ALL_ACCESS;
const DWORD kReadAndExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
const BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

DWORD ReadOwnerOfName(const std::string& path, SidBytes& owner) {
    // The name itself: a link's own owner, not that of what it points to.
    FileHandle folder(CreateFileA(path.c_str(), READ_CONTROL,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (!folder.IsOpen()) return GetLastError();
    DWORD needed = 0;
    GetKernelObjectSecurity(folder.Get(), OWNER_SECURITY_INFORMATION, nullptr, 0, &needed);
    if (needed == 0) return GetLastError();
    std::vector<BYTE> descriptor(needed);
    if (!GetKernelObjectSecurity(folder.Get(), OWNER_SECURITY_INFORMATION, descriptor.data(),
                                 needed, &needed))
        return GetLastError();
    PSID sid = nullptr;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor.data(), &sid, &defaulted)) return GetLastError();
    if (!sid) return ERROR_INVALID_OWNER;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    owner.assign(bytes, bytes + GetLengthSid(sid));
    return ERROR_SUCCESS;
}

const FolderCalls kSystemCalls = {CreateDirectoryA, ReadOwnerOfName};
const FolderCalls* gCalls = &kSystemCalls;

bool SameSid(const SidBytes& a, const SidBytes& b) {
    return !a.empty() && a == b;
}

std::string SidText(const SidBytes& sid) {
    if (sid.size() < 8) return "(desconhecido)";
    const BYTE* b = sid.data();
    unsigned long long authority = 0;
    for (int i = 2; i < 8; ++i) authority = authority << 8 | b[i];
    std::string text = "S-" + std::to_string(b[0]) + "-" + std::to_string(authority);
    for (size_t i = 0; i < b[1] && 8 + 4 * (i + 1) <= sid.size(); ++i) {
        DWORD sub;
        CopyMemory(&sub, b + 8 + 4 * i, sizeof sub);
        text += "-" + std::to_string(sub);
    }
    return text;
}

}  // namespace

SidBytes MakeSid(BYTE authority, const std::vector<DWORD>& subauthorities) {
    SidBytes sid(8 + 4 * subauthorities.size());
    sid[0] = SID_REVISION;
    sid[1] = static_cast<BYTE>(subauthorities.size());
    sid[7] = authority;  // the 48-bit authority, big-endian
    for (size_t i = 0; i < subauthorities.size(); ++i)
        CopyMemory(&sid[8 + 4 * i], &subauthorities[i], sizeof(DWORD));
    return sid;
}

SidBytes SystemSid() {
    return MakeSid(5, {SECURITY_LOCAL_SYSTEM_RID});
}

SidBytes AdministratorsSid() {
    return MakeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS});
}

SidBytes UsersSid() {
    return MakeSid(5, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS});
}

SidBytes TrustedInstallerSid() {
    return MakeSid(5, {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464});
}

SidBytes RunnerSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return SidBytes();
    FileHandle owned(token);
    DWORD needed = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed))
        return SidBytes();
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return SidBytes(bytes, bytes + GetLengthSid(sid));
}

std::string AccountName(const SidBytes& sid) {
    char name[256], domain[256];
    DWORD nameSize = sizeof name, domainSize = sizeof domain;
    SID_NAME_USE use;
    if (!sid.empty() && LookupAccountSidA(nullptr, const_cast<BYTE*>(sid.data()), name,
                                          &nameSize, domain, &domainSize, &use))
        return domain[0] ? std::string(domain) + "\\" + name : std::string(name);
    return SidText(sid);
}

ProgramFilesProtection::ProgramFilesProtection()
    : system_(SystemSid()), administrators_(AdministratorsSid()), users_(UsersSid()) {
    const DWORD aceHeader = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
    acl_.resize(sizeof(ACL) + 3 * aceHeader + system_.size() + administrators_.size() +
                users_.size());
    PACL acl = reinterpret_cast<PACL>(acl_.data());
    InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION);
    AddAccessAllowedAceEx(acl, ACL_REVISION, kInherited, kFullControl, system_.data());
    AddAccessAllowedAceEx(acl, ACL_REVISION, kInherited, kFullControl, administrators_.data());
    AddAccessAllowedAceEx(acl, ACL_REVISION, kInherited, kReadAndExecute, users_.data());
    InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
    // Protected: the entries of the folders above are not inherited.
    SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
}

bool MayOwnProtectedFolder(const SidBytes& owner, const SidBytes& runner) {
    return SameSid(owner, SystemSid()) || SameSid(owner, AdministratorsSid()) ||
           SameSid(owner, TrustedInstallerSid()) || SameSid(owner, runner);
}

std::string OwnerProblem(const std::string& folder, const SidBytes& runner) {
    SidBytes owner;
    const DWORD code = gCalls->ReadOwner(folder, owner);
    // A file system without access control (FAT) keeps no owner: nothing to protect there.
    if (code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_FUNCTION) return std::string();
    if (code != ERROR_SUCCESS)
        return "N\xE3o foi poss\xEDvel ler o propriet\xE1rio da pasta \"" + folder + "\" (" +
               SysErrorMessage(code) +
               "): o instalador n\xE3o grava numa pasta que pode ser de outro usu\xE1rio";
    if (MayOwnProtectedFolder(owner, runner)) return std::string();
    return "A pasta \"" + folder + "\" pertence ao usu\xE1rio " + AccountName(owner) +
           ", e n\xE3o ao sistema ou aos administradores: qualquer usu\xE1rio pode t\xEA-la criado "
           "antes da instala\xE7\xE3o, e o instalador n\xE3o grava nela. Remova a pasta (ou "
           "passe-a aos administradores) e execute o instalador de novo";
}

const FolderCalls& SystemFolderCalls() {
    return kSystemCalls;
}

void SetFolderCalls(const FolderCalls* calls) {
    gCalls = calls ? calls : &kSystemCalls;
}

const FolderCalls& CurrentFolderCalls() {
    return *gCalls;
}
