// The installer's image as the shell reads it: on the 32-bit bed the product itself.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "Driver.h"

namespace {

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<std::string>*>(names)->push_back(
        IS_INTRESOURCE(name) ? "#" + std::to_string(reinterpret_cast<UINT_PTR>(name)) : name);
    return TRUE;
}

// The icon drawn on white at 32 x 32, as 32-bit pixels.
std::vector<DWORD> Pixels(HICON icon) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 32;
    info.bmiHeader.biHeight = -32;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, 32, 32};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(dc, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + 32 * 32);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

// The shell shows the first icon group of the image's resource directory as the program's icon:
// that must be MAINICON, not the window's own icon.
TEST(Resources, MainIconIsTheFirstIconGroup) {
    const std::string path = e2e::BuiltInstaller();
    HMODULE exe = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr) << GetLastError();
    std::vector<std::string> groups;
    EnumResourceNamesA(exe, RT_GROUP_ICON, CollectName, reinterpret_cast<LONG_PTR>(&groups));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], "MAINICON");

    // And the shell's own reading of the file agrees.
    HICON shown = ExtractIconA(GetModuleHandleA(nullptr), path.c_str(), 0);
    HICON main = static_cast<HICON>(LoadImageA(exe, "MAINICON", IMAGE_ICON, 32, 32, 0));
    ASSERT_TRUE(shown && main);
    EXPECT_TRUE(Pixels(shown) == Pixels(main)) << "the shell shows another icon than MAINICON";
    DestroyIcon(shown);
    DestroyIcon(main);
    FreeLibrary(exe);
}

}  // namespace
