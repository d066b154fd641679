// Shared pieces of the unit tests: a recording stand-in for the installer window and small
// file helpers. Every test program runs under Wine in a prefix of its own.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <set>
#include <string>
#include <vector>

#include "core/InstallerUi.h"

struct RecordedBox {
    std::string text;
    std::string caption;
    UINT flags;
};

class RecordingUi : public InstallerUi {
public:
    // What happened, in order: "box:<caption>", "status:<text>", "process", "cancel:on", ...
    std::vector<std::string> events;
    std::vector<RecordedBox> boxes;
    std::vector<int> answers;          // answers for the next boxes; IDOK when none left
    bool checked[3] = {true, true, true};
    bool cancelEnabled = true;
    bool installEnabled = true;
    std::string status;
    int processCount = 0;

    int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;
    void SetStatus(const std::string& text) override;
    std::string Status() const override { return status; }
    void ProcessMessages() override;
    void SetCancelEnabled(bool enabled) override;
    void SetInstallEnabled(bool enabled) override;
    bool IsChecked(InstallOption option) const override;
    void ShowMessage(const std::string& text) override;
    HWND ApplicationWindow() const override { return nullptr; }
    std::string Title() const override { return "Instalador - Kestrel"; }
};

// A fresh empty folder below the temporary folder, with a trailing backslash.
std::string MakeTempFolder(const std::string& name);
void WriteTextFile(const std::string& path, const std::string& text);
std::string ReadWholeFile(const std::string& path);
// The folder of this test program, which the build shares with InstaladorHalden.exe.
std::string BuildFolder();

// A stand-in for the installer's image: a copy of a marker DLL at path whose RT_RCDATA blobs 1 to
// 82 (Portuguese, Brazil) hold TestPayloadBlob(row), and blob KESTREL_UNINSTALLER_RESOURCE
// TestPayloadBlob(KESTREL_UNINSTALLER_RESOURCE), except the ones in missing. Loaded as a data
// file; nullptr when it could not be made. (Wine's UpdateResource cannot store an empty blob.)
HMODULE MakeTestPayloadModule(const std::string& path, const std::set<int>& missing = {});
// "row 7 of the test payload\r\n", repeated 1 to 5 times.
std::string TestPayloadBlob(int row);
