// The pieces of an unattended run: boxes answered without being shown (and logged), the
// logging window interface that counts warnings, the windowless one that follows /TASKS.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "TestSupport.h"
#include "app/Application.h"
#include "app/Deployment.h"
#include "platform/Log.h"

namespace {

// Closes any message box this process shows within the watch, so that a box that should not
// appear fails the test instead of blocking it.
class BoxWatch {
public:
    BoxWatch() {
        thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    }
    ~BoxWatch() {
        stop_ = true;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    bool Seen() const { return seen_; }

private:
    static DWORD WINAPI Watch(void* self) {
        auto* w = static_cast<BoxWatch*>(self);
        while (!w->stop_) {
            EnumWindows([](HWND hwnd, LPARAM lp) -> BOOL {
                DWORD pid = 0;
                GetWindowThreadProcessId(hwnd, &pid);
                char cls[16] = "";
                GetClassNameA(hwnd, cls, sizeof cls);
                if (pid == GetCurrentProcessId() && lstrcmpA(cls, "#32770") == 0) {
                    reinterpret_cast<BoxWatch*>(lp)->seen_ = true;
                    PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
                    PostMessageA(hwnd, WM_CLOSE, 0, 0);
                }
                return TRUE;
            }, reinterpret_cast<LPARAM>(w));
            Sleep(50);
        }
        return 0;
    }
    HANDLE thread_ = nullptr;
    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
};

// The log's events without their time.
std::vector<std::string> Events(const std::string& path) {
    std::vector<std::string> out;
    const std::string text = ReadWholeFile(path);
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        out.push_back(text.substr(at + 25, end - at - 25));
    return out;
}

TEST(BoxAnswers, UnattendedBoxesAreAnsweredAtOnceAndLogged) {
    const std::string log = MakeTempFolder("answers") + "k.log";
    ASSERT_TRUE(OpenLog(log));
    Application app(GetModuleHandleA(nullptr));
    {
        BoxWatch watch;
        Application::BoxAnswers unattended;
        unattended.Unattended = true;
        app.SetBoxAnswers(unattended);
        EXPECT_EQ(app.MessageBox("Reinstalar?", "Aten\xE7\xE3o", MB_YESNO | MB_ICONQUESTION), IDYES);
        EXPECT_EQ(app.MessageBox("Aviso", "Advert\xEA" "ncia", MB_OK), IDOK);
        unattended.NoReinstall = true;
        app.SetBoxAnswers(unattended);
        EXPECT_EQ(app.MessageBox("Reinstalar?", "Aten\xE7\xE3o", MB_YESNO | MB_ICONQUESTION), IDNO);
        EXPECT_EQ(app.MessageBox("Erro", "Instalador - Kestrel", MB_OK | MB_ICONERROR), IDOK);
        // With a person there, /NOREINSTALL still keeps the question from being asked.
        Application::BoxAnswers noReinstall;
        noReinstall.NoReinstall = true;
        app.SetBoxAnswers(noReinstall);
        EXPECT_EQ(app.MessageBox("Reinstalar?", "Aten\xE7\xE3o", MB_YESNO | MB_ICONQUESTION), IDNO);
        EXPECT_FALSE(watch.Seen()) << "a box was shown";
    }
    CloseLog();
    EXPECT_EQ(Events(log), (std::vector<std::string>{
        "Caixa \"Aten\xE7\xE3o\": Reinstalar?", "Resposta: Sim (autom\xE1tica, sem caixa)",
        "Caixa \"Advert\xEA" "ncia\": Aviso", "Resposta: OK (autom\xE1tica, sem caixa)",
        "Caixa \"Aten\xE7\xE3o\": Reinstalar?", "Resposta: N\xE3o (/NOREINSTALL)",
        "Caixa \"Instalador - Kestrel\": Erro", "Resposta: OK (autom\xE1tica, sem caixa)",
        "Caixa \"Aten\xE7\xE3o\": Reinstalar?", "Resposta: N\xE3o (/NOREINSTALL)"}));
}

TEST(LoggedUi, LogsTheStatusAndCountsEveryBoxButTheQuestion) {
    const std::string log = MakeTempFolder("loggedui") + "k.log";
    ASSERT_TRUE(OpenLog(log));
    RecordingUi inner;
    inner.answers = {IDNO};
    LoggedUi ui(inner);
    ui.SetStatus("Registrando o sistema.");
    EXPECT_EQ(ui.MessageBox("Reinstalar?", "Aten\xE7\xE3o", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(ui.Warnings(), 0);
    ui.MessageBox("N\xE3o foi poss\xEDvel copiar o execut\xE1vel!", "Advert\xEA" "ncia", MB_OK);
    ui.ShowMessage("Falha de exclus\xE3o! C:\\x\\Kestrel.lnk");
    EXPECT_EQ(ui.Warnings(), 2);
    CloseLog();
    EXPECT_EQ(inner.events, (std::vector<std::string>{
        "status:Registrando o sistema.", "box:Aten\xE7\xE3o", "box:Advert\xEA" "ncia", "message"}));
    EXPECT_EQ(Events(log), std::vector<std::string>{"Status: Registrando o sistema."});
}

TEST(WindowlessUi, TheLinksAreTheTasksOfTheCommandLine) {
    Application app(GetModuleHandleA(nullptr));
    app.SetTitle("Instalador - Kestrel");
    const CommandLine options = ParseCommandLine("/VERYSILENT /TASKS=quicklaunch");
    WindowlessUi ui(app, options);
    EXPECT_FALSE(ui.IsChecked(InstallOption::DeskTop));
    EXPECT_FALSE(ui.IsChecked(InstallOption::MenuIniciar));
    EXPECT_TRUE(ui.IsChecked(InstallOption::QuickLaunch));
    ui.SetStatus("Criando atalho. Aguarde...");
    EXPECT_EQ(ui.Status(), "Criando atalho. Aguarde...");
    EXPECT_EQ(ui.ApplicationWindow(), app.Handle());
    EXPECT_EQ(ui.Title(), "Instalador - Kestrel");
    EXPECT_FALSE(IsWindowVisible(app.Handle()));
}

// The exit code of a run that ended without an error: a pending restart wins over warnings.
TEST(ExitCodeOf, RestartOverWarningsOverInstalled) {
    struct Case {
        RunEnd end;
        int warnings;
        int code;
    };
    const Case cases[] = {
        {RunEnd::Installed, 0, 0},          {RunEnd::Installed, 2, 5},
        {RunEnd::NotReinstalled, 0, 3},     {RunEnd::RestartRequired, 0, 3010},
        {RunEnd::RestartRequired, 1, 3010},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExitCodeOf(c.end, c.warnings), c.code)
            << "end " << static_cast<int>(c.end) << ", " << c.warnings << " warning(s)";
}

// What escapes every handler ends the process with code 4 and says so in the log: never with
// abort()'s code 3 (which a deployment tool reads as "already installed") or a box. Each case runs
// in a child process of its own (GoogleTest's death tests).
void EndsWithCode4(void (*fault)(), const std::string& log, const std::string& logged) {
    DeleteFileA(log.c_str());
    EXPECT_EXIT(
        {
            OpenLog(log);
            EndFatalErrorsWithCode4();
            fault();
        },
        ::testing::ExitedWithCode(kExitError), "");
    const std::vector<std::string> events = Events(log);
    ASSERT_EQ(events.size(), 2u) << ReadWholeFile(log);
    EXPECT_EQ(events[0].compare(0, logged.size(), logged), 0) << events[0];
    EXPECT_EQ(events[1], "Fim: c\xF3" "digo de sa\xED" "da 4");
}

void Throw() {
    throw std::runtime_error("escaped");
}

void ThrowThroughNoexcept() noexcept {
    Throw();
}

TEST(FatalErrors, TerminateAndACrashEndWithCode4AndALogLine) {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    const std::string log = MakeTempFolder("fatal") + "k.log";
    EndsWithCode4([] { std::terminate(); }, log,
                  "Erro fatal: t\xE9rmino inesperado do programa (std::terminate)");
    EndsWithCode4(ThrowThroughNoexcept, log,
                  "Erro fatal: t\xE9rmino inesperado do programa (std::terminate)");
    EndsWithCode4([] { RaiseException(0xC0000005, 0, 0, nullptr); }, log,
                  "Erro fatal: exce\xE7\xE3o 0xC0000005 n\xE3o tratada no endere\xE7o ");
}

}  // namespace
