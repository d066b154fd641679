#include "platform/RestartManager.h"

#include <windows.h>
#include <restartmanager.h>

#include "platform/Shell.h"

namespace {

using RmStartSessionFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using RmRegisterResourcesFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*,
                                             UINT, LPCWSTR*);
using RmGetListFn = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
using RmEndSessionFn = DWORD(WINAPI*)(DWORD);

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::wstring Wide(const std::string& text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

std::string Ansi(const WCHAR* text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// The library, loaded by its full path (never from a folder a planted copy could be in).
class SystemLibrary {
public:
    explicit SystemLibrary(const char* name)
        : module_(LoadLibraryA((SystemDirectory() + "\\" + name).c_str())) {}
    ~SystemLibrary() {
        if (module_) FreeLibrary(module_);
    }
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;
    HMODULE Get() const { return module_; }
private:
    HMODULE module_;
};

}  // namespace

std::vector<std::string> ProgramsHolding(const std::string& path, std::string* why) {
    std::vector<std::string> programs;
    auto say = [why](const std::string& text) {
        if (why) *why = text;
    };
    SystemLibrary library("rstrtmgr.dll");
    if (!library.Get()) {
        say("sem Restart Manager");
        return programs;
    }
    auto start = Lookup<RmStartSessionFn>(library.Get(), "RmStartSession");
    auto add = Lookup<RmRegisterResourcesFn>(library.Get(), "RmRegisterResources");
    auto list = Lookup<RmGetListFn>(library.Get(), "RmGetList");
    auto end = Lookup<RmEndSessionFn>(library.Get(), "RmEndSession");
    if (!start || !add || !list || !end) {
        say("sem Restart Manager");
        return programs;
    }
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    DWORD code = start(&session, 0, key);
    if (code != ERROR_SUCCESS) {
        say("Restart Manager: erro " + std::to_string(code));
        return programs;
    }
    const std::wstring file = Wide(path);
    LPCWSTR files[] = {file.c_str()};
    code = add(session, 1, files, 0, nullptr, 0, nullptr);
    std::vector<RM_PROCESS_INFO> infos;
    UINT needed = 0, count = 0;
    DWORD reasons = 0;
    // The list may grow between the calls: asked again with room for what it said.
    for (int attempt = 0; code == ERROR_SUCCESS || code == ERROR_MORE_DATA; ++attempt) {
        count = static_cast<UINT>(infos.size());
        code = list(session, &needed, &count, infos.empty() ? nullptr : infos.data(), &reasons);
        if (code != ERROR_MORE_DATA || attempt == 3) break;
        infos.resize(needed + 2);
    }
    end(session);
    if (code != ERROR_SUCCESS) {
        say("Restart Manager: erro " + std::to_string(code));
        return programs;
    }
    for (UINT i = 0; i < count && i < infos.size(); ++i)
        programs.push_back(Ansi(infos[i].strAppName) + " (PID " +
                           std::to_string(infos[i].Process.dwProcessId) + ")");
    if (programs.empty()) say("nenhum programa conhecido pelo Restart Manager");
    return programs;
}
