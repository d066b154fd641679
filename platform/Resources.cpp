#include "platform/Resources.h"

bool FindRcData(HMODULE module, int id, ResourceBytes& bytes) {
    if (!module) module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), RT_RCDATA);
    if (!info) return false;
    HGLOBAL loaded = LoadResource(module, info);
    if (!loaded) return false;
    const void* data = LockResource(loaded);  // resources need no unlocking or freeing
    if (!data) return false;
    bytes.Data = data;
    bytes.Size = SizeofResource(module, info);
    return true;
}
