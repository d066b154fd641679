// The uninstaller's image: the program without its payload, every other resource kept, and a
// program the system still loads.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestSupport.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Image.h"

namespace {

bool HasResource(HMODULE module, LPCSTR type, LPCSTR name) {
    return FindResourceA(module, name, type) != nullptr;
}

TEST(Image, WithoutPayloadKeepsEveryOtherResourceAndLoads) {
    const std::string installer = BuildFolder() + "InstaladorHalden.exe";
    // Not "uninstaller.exe": Wine would load its own program of that name.
    const std::string copy = MakeTempFolder("image") + "DesinstalarKestrel.exe";
    WriteImageWithoutResources(installer, copy, 1, 82);

    const unsigned long long size = FileSizeOf(copy);
    EXPECT_GT(FileSizeOf(installer), 30000000ull);
    EXPECT_LT(size, 2000000ull) << "the payload is still there";
    EXPECT_GT(size, 100000ull);

    // Loaded as an image (not as data): the headers, sections and relocations hold together.
    HMODULE module = LoadLibraryExA(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    for (int row : {1, 41, 82})
        EXPECT_FALSE(HasResource(module, RT_RCDATA, MAKEINTRESOURCEA(row))) << row;
    EXPECT_TRUE(HasResource(module, RT_RCDATA, "BANNER"));
    EXPECT_TRUE(HasResource(module, RT_GROUP_ICON, "MAINICON"));
    EXPECT_TRUE(HasResource(module, RT_VERSION, MAKEINTRESOURCEA(1)));
    EXPECT_TRUE(HasResource(module, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1)));  // manifest
    // The banner's bytes are the original's.
    HMODULE original = LoadLibraryExA(installer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(original, nullptr);
    HRSRC a = FindResourceA(module, "BANNER", RT_RCDATA);
    HRSRC b = FindResourceA(original, "BANNER", RT_RCDATA);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(SizeofResource(module, a), SizeofResource(original, b));
    EXPECT_EQ(memcmp(LockResource(LoadResource(module, a)), LockResource(LoadResource(original, b)),
                     SizeofResource(module, a)),
              0);
    FreeLibrary(original);
    FreeLibrary(module);
}

// Without resources, the image is copied as it is; what is no image is refused.
TEST(Image, ImageWithoutResourcesIsCopiedAndNonImageRefused) {
    const std::string folder = MakeTempFolder("image2");
    const std::string marker = BuildFolder() + "markers\\marker-msxml5.dll";
    WriteImageWithoutResources(marker, folder + "copy.dll", 1, 82);
    EXPECT_EQ(ReadWholeFile(folder + "copy.dll"), ReadWholeFile(marker));

    WriteTextFile(folder + "text.exe", "MZ but nothing more");
    EXPECT_THROW(WriteImageWithoutResources(folder + "text.exe", folder + "out.exe", 1, 82),
                 Exception);
    EXPECT_FALSE(FileExists(folder + "out.exe"));
}

}  // namespace
