// A look-alike of a system DLL: the safety scenarios plant copies of it beside the installer under
// the names of the DLLs that the shell and COM load by bare name. A process that loads it writes
// one line into C:\lookalike-loads.txt: its own program file and the DLL's path. It exports nothing
// (a real attack would forward the system DLL's functions); being loaded at all is the fault.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char program[MAX_PATH] = "", dll[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    GetModuleFileNameA(self, dll, MAX_PATH);
    HANDLE file = CreateFileA("C:\\lookalike-loads.txt", FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char line[2 * MAX_PATH + 4];
        const int n = wsprintfA(line, "%s|%s\r\n", program, dll);
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
