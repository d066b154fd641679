// Unattended installations as deployment tools start them: the command line's switches, the
// log, the exit codes, and that no box and (with /VERYSILENT) no window ever appears.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Driver.h"
#include "Snapshots.h"
#include "../common/RegistryProbe.h"

namespace {

using namespace e2e::texts;

// The old-style Quick Launch folder: when it exists, the one Quick Launch link goes there.
const char kQuickLaunchFolder[] =
    "C:\\WINDOWS\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch";
const char kQuickLaunchLink[] =
    "C:\\WINDOWS\\Application Data\\Microsoft\\Internet Explorer\\Quick Launch\\Kestrel.lnk";
const char kLogFile[] = "C:\\Registros de instala\xE7\xE3o\\kestrel.log";
const char kLogSwitch[] = "/LOG=\"C:\\Registros de instala\xE7\xE3o\\kestrel.log\"";

void LayOutSite() {
    e2e::LayOutInstaller();
    e2e::WriteFile(kSettingsFile, e2e::Settings("D:\\Kestrel\\Kestrel.exe", kRemoteApp));
    e2e::WriteFile(kRemoteApp, "Kestrel, the application");
    CreateDirectoryA("C:\\Registros de instala\xE7\xE3o", nullptr);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The log's events: every line must end in CRLF and begin with "YYYY-MM-DD hh:mm:ss.mmm  ";
// what follows is returned.
std::vector<std::string> LogEvents(const std::string& path) {
    const std::string text = e2e::ReadFile(path);
    std::vector<std::string> events;
    EXPECT_FALSE(text.empty()) << "no log at " << path;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "a log line without CRLF: " << text.substr(at);
            break;
        }
        const std::string line = text.substr(at, end - at);
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        const std::string stamp = line.substr(0, 25);
        bool ok = stamp.size() == 25;
        for (size_t i = 0; ok && i < 25; ++i) {
            const char want = i == 4 || i == 7 ? '-' : i == 10 || i >= 23 ? ' '
                              : i == 13 || i == 16 ? ':' : i == 19 ? '.' : '0';
            ok = want == '0' ? IsDigit(stamp[i]) : stamp[i] == want;
        }
        EXPECT_TRUE(ok) << "a log line without its time: " << line;
        events.push_back(line.size() > 25 ? line.substr(25) : std::string());
        at = end + 2;
    }
    return events;
}

size_t Find(const std::vector<std::string>& events, const std::string& begin, size_t from = 0) {
    for (size_t i = from; i < events.size(); ++i)
        if (events[i].compare(0, begin.size(), begin) == 0) return i;
    return std::string::npos;
}

std::string Joined(const std::vector<std::string>& events) {
    std::string out;
    for (const std::string& e : events) out += "\n  " + e;
    return out;
}

// Each of these events, in this order (each given by how it begins).
::testing::AssertionResult HasEventsInOrder(const std::vector<std::string>& events,
                                            const std::vector<std::string>& wanted) {
    size_t at = 0;
    for (const std::string& w : wanted) {
        size_t found = Find(events, w, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "no event \"" << w << "\" after event " << at
                                                 << " in the log:" << Joined(events);
        at = found + 1;
    }
    return ::testing::AssertionSuccess();
}

size_t Count(const std::vector<std::string>& events, const std::string& begin) {
    return std::count_if(events.begin(), events.end(), [&](const std::string& e) {
        return e.compare(0, begin.size(), begin) == 0;
    });
}

bool DirectoryExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

struct ChildSearch {
    const std::string* text;
    HWND found;
};

// A callback of its own: on i686 a lambda does not convert to the stdcall WNDENUMPROC.
BOOL CALLBACK FindChildByText(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<ChildSearch*>(lp);
    if (e2e::Text(hwnd) != *s->text) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND ChildByText(HWND parent, const std::string& text) {
    ChildSearch s{&text, nullptr};
    EnumChildWindows(parent, FindChildByText, reinterpret_cast<LPARAM>(&s));
    EXPECT_NE(s.found, nullptr) << "no control \"" << text << "\"";
    return s.found;
}

bool Checked(HWND box) {
    return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void WaitForRegsvr32() {
    ASSERT_TRUE(e2e::WaitFor([] { return !e2e::ProcessRunning("regsvr32.exe"); }));
}

// --- Scenarios -----------------------------------------------------------------------------

TEST(Unattended, VerySilentFreshInstallationLogsEveryStep) {
    LayOutSite();
    const std::string arguments = std::string("/VERYSILENT ") + kLogSwitch;
    e2e::Launched run(arguments);
    EXPECT_EQ(run.WaitForExit(), 0u) << e2e::ReadFile(kLogFile);
    EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{});

    EXPECT_EQ(RegValue(kDataSourceKey, "Servername"), "192.168.0.10");
    EXPECT_EQ(RegValue(kBdeKey, "DLLPATH"), kDefaultBde);
    EXPECT_TRUE(e2e::FileExists(std::string(kDefaultBde) + "\\BDEADMIN.HLP"));
    EXPECT_TRUE(e2e::FileExists("C:\\windows\\system32\\midas.dll"));
    EXPECT_EQ(e2e::ReadFile(kLocalApp), "Kestrel, the application");
    EXPECT_TRUE(e2e::FileExists(kDesktopLink));
    EXPECT_TRUE(e2e::FileExists(kMenuLink));

    const std::vector<std::string> log = LogEvents(kLogFile);
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(HasEventsInOrder(log, {
        "In\xED" "cio: InstaladorHalden 3.0.0.0; Windows ",
        "Pastas: sistema C:\\windows\\system32; BDE " + std::string(kDefaultBde) + "; ODBC " +
            kOdbc,
        "Configura\xE7\xF5" "es lidas de F:\\Instalador\\startKestrel.INI: "
            "LocalApp=D:\\Kestrel\\Kestrel.exe (na esta\xE7\xE3o C:\\Kestrel\\Kestrel.exe), "
            "RemoteApp=S:\\Kestrel\\Kestrel.exe, IPServidor=192.168.0.10, Porta=5432, "
            "BancoDados=kestreldb",
        "Status: Registrando o sistema.",
        "Registro gravado: HKEY_LOCAL_MACHINE\\SOFTWARE\\Borland\\BLW32 (1 valor)",
        "Registro gravado: HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Kestrel (42 valores)",
        "Status: Instalando " + std::string(kDefaultBde) + "\\BDEADMIN.HLP",
        "Arquivo gravado: " + std::string(kDefaultBde) + "\\BDEADMIN.HLP (",
        "Arquivo gravado: C:\\windows\\system32\\msxml5r.dll (",
        "Status: Registrando DLLs NFe",
        "Iniciado: C:\\windows\\system32\\regsvr32.exe capicom.dll /s",
        "Iniciado: C:\\windows\\system32\\regsvr32.exe msxml5.dll /s",
        "Execut\xE1vel copiado: S:\\Kestrel\\Kestrel.exe para C:\\Kestrel\\Kestrel.exe",
        "Status: Criando atalho. Aguarde...",
        std::string("Atalho criado: ") + kDesktopLink + " para S:\\Kestrel\\StartKestrel.exe",
        std::string("Atalho criado: ") + kMenuLink,
        "Status: Instala\xE7\xE3o conclu\xED" "da!",
        "Fim da instala\xE7\xE3o: conclu\xED" "da",
    }));
    // The start names the command line; the last line is the exit code.
    EXPECT_NE(log.front().find("; linha de comando: \"F:\\Instalador\\InstaladorHalden.exe\" " +
                               arguments),
              std::string::npos) << log.front();
    EXPECT_EQ(log.back(), "Fim: c\xF3" "digo de sa\xED" "da 0");
    EXPECT_EQ(Count(log, "Arquivo gravado: "), 82u);
    EXPECT_EQ(Count(log, "Registro gravado: "), 7u);
    // A fresh machine has no Quick Launch folder in any profile.
    EXPECT_EQ(Count(log, "Atalho criado: "), 2u);
    EXPECT_EQ(Count(log, "Caixa "), 0u) << Joined(log);
}

TEST(Unattended, SilentReinstallationIsAnsweredYes) {
    LayOutSite();
    {
        e2e::Launched first("/VERYSILENT");
        ASSERT_EQ(first.WaitForExit(), 0u);
    }
    WaitForRegsvr32();
    e2e::WriteFile(std::string(kDefaultBde) + "\\idapi32.cfg", "[the site's configuration]");
    e2e::WriteFile(kRemoteApp, "Kestrel, a newer build");

    e2e::Launched again(std::string("/VERYSILENT ") + kLogSwitch);
    EXPECT_EQ(again.WaitForExit(), 0u);
    EXPECT_EQ(again.SeenWindows(), std::vector<std::string>{});
    EXPECT_EQ(e2e::ReadFile(kLocalApp), "Kestrel, a newer build");
    EXPECT_EQ(e2e::ReadFile(std::string(kDefaultBde) + "\\idapi32.cfg"),
              "[the site's configuration]");
    const std::vector<std::string> log = LogEvents(kLogFile);
    EXPECT_TRUE(HasEventsInOrder(log, {
        "Caixa \"Aten\xE7\xE3o\": Este programa j\xE1 est\xE1 instalado. Deseja reinstalar?",
        "Resposta: Sim (autom\xE1tica, sem caixa)",
        "Status: Registrando o sistema.",
        "Arquivo mantido, j\xE1 existe: " + std::string(kDefaultBde) + "\\idapi32.cfg",
        "Fim: c\xF3" "digo de sa\xED" "da 0",
    }));
}

TEST(Unattended, NoReinstallOverAnInstallationChangesNothing) {
    LayOutSite();
    {
        e2e::Launched first("/VERYSILENT");
        ASSERT_EQ(first.WaitForExit(), 0u);
    }
    WaitForRegsvr32();
    e2e::WriteFile(kRemoteApp, "Kestrel, a newer build");
    DeleteFileA(kDesktopLink);
    const auto registry = e2e::RegistrySnapshot();
    const auto disk = e2e::DiskSnapshot();

    e2e::Launched again(std::string("/noreinstall /VerySilent ") + kLogSwitch);
    EXPECT_EQ(again.WaitForExit(), 3u);
    EXPECT_EQ(again.SeenWindows(), std::vector<std::string>{});
    EXPECT_EQ(e2e::RegistrySnapshot(), registry);
    EXPECT_EQ(e2e::DiskSnapshot(), disk);
    EXPECT_EQ(e2e::ReadFile(kLocalApp), "Kestrel, the application");
    const std::vector<std::string> log = LogEvents(kLogFile);
    EXPECT_TRUE(HasEventsInOrder(log, {
        "Caixa \"Aten\xE7\xE3o\": Este programa j\xE1 est\xE1 instalado. Deseja reinstalar?",
        "Resposta: N\xE3o (/NOREINSTALL)",
        "Status: ",
        "Fim da instala\xE7\xE3o: j\xE1 instalado, nada foi gravado",
        "Fim: c\xF3" "digo de sa\xED" "da 3",
    }));
    EXPECT_EQ(Count(log, "Registro gravado: "), 0u);
}

TEST(Unattended, VerySilentWithoutSettingsFileEndsWithCode1) {
    e2e::LayOutInstaller();
    e2e::Launched run("/VERYSILENT /LOG");
    EXPECT_EQ(run.WaitForExit(), 1u);
    EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{});
    EXPECT_EQ(RegValues(kDataSourceKey), (Values{{"(no key)", kDataSourceKey}}));
    EXPECT_FALSE(DirectoryExists("C:\\Kestrel"));
    EXPECT_FALSE(DirectoryExists(kDefaultBde));

    // The log without a name: a new one in %TEMP%, the only one there.
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((std::string(temp) + "InstaladorKestrel *.log").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    const std::string name = data.cFileName;
    EXPECT_FALSE(FindNextFileA(find, &data)) << data.cFileName;
    FindClose(find);
    const std::vector<std::string> log = LogEvents(std::string(temp) + name);
    EXPECT_TRUE(HasEventsInOrder(log, {
        "In\xED" "cio: ",
        std::string("Caixa \"") + kWarning + "\": Arquivo startKestrel.INI, necess\xE1rio para "
            "instala\xE7\xE3o, n\xE3o localizado no diret\xF3rio F:\\Instalador\\.",
        "Resposta: OK (autom\xE1tica, sem caixa)",
        "Fim da instala\xE7\xE3o: nada foi gravado",
        "Fim: c\xF3" "digo de sa\xED" "da 1",
    }));
}

TEST(Unattended, TasksDesktopPlacesOnlyThatLink) {
    LayOutSite();
    // With this folder present every run places a Quick Launch link in it.
    e2e::WriteFile(std::string(kQuickLaunchFolder) + "\\other.txt", "");
    e2e::Launched run(std::string("/VERYSILENT /TASKS=desktop ") + kLogSwitch);
    EXPECT_EQ(run.WaitForExit(), 0u) << e2e::ReadFile(kLogFile);
    EXPECT_TRUE(e2e::FileExists(kDesktopLink));
    EXPECT_FALSE(DirectoryExists(kMenuFolder));
    EXPECT_FALSE(e2e::FileExists(kQuickLaunchLink));
    const std::vector<std::string> log = LogEvents(kLogFile);
    EXPECT_TRUE(HasEventsInOrder(log, {
        std::string("Atalho criado: ") + kDesktopLink,
        "Atalho no menu Iniciar: n\xE3o criado, op\xE7\xE3o desmarcada",
        "Atalhos de Inicializa\xE7\xE3o R\xE1pida: n\xE3o criados, op\xE7\xE3o desmarcada",
    }));
}

// With the window, /TASKS only sets where the check boxes start; the person's changes count.
TEST(Unattended, TasksSetTheCheckBoxesOfTheWindow) {
    LayOutSite();
    e2e::WriteFile(std::string(kQuickLaunchFolder) + "\\other.txt", "");
    e2e::Launched run("/TASKS=StartMenu /LOG");
    HWND form = run.WaitForWindow("Instalador Kestrel");
    ASSERT_NE(form, nullptr);
    HWND desk = ChildByText(form, kDeskTop), menu = ChildByText(form, kMenuIniciar);
    HWND quick = ChildByText(form, kQuickLaunch), install = ChildByText(form, kInstalar);
    HWND cancel = ChildByText(form, kCancelar);
    EXPECT_FALSE(Checked(desk));
    EXPECT_TRUE(Checked(menu));
    EXPECT_FALSE(Checked(quick));
    PostMessageA(desk, BM_CLICK, 0, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return Checked(desk); }));
    PostMessageA(install, BM_CLICK, 0, 0);
    ASSERT_TRUE(e2e::WaitFor([&] { return !IsWindowEnabled(install); }));
    ASSERT_TRUE(e2e::WaitFor([&] { return IsWindowEnabled(cancel) != FALSE; }));
    EXPECT_TRUE(e2e::FileExists(kDesktopLink));
    EXPECT_TRUE(e2e::FileExists(kMenuLink));
    EXPECT_FALSE(e2e::FileExists(kQuickLaunchLink));
    PostMessageA(cancel, BM_CLICK, 0, 0);
    EXPECT_EQ(run.WaitForExit(), 0u);
}

TEST(Unattended, SilentShowsTheWindowRunsAndClosesIt) {
    LayOutSite();
    // A large program file keeps the run busy in its copy, long enough to watch the window.
    e2e::WriteLargeFile(kRemoteApp, 256);
    e2e::Launched run(std::string("/SILENT ") + kLogSwitch);
    HWND form = run.WaitForWindow("Instalador Kestrel");
    ASSERT_NE(form, nullptr);
    // Nobody presses "&Instalar": the run starts by itself.
    HWND install = ChildByText(form, kInstalar);
    EXPECT_TRUE(e2e::WaitFor([&] { return !IsWindowEnabled(install) || !IsWindow(form); }));
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_FALSE(IsWindow(form));
    for (const std::string& seen : run.SeenWindows())
        EXPECT_EQ(seen.find("#32770"), std::string::npos) << "a box appeared: " << seen;
    EXPECT_EQ(RegValue(kDataSourceKey, "Database"), "kestreldb");
    WIN32_FILE_ATTRIBUTE_DATA copy{};
    ASSERT_TRUE(GetFileAttributesExA(kLocalApp, GetFileExInfoStandard, &copy));
    EXPECT_EQ(copy.nFileSizeLow, 256u << 20);
    EXPECT_TRUE(e2e::FileExists(kMenuLink));
    const std::vector<std::string> log = LogEvents(kLogFile);
    EXPECT_TRUE(HasEventsInOrder(log, {"Status: Registrando o sistema.",
                                       "Status: Instala\xE7\xE3o conclu\xED" "da!",
                                       "Fim: c\xF3" "digo de sa\xED" "da 0"}));
}

// The program file missing on the server: the copy warning goes to the log, the links are still
// placed, and the exit code says "installed with warnings".
TEST(Unattended, AWarningEndsWithCode5) {
    LayOutSite();
    DeleteFileA(kRemoteApp);
    e2e::Launched run(std::string("/VERYSILENT ") + kLogSwitch);
    EXPECT_EQ(run.WaitForExit(), 5u);
    EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{});
    EXPECT_TRUE(e2e::FileExists(kDesktopLink));
    const std::vector<std::string> log = LogEvents(kLogFile);
    EXPECT_TRUE(HasEventsInOrder(log, {
        "Execut\xE1vel n\xE3o copiado: S:\\Kestrel\\Kestrel.exe para C:\\Kestrel\\Kestrel.exe: ",
        std::string("Caixa \"") + kWarning + "\": N\xE3o foi poss\xEDvel copiar o execut\xE1vel!",
        "Resposta: OK (autom\xE1tica, sem caixa)",
        std::string("Atalho criado: ") + kDesktopLink,
        "Fim: c\xF3" "digo de sa\xED" "da 5",
    }));
}

// The run stops at the payload file that cannot be created; the window closes all the same.
TEST(Unattended, AnErrorRowEndsWithCode4AndTheMessageInTheLog) {
    LayOutSite();
    const std::string midas = "C:\\windows\\system32\\midas.dll";
    ASSERT_TRUE(CreateDirectoryA(midas.c_str(), nullptr));
    e2e::Launched run(std::string("/SILENT ") + kLogSwitch);
    EXPECT_EQ(run.WaitForExit(), 4u);
    for (const std::string& seen : run.SeenWindows())
        EXPECT_EQ(seen.find("#32770"), std::string::npos) << "a box appeared: " << seen;
    EXPECT_FALSE(run.VisibleWindow());
    // What was written before stays.
    EXPECT_TRUE(e2e::FileExists(std::string(kOdbc) + "\\ssleay32.dll"));
    EXPECT_FALSE(e2e::FileExists(kLocalApp));
    const std::vector<std::string> log = LogEvents(kLogFile);
    EXPECT_TRUE(HasEventsInOrder(log, {
        "Status: Instalando " + midas,
        "Erro: Cannot create file \"" + midas + "\". ",
        "Fim da instala\xE7\xE3o: parou no erro",
        "Fim: c\xF3" "digo de sa\xED" "da 4",
    }));
    EXPECT_EQ(Count(log, "Caixa "), 0u) << Joined(log);
}

// A command line or log that cannot be used: exit code 2 and nothing written, never a window.
TEST(Unattended, BadCommandLinesEndWithCode2AndWriteNothing) {
    LayOutSite();
    struct Case { std::string arguments, logged; };
    const Case cases[] = {
        {std::string("/VERYSILENT /QUIET ") + kLogSwitch,
         "Caixa \"Instalador - Kestrel\": Par\xE2metro desconhecido: /QUIET |  | Use /? para ver "
         "os par\xE2metros aceitos."},
        {std::string("/SILENT /TASKS=\"desktop,menu\" ") + kLogSwitch,
         "Caixa \"Instalador - Kestrel\": Atalho desconhecido em /TASKS: \"menu\""},
        {std::string("/SILENT /HELP ") + kLogSwitch,
         "Caixa \"Instalador - Kestrel\": Uso: InstaladorHalden.exe"},
        {"/VERYSILENT /LOG=\"C:\\no such folder\\kestrel.log\"", ""},
    };
    for (const Case& c : cases) {
        DeleteFileA(kLogFile);
        e2e::Launched run(c.arguments);
        EXPECT_EQ(run.WaitForExit(), 2u) << c.arguments;
        EXPECT_EQ(run.SeenWindows(), std::vector<std::string>{}) << c.arguments;
        if (!c.logged.empty()) {
            const std::vector<std::string> log = LogEvents(kLogFile);
            EXPECT_TRUE(HasEventsInOrder(log, {c.logged, "Fim: c\xF3" "digo de sa\xED" "da 2"}))
                << c.arguments;
        }
    }
    EXPECT_FALSE(e2e::FileExists("C:\\no such folder\\kestrel.log"));
    EXPECT_EQ(RegValues(kDataSourceKey), (Values{{"(no key)", kDataSourceKey}}));
    EXPECT_FALSE(DirectoryExists("C:\\Kestrel"));
}

// With a person there, a bad switch or /? is a box; after it the program ends, having written
// nothing, with exit code 0 as every start with the window.
TEST(Unattended, UnknownSwitchAndHelpAreBoxesWithTheWindowLeftOut) {
    LayOutSite();
    struct Case { const char* arguments; const char* text; };
    const Case cases[] = {
        {"/silentt", "Par\xE2metro desconhecido: /silentt\r\n\r\nUse /? para ver os "
                     "par\xE2metros aceitos."},
        {"/?", "Uso: InstaladorHalden.exe [par\xE2metros]\r\n"},
    };
    for (const Case& c : cases) {
        e2e::Launched run(c.arguments);
        e2e::Box box = run.WaitForBox();
        EXPECT_EQ(box.caption, kTitle) << c.arguments;
        EXPECT_EQ(box.text.compare(0, strlen(c.text), c.text), 0) << box.text;
        EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
        EXPECT_TRUE(box.hasIcon);
        EXPECT_FALSE(run.VisibleWindow("Instalador Kestrel"));
        e2e::AnswerBox(box, IDOK);
        EXPECT_EQ(run.WaitForExit(), 0u) << c.arguments;
    }
    EXPECT_EQ(RegValues(kDataSourceKey), (Values{{"(no key)", kDataSourceKey}}));
    EXPECT_FALSE(DirectoryExists("C:\\Kestrel"));
}

}  // namespace
