// Database access: the BDE's directory and configuration file, the PostgreSQL ODBC drivers
// (ANSI and Unicode) and the data source "Kestrel", all below HKEY_LOCAL_MACHINE. Every key is
// opened with create-if-missing and closed after its group; an open that fails shows up as the
// registry write error of the next value. Values already there under other names stay.
#include "tasks/DatabaseAccess.h"

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "core/InstallRecord.h"
#include "platform/Log.h"
#include "platform/Registry.h"
#include "tasks/PayloadTable.h"

namespace {

const char* const kBdeKey = "SOFTWARE\\Borland\\Database Engine";
const char* const kBlw32Key = "SOFTWARE\\Borland\\BLW32";
const char* const kDriversKey = "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC DRIVERS";
const char* const kDriverKeyPrefix = "SOFTWARE\\ODBC\\ODBCINST.INI\\";
const char* const kDataSourcesKey = "Software\\ODBC\\ODBC.INI\\ODBC Data Sources";
const char* const kAnsiDriver = "PostgreSQL ODBC Driver(ANSI)";
const char* const kUnicodeDriver = "PostgreSQL ODBC Driver(UNICODE)";
const char* const kAnsiDriverFile = "\\psqlodbc30a.dll";
const char* const kUnicodeDriverFile = "\\psqlodbc35w.dll";

// One value of the data source: a context field (or none) followed by fixed text.
struct DataSourceValue {
    const char* name;
    std::string InstallContext::*field;
    const char* text;
};

// The data source "Kestrel", in the order written.
const DataSourceValue kDataSource[] = {
    {"AB", nullptr, "0"},
    {"BI", nullptr, "0"},
    {"BoolsAsChar", nullptr, "1"},
    {"ByteaAsLongVarBinary", nullptr, "0"},
    {"CancelAsFreeStmt", nullptr, "0"},
    {"CommLog", nullptr, "0"},
    {"ConnSettings", nullptr, ""},
    {"Database", &InstallContext::BancoDados, ""},
    {"Debug", nullptr, "0"},
    {"Description", nullptr, "Kestrel"},
    {"DisallowPremature", nullptr, "0"},
    {"Driver", &InstallContext::OdbcDir, kAnsiDriverFile},
    {"ExtraSysTablePrefixes", nullptr, "dd_;"},
    {"FakeOidIndex", nullptr, "0"},
    {"Fetch", nullptr, "100"},
    {"Ksqo", nullptr, "1"},
    {"LFConversion", nullptr, "1"},
    {"LowerCaseIdentifier", nullptr, "0"},
    {"MaxLongVarcharSize", nullptr, "8190"},
    {"MaxVarcharSize", nullptr, "255"},
    {"Optimizer", nullptr, "0"},
    {"Parse", nullptr, "0"},
    {"Password", nullptr, ""},
    {"Port", &InstallContext::Porta, ""},
    {"Protocol", nullptr, "7.4"},
    {"ReadOnly", nullptr, "0"},
    {"RowVersioning", nullptr, "0"},
    {"Servername", &InstallContext::IPServidor, ""},
    {"ShowOidColumn", nullptr, "0"},
    {"ShowSystemTables", nullptr, "0"},
    {"SSLmode", nullptr, "disable"},
    {"TextAsLongVarchar", nullptr, "1"},
    {"TrueIsMinus1", nullptr, "0"},
    {"UID", nullptr, "kestrel"},
    {"UniqueIndex", nullptr, "1"},
    {"UnknownsAsLongVarchar", nullptr, "0"},
    {"UnknownSizes", nullptr, "0"},
    {"UpdatableCursors", nullptr, "1"},
    {"UseDeclareFetch", nullptr, "0"},
    {"Username", nullptr, "kestrel"},
    {"UseServerSidePrepare", nullptr, "0"},
    {"XaOpt", nullptr, "1"},
};

using Values = std::vector<std::pair<const char*, std::string>>;

void WriteGroup(TRegistry& registry, const std::string& key, const Values& values) {
    RecordMissingKeys(key);
    registry.OpenKey(key, true);  // a failed open makes the first write below raise
    for (const auto& value : values) registry.WriteString(value.first, value.second);
    registry.CloseKey();
    Log("Registro gravado: HKEY_LOCAL_MACHINE\\" + key + " (" + std::to_string(values.size()) +
        (values.size() == 1 ? " valor)" : " valores)"));
}

// The seven values of one driver's registration; file is the driver DLL below OdbcDir.
Values DriverValues(const std::string& odbcDir, const char* file) {
    const std::string dll = odbcDir + file;
    return {{"APILevel", "1"},         {"ConnectFunctions", "YYN"}, {"Driver", dll},
            {"DriverODBCVer", "08.04.0100"}, {"FileUsage", "0"},   {"Setup", dll},
            {"SQLLevel", "1"}};
}

// The ODBC installer's count of a driver's installations (what SQLInstallDriverEx raises and
// SQLRemoveDriver lowers), kept in the driver's key as that API keeps it. Raised once per
// machine; a driver registered before without a count is counted as used by its other owner too.
void CountOdbcDriver(TRegistry& registry, const char* driver, bool registeredBefore) {
    if (IsRecorded(Recorded::OdbcDrivers, driver)) return;
    registry.OpenKey(std::string(kDriverKeyPrefix) + driver, true);
    DWORD count = 0;
    const bool counted = registry.ReadInteger("UsageCount", count);
    if (!counted && registeredBefore) count = 1;
    registry.WriteInteger("UsageCount", count + 1);
    registry.CloseKey();
    Record(Recorded::OdbcDrivers, driver);
    Log(std::string("Driver ODBC contado: ") + driver + " (UsageCount " +
        std::to_string(count + 1) + ")");
}

// Lowers the driver's count; at 0 the driver's registration goes, as SQLRemoveDriver does it.
void ReleaseOdbcDriver(TRegistry& registry, const std::string& driver) {
    const std::string key = kDriverKeyPrefix + driver;
    DWORD count = 0;
    if (registry.OpenKey(key, false) && registry.ReadInteger("UsageCount", count) && count > 1) {
        registry.WriteInteger("UsageCount", count - 1);
        registry.CloseKey();
        Log("Driver ODBC ainda usado: " + driver + " (UsageCount " + std::to_string(count - 1) +
            ")");
    } else {
        registry.CloseKey();
        registry.DeleteKey(key);
        if (registry.OpenKey(kDriversKey, false)) registry.DeleteValue(driver);
        registry.CloseKey();
        Log("Driver ODBC removido: " + driver);
    }
    Unrecord(Recorded::OdbcDrivers, driver);
}

// The engine is still in use while any of its files at the registered directory is counted.
bool EngineStillCounted(const std::string& bdeDir) {
    for (const PayloadEntry& entry : PayloadTable)
        if (entry.Base == PayloadBase::BdeDir && SharedCount(bdeDir + entry.FileName) > 0)
            return true;
    return false;
}

void DeleteValues(TRegistry& registry, const char* key, std::initializer_list<const char*> names) {
    if (!registry.OpenKey(key, false)) return;
    for (const char* name : names) registry.DeleteValue(name);
    registry.CloseKey();
}

}  // namespace

void UnregisterDatabaseAccess(TRegistry& registry) {
    registry.DeleteKey(kDataSourceKey);
    if (registry.OpenKey(kDataSourcesKey, false)) registry.DeleteValue("Kestrel");
    registry.CloseKey();
    Log("Fonte de dados removida: Kestrel");
    for (const std::string& driver : RecordedItems(Recorded::OdbcDrivers))
        ReleaseOdbcDriver(registry, driver);

    std::string bdeDir;
    if (registry.OpenKey(kBdeKey, false)) bdeDir = registry.ReadString("DLLPATH");
    registry.CloseKey();
    if (!bdeDir.empty() && EngineStillCounted(bdeDir)) {
        Log("BDE ainda usado por outros programas: registro mantido");
    } else {
        DeleteValues(registry, kBlw32Key, {"BLAPIPATH"});
        DeleteValues(registry, kBdeKey, {"CONFIGFILE01", "DLLPATH"});
        Log("BDE sem outro uso: registro removido");
    }
}

// A BDE that is already registered keeps its directory. A key without "DLLPATH", or with an
// empty one, is what a partial BDE removal (and a fresh Wine prefix) leaves behind: it names no
// directory, so the default stays rather than registering and installing into "".
void TakeRegisteredBdeDir(TRegistry& registry, InstallContext& context) {
    if (!registry.KeyExists(kBdeKey)) return;
    registry.OpenKey(kBdeKey, true);
    std::string registered = registry.ReadString("DLLPATH");
    registry.CloseKey();
    if (!registered.empty()) {
        context.BdeDir = registered;
        Log("BDE j\xE1 registrado em " + registered);
    }
}

void RegisterDatabaseAccess(TRegistry& registry, const InstallContext& context) {
    WriteGroup(registry, kBlw32Key, {{"BLAPIPATH", context.BdeDir}});
    WriteGroup(registry, kBdeKey,
               {{"CONFIGFILE01", context.BdeDir + "\\IDAPI32.CFG"}, {"DLLPATH", context.BdeDir}});
    const bool ansiBefore = registry.KeyExists(std::string(kDriverKeyPrefix) + kAnsiDriver);
    const bool unicodeBefore = registry.KeyExists(std::string(kDriverKeyPrefix) + kUnicodeDriver);
    WriteGroup(registry, kDriversKey, {{kAnsiDriver, "Installed"}, {kUnicodeDriver, "Installed"}});
    WriteGroup(registry, std::string(kDriverKeyPrefix) + kAnsiDriver,
               DriverValues(context.OdbcDir, kAnsiDriverFile));
    CountOdbcDriver(registry, kAnsiDriver, ansiBefore);
    WriteGroup(registry, std::string(kDriverKeyPrefix) + kUnicodeDriver,
               DriverValues(context.OdbcDir, kUnicodeDriverFile));
    CountOdbcDriver(registry, kUnicodeDriver, unicodeBefore);
    WriteGroup(registry, kDataSourcesKey, {{"Kestrel", kAnsiDriver}});

    Values dataSource;
    for (const auto& v : kDataSource)
        dataSource.emplace_back(v.name, (v.field ? context.*v.field : std::string()) + v.text);
    WriteGroup(registry, kDataSourceKey, dataSource);
}
