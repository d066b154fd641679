// Reads a saved shell link back through the shell-link object (COM must be initialised).
#pragma once
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <string>

struct Link {
    bool loaded = false;
    std::string target, arguments, workingDirectory;
};

inline Link LoadLink(const std::string& path) {
    Link link;
    IShellLinkA* shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&shell))))
        return link;
    IPersistFile* file = nullptr;
    shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    wchar_t wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    if (file && SUCCEEDED(file->Load(wide, STGM_READ))) {
        char buffer[MAX_PATH * 2] = "";
        shell->GetPath(buffer, sizeof buffer, nullptr, SLGP_RAWPATH);
        link.target = buffer;
        buffer[0] = 0;
        shell->GetArguments(buffer, sizeof buffer);
        link.arguments = buffer;
        buffer[0] = 0;
        shell->GetWorkingDirectory(buffer, sizeof buffer);
        link.workingDirectory = buffer;
        link.loaded = true;
    }
    if (file) file->Release();
    shell->Release();
    return link;
}
