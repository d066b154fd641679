// The module's own RT_RCDATA resources, used in place in the loaded image.
#pragma once
#include <windows.h>

// The bytes of one resource as they sit in the module's image; valid while the module is loaded.
struct ResourceBytes {
    const void* Data = nullptr;
    DWORD Size = 0;
};

// FindResourceA / LoadResource / LockResource / SizeofResource on RT_RCDATA with an integer
// identifier. module nullptr means the program's own image. False when the resource is absent
// or cannot be loaded.
bool FindRcData(HMODULE module, int id, ResourceBytes& bytes);
