// The payload as the real installer writes it: 82 files byte-identical to the sample payload in
// BdeDir, OdbcDir and SystemDir, the two kept files of a reinstallation, the create and write
// errors as the user sees them, and the registration of the two marker DLLs by regsvr32.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "Driver.h"

namespace {

using namespace e2e::texts;

const char kSystem[] = "C:\\windows\\system32";

// The sample payload the installer was built with, beside it.
std::string SampleFolder() {
    std::string exe = e2e::BuiltInstaller();
    return exe.substr(0, exe.find_last_of('\\') + 1) + "payload-sample\\";
}

std::string Payload(int row) {
    return e2e::ReadFile(SampleFolder() + std::to_string(row));
}

// The destination names of rows 1 to 82, from the sample payload's manifest.
const std::vector<std::string>& Names() {
    static const std::vector<std::string> names = e2e::ManifestNames(SampleFolder() + "manifest.txt");
    return names;
}

std::string Destination(int row, const std::string& bde = kDefaultBde) {
    const std::string& base = row <= 57 ? bde : row <= 72 ? std::string(kOdbc) : kSystem;
    return base + Names().at(row - 1);
}

// A file's whole content against the expected one; a mismatch shows sizes and the first bytes
// rather than megabytes.
std::string Head(const std::string& bytes) {
    std::string head = bytes.substr(0, 48);
    for (char& c : head)
        if (static_cast<unsigned char>(c) < ' ' || static_cast<unsigned char>(c) > '~') c = '.';
    return head;
}

::testing::AssertionResult HasContent(const std::string& path, const std::string& want) {
    std::string got = e2e::ReadFile(path);
    if (got == want) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " has " << got.size() << " bytes \"" << Head(got)
                                         << "\", expected " << want.size() << " \"" << Head(want)
                                         << "\"";
}

bool IsFile(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// The system's text for an error code as the create error shows it: trailing blanks, control
// characters and full stops cut off.
std::string SystemText(DWORD code) {
    char buffer[256];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, n);
    while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.'))
        text.pop_back();
    return text;
}

std::string MarkerValue(const char* dll) {
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrel\\SamplePayload", dll, RRF_RT_REG_SZ,
                     nullptr, value, &size) != ERROR_SUCCESS)
        return "";
    return value;
}

void LayOutSite() {
    e2e::LayOutInstaller();
    e2e::WriteFile("F:\\Instalador\\startKestrel.INI",
                   e2e::Settings("C:\\Kestrel\\Kestrel.exe", "S:\\Kestrel\\Kestrel.exe"));
    e2e::WriteFile("S:\\Kestrel\\Kestrel.exe", "Kestrel, the application");
}

void SetDllPath(const std::string& dir) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kBdeKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr), ERROR_SUCCESS);
    RegSetValueExA(key, "DLLPATH", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                   static_cast<DWORD>(dir.size() + 1));
    RegCloseKey(key);
}

// Clicks "&Instalar", waits for the error box of a run that fails, and checks the state it
// leaves: the box as the error display shows it, both buttons disabled, the status unchanged.
void ExpectRunToFail(e2e::Installer& app, const std::string& message, const std::string& status) {
    app.Click(app.Button(kInstalar));
    e2e::Box box = app.WaitForBox();
    EXPECT_EQ(box.caption, kTitle);
    EXPECT_EQ(box.text, message);
    app.Answer(box, IDOK);
    EXPECT_FALSE(app.IsEnabled(app.Button(kInstalar)));
    EXPECT_FALSE(app.IsEnabled(app.Button(kCancelar)));
    EXPECT_EQ(app.Status(), status);
}

TEST(PayloadE2E, FreshRunWritesEveryFileAndAReinstallKeepsRows21And74) {
    ASSERT_EQ(Names().size(), 82u) << "the sample payload's manifest";
    LayOutSite();
    {
        e2e::Installer app;
        app.Click(app.Button(kInstalar));
        ASSERT_TRUE(app.WaitUntilEnabled(app.Button(kCancelar)));
        EXPECT_EQ(app.Status(), kDone);
        app.Click(app.Button(kCancelar));
        EXPECT_EQ(app.WaitForExit(), 0u);
    }
    for (int row = 1; row <= 82; ++row)
        EXPECT_TRUE(HasContent(Destination(row), Payload(row)));
    EXPECT_EQ(e2e::ReplacementFiles({kDefaultBde, kOdbc, kSystem}), std::vector<std::string>{});

    // regsvr32 is started, not waited for: its marks appear in their own time.
    const std::string msxml5 = std::string(kSystem) + "\\msxml5.dll";
    const std::string capicom = std::string(kSystem) + "\\capicom.dll";
    EXPECT_TRUE(e2e::WaitFor([&] {
        return lstrcmpiA(MarkerValue("msxml5.dll").c_str(), msxml5.c_str()) == 0 &&
               lstrcmpiA(MarkerValue("capicom.dll").c_str(), capicom.c_str()) == 0;
    })) << "msxml5.dll: \"" << MarkerValue("msxml5.dll") << "\", capicom.dll: \""
        << MarkerValue("capicom.dll") << "\"";
    ASSERT_TRUE(e2e::WaitFor([] { return !e2e::ProcessRunning("regsvr32.exe"); }));

    // A reinstallation answered "Sim": the files of rows 21 and 74 stay as the site left them,
    // every other file is written again.
    e2e::WriteFile(Destination(21), "[site's own BDE configuration]");
    e2e::WriteFile(Destination(74), "a newer qtintf70.dll");
    e2e::WriteFile(Destination(22), "a newer idapi32.dll");
    e2e::Installer again;
    again.Click(again.Button(kInstalar));
    e2e::Box box = again.WaitForBox();
    EXPECT_EQ(box.caption, "Aten\xE7\xE3o");
    again.Answer(box, IDYES);
    ASSERT_TRUE(again.WaitUntilEnabled(again.Button(kCancelar)));
    EXPECT_EQ(again.Status(), kDone);
    EXPECT_TRUE(HasContent(Destination(21), "[site's own BDE configuration]"));
    EXPECT_TRUE(HasContent(Destination(74), "a newer qtintf70.dll"));
    EXPECT_TRUE(HasContent(Destination(22), Payload(22)));
}

TEST(PayloadE2E, AFolderNamedLikeRow73EndsTheRunWithTheCreateError) {
    LayOutSite();
    const std::string midas = Destination(73);
    ASSERT_TRUE(CreateDirectoryA(midas.c_str(), nullptr));
    e2e::Installer app;
    ExpectRunToFail(app,
                    "Cannot create file \"" + midas + "\". " + SystemText(ERROR_ACCESS_DENIED) + ".",
                    "Instalando " + midas);
    for (int row = 1; row <= 72; ++row)
        EXPECT_TRUE(HasContent(Destination(row), Payload(row)));
    EXPECT_FALSE(IsFile(midas));
    for (int row = 74; row <= 82; ++row)
        EXPECT_EQ(GetFileAttributesA(Destination(row).c_str()), INVALID_FILE_ATTRIBUTES)
            << Destination(row);
    EXPECT_EQ(e2e::ReplacementFiles({kDefaultBde, kOdbc, kSystem}), std::vector<std::string>{});
}

TEST(PayloadE2E, AReadOnlyFileGivesTheCreateErrorAndStaysAsItWas) {
    LayOutSite();
    const std::string first = Destination(1);
    e2e::WriteFile(first, "the site's BDEADMIN.HLP");
    ASSERT_TRUE(SetFileAttributesA(first.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD attributes = GetFileAttributesA(first.c_str());
    e2e::Installer app;
    ExpectRunToFail(app,
                    "Cannot create file \"" + first + "\". " + SystemText(ERROR_ACCESS_DENIED) + ".",
                    "Instalando " + first);
    EXPECT_TRUE(HasContent(first, "the site's BDEADMIN.HLP"));
    EXPECT_EQ(GetFileAttributesA(first.c_str()), attributes);
    EXPECT_EQ(e2e::ReplacementFiles({kDefaultBde}), std::vector<std::string>{});
}

// The BDE registered on a small disk (1 MB, drive T:): rows 1 to 10 fit, row 11
// ("\bdeadmin.exe", 989,608 bytes) does not.
TEST(PayloadE2E, AFullDiskGivesTheWriteErrorAndKeepsThePreviousFile) {
    const char* disk = std::getenv("KESTREL_SMALL_DISK");
    if (!disk) {
        const char* why = std::getenv("KESTREL_SMALL_DISK_MISSING");
        GTEST_SKIP() << "no small disk: " << (why ? why : "run through tests/payload/with-small-disk.sh");
    }
    const std::string bde = std::string(disk) + "\\BDE";
    LayOutSite();
    SetDllPath(bde);
    const std::string admin = Destination(11, bde);
    e2e::WriteFile(admin, "the previous bdeadmin.exe");
    e2e::Installer app;
    ExpectRunToFail(app, "Stream write error.", "Instalando " + admin);
    EXPECT_TRUE(HasContent(admin, "the previous bdeadmin.exe"));
    for (int row = 1; row <= 10; ++row) EXPECT_TRUE(HasContent(Destination(row, bde), Payload(row)));
    EXPECT_FALSE(IsFile(Destination(12, bde)));
    EXPECT_EQ(e2e::ReplacementFiles({bde}), std::vector<std::string>{});
}

}  // namespace
