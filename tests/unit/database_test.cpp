// The BDE, ODBC driver and data source registration, against Wine's real registry (a fresh
// prefix per test, whose "SOFTWARE\Borland\Database Engine" key exists without "DLLPATH").
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/Errors.h"
#include "platform/Registry.h"
#include "tasks/DatabaseAccess.h"
#include "../common/RegistryProbe.h"

namespace {

const char* const kDefaultBde = "C:\\Arquivos de Programas\\Arquivos Comuns\\Borland Shared\\BDE";
const char* const kOdbc = "C:\\Arquivos de programas\\PostgreSQL\\psqlODBC\\0804\\bin";
const char* const kBdeKey = "SOFTWARE\\Borland\\Database Engine";

InstallContext Example() {
    InstallContext c;
    c.SystemDir = "C:\\windows\\system32";
    c.SystemDrive = "C:";
    c.BdeDir = kDefaultBde;
    c.OdbcDir = kOdbc;
    c.IPServidor = "192.168.0.10";
    c.Porta = "5432";
    c.BancoDados = "kestreldb";
    return c;
}

void Register(InstallContext& c) {
    TRegistry registry;
    registry.RootKey = HKEY_LOCAL_MACHINE;
    TakeRegisteredBdeDir(registry, c);
    RegisterDatabaseAccess(registry, c);
}

std::vector<std::string> SubKeys(const std::string& path) {
    std::vector<std::string> out;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    char name[256];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) ==
                      ERROR_SUCCESS;
         ++i, size = sizeof name)
        out.emplace_back(name);
    RegCloseKey(key);
    return out;
}

void DeleteTree(HKEY parent, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char name[256];
    DWORD size = sizeof name;
    while (RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        DeleteTree(key, name);
        size = sizeof name;
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, path.c_str());
}

Values DriverValues(const std::string& dll) {
    return {{"APILevel", "1"},      {"ConnectFunctions", "YYN"},
            {"Driver", dll},        {"DriverODBCVer", "08.04.0100"},
            {"FileUsage", "0"},     {"Setup", dll},
            {"SQLLevel", "1"}};
}

// The same with the ODBC installer's count of the driver's installations (a REG_DWORD).
Values CountedDriverValues(const std::string& dll) {
    Values values = DriverValues(dll);
    values.emplace_back("UsageCount", "(type 4, 4 bytes)");
    return values;
}

TEST(DatabaseAccess, FreshMachineGetsEveryKeyAndValueInOrder) {
    InstallContext c = Example();
    Register(c);

    // The prefix's BDE key has no DLLPATH: that is no BDE, and the default directory stays.
    EXPECT_EQ(c.BdeDir, kDefaultBde);
    EXPECT_EQ(RegValues("SOFTWARE\\Borland\\BLW32"), (Values{{"BLAPIPATH", kDefaultBde}}));
    EXPECT_EQ(RegValues(kBdeKey),
              (Values{{"CONFIGFILE01", std::string(kDefaultBde) + "\\IDAPI32.CFG"},
                      {"DLLPATH", kDefaultBde}}));
    // Keys are created with the names' own capitalisation.
    EXPECT_EQ(SubKeys("SOFTWARE\\ODBC\\ODBCINST.INI"),
              (std::vector<std::string>{"ODBC DRIVERS", "PostgreSQL ODBC Driver(ANSI)",
                                        "PostgreSQL ODBC Driver(UNICODE)"}));
    EXPECT_EQ(RegValues("SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers"),
              (Values{{"PostgreSQL ODBC Driver(ANSI)", "Installed"},
                      {"PostgreSQL ODBC Driver(UNICODE)", "Installed"}}));
    EXPECT_EQ(RegValues("SOFTWARE\\ODBC\\ODBCINST.INI\\PostgreSQL ODBC Driver(ANSI)"),
              CountedDriverValues(std::string(kOdbc) + "\\psqlodbc30a.dll"));
    EXPECT_EQ(RegValues("SOFTWARE\\ODBC\\ODBCINST.INI\\PostgreSQL ODBC Driver(UNICODE)"),
              CountedDriverValues(std::string(kOdbc) + "\\psqlodbc35w.dll"));
    EXPECT_EQ(RegValues("SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources"),
              (Values{{"Kestrel", "PostgreSQL ODBC Driver(ANSI)"}}));

    const Values dataSource = {
        {"AB", "0"}, {"BI", "0"}, {"BoolsAsChar", "1"}, {"ByteaAsLongVarBinary", "0"},
        {"CancelAsFreeStmt", "0"}, {"CommLog", "0"}, {"ConnSettings", ""},
        {"Database", "kestreldb"}, {"Debug", "0"}, {"Description", "Kestrel"},
        {"DisallowPremature", "0"}, {"Driver", std::string(kOdbc) + "\\psqlodbc30a.dll"},
        {"ExtraSysTablePrefixes", "dd_;"}, {"FakeOidIndex", "0"}, {"Fetch", "100"},
        {"Ksqo", "1"}, {"LFConversion", "1"}, {"LowerCaseIdentifier", "0"},
        {"MaxLongVarcharSize", "8190"}, {"MaxVarcharSize", "255"}, {"Optimizer", "0"},
        {"Parse", "0"}, {"Password", ""}, {"Port", "5432"}, {"Protocol", "7.4"},
        {"ReadOnly", "0"}, {"RowVersioning", "0"}, {"Servername", "192.168.0.10"},
        {"ShowOidColumn", "0"}, {"ShowSystemTables", "0"}, {"SSLmode", "disable"},
        {"TextAsLongVarchar", "1"}, {"TrueIsMinus1", "0"}, {"UID", "kestrel"},
        {"UniqueIndex", "1"}, {"UnknownsAsLongVarchar", "0"}, {"UnknownSizes", "0"},
        {"UpdatableCursors", "1"}, {"UseDeclareFetch", "0"}, {"Username", "kestrel"},
        {"UseServerSidePrepare", "0"}, {"XaOpt", "1"}};
    EXPECT_EQ(RegValues("SOFTWARE\\ODBC\\ODBC.INI\\Kestrel"), dataSource);
}

TEST(DatabaseAccess, BdeDirectoryFromAnEarlierRegistration) {
    struct Case {
        const char* what;
        bool keyPresent;
        const char* dllPath;  // nullptr: no DLLPATH value
        std::string want;
    } cases[] = {
        {"no BDE key", false, nullptr, kDefaultBde},
        {"key without DLLPATH", true, nullptr, kDefaultBde},
        {"empty DLLPATH", true, "", kDefaultBde},
        {"registered BDE", true, "D:\\BDE", "D:\\BDE"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Borland");
        if (k.keyPresent) {
            ASSERT_TRUE(SetRegValue(kBdeKey, "SHAREDMEMSIZE", "2048"));
        }
        if (k.dllPath) {
            ASSERT_TRUE(SetRegValue(kBdeKey, "DLLPATH", k.dllPath));
        }

        InstallContext c = Example();
        Register(c);
        EXPECT_EQ(c.BdeDir, k.want);
        EXPECT_EQ(RegValue("SOFTWARE\\Borland\\BLW32", "BLAPIPATH"), k.want);
        EXPECT_EQ(RegValue(kBdeKey, "DLLPATH"), k.want);
        EXPECT_EQ(RegValue(kBdeKey, "CONFIGFILE01"), k.want + "\\IDAPI32.CFG");
        if (k.keyPresent) {
            EXPECT_EQ(RegValue(kBdeKey, "SHAREDMEMSIZE"), "2048");
        }
    }
}

TEST(DatabaseAccess, RerunOverwritesOwnValuesAndKeepsOthers) {
    const std::string dataSource = "SOFTWARE\\ODBC\\ODBC.INI\\Kestrel";
    ASSERT_TRUE(SetRegValue(dataSource, "Servername", "10.0.0.1"));
    ASSERT_TRUE(SetRegValue(dataSource, "Password", "segredo"));
    ASSERT_TRUE(SetRegValue(dataSource, "Trace", "1"));
    ASSERT_TRUE(SetRegValue("SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources", "Outra", "SQL Server"));

    InstallContext c = Example();
    c.IPServidor = "IPServidorERROR";  // defaults of a settings file without its section
    c.Porta = "PortaERROR";
    c.BancoDados = "BancoDadosERROR";
    Register(c);

    EXPECT_EQ(RegValue(dataSource, "Servername"), "IPServidorERROR");
    EXPECT_EQ(RegValue(dataSource, "Port"), "PortaERROR");
    EXPECT_EQ(RegValue(dataSource, "Database"), "BancoDadosERROR");
    EXPECT_EQ(RegValue(dataSource, "Password"), "");
    EXPECT_EQ(RegValue(dataSource, "Trace"), "1");
    EXPECT_EQ(RegValue("SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources", "Outra"), "SQL Server");
}

TEST(DatabaseAccess, KeyThatCannotBeCreatedFailsAtItsFirstWrite) {
    // Below a volatile key no ordinary key can be created: the open fails unnoticed and the
    // first value of that group raises; what was written before stays.
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBCINST.INI", 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);

    InstallContext c = Example();
    std::string message = "(no error)";
    try {
        Register(c);
    } catch (const ERegistryException& e) {
        message = e.message();
    }
    EXPECT_EQ(message, "Failed to set data for 'PostgreSQL ODBC Driver(ANSI)'");
    EXPECT_EQ(RegValue("SOFTWARE\\Borland\\BLW32", "BLAPIPATH"), kDefaultBde);
    EXPECT_EQ(RegValue(kBdeKey, "DLLPATH"), kDefaultBde);
    EXPECT_EQ(RegValues("SOFTWARE\\ODBC\\ODBC.INI\\Kestrel"),
              (Values{{"(no key)", "SOFTWARE\\ODBC\\ODBC.INI\\Kestrel"}}));
}

}  // namespace
