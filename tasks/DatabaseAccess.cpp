// Database access: the BDE's directory and configuration file, the PostgreSQL ODBC drivers
// (ANSI and Unicode) and the data source "Kestrel", all below HKEY_LOCAL_MACHINE. Every key is
// opened with create-if-missing and closed after its group; an open that fails shows up as the
// registry write error of the next value. Values already there under other names stay.
#include "tasks/DatabaseAccess.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/Log.h"
#include "platform/Registry.h"

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

}  // namespace

void RegisterDatabaseAccess(TRegistry& registry, InstallContext& context) {
    TakeRegisteredBdeDir(registry, context);
    WriteGroup(registry, kBlw32Key, {{"BLAPIPATH", context.BdeDir}});
    WriteGroup(registry, kBdeKey,
               {{"CONFIGFILE01", context.BdeDir + "\\IDAPI32.CFG"}, {"DLLPATH", context.BdeDir}});
    WriteGroup(registry, kDriversKey, {{kAnsiDriver, "Installed"}, {kUnicodeDriver, "Installed"}});
    WriteGroup(registry, std::string(kDriverKeyPrefix) + kAnsiDriver,
               DriverValues(context.OdbcDir, kAnsiDriverFile));
    WriteGroup(registry, std::string(kDriverKeyPrefix) + kUnicodeDriver,
               DriverValues(context.OdbcDir, kUnicodeDriverFile));
    WriteGroup(registry, kDataSourcesKey, {{"Kestrel", kAnsiDriver}});

    Values dataSource;
    for (const auto& v : kDataSource)
        dataSource.emplace_back(v.name, (v.field ? context.*v.field : std::string()) + v.text);
    WriteGroup(registry, kDataSourceKey, dataSource);
}
