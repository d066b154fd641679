// Shared pieces of the unit tests: a recording stand-in for the installer window and small
// file helpers. Every test program runs under Wine in a prefix of its own.
#pragma once
#include <windows.h>
#include <shellapi.h>

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
