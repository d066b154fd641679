#include "TestSupport.h"

#include <fstream>
#include <sstream>

#include "core/InstallContext.h"
#include "platform/Files.h"
#include "tasks/UninstallerResource.h"

int RecordingUi::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    events.push_back("box:" + caption);
    boxes.push_back({text, caption, flags});
    if (answers.empty()) return IDOK;
    int answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

void RecordingUi::ShowMessage(const std::string& text) {
    events.push_back("message");
    boxes.push_back({text, Title(), MB_OK});
}

void RecordingUi::SetStatus(const std::string& text) {
    status = text;
    events.push_back("status:" + text);
}

void RecordingUi::ProcessMessages() {
    ++processCount;
    events.push_back("process");
}

void RecordingUi::SetCancelEnabled(bool enabled) {
    cancelEnabled = enabled;
    events.push_back(enabled ? "cancel:on" : "cancel:off");
}

void RecordingUi::SetInstallEnabled(bool enabled) {
    installEnabled = enabled;
    events.push_back(enabled ? "install:on" : "install:off");
}

bool RecordingUi::IsChecked(InstallOption option) const {
    return checked[static_cast<int>(option)];
}

std::string MakeTempFolder(const std::string& name) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "kestrel-test-" + name;
    SHFILEOPSTRUCTA op{};
    std::string from = folder + '\0';
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationA(&op);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder + "\\";
}

void WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string BuildFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return ExtractFilePath(path);
}

std::string TestPayloadBlob(int row) {
    std::string text = "row " + std::to_string(row) + " of the test payload\r\n";
    std::string blob;
    for (int i = 0; i < row % 5 + 1; ++i) blob += text;
    return blob;
}

HMODULE MakeTestPayloadModule(const std::string& path, const std::set<int>& missing) {
    const WORD portugueseBrazil = MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN);
    if (!CopyFileA((BuildFolder() + "markers\\marker-msxml5.dll").c_str(), path.c_str(), FALSE))
        return nullptr;
    HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
    if (!update) return nullptr;
    std::vector<int> blobs;
    for (int row = 1; row <= kPayloadRows; ++row) blobs.push_back(row);
    blobs.push_back(KESTREL_UNINSTALLER_RESOURCE);
    for (int row : blobs) {
        if (missing.count(row)) continue;
        std::string blob = TestPayloadBlob(row);
        if (!UpdateResourceA(update, RT_RCDATA, MAKEINTRESOURCEA(row), portugueseBrazil, &blob[0],
                             static_cast<DWORD>(blob.size()))) {
            EndUpdateResourceA(update, TRUE);
            return nullptr;
        }
    }
    if (!EndUpdateResourceA(update, FALSE)) return nullptr;
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}
