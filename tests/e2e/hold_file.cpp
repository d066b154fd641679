// Holds a file the way a running program does, for the scenarios of upgrades over programs in
// use:  hold_file.exe load|open PATH NAME
//   load  LoadLibraryA(PATH): a DLL a program has loaded
//   open  CreateFileA(PATH) for reading with no sharing at all: a file a program keeps open
// Once the file is held it signals the event "NAME.ready"; it lets go and ends when the event
// "NAME.release" is signalled. Both events are made by the scenario before it starts this.
// Exit code 0 after a release, 2 when the file could not be held, 1 on a bad command line.
#include <windows.h>

#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 4) return 1;
    const bool load = std::strcmp(argv[1], "load") == 0;
    if (!load && std::strcmp(argv[1], "open") != 0) return 1;
    const std::string name = argv[3];
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, (name + ".ready").c_str());
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (name + ".release").c_str());
    if (!ready || !release) return 1;
    HMODULE module = nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (load) module = LoadLibraryA(argv[2]);
    else file = CreateFileA(argv[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!module && file == INVALID_HANDLE_VALUE) return 2;
    SetEvent(ready);
    WaitForSingleObject(release, INFINITE);
    if (module) FreeLibrary(module);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return 0;
}
