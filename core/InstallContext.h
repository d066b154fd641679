// The strings one installation run shares with its tasks. Created empty when the run starts and
// dropped when it ends.
#pragma once
#include <array>
#include <string>
#include <vector>

constexpr int kPayloadRows = 82;

struct InstallContext {
    // Filled by the run.
    std::string SystemDir;
    std::string SystemDrive;
    std::string BdeDir;   // may be replaced by the registered BDE DLLPATH
    std::string OdbcDir;
    // Filled from startKestrel.INI.
    std::string LocalApp;
    std::string LocalFolder;
    std::string RemoteApp;
    std::string RemoteFolder;
    std::string IPServidor;
    std::string Porta;
    std::string BancoDados;
    // Destination of payload row r at index r - 1.
    std::array<std::string, kPayloadRows> Destinations;
    // Files that were in use: their replacement, removal or the removal of their old copy waits
    // for the next restart of Windows. Filled by the payload step in the order of the rows, and
    // by the uninstall.
    std::vector<std::string> FilesAwaitingRestart;
};
