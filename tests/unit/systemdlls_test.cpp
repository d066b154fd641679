// Where the installer's DLLs come from: the DLLs that the shell and COM load by bare name are
// loaded from the system folder by full path where the search cannot be restricted, so that a
// later load by bare name finds that module and never one planted beside the installer.
//
// What Wine can show of it is this mechanism: Wine's own shell and COM resolve what they load to
// its built-in DLLs, so a whole run under Wine loads no look-alike even without any of this
// (measured with the hardening switched off; tests/e2e/safety_e2e_test.cpp runs the whole run).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "platform/Shell.h"
#include "platform/SystemDlls.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST(SystemDlls, PreloadedFromTheSystemFolderByFullPath) {
    const std::string system = Lower(SystemDirectory());
    int present = 0;
    for (const char* name : kSystemDllsLoadedByName)
        present += GetFileAttributesA((system + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    ASSERT_GT(present, 0);
    EXPECT_EQ(PreloadSystemDlls(), present);
    for (const char* name : kSystemDllsLoadedByName) {
        if (GetFileAttributesA((system + "\\" + name).c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        // A load by bare name now finds the module loaded from the system folder.
        HMODULE loaded = GetModuleHandleA(name);
        ASSERT_NE(loaded, nullptr) << name;
        char path[MAX_PATH] = "";
        GetModuleFileNameA(loaded, path, MAX_PATH);
        EXPECT_EQ(Lower(path), system + "\\" + name);
        EXPECT_EQ(LoadLibraryA(name), loaded) << name;
    }
}

// The list is the names of DLLs, lower case, each once.
TEST(SystemDlls, TheListHoldsDllNamesOnce) {
    std::vector<std::string> seen;
    for (const char* name : kSystemDllsLoadedByName) {
        const std::string text = name;
        EXPECT_EQ(text, Lower(text));
        EXPECT_EQ(text.substr(text.size() - 4), ".dll");
        EXPECT_EQ(text.find('\\'), std::string::npos);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), text), 0) << text;
        seen.push_back(text);
    }
}

}  // namespace
