#include "settings/Settings.h"

#include <windows.h>

#include "core/InstallerUi.h"
#include "platform/Environment.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Machine.h"

namespace {

// The profile reader: keeps the path, one GetPrivateProfileStringA call per key.
class TIniFile {
public:
    explicit TIniFile(std::string path) : path_(std::move(path)) {}
    std::string ReadString(const char* section, const char* key, const char* def) const {
        char buffer[2048];
        DWORD n = GetPrivateProfileStringA(section, key, def, buffer, sizeof buffer,
                                           path_.c_str());
        return std::string(buffer, n);
    }
private:
    std::string path_;
};

// A drive letter this process cannot see: a letter mapped in a person's session does not exist
// for SYSTEM (a start-up script, psexec -s, most deployment tools) nor for an elevated token
// started from that session. Said in plain words, with what to do about it.
// what: "de RemoteApp", "da pasta do instalador".
void LogUnseenDrive(const MachineFacts& machine, const std::string& what, const std::string& path) {
    if (DriveVisible(machine, path)) return;
    Log("Aviso: a unidade " + path.substr(0, 2) + " " + what + " (" + path +
        ") n\xE3o existe para este processo (usu\xE1rio " + UserName() +
        "). Unidades mapeadas numa sess\xE3o de usu\xE1rio n\xE3o existem para SYSTEM nem para um "
        "processo elevado; para ferramentas de implanta\xE7\xE3o use no startKestrel.INI um caminho "
        "UNC (\\\\servidor\\...)");
}

[[noreturn]] void Refuse(InstallerUi& ui, const std::string& text) {
    ui.MessageBox(text, "Advert\xEA" "ncia", MB_OK);
    ui.SetCancelEnabled(true);
    throw EAbort();
}

}  // namespace

std::string InstallerFolder() {
    char buffer[MAX_PATH + 1];
    DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return ExtractFilePath(std::string(buffer, n));
}

std::string RebaseDrive(const std::string& value, const std::string& systemDrive) {
    size_t slash = value.find('\\');
    return systemDrive + (slash == std::string::npos ? std::string() : value.substr(slash));
}

void ReadSettingsFrom(const std::string& folder, InstallContext& context, InstallerUi& ui) {
    const std::string path = folder + kSettingsFileName;
    if (!FileExists(path))
        Refuse(ui, "Arquivo startKestrel.INI, necess\xE1rio para instala\xE7\xE3o, n\xE3o "
                   "localizado no diret\xF3rio " + folder + ".");

    const std::string rawLocalApp = [&] {
        TIniFile ini(path);
        const std::string localApp = ini.ReadString("Application", "LocalApp", "LocalERROR");
        context.RemoteApp = ini.ReadString("Application", "RemoteApp", "RemoteERROR");
        context.LocalApp = RebaseDrive(localApp, context.SystemDrive);
        context.LocalFolder = ExtractFilePath(context.LocalApp);
        context.RemoteFolder = ExtractFilePath(context.RemoteApp);
        context.IPServidor = ini.ReadString("Instalacao", "IPServidor", "IPServidorERROR");
        context.Porta = ini.ReadString("Instalacao", "Porta", "PortaERROR");
        context.BancoDados = ini.ReadString("Instalacao", "BancoDados", "BancoDadosERROR");
        return localApp;
    }();

    if (!context.LocalFolder.empty() && context.LocalFolder.back() == '\\')
        context.LocalFolder.pop_back();

    Log("Configura\xE7\xF5" "es lidas de " + path + ": LocalApp=" + rawLocalApp +
        " (na esta\xE7\xE3o " + context.LocalApp + "), RemoteApp=" + context.RemoteApp +
        ", IPServidor=" + context.IPServidor + ", Porta=" + context.Porta +
        ", BancoDados=" + context.BancoDados);

    const MachineFacts machine = Machine();
    LogUnseenDrive(machine, "de RemoteApp", context.RemoteApp);
    LogUnseenDrive(machine, "da pasta do instalador", folder);

    // Without a backslash the value names no place on the workstation: the copy and the links
    // would go to the root of the system drive. Stop before anything is written.
    if (rawLocalApp.find('\\') == std::string::npos)
        Refuse(ui, "O valor de LocalApp (\"" + rawLocalApp + "\") no arquivo " + path +
                       " n\xE3o \xE9 um caminho completo. Corrija o arquivo e execute o "
                       "instalador novamente.");
}
