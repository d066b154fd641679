// What the machine does with the program's writes and which drives the program can see: the facts
// an administrator needs from the log to find the installation, on 64-bit Windows and under a
// deployment tool that runs the program as SYSTEM.
#pragma once
#include <windows.h>

#include <string>

struct MachineFacts {
    // The program (32-bit) runs under WOW64 on 64-bit Windows (IsWow64Process, looked up at run
    // time: Windows XP before SP2 lacks it, and there the answer is no).
    bool Wow64 = false;
    // The system directory as the program sees it (GetSystemDirectoryA) and, under WOW64, the
    // folder the file system redirects it to (GetSystemWow64DirectoryA, also looked up).
    std::string SystemDir;
    std::string SystemWow64Dir;
    // Under WOW64: HKLM\SOFTWARE\WOW6432Node when the 64-bit view of the registry has it, the
    // key that receives the program's HKLM\SOFTWARE writes; "" when it was not found.
    std::string RegistryWow64Key;
    // The drive letters this process sees (GetLogicalDrives: bit 0 is A:). A drive mapped in a
    // user's session is missing here for SYSTEM and for an elevated token of that user.
    DWORD Drives = 0;
};

// The facts of this machine, read now.
MachineFacts ReadMachineFacts();
// The facts the program goes by: ReadMachineFacts(), unless a test has put others in place.
MachineFacts Machine();
// Puts facts in place of the machine's own (tests); nullptr goes back to the machine's.
void OverrideMachineFacts(const MachineFacts* facts);

// The start line's note for 64-bit Windows, naming where the writes really go; "" when the
// program does not run under WOW64.
std::string Wow64Note(const MachineFacts& facts);
// The drive letter of a path such as "S:\Kestrel\Kestrel.exe" is one this process sees. A path
// without a drive letter (a UNC path, a relative one) counts as seen: there is no letter to miss.
bool DriveVisible(const MachineFacts& facts, const std::string& path);
